// Mechanism [3]: both packages through a relay found on the local network.
#pragma once

struct run_context;

// Non-zero when both packages are downloaded, verified and extracted into the work folder.
int download_via_relay(run_context* ctx, const wchar_t* config_url, const wchar_t* work_folder);
