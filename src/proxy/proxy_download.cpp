#include "proxy/proxy_download.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "core/log.h"
#include "core/options.h"
#include "download/orchestration.h"
#include "download/proxy_record.h"
#include "os/text.h"
#include "proxy/proxy_list.h"
#include "proxy/system_proxy.h"

namespace {
constexpr size_t port_text_capacity = 15;

// The -p text read as a decimal number ("8080"; "abc" gives 0, which the transfer ignores);
// a text of more than 15 characters gives 0 as well.
int32_t command_line_port() {
    const char* text = get_option_utf8(OPT_PROXY_PORT);
    if (!text || std::strlen(text) > port_text_capacity) return 0;
    long long value = std::strtoll(text, nullptr, 10);
    return value < INT32_MIN || value > INT32_MAX ? 0 : static_cast<int32_t>(value);
}

void use_command_line_proxy(proxy_record* route) {
    const char* host = get_option_utf8(OPT_PROXY_ADDRESS);
    int32_t port = command_line_port();
    if (!host || !set_proxy_host(route, host, port)) route->port = port;
}

// The scheme code of the configuration URL, for a proxy list without an all-schemes entry.
int32_t scheme_of_url(const wchar_t* url) {
    if (std::wcsstr(url, L"http://")) return PROXY_SCHEME_HTTP;
    if (std::wcsstr(url, L"https://")) return PROXY_SCHEME_HTTPS;
    if (std::wcsstr(url, L"ftp://")) return PROXY_SCHEME_FTP;
    return PROXY_SCHEME_ALL;
}

// An IPv6 literal goes to libcurl in brackets.
bool set_detected_proxy(proxy_record* route, const proxy_entry& entry) {
    std::string host;
    if (!os_to_narrow(entry.host, host) || host.size() >= proxy_host_capacity) return false;
    bool bracketed = host.find('[') != std::string::npos && host.find(']') != std::string::npos;
    if (host.find(':') != std::string::npos && !bracketed) host = "[" + host + "]";
    return set_proxy_host(route, host.c_str(), entry.port);
}

// The system's proxy for the configuration URL. False when the system names none.
bool use_system_proxy(proxy_record* route, const wchar_t* config_url) {
    proxy_list_ptr list(create_proxy_list());
    if (!list) return false;
    int no_proxy = 0;
    getLoggedOnUsersIESettings(config_url, &no_proxy, list.get());
    if (no_proxy) return false;
    proxy_entry_ptr chosen(getProxyServer(list.get(), PROXY_SCHEME_ALL));
    if (!chosen) chosen.reset(getProxyServer(list.get(), scheme_of_url(config_url)));
    log_message(SEV_INFO, L"download_files_via_proxy");
    if (!chosen || chosen->host.empty()) return false;
    log_message(SEV_INFO, L"download_files_via_proxy:getProxyServer got proxy");
    if (!set_detected_proxy(route, *chosen)) {
        log_message(SEV_ERROR, L"The proxy host %ls is too long and is not used", chosen->host.c_str());
        return false;
    }
    log_message(SEV_INFO, L"downloading via proxy address %ls and port %d", chosen->host.c_str(), chosen->port);
    return true;
}
}   // namespace

int download_files_via_proxy(run_context* ctx, const wchar_t* config_url, const wchar_t* work_folder,
                             proxy_prompt_fn prompt) {
    if (!ctx || !config_url || !work_folder) return 0;
    auto route = std::make_unique<proxy_record>();
    route->route_kind = ROUTE_PROXY;
    // A proxy that asks for credentials the run does not have may get them from the person at
    // the progress dialog (never in a silent run).
    route->prompt_credentials = prompt;
    if (get_proxy_presence_bits() & (PROXY_GIVEN_ADDRESS | PROXY_GIVEN_PORT)) {
        use_command_line_proxy(route.get());
    } else if (!use_system_proxy(route.get(), config_url)) {
        return 0;
    }
    int result = download_packages(ctx, config_url, work_folder, route.get());
    clear_proxy_credentials(route.get());
    return result;
}
