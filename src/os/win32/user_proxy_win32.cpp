// The desktop user is the token of their shell process; their Internet settings are read and
// proxies resolved while the calling thread impersonates that token, so the user's own
// settings and the user's rights apply, never the installer's.
#include "os/user_proxy.h"

#include <windows.h>

#include <winhttp.h>

#include <new>

struct os_desktop_user {
    HANDLE token = nullptr;   // an impersonation token of the shell's user
};

namespace {
// Resolution by detection or script may stall on the network; WinHTTP stops it after these.
constexpr int resolve_timeout_ms = 30000;

// Impersonates for the lifetime of the object; reverts on every way out.
class impersonation {
public:
    explicit impersonation(os_desktop_user* user) : active_(user && ImpersonateLoggedOnUser(user->token)) {}
    ~impersonation() {
        if (active_) RevertToSelf();
    }
    impersonation(const impersonation&) = delete;
    impersonation& operator=(const impersonation&) = delete;
    bool active() const { return active_; }

private:
    bool active_;
};

std::wstring take_global_text(LPWSTR text) {
    if (!text) return {};
    std::wstring copy(text);
    GlobalFree(text);
    return copy;
}

os_proxy_resolution resolution_error(DWORD error) {
    if (error == ERROR_WINHTTP_TIMEOUT) return OS_PROXY_TIMED_OUT;
    return OS_PROXY_NOT_FOUND;
}
}   // namespace

std::vector<std::wstring> os_default_shell_images() { return {L"Explorer.exe"}; }

os_desktop_user* os_open_process_user(int pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) return nullptr;
    HANDLE primary = nullptr, duplicate = nullptr;
    bool opened = OpenProcessToken(process, TOKEN_DUPLICATE | TOKEN_QUERY, &primary) &&
                  DuplicateToken(primary, SecurityImpersonation, &duplicate);
    if (primary) CloseHandle(primary);
    CloseHandle(process);
    if (!opened) return nullptr;
    auto* user = new (std::nothrow) os_desktop_user;
    if (!user) {
        CloseHandle(duplicate);
        return nullptr;
    }
    user->token = duplicate;
    return user;
}

void os_close_desktop_user(os_desktop_user* user) {
    if (!user) return;
    CloseHandle(user->token);
    delete user;
}

bool os_read_user_proxy_config(os_desktop_user* user, os_user_proxy_config* out) {
    if (!out) return false;
    *out = os_user_proxy_config{};
    impersonation as_user(user);
    if (!as_user.active()) return false;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) return false;
    out->auto_detect = config.fAutoDetect != FALSE;
    out->auto_config_url = take_global_text(config.lpszAutoConfigUrl);
    out->proxy = take_global_text(config.lpszProxy);
    out->bypass = take_global_text(config.lpszProxyBypass);
    return true;
}

os_proxy_resolution os_resolve_proxy_for_url(os_desktop_user* user, const std::wstring& url,
                                             const std::wstring& script_url, const std::string& user_agent,
                                             std::wstring& proxies) {
    proxies.clear();
    impersonation as_user(user);
    if (!as_user.active()) return OS_PROXY_NOT_FOUND;
    std::wstring agent(user_agent.begin(), user_agent.end());
    HINTERNET session =
        WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) return OS_PROXY_NOT_FOUND;
    WinHttpSetTimeouts(session, resolve_timeout_ms, resolve_timeout_ms, resolve_timeout_ms, resolve_timeout_ms);
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (script_url.empty()) {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = script_url.c_str();
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    os_proxy_resolution result = OS_PROXY_DIRECT;
    if (!WinHttpGetProxyForUrl(session, url.c_str(), &options, &info)) {
        result = resolution_error(GetLastError());
    } else {
        proxies = take_global_text(info.lpszProxy);
        take_global_text(info.lpszProxyBypass);
        if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !proxies.empty()) result = OS_PROXY_NAMED;
    }
    WinHttpCloseHandle(session);
    return result;
}

bool os_read_default_proxy(std::wstring& proxies) {
    proxies.clear();
    WINHTTP_PROXY_INFO info{};
    if (!WinHttpGetDefaultProxyConfiguration(&info)) return false;
    proxies = take_global_text(info.lpszProxy);
    take_global_text(info.lpszProxyBypass);
    if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY) proxies.clear();
    return !proxies.empty();
}
