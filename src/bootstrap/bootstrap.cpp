#include "bootstrap/bootstrap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "bootstrap/dialogs.h"
#include "clients/relay/relay_download.h"
#include "config/coninfo.h"
#include "core/connection_data.h"
#include "core/dialog.h"
#include "core/identity.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/options.h"
#include "core/run_context.h"
#include "core/work_folder.h"
#include "download/orchestration.h"
#include "download/proxy_record.h"
#include "install/agent_installer.h"
#include "install/installer_files.h"
#include "os/console.h"
#include "os/host.h"
#include "os/named_lock.h"
#include "os/paths.h"
#include "os/session.h"
#include "os/stop_request.h"
#include "os/text.h"
#include "os/user_interface.h"
#include "proxy/proxy_config.h"
#include "proxy/proxy_download.h"
#include "utils/bounded_text.h"

namespace {
constexpr char instance_lock_name[] = "Global\\HOLVEN_BS_{FD06AF06-68C5-400B-A7EF-5E475F776C57}_QSW";
constexpr wchar_t box_title[] = L"Quenta Swiftset 5.8.3";
constexpr unsigned min_os_major = 6;
constexpr size_t computer_name_capacity = 16;

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

// The run that a stop request reaches, from its start until just before it is freed.
class active_run_scope {
public:
    explicit active_run_scope(run_context* ctx) {
        std::lock_guard<std::mutex> guard(active_run_lock);
        active_run = ctx;
        if (stop_requested && !ctx->dialog) ctx->cancel_flag.store(1);
    }
    ~active_run_scope() { leave(); }
    active_run_scope(const active_run_scope&) = delete;
    active_run_scope& operator=(const active_run_scope&) = delete;
    void leave() {
        std::lock_guard<std::mutex> guard(active_run_lock);
        active_run = nullptr;
    }
};

void run_silently() {
    auto ctx = std::make_unique<run_context>();
    log_message(SEV_INFO, L"User triggered silent installation");
    run_bootstrap(std::move(ctx));
}

// ---------------------------------------------------------------------------------------------
// Install sequence

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

void enable_debug_log() {
    const char* debug = get_option_utf8(OPT_DEBUG_LOG);
    char copy[path_capacity];
    if (!debug || !copy_text(copy, sizeof copy, debug) || std::strcmp(copy, "1") != 0) return;
    set_severity_mask(log_debug_mask);
    log_message(SEV_DEBUG, L"Debug log enabled for bootstrap.");
    console_print(L"Debug log has been enabled.\n");
}

bool os_supported(sequence& s) {
    os_version version;
    if (os_get_version(&version) && version.major < min_os_major) {
        dialog_message(s.ctx, MSG_OS_NOT_SUPPORTED);
        log_message(SEV_ERROR, L"OS Not Supported");
        return false;
    }
    return true;
}

bool log_module_name(sequence& s) {
    dialog_message(s.ctx, MSG_FETCHING_CONNECTION_DATA);
    wchar_t module[path_capacity] = {};
    if (!get_module_path(module) || module[0] == L'\0') {
        log_message(SEV_INFO, L"Unable to get bootstrap filename");
        dialog_message(s.ctx, MSG_MODULE_NAME_FAILED);
        log_message(SEV_ERROR, L"Could not read module name");
        return false;
    }
    const wchar_t* name = std::wcsrchr(module, os_path_separator);
    log_message(SEV_INFO, L"Bootstrap name:%ls", name ? name + 1 : module);
    return true;
}

bool read_connection_data(sequence& s) {
    dialog_message(s.ctx, MSG_MAKING_CONNECTION_URL);
    s.ctx->resume_flag = 0;
    if (!prepare_connection_data(s.ctx, s.coninfo_path)) return false;
    if (!read_coninfo_url(s.coninfo_path.c_str(), L"bsurl", s.base_url, s.token)) {
        dialog_message(s.ctx, MSG_URL_NOT_FOUND);
        log_message(SEV_ERROR, L"Error in finding a url to download agent configuration data");
        return false;
    }
    return true;
}

bool identify_machine(sequence& s) {
    dialog_message(s.ctx, MSG_GENERATING_PARAMETERS);
    if (!get_fqdn(s.ctx->machine_name)) {
        dialog_message(s.ctx, MSG_GENERATING_PARAMETERS);
        log_message(SEV_ERROR, L"Could not retrieve FQDN name");
        return false;
    }
    log_message(SEV_INFO, L"FQDN machine name:%ls", s.ctx->machine_name);
    return true;
}

bool identify_agent(sequence& s) {
    int generated = generate_agent_guid(s.ctx->agent_guid);
    size_t capacity = path_capacity;
    s.ctx->upgrade_flag = read_agent_guid(s.ctx->agent_guid, &capacity);
    if (s.ctx->upgrade_flag) strip_guid_braces(s.ctx->agent_guid);
    if (!generated) {
        dialog_message(s.ctx, MSG_GUID_FAILED);
        log_message(SEV_ERROR, L"GUID generation failed");
        return false;
    }
    log_message(SEV_INFO, L"Agent Guid:%ls\n", s.ctx->agent_guid);
    return true;
}

bool build_config_url(sequence& s) {
    dialog_message(s.ctx, MSG_GENERATING_URL);
    wchar_t computer[computer_name_capacity] = {};
    bool ready = s.base_url[0] && s.token[0] && s.ctx->agent_guid[0];
    if (ready) os_computer_name(computer, computer_name_capacity);
    // A URL that would not fit is refused like a missing part rather than sent cut short.
    if (!ready || !format_text(s.config_url, url_capacity, L"%ls?%ls=%ls&%ls=%ls&%ls=%ls&%ls=%ls", s.base_url,
                               L"TokenCode", s.token, L"ComputerName", computer, L"AgentGUID", s.ctx->agent_guid,
                               L"MachineName", s.ctx->machine_name)) {
        dialog_message(s.ctx, MSG_GENERATING_URL);
        log_message(SEV_ERROR, L"Url generation failed");
        return false;
    }
    log_message(SEV_INFO, L"Url to fetch FrameWorkconfig.zip:%ls", s.config_url);
    return true;
}

bool prepare_work_folder(sequence& s) {
    if (!get_work_folder(s.work_folder) || !os_to_narrow(s.work_folder, s.narrow_work_folder, path_capacity))
        return false;
    s.work_folder_known = true;
    write_proxy_config_file(s.narrow_work_folder);
    return true;
}

// One of the two mechanisms that go through download_packages with a route of their own.
bool try_route(sequence& s, int route_kind) {
    auto route = std::make_unique<proxy_record>();
    route->route_kind = route_kind;
    return download_packages(s.ctx, s.config_url, s.work_folder, route.get()) != 0;
}

enum class road { downloaded, failed, cancelled };

// The four mechanisms in their fixed order; the first that delivers ends the search.
road download_by_any_mechanism(sequence& s) {
    log_message(
        SEV_INFO,
        L"[0] Top level mechanism - p2p - Config files from Agent handlers directly - Install files via p2p only");
    dialog_message(s.ctx, MSG_TRYING_PEERS);
    log_message(SEV_INFO, L"Install via p2p mechanism");
    if (try_route(s, ROUTE_PEERS)) return road::downloaded;
    log_message(SEV_INFO, L"Install via p2p mechanism failed");
    if (s.cancelled()) return road::cancelled;

    log_message(
        SEV_WARNING,
        L"[1] Top level mechanism - Agent handlers - Config files from Agent handlers directly - Install files via direct only");
    dialog_message(s.ctx, MSG_TRYING_DIRECT);
    log_message(SEV_INFO, L"Install directly via Agent handlers");
    if (try_route(s, ROUTE_AGENT_HANDLER)) return road::downloaded;
    log_message(SEV_INFO, L"Install directly via Agent handlers failed");
    if (s.cancelled()) return road::cancelled;

    log_message(
        SEV_WARNING,
        L"[2] Top level mechanism - Proxy - Config files from Agent handlers via Proxy mechanism - Install files via p2p then Proxy");
    dialog_message(s.ctx, MSG_USING_PROXY);
    if (download_files_via_proxy(s.ctx, s.config_url, s.work_folder)) return road::downloaded;
    if (s.cancelled()) return road::cancelled;

    log_message(
        SEV_WARNING,
        L"[3] Top level mechanism - Relay - Config files from Agent handlers via Relay mechanism - Install files via p2p then Relay");
    dialog_message(s.ctx, MSG_USING_RELAY);
    if (download_via_relay(s.ctx, s.config_url, s.work_folder)) return road::downloaded;
    log_message(SEV_ERROR, L"Trying to install agent failed by all mechanisms");
    dialog_message(s.ctx, MSG_ALL_FAILED);
    return road::failed;
}

void install_agent(sequence& s) {
    log_message(SEV_INFO, L"[Install] Download files successfully. Installing agent now.");
    dialog_message(s.ctx, MSG_INSTALLING_AGENT);
    // The registry's tenant replaces the header's only when it is text that fits.
    size_t capacity = sizeof s.ctx->tenant_id;
    read_tenant_id(s.ctx->tenant_id, &capacity);
    int status =
        verify_agent_installer(s.ctx->manifest.get(), s.narrow_work_folder)
            ? launch_agent_installer(s.narrow_work_folder, s.ctx->agent_guid, s.ctx->tenant_id, instance_lock.get())
            : 0;
    log_message(SEV_INFO, L"[Install] Final status:%d", status);
    if (status == 0) {
        if (s.ctx->upgrade_flag) {
            dialog_message(s.ctx, MSG_UPGRADE_FAILED);
            log_message(SEV_ERROR, L"Agent upgrade failed");
        } else {
            dialog_message(s.ctx, MSG_INSTALLATION_FAILED);
            log_message(SEV_ERROR, L"Installation of Agent failed");
        }
        return;
    }
    if (move_installer_files(s.narrow_work_folder) == 1)
        log_message(SEV_INFO, L"Moved installation files to p2p folder successfully");
    log_message(SEV_INFO,
                s.ctx->upgrade_flag ? L"Agent was upgraded successfully" : L"Agent was installed successfully");
    if (s.cancelled()) return;
    dialog_message(s.ctx, MSG_CLEANING_UP);
    std::wstring folder;
    os_to_wide(std::string(s.narrow_work_folder), folder);
    log_message(SEV_INFO, L"Cleaning temporary files : %ls", folder.c_str());
    if (!folder.empty()) delete_folder_tree(folder.c_str());
    dialog_message(s.ctx, MSG_INSTALLATION_FINISHED);
}

void error_end(sequence& s) {
    log_message(SEV_ERROR, L"Error occured during agent bootstrap operations");
    dialog_message(s.ctx, MSG_ERROR_END);
    // A refused work folder stays refused: promising a resume would be false.
    if (work_folder_refused())
        log_message(SEV_ERROR,
                    L"The run was refused: the work folder cannot be trusted (see above); no run can "
                    L"go on until it is removed");
    else
        log_message(SEV_WARNING, L"FrameworkInstall.zip download is failed. It will resume in next run.");
}

void end_run(sequence& s) {
    log_message(SEV_INFO, L"Deinitializing...");
    dialog_finish(s.ctx);
    if (s.work_folder_known) {
        std::wstring upgrade;
        if (os_to_wide(std::string(s.narrow_work_folder) + "/Upgrade", upgrade)) delete_folder_tree(upgrade.c_str());
    }
}

// Steps up to the downloads; false means the error end.
bool prepare_run(sequence& s) {
    if (s.cancelled() || !os_supported(s) || !log_module_name(s) || s.cancelled()) return false;
    if (!read_connection_data(s) || !identify_machine(s) || s.cancelled()) return false;
    if (!identify_agent(s) || s.cancelled()) return false;
    if (!build_config_url(s) || s.cancelled()) return false;
    return prepare_work_folder(s);
}
}   // namespace

int run_bootstrap(run_context_ptr owned) {
    run_context* ctx = owned.get();
    enable_debug_log();
    log_message(SEV_INFO, L"Initializing to bootstrap...");
    sequence s(ctx);
    if (!ctx) {
        log_message(SEV_ERROR, L"Initialization failed");
        error_end(s);
        end_run(s);
        return 0;
    }
    active_run_scope active(ctx);
    dialog_set_step(ctx, 2);
    dialog_set_progress(ctx, 0);
    dialog_message(ctx, MSG_STARTING);
    dialog_message(ctx, MSG_INITIALIZING);

    bool ok = prepare_run(s) && download_by_any_mechanism(s) == road::downloaded && !s.cancelled();
    if (ok)
        install_agent(s);
    else
        error_end(s);
    end_run(s);
    active.leave();
    owned.reset();
    return 0;
}

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
