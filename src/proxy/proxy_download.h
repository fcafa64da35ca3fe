// Mechanism [2]: both packages through the command-line proxy or the system's proxies.
#pragma once

#include "download/proxy_record.h"

struct run_context;

// Non-zero when both packages are downloaded, verified and extracted into the work folder.
// `prompt` asks the person at the progress dialog for proxy credentials when the proxy wants
// some the run does not have; the sequence above passes it, as the dialog is its own.
int download_files_via_proxy(run_context* ctx, const wchar_t* config_url, const wchar_t* work_folder,
                             proxy_prompt_fn prompt);
