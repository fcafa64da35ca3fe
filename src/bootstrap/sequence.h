// The install sequence's record, shared by the sequence and its mechanisms, and what the entry
// lends the sequence: the single-instance lock and the reach of stop requests. Internal to
// src/bootstrap/.
#pragma once

#include <string>

#include "config/coninfo.h"
#include "core/run_context.h"
#include "core/work_folder.h"

struct os_named_lock;

struct sequence {
    explicit sequence(run_context* run) : ctx(run) {}
    run_context* ctx;
    std::wstring coninfo_path;
    wchar_t base_url[url_capacity] = {};
    wchar_t token[token_capacity] = {};
    wchar_t config_url[url_capacity] = {};
    wchar_t work_folder[path_capacity] = {};
    char narrow_work_folder[path_capacity] = {};
    bool work_folder_known = false;

    bool cancelled() const { return run_cancelled(ctx); }
};

enum class road { downloaded, failed, cancelled };

// The four mechanisms in their fixed order; the first that delivers ends the search.
road download_by_any_mechanism(sequence& s);

// The single-instance lock the entry holds for the whole run; the agent installer inherits it.
os_named_lock* held_instance_lock();

// The run that a stop request reaches, from its start until just before it is freed.
class active_run_scope {
public:
    explicit active_run_scope(run_context* ctx);
    ~active_run_scope();
    active_run_scope(const active_run_scope&) = delete;
    active_run_scope& operator=(const active_run_scope&) = delete;
    void leave();
};
