// Process entry: the entry checks, the log, the options, stop requests, and the run behind the
// screens or silently.
#include "bootstrap/bootstrap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bootstrap/dialogs.h"
#include "bootstrap/sequence.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/options.h"
#include "core/run_context.h"
#include "core/work_folder.h"
#include "os/console.h"
#include "os/named_lock.h"
#include "os/paths.h"
#include "os/session.h"
#include "os/stop_request.h"
#include "os/text.h"
#include "os/user_interface.h"
#include "utils/bounded_text.h"

namespace {
constexpr char instance_lock_name[] = "Global\\HOLVEN_BS_{FD06AF06-68C5-400B-A7EF-5E475F776C57}_QSW";
constexpr wchar_t box_title[] = L"Quenta Swiftset 5.8.3";

// The single-instance lock, held from the entry checks to the end of bootstrap_main.
os_named_lock_ptr instance_lock;

// ---------------------------------------------------------------------------------------------
// Entry

// Allocation failure ends the process, here: std::bad_alloc is caught only where a contract
// returns an out-of-memory result (docs/DESIGN-DECISIONS.md, "Out of memory").
[[noreturn]] void end_on_fatal_error() {
    const char* what = "Quenta Swiftset: ended by an unexpected error\n";
    try {
        if (std::exception_ptr error = std::current_exception()) std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        what = "Quenta Swiftset: out of memory\n";
    } catch (...) {}
    std::fputs(what, stderr);
    std::abort();
}

void report_second_instance() {
    select_language();
    wchar_t text[path_capacity];
    copy_text(text, path_capacity, get_message_text(MSG_ANOTHER_INSTANCE));
    if (os_is_noninteractive_session())
        console_print(L"%ls\n", text);
    else
        os_message_box(box_title, text);
}

bool silent_requested() {
    const char* silent = get_option_utf8(OPT_SILENT);
    char copy[16];
    bool is_one = silent && copy_text(copy, sizeof copy, silent) && std::strcmp(copy, "1") == 0;
    return is_one || os_is_noninteractive_session();
}

// An argument the locale cannot convert is refused like any invalid one: reading the line
// without it (or without any) would run an installation nobody asked for. Its position is
// logged, not its bytes: it may be a password.
int parse_arguments() {
    std::vector<os_argument> args;
    if (!os_get_arguments(args)) return parse_command_line(1, nullptr);
    bool readable = true;
    std::vector<const wchar_t*> argv;
    for (size_t i = 0; i < args.size(); ++i) {
        if (!args[i].converted) {
            log_message(SEV_INFO, L"Invalid option: argument %d is not text in this locale", static_cast<int>(i));
            readable = false;
        }
        argv.push_back(args[i].text.c_str());
    }
    if (!readable) {
        show_usage();
        return 0;
    }
    return parse_command_line(static_cast<int>(argv.size()), argv.data());
}

// The welcome dialog, then the progress dialog whose worker runs the install sequence.
// run_progress_dialog returns only after the worker has ended, so nothing logs after the log
// is closed and no option is read after the options are freed.
void run_interactively() {
    int error = 0;
    int choice = run_welcome_dialog(&error);
    if (choice == -1) log_message(SEV_ERROR, L"Error in dialog creation:GetLastError:%d", error);
    if (choice != welcome_next) return;
    if (run_progress_dialog(&error, run_bootstrap) == -1)
        log_message(SEV_ERROR, L"Error in dialog creation:GetLastError:%d", error);
}

// The entry checks: the single instance, the rights, and a temporary folder no other user can
// redirect. The held instance lock, or null when the run is refused (and told why).
os_named_lock_ptr take_instance_lock() {
    std::string why;
    os_named_lock_ptr instance(os_named_lock_open(instance_lock_name, &why));
    if (!instance) {
        // An ordinary user cannot reach the lock folder at all: the real reason is the rights.
        if (!os_is_administrator())
            os_message_box(box_title, L"This program needs administrator privileges to run");
        else
            os_console_error("Quenta Swiftset: run refused: " + why);
        return nullptr;
    }
    if (!os_named_lock_try(instance.get())) {
        report_second_instance();
    } else if (!os_is_administrator()) {
        os_message_box(box_title, L"This program needs administrator privileges to run");
    } else if (!os_check_temp_folder(why)) {
        // Everything the run downloads and starts lies below the temporary folder.
        os_console_error("Quenta Swiftset: run refused: temporary folder " + why);
    } else {
        return instance;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Requests to stop from outside (terminal closed, termination): they act as Cancel. A screen
// takes it as its Cancel button or close; a silent run gets its cancel flag set, also when the
// request came before the run started.

std::mutex active_run_lock;
run_context* active_run = nullptr;   // guarded by active_run_lock
bool stop_requested = false;         // guarded by active_run_lock

void on_stop_request(int request) {
    log_message(SEV_WARNING, L"Stop requested (signal %d): the run ends as after Cancel", request);
    ui_request_cancel();
    std::lock_guard<std::mutex> guard(active_run_lock);
    stop_requested = true;
    if (active_run && !active_run->dialog) active_run->cancel_flag.store(1);
}
}   // namespace

active_run_scope::active_run_scope(run_context* ctx) {
    std::lock_guard<std::mutex> guard(active_run_lock);
    active_run = ctx;
    if (stop_requested && !ctx->dialog) ctx->cancel_flag.store(1);
}

active_run_scope::~active_run_scope() { leave(); }

void active_run_scope::leave() {
    std::lock_guard<std::mutex> guard(active_run_lock);
    active_run = nullptr;
}

os_named_lock* held_instance_lock() { return instance_lock.get(); }

namespace {

void run_silently() {
    auto ctx = std::make_unique<run_context>();
    log_message(SEV_INFO, L"User triggered silent installation");
    run_bootstrap(std::move(ctx));
}
}   // namespace

int bootstrap_main() {
    std::set_terminate(end_on_fatal_error);
    os_use_user_locale();
    instance_lock = take_instance_lock();
    if (!instance_lock) return 0;
    open_log();
    log_message(SEV_INFO, L"****BS_START*****");
    // Before any other thread starts: they all leave these requests to the watcher.
    bool watching = os_watch_stop_requests(on_stop_request);
    if (parse_arguments()) {
        if (silent_requested())
            run_silently();
        else
            run_interactively();
        free_options();
    }
    if (watching) os_unwatch_stop_requests();
    log_message(SEV_INFO, L"****BS_END*****");
    close_log();
    instance_lock.reset();
    return 0;
}
