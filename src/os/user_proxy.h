// The proxy settings of the person logged on at the machine's desktop, and of the machine.
//
// The installer runs as the machine's administrator, but a proxy is often known only to the
// logged-on user: their desktop settings, their automatic configuration script, or automatic
// detection on their network. These calls find that user through their desktop shell process,
// read the user's settings with the user's rights (never the installer's), and resolve a
// proxy for a URL by automatic detection or a script.
//
// Windows: the user is the primary token of the shell process; reading and resolving happen
// while the calling thread impersonates it (WinHttpGetIEProxyConfigForCurrentUser,
// WinHttpGetProxyForUrl); the machine default is WinHttpGetDefaultProxyConfiguration.
// POSIX: the user is the uid, gid, groups and environment of the shell process; reading and
// resolving run in a separate process of this program with exactly those rights and that
// environment, no descriptor of the installer, a working folder of its own and a time limit.
// What comes back from it is checked as untrusted input.
//
// All calls block; they are made on the install worker thread.
#pragma once

#include <string>
#include <vector>

// The image names of the desktop shells whose processes identify the logged-on user, in the
// order they are looked for, when the machine's configuration names none (Windows:
// "Explorer.exe"; POSIX: the shells of the common desktops).
std::vector<std::wstring> os_default_shell_images();

// The user running process `pid`. Null when the process is gone or cannot be opened.
struct os_desktop_user;
os_desktop_user* os_open_process_user(int pid);
void os_close_desktop_user(os_desktop_user* user);   // accepts null

// A user's proxy configuration: the four fields the installer reads.
struct os_user_proxy_config {
    bool auto_detect = false;       // find a script by automatic detection (WPAD)
    std::wstring auto_config_url;   // the automatic configuration script (PAC), or empty
    std::wstring proxy;             // manual proxy list ("http=h:p;https=h:p", "h:p"), or empty
    std::wstring bypass;            // hosts reached without proxy, or empty
};

// Reads the user's configuration as that user. False when it cannot be read (nothing is known
// from this source then); all fields empty means the user's settings name no proxy.
bool os_read_user_proxy_config(os_desktop_user* user, os_user_proxy_config* out);

enum os_proxy_resolution {
    OS_PROXY_NAMED,       // `proxies` holds the proxy list for the URL
    OS_PROXY_DIRECT,      // the URL is to be reached without proxy
    OS_PROXY_NOT_FOUND,   // no script found, fetched or understood
    OS_PROXY_NO_ENGINE,   // this system cannot evaluate proxy scripts
    OS_PROXY_TIMED_OUT,   // resolution did not end within its time limit and was stopped
};

// Resolves the proxy for `url` as `user`: with the script at `script_url`, or, when that is
// empty, with a script found by automatic detection. `user_agent` is what script downloads
// say they are.
os_proxy_resolution os_resolve_proxy_for_url(os_desktop_user* user, const std::wstring& url,
                                             const std::wstring& script_url, const std::string& user_agent,
                                             std::wstring& proxies);

// The machine's default proxy list, set by its administrator or deployment tool. False (and an
// empty list) when none is set.
bool os_read_default_proxy(std::wstring& proxies);
