#include "proxy/system_proxy.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <vector>

#include "core/log.h"
#include "install/process_lookup.h"
#include "os/processes.h"
#include "os/registry.h"
#include "os/text.h"
#include "os/user_proxy.h"

namespace {
constexpr char winlogon_key[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr size_t shell_name_capacity = 260;
constexpr size_t query_url_capacity = 511;
constexpr size_t query_scheme_capacity = 99;

struct desktop_user_closer {
    void operator()(os_desktop_user* user) const noexcept { os_close_desktop_user(user); }
};
using desktop_user_ptr = std::unique_ptr<os_desktop_user, desktop_user_closer>;

// The machine's own shell when its configuration names one, else the platform's usual ones.
std::vector<std::wstring> shell_image_names() {
    os_registry_type type = OS_REG_OTHER;
    std::string data;
    std::wstring shell;
    if (os_registry_read(winlogon_key, "Shell", &type, &data) == OS_REG_FOUND && type == OS_REG_SZ &&
        os_wide_from_utf8(data, shell) && !shell.empty() && shell.size() <= shell_name_capacity)
        return {shell};
    return os_default_shell_images();
}

// The 32-bit edition on a 64-bit system asks the task lister, with the image name as filter
// first and then over the whole list.
bool find_through_task_lister(const std::vector<std::wstring>& images, int* pid) {
    for (const std::wstring& image : images)
        if (find_process_id_by_image(image.c_str(), pid, 1) || find_process_id_by_image(image.c_str(), pid, 0))
            return true;
    return false;
}

bool find_in_process_list(const std::vector<std::wstring>& images, int* pid) {
    log_message(SEV_INFO, L"findProcessId");
    for (const std::wstring& image : images)
        if (os_find_process_by_image(image, pid)) return true;
    return false;
}

bool equals_ignoring_case(const std::wstring& a, const wchar_t* b) {
    if (a.size() != std::wcslen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return true;
}

// The user's own settings. True when they decided the matter: a proxy list found, or no proxy
// at all (then *no_proxy_flag is 1).
bool from_user_settings(const wchar_t* url, int* no_proxy_flag, proxy_list* list, os_desktop_user* user) {
    os_user_proxy_config config;
    if (!os_read_user_proxy_config(user, &config)) return false;
    if (config.auto_detect && autoDetectProxy(url, nullptr, list, user) == 1) {
        log_message(SEV_INFO, L"checking lpszAutoConfigUrl");
        log_message(SEV_INFO, L"checking lpszProxy");
        return true;
    }
    bool found = false;
    log_message(SEV_INFO, L"checking lpszAutoConfigUrl");
    if (!config.auto_config_url.empty()) found = autoDetectProxy(url, config.auto_config_url.c_str(), list, user) == 1;
    log_message(SEV_INFO, L"checking lpszProxy");
    if (!found && !config.proxy.empty()) found = processProxyList(config.proxy.c_str(), list) == 1;
    if (!config.auto_detect && config.auto_config_url.empty() && config.proxy.empty()) {
        *no_proxy_flag = 1;
        found = true;
    }
    return found;
}

void from_machine_default(proxy_list* list) {
    log_message(SEV_INFO, L"getDefaultProxyConfiguration");
    std::wstring proxies;
    if (!os_read_default_proxy(proxies) || proxies.empty()) return;
    log_message(SEV_INFO, L"getDefaultProxyConfiguration lpszProxy :%ls\n", proxies.c_str());
    processProxyList(proxies.c_str(), list);
}
}   // namespace

std::wstring proxy_query_url(const wchar_t* url) {
    std::wstring text = url ? url : L"";
    if (text.size() > query_url_capacity) text.resize(query_url_capacity);
    size_t mark = text.find(L"://");
    if (mark == std::wstring::npos) return L"http://" + text;
    std::wstring scheme = text.substr(0, std::min(mark, query_scheme_capacity));
    if (equals_ignoring_case(scheme, L"http") || equals_ignoring_case(scheme, L"https")) return text;
    return L"http://" + text.substr(mark + 3);
}

long stealExplorersToken(os_desktop_user** user) {
    if (!user) return proxy_result_fail;
    *user = nullptr;
    std::vector<std::wstring> images = shell_image_names();
    log_message(SEV_INFO, L"stealExplorersToken");
    int pid = 0;
    bool found = os_is_32bit_process_on_64bit_system() ? find_through_task_lister(images, &pid)
                                                       : find_in_process_list(images, &pid);
    if (!found) return proxy_result_fail;
    log_message(SEV_INFO, L"fetched process id of explorer");
    *user = os_open_process_user(pid);
    return *user ? proxy_result_ok : proxy_result_fail;
}

int autoDetectProxy(const wchar_t* url, const wchar_t* pac_url, proxy_list* list, os_desktop_user* user) {
    log_message(SEV_INFO, L"autoDetectProxy");
    if (!url || !list || !user) return 0;
    std::wstring proxies;
    switch (os_resolve_proxy_for_url(user, proxy_query_url(url), pac_url ? pac_url : L"", proxy_detection_user_agent,
                                     proxies)) {
        case OS_PROXY_NAMED:
            if (!proxies.empty()) processProxyList(proxies.c_str(), list);
            return 1;
        case OS_PROXY_NO_ENGINE:
            log_message(SEV_WARNING, L"autoDetectProxy: proxy scripts cannot be evaluated on this system; skipped");
            return 0;
        case OS_PROXY_TIMED_OUT:
            log_message(SEV_WARNING,
                        L"autoDetectProxy: proxy resolution did not end within its time limit and was stopped");
            return 0;
        default: return 0;
    }
}

void getLoggedOnUsersIESettings(const wchar_t* url, int* no_proxy_flag, proxy_list* list) {
    int ignored = 0;
    int* flag = no_proxy_flag ? no_proxy_flag : &ignored;
    os_desktop_user* opened = nullptr;
    bool have_user = stealExplorersToken(&opened) == proxy_result_ok;
    desktop_user_ptr user(opened);
    log_message(SEV_INFO, L"getLoggedOnUsersIESettings");
    bool found = have_user && from_user_settings(url, flag, list, user.get());
    user.reset();
    if (!found) from_machine_default(list);
}
