#include "os/session.h"

#include <windows.h>

#include <shellapi.h>

#include <mutex>

bool os_is_administrator() {
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &administrators))
        return false;
    BOOL member = FALSE;
    bool checked = CheckTokenMembership(nullptr, administrators, &member) != 0;
    FreeSid(administrators);
    return checked && member;
}

// Session 0 is where services and deployment agents run; no desktop is shown there.
bool os_is_noninteractive_session() {
    DWORD session = 0;
    return ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0;
}

namespace {
// RtlGetVersion tells the real version; GetVersionExW answers what the manifest declares.
bool real_version(OSVERSIONINFOEXW& info) {
    using rtl_get_version = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    info = OSVERSIONINFOEXW{};
    info.dwOSVersionInfoSize = sizeof info;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto call = ntdll
                    ? reinterpret_cast<rtl_get_version>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                    : nullptr;
    if (call && call(&info) == 0) return true;
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != 0;
}
}   // namespace

bool os_get_version(os_version* out) {
    OSVERSIONINFOEXW info;
    if (!out || !real_version(info)) return false;
    out->major = info.dwMajorVersion;
    out->minor = info.dwMinorVersion;
    return true;
}

os_embedded_answer os_embedded_system() {
    OSVERSIONINFOEXW info;
    if (!real_version(info) || info.wSuiteMask == 0) return OS_EMBEDDED_UNKNOWN;
    return (info.wSuiteMask & VER_SUITE_EMBEDDEDNT) ? OS_EMBEDDED_YES : OS_EMBEDDED_NO;
}

unsigned os_user_lcid() { return MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT); }

// The wide command line the system keeps is the true one: the narrow argv of the runtime has
// already lost what the code page cannot express.
void os_remember_arguments(int, char**) {}

bool os_get_arguments(std::vector<os_argument>& out) {
    out.clear();
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return false;
    for (int i = 0; i < count; ++i) {
        os_argument item;
        item.text = arguments[i];
        out.push_back(std::move(item));
    }
    LocalFree(arguments);
    return !out.empty();
}
