// Mechanism [3]: both packages through a relay found on the local network. Discovery asks the
// agents of every attached network (see qz_relay_discovery_request.h) and then tries each relay
// that answered, in the order of the answers, as the HTTP proxy of the whole orchestration.
#pragma once

struct run_context;

// Non-zero when both packages are downloaded, verified and extracted into the work folder.
int download_via_relay(run_context* ctx, const wchar_t* config_url, const wchar_t* work_folder);
