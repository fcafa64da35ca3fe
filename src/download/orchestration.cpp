#include "download/orchestration.h"

#include <atomic>
#include <cwchar>
#include <string>

#include "config/hash_manifest.h"
#include "core/dialog.h"
#include "core/file_digest.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/run_context.h"
#include "core/work_folder.h"
#include "download/config_package.h"
#include "download/install_package.h"
#include "download/proxy_record.h"
#include "install/zip_extract.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/text.h"
#include "utils/bounded_text.h"

namespace {
std::atomic<bool> install_message_shown{false};

// "https://server.example:443/config?..." -> "server.example": the text after "//" of the URL
// cut at its last ':'.
std::wstring server_host(const wchar_t* config_url) {
    std::wstring url(config_url);
    if (url.size() > 1023) url.resize(1023);
    size_t colon = url.rfind(L':');
    if (colon != std::wstring::npos) url.resize(colon);
    size_t slashes = url.find(L"//");
    return slashes == std::wstring::npos ? url : url.substr(slashes + 2);
}

// Files of an earlier configuration package (or planted by an install package of an older
// installer) must not stand in for files this package lacks.
void remove_configuration_files(const std::wstring& folder) {
    for (const wchar_t* name : {L"hashes.xml", L"sitelist.xml", L"PackageInfo.xml"})
        os_delete_file(folder + OS_SEP_S + name);
}

bool extract_config_package(const std::wstring& package, wchar_t* work_folder) {
    size_t cut = package.rfind(os_path_separator);
    if (package.empty() || package.size() >= path_capacity || cut == std::wstring::npos) return false;
    std::wstring folder = package.substr(0, cut);
    copy_text(work_folder, path_capacity, folder.c_str());
    remove_configuration_files(folder);
    std::string narrow_zip, narrow_folder;
    return os_to_narrow(package, narrow_zip) && os_to_narrow(folder, narrow_folder) && !narrow_zip.empty() &&
           !narrow_folder.empty() && extract_zip(narrow_zip.c_str(), narrow_folder.c_str()) == 0;
}

// Fetched, verified against Config-Hash and extracted; 0 on any failure or cancel.
int bring_config_package(run_context* ctx, const wchar_t* config_url, wchar_t* work_folder, proxy_record* route) {
    ctx->progress_position = 0;
    ctx->phase = download_phase::configuration;
    wchar_t package[path_capacity] = {};
    if (!retrieve_config_package(work_folder, config_url, package, ctx, route)) {
        log_message(SEV_ERROR, L"Could not download FrameworkConfig.zip");
        return 0;
    }
    if (run_cancelled(ctx)) return 0;
    dialog_message(ctx, MSG_VERIFYING_CONFIG);
    if (!verify_file_digest(package, ctx->config_hash)) {
        log_message(SEV_ERROR, L"Hash verification of FrameworkConfig.zip failed");
        return 0;
    }
    log_message(SEV_INFO, L"FrameworkConfig.zip was verified");
    if (run_cancelled(ctx)) return 0;
    dialog_message(ctx, MSG_DECOMPRESSING_CONFIG);
    if (!extract_config_package(package, work_folder)) {
        log_message(SEV_ERROR, L"Decompression of FrameworkConfig.zip failed");
        return 0;
    }
    ctx->config_done = 1;
    log_message(SEV_INFO, L"FrameworkConfig.zip extracted to %ls", package);
    // Read now, before anything of the install package reaches the folder.
    keep_trusted_manifest(ctx, work_folder);
    return run_cancelled(ctx) ? 0 : 1;
}
}   // namespace

int download_packages(run_context* ctx, const wchar_t* config_url, const wchar_t* work_folder_in, proxy_record* route) {
    if (!ctx || !config_url || !work_folder_in) return 0;
    wchar_t work_folder[path_capacity] = {};
    copy_text(work_folder, path_capacity, work_folder_in);
    if (route) {
        clear_proxy_credentials(route);
        if (route->route_kind == ROUTE_PEERS)
            dialog_message(ctx, MSG_DOWNLOADING_CONFIG, server_host(config_url).c_str());
    }
    if (!ctx->config_done && !bring_config_package(ctx, config_url, work_folder, route)) return 0;

    wchar_t package[path_capacity] = {};
    if (!install_message_shown.exchange(true)) dialog_message(ctx, MSG_DOWNLOADING_INSTALL);
    ctx->progress_position = 0;
    ctx->phase = download_phase::install;
    if (!retrieve_install_package(package, work_folder, ctx, route, ctx->resume_flag)) {
        if (route && route->route_kind != ROUTE_PEERS)
            log_message(SEV_ERROR, L"Downloading of FrameworkInstall.zip failed");
        return 0;
    }
    return run_cancelled(ctx) ? 0 : 1;
}
