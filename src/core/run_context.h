// The per-run record shared by the install sequence, the progress dialog and the download parts.
#pragma once

#include <atomic>
#include <memory>

#include "core/hash_entries.h"

struct progress_dialog;   // the view of an interactive run; null in a silent run
struct zip_stream;        // install/zip_stream.h

// The download under way, which decides how download events are reported and how the bar moves.
enum class download_phase { none, configuration, install };

struct run_context {
    progress_dialog* dialog = nullptr;
    std::atomic<int> cancel_flag{0};   // set by the dialog, or by a stop request in a silent run
    char config_hash[128] = {};        // response header Config-Hash
    char install_hash[128] = {};       // response header Install-Hash
    char tenant_id[128] = {};          // header Tenant-ID, replaced by the registry's TenantId
    wchar_t machine_name[260] = {};    // fully qualified host name
    wchar_t agent_guid[260] = {};      // without braces
    download_phase phase = download_phase::none;
    int upgrade_flag = 0;                           // an agent is installed already
    int progress_position = 0;                      // download ticks already shown
    int config_done = 0;                            // configuration package verified and extracted
    int resume_flag = 0;                            // connection data unchanged since the last run
    hash_entries_ptr manifest;                      // hashes.xml of the verified configuration package
    zip_stream* install_unpacked_ahead = nullptr;   // while the downloaded install package is extracted
};

// The worker that runs the install sequence owns the run context and frees it at the end of the run.
using run_context_ptr = std::unique_ptr<run_context>;

inline bool run_cancelled(const run_context* ctx) { return ctx && ctx->cancel_flag.load() != 0; }
