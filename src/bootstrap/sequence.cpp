// The install sequence: from the checks of the run to the agent installer and the clean-up.
#include "bootstrap/bootstrap.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "bootstrap/sequence.h"
#include "config/coninfo.h"
#include "core/connection_data.h"
#include "core/dialog.h"
#include "core/identity.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/options.h"
#include "core/run_context.h"
#include "core/work_folder.h"
#include "install/agent_installer.h"
#include "install/installer_files.h"
#include "os/host.h"
#include "os/paths.h"
#include "os/session.h"
#include "os/text.h"
#include "proxy/proxy_config.h"
#include "utils/bounded_text.h"

namespace {
constexpr unsigned min_os_major = 6;
constexpr size_t computer_name_capacity = 16;

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

void install_agent(sequence& s) {
    log_message(SEV_INFO, L"[Install] Download files successfully. Installing agent now.");
    dialog_message(s.ctx, MSG_INSTALLING_AGENT);
    // The registry's tenant replaces the header's only when it is text that fits.
    size_t capacity = sizeof s.ctx->tenant_id;
    read_tenant_id(s.ctx->tenant_id, &capacity);
    int status =
        verify_agent_installer(s.ctx->manifest.get(), s.narrow_work_folder)
            ? launch_agent_installer(s.narrow_work_folder, s.ctx->agent_guid, s.ctx->tenant_id, held_instance_lock())
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
