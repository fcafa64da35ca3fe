// Mechanism [2]: both packages through the command-line proxy or the system's proxies.
#pragma once

struct run_context;

// Non-zero when both packages are downloaded, verified and extracted into the work folder.
int download_files_via_proxy(run_context* ctx, const wchar_t* config_url, const wchar_t* work_folder);
