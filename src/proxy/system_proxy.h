// The system's proxies for the proxy mechanism when none was given on the command line: the
// logged-on user's settings (found through their desktop shell process and read as that
// user), automatic detection or the user's configuration script, the user's manual list, and
// the machine's default. Install worker thread only.
#pragma once

#include <string>

#include "proxy/proxy_list.h"

struct os_desktop_user;

constexpr long proxy_result_ok = 0;                                 // S_OK
constexpr long proxy_result_fail = static_cast<long>(0x80004005);   // E_FAIL

// The user agent of proxy script downloads.
constexpr char proxy_detection_user_agent[] = "Mozilla/2.0 (compatible; MSIE 3.0B; Win32)";

// Fills `list` with the proxies for `url` (the wide configuration URL), or sets *no_proxy_flag
// to 1 when the user's settings name no proxy of any kind (the machine default is then not
// consulted). Sources in order, the first that gives anything wins: the user's settings
// (automatic detection or their script, then their manual list), then the machine default.
void getLoggedOnUsersIESettings(const wchar_t* url, int* no_proxy_flag, proxy_list* list);

// The user of the desktop shell process: the shell named by the machine's configuration
// (registry value Shell of ...\Winlogon), else the platform's usual shells. proxy_result_ok
// with *user (close with os_close_desktop_user), or proxy_result_fail.
long stealExplorersToken(os_desktop_user** user);

// Resolves the proxies for `url` as `user` by automatic detection (`pac_url` null or empty) or
// with the script at `pac_url`, and appends them to `list`. 1 when a proxy list was found.
int autoDetectProxy(const wchar_t* url, const wchar_t* pac_url, proxy_list* list, os_desktop_user* user);

// The URL that resolution asks about: the configuration URL (at most 511 characters) with any
// scheme other than http or https replaced by http.
std::wstring proxy_query_url(const wchar_t* url);
