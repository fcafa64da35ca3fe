// Brings both packages into the work folder over one road (mechanisms [0] and [1]).
#pragma once

struct run_context;
struct proxy_record;

// Non-zero when the configuration and install packages are downloaded, verified and extracted.
int download_packages(run_context* ctx, const wchar_t* config_url, const wchar_t* work_folder, proxy_record* route);
