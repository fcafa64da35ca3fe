// The install files: from peers file by file, or FrameworkInstall.zip from the repositories of
// the site list, extracted and verified in the work folder.
#pragma once

struct run_context;
struct proxy_record;

// 1 when the install files are in the work folder and verified. Route kind 0 takes the peer road
// only, 1 the repository road only, 2 and 3 peers first and then the repositories. On the
// repository road `package_path` (260 characters) receives the package's path. `resume` keeps a
// partial package of an earlier run (honoured on route kind 1).
int retrieve_install_package(wchar_t* package_path, const wchar_t* work_folder, run_context* ctx, proxy_record* route,
                             int resume);
