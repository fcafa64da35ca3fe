// The few platform services that the dialog code needs beyond the screens, for the screens-only
// Windows build (QSW_WINDOWS_UI_ONLY), which has no other part of src/os/win32/. Real Win32
// calls; the full Windows build links its platform layer instead of this file.
#include <windows.h>

#include <cwchar>
#include <vector>

#include "os/event.h"
#include "os/session.h"
#include "os/text.h"

struct os_event {
    HANDLE handle;
};

os_event* os_event_create(const char* name) {
    HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, name);
    if (!handle) return nullptr;
    return new os_event{handle};
}

void os_event_set(os_event* event) {
    if (event) SetEvent(event->handle);
}

void os_event_reset(os_event* event) {
    if (event) ResetEvent(event->handle);
}

bool os_event_is_set(const os_event* event) { return event && WaitForSingleObject(event->handle, 0) == WAIT_OBJECT_0; }

void os_event_close(os_event* event) {
    if (!event) return;
    CloseHandle(event->handle);
    delete event;
}

unsigned os_user_lcid() { return GetUserDefaultUILanguage(); }

bool os_format_wide(std::wstring& out, const wchar_t* format, va_list args) {
    std::vector<wchar_t> buffer(256);
    for (int attempt = 0; attempt < 12; ++attempt) {
        va_list copy;
        va_copy(copy, args);
        int written = std::vswprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (written >= 0) {
            out.assign(buffer.data(), static_cast<size_t>(written));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
    return false;
}

bool os_to_narrow(const std::wstring& in, std::string& out) {
    out.clear();
    if (in.empty()) return true;
    BOOL lossy = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, in.data(), static_cast<int>(in.size()), nullptr, 0,
                                   nullptr, &lossy);
    if (size <= 0 || lossy) return false;
    out.resize(static_cast<size_t>(size));
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, in.data(), static_cast<int>(in.size()), &out[0], size,
                               nullptr, nullptr) == size;
}
