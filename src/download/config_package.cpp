#include "download/config_package.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "config/coninfo.h"
#include "config/hash_manifest.h"
#include "core/dialog.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/options.h"
#include "core/run_context.h"
#include "core/work_folder.h"
#include "download/host_forms.h"
#include "download/proxy_record.h"
#include "download/transfer.h"
#include "download/url_host.h"
#include "install/zip_extract.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/text.h"
#include "utils/bounded_text.h"

namespace {
constexpr size_t narrow_url_capacity = 1024;
constexpr int config_progress_start = 20;


// ---------------------------------------------------------------------------------------------
// Download events

int report_config_event(const wchar_t* text, int event, run_context* ctx) {
    const wchar_t* shown = text ? text : L"";
    switch (event) {
        case EVENT_CONFIG_DOWNLOAD_STARTED:
            ctx->progress_position = 0;
            log_message(SEV_INFO, L"Downloading FrameworkConfig.zip from %ls", shown);
            dialog_set_progress(ctx, config_progress_start);
            break;
        case 404:
            log_message(SEV_INFO, L"Request might be sent with invalid or expired token code:Response: %ls", shown);
            dialog_message(ctx, MSG_INVALID_TOKEN, shown);
            break;
        case 403:
            log_message(SEV_INFO, L"Use count associated with this bootstrap might be over:Response: %ls", shown);
            dialog_message(ctx, MSG_USE_COUNT_OVER, shown);
            break;
        default: log_message(SEV_INFO, L"Configuration request response code: %ls", shown); break;
    }
    return 0;
}

void report_delete_failure(os_delete_status status, const std::wstring& path) {
    switch (status) {
        case OS_DELETED: break;
        case OS_DELETE_NOT_FOUND: log_message(SEV_INFO, L"There is no %ls to delete", path.c_str()); break;
        case OS_DELETE_DENIED:
            log_message(SEV_INFO, L"Access denied while deleting %ls. Please delete the the file %ls and try again",
                        path.c_str(), path.c_str());
            break;
        case OS_DELETE_FAILED:
            log_message(SEV_INFO, L"Unknown error deleting %ls. Please delete the the file %ls and try again",
                        path.c_str(), path.c_str());
            break;
    }
}

// A previous run's installer programs must not survive into this extraction.
void remove_old_installer(const std::wstring& folder) {
    std::wstring cleanup = folder + OS_SEP_S L"cleanup.exe";
    os_delete_status status = os_delete_file_status(cleanup);
    report_delete_failure(status, cleanup);
    if (status != OS_DELETED) return;
    std::wstring installer = folder + OS_SEP_S L"Vesinst.exe";
    report_delete_failure(os_delete_file_status(installer), installer);
}

int extract_install_package(const wchar_t* package, run_context* ctx) {
    std::wstring zip = package ? package : L"";
    std::wstring folder;
    std::string narrow_zip, narrow_folder;
    size_t cut = zip.rfind(os_path_separator);
    if (!zip.empty() && zip.size() < path_capacity && cut != std::wstring::npos) {
        folder = zip.substr(0, cut);
        os_to_narrow(zip, narrow_zip);
        os_to_narrow(folder, narrow_folder);
    }
    dialog_message(ctx, MSG_DECOMPRESSING_INSTALL);
    if (!folder.empty()) remove_old_installer(folder);
    if (narrow_zip.empty() || narrow_folder.empty() ||
        extract_install_zip(narrow_zip.c_str(), narrow_folder.c_str(), ctx ? ctx->install_unpacked_ahead : nullptr) !=
            zip_extracted) {
        dialog_message(ctx, MSG_DECOMPRESSING_INSTALL_FAILED);
        log_message(SEV_ERROR, L"Decompression of FrameworkInstall.zip failed");
        return 0;
    }
    log_message(SEV_INFO, L"Install file extracted to %ls", folder.c_str());
    return 1;
}

int report_install_event(const wchar_t* text, int event, run_context* ctx) {
    const wchar_t* shown = text ? text : L"";
    switch (event) {
        case EVENT_FILE_VERIFIED: log_message(SEV_INFO, L"Hash verification of %ls succeded", shown); return 0;
        case EVENT_FILE_VERIFY_FAILED:
            dialog_message(ctx, MSG_VERIFYING_INSTALL_FILE_FAILED, shown);
            log_message(SEV_INFO, L"Verification of %ls failed", shown);
            return 0;
        case EVENT_FILE_VERIFYING:
            dialog_message(ctx, MSG_VERIFYING_INSTALL_FILE, shown);
            log_message(SEV_INFO, L"Verifying %ls ", shown);
            return 0;
        case EVENT_EXTRACT_INSTALL_PACKAGE: return extract_install_package(text, ctx);
        default: return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Configuration package

struct config_request {
    config_request(run_context* c, proxy_record* r, transfer_handle* h) : ctx(c), route(r), handle(h) {}
    run_context* ctx;
    proxy_record* route;
    transfer_handle* handle;
    std::wstring coninfo;
    std::wstring query;    // the configuration URL from its last '?'
    std::string package;   // narrow, for libcurl
    int verify = 1;
    char ca_path[path_capacity] = {};
    long response_code = 0;
};

bool cancelled(run_context* ctx) {
    if (!on_download_event(nullptr, EVENT_QUERY_CANCEL, ctx)) return false;
    log_message(SEV_INFO, L"Download is aborted by user");
    return true;
}

// The URL of a host form from the document: its base followed by the configuration URL's query.
// Only the IP form is an address, bracketed when it has no dot (IPv6); a NetBIOS name has no
// dot either and stays as it is. Empty when the document has no such host.
std::wstring url_from_document(const config_request& r, const wchar_t* element, bool address) {
    wchar_t base[url_capacity] = {}, token[token_capacity] = {};
    read_coninfo_url(r.coninfo.c_str(), element, base, token);
    if (base[0] == L'\0') return {};
    std::wstring host = base;
    if (address && !std::wcschr(base, L'.')) {
        wchar_t formatted[transfer_url_capacity] = {};
        format_ipv6_url(base, formatted);
        host = formatted;
    }
    std::wstring url = host + r.query;
    if (url.size() >= url_capacity) return {};
    return url;
}

// The URL of a host form: from the document, or the configuration URL itself; empty when the
// document has no such host.
std::wstring url_of_form(const config_request& r, const host_form& form, const wchar_t* config_url) {
    return form.coninfo_element ? url_from_document(r, form.coninfo_element, form.address) : config_url;
}

bool config_arrived(int result, long code) { return result == 0 && code == 200; }

// The agent handler's hosts as the three fallback steps dial them (bsurl's through the
// configuration URL, serverip, serverNetbios): its certificate must name one of them.
std::vector<std::string> agent_handler_hosts(const config_request& r, const wchar_t* config_url) {
    std::vector<std::string> hosts;
    for (const std::wstring& url : {std::wstring(config_url), url_from_document(r, L"serverip", true),
                                    url_from_document(r, L"serverNetbios", false)}) {
        std::string narrow;
        if (url.empty() || !os_to_narrow(url, narrow)) continue;
        std::string host = url_host(narrow.c_str());
        if (!host.empty()) hosts.push_back(host);
    }
    return hosts;
}

void choose_tls(config_request& r, const wchar_t* work_folder) {
    const char* no_verify = get_option_utf8(OPT_NO_PEER_VERIFICATION);
    if (no_verify && std::strcmp(no_verify, "1") == 0) {
        r.verify = 0;
        return;
    }
    write_ca_bundle(work_folder, r.ca_path);
}

void apply_config_route(config_request& r) {
    if (!r.route || (r.route->route_kind != ROUTE_RELAY && r.route->route_kind != ROUTE_PROXY)) return;
    log_message(SEV_INFO, r.route->route_kind == ROUTE_RELAY ? L"Trying to connect to Lumacore via relay"
                                                             : L"Trying to connect to Lumacore via proxy");
    if (apply_route(r.handle, r.route) == 0) log_message(SEV_INFO, L"Proxy information successfully set");
}

enum class attempt_outcome { arrived, stop, next_form };

// One transfer of the package from `url`.
attempt_outcome attempt(config_request& r, const std::wstring& url) {
    std::string narrow;
    if (!os_to_narrow(url, narrow) || narrow.size() >= narrow_url_capacity) narrow.clear();
    std::wstring without_query = url.substr(0, url.find(L'?'));
    on_download_event(without_query.c_str(), EVENT_CONFIG_DOWNLOAD_STARTED, r.ctx);
    if (cancelled(r.ctx)) return attempt_outcome::stop;

    int result = transfer_trying_scopes(r.handle, r.route, narrow.c_str(), r.package.c_str(), r.verify, r.ca_path,
                                        &r.response_code, 0, L"scope id set to %d", config_arrived);
    std::wstring code = std::to_wstring(r.response_code);
    on_download_event(code.c_str(), static_cast<int>(r.response_code), r.ctx);
    if (result == 0 && r.response_code == 200) {
        log_message(SEV_INFO, L"Downloaded Frameworkconfig.zip Successfully");
        std::wstring package;
        os_to_wide(r.package, package);
        log_message(SEV_INFO, L"Frameworkconfig stored in %ls", package.c_str());
        return attempt_outcome::arrived;
    }
    log_message(SEV_INFO, L"Download of Frameworkconfig.zip Failed :%d", static_cast<int>(r.response_code));
    // The server answered but the body did not arrive whole: another host form would not help.
    return r.response_code == 200 ? attempt_outcome::stop : attempt_outcome::next_form;
}

// The host forms in order. 1 when the package arrived with response 200. A missing form moves
// on to the next at once; cancel is noticed before each attempt.
int fetch_with_fallback(config_request& r, const wchar_t* config_url) {
    bool after_attempt = true;
    for (const host_form& form : host_forms) {
        if (after_attempt && cancelled(r.ctx)) return 0;
        log_message(SEV_INFO, form.config.enter);
        std::wstring url = url_of_form(r, form, config_url);
        after_attempt = !url.empty();
        if (url.empty()) {
            if (!form.config.missing) return 0;
            log_message(SEV_WARNING, form.config.missing);
            continue;
        }
        log_message(SEV_INFO, form.config.trying, url.c_str());
        attempt_outcome outcome = attempt(r, url);
        if (outcome != attempt_outcome::next_form) return outcome == attempt_outcome::arrived ? 1 : 0;
    }
    return 0;
}
}   // namespace

int on_download_event(const wchar_t* text, int event, run_context* ctx) {
    if (!ctx) return 0;
    if (event == EVENT_QUERY_CANCEL) return ctx->cancel_flag.load();
    if (ctx->phase == download_phase::configuration) return report_config_event(text, event, ctx);
    if (ctx->phase == download_phase::install) return report_install_event(text, event, ctx);
    return 0;
}

int retrieve_config_package(const wchar_t* work_folder, const wchar_t* config_url, wchar_t* package_path,
                            run_context* ctx, proxy_record* route) {
    if (!work_folder || !*work_folder || !config_url) return 0;
    transfer_handle_ptr handle(create_transfer_handle(on_transfer_progress, ctx, on_response_header, ctx));
    if (!handle) return 0;

    config_request r(ctx, route, handle.get());
    std::wstring package = std::wstring(work_folder) + OS_SEP_S L"FrameworkConfig.zip";
    if (package.size() >= path_capacity || !os_to_narrow(package, r.package)) return 0;
    wchar_t option[path_capacity] = {};
    size_t capacity = path_capacity;
    bool user_file = get_option(OPT_CONINFO_PATH, option, &capacity) && capacity <= path_capacity;
    r.coninfo = user_file ? option : std::wstring(work_folder) + OS_SEP_S L"coninfo.xml";
    log_message(SEV_INFO, L"Connection info path %ls", r.coninfo.c_str());
    const wchar_t* question = std::wcsrchr(config_url, L'?');
    r.query = question ? question : L"";
    choose_tls(r, work_folder);
    if (r.verify && set_transfer_server_names(r.handle, agent_handler_hosts(r, config_url)) != 0) return 0;
    apply_config_route(r);

    int result = fetch_with_fallback(r, config_url);
    if (package_path && r.response_code == 200) copy_text(package_path, path_capacity, package.c_str());
    return result;
}
