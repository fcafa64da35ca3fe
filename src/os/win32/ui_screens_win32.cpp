// The register of screens on display, where a request to cancel goes, and the dialogs' helpers.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "os/win32/resources/resource_ids.h"
#include "os/win32/ui_win32.h"

namespace {
std::mutex screens_lock;
std::vector<HWND> screens;                // guarded by screens_lock
std::vector<DWORD> message_box_threads;   // guarded by screens_lock
std::atomic<bool> cancel_is_requested{false};

// A message box is a dialog window of its thread that is not one of the registered screens (those
// get their own message); closing it is its Cancel, or OK for a box with one button. Called with
// screens_lock held.
BOOL CALLBACK close_message_box(HWND window, LPARAM) {
    wchar_t class_name[16] = {};
    GetClassNameW(window, class_name, 16);
    bool screen = std::find(screens.begin(), screens.end(), window) != screens.end();
    if (!screen && lstrcmpW(class_name, L"#32770") == 0) PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}
}   // namespace

void ui_request_cancel() {
    cancel_is_requested.store(true);
    std::lock_guard<std::mutex> guard(screens_lock);
    for (HWND window : screens) PostMessageW(window, win32_ui::cancel_message, 0, 0);
    for (DWORD thread : message_box_threads) EnumThreadWindows(thread, close_message_box, 0);
}

namespace win32_ui {

bool cancel_requested() { return cancel_is_requested.load(); }

void register_screen(HWND window) {
    std::lock_guard<std::mutex> guard(screens_lock);
    screens.push_back(window);
    // Checked under the lock: a request made before this point finds the screen or is seen here.
    if (cancel_is_requested.load()) PostMessageW(window, cancel_message, 0, 0);
}

void unregister_screen(HWND window) {
    std::lock_guard<std::mutex> guard(screens_lock);
    screens.erase(std::remove(screens.begin(), screens.end(), window), screens.end());
}

void register_message_box_thread(DWORD thread_id) {
    std::lock_guard<std::mutex> guard(screens_lock);
    message_box_threads.push_back(thread_id);
}

void unregister_message_box_thread(DWORD thread_id) {
    std::lock_guard<std::mutex> guard(screens_lock);
    auto found = std::find(message_box_threads.begin(), message_box_threads.end(), thread_id);
    if (found != message_box_threads.end()) message_box_threads.erase(found);
}

HICON set_icon_and_title(HWND dialog, const std::wstring& title) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HICON icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(QSW_ICON_MAIN), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    if (icon) SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SetWindowTextW(dialog, title.c_str());
    return icon;
}

std::wstring window_text(HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void wipe_control(HWND control) {
    int length = GetWindowTextLengthW(control);
    if (length > 0) SetWindowTextW(control, std::wstring(static_cast<size_t>(length), L' ').c_str());
    SetWindowTextW(control, L"");
}

void initialise_common_controls() {
    static std::once_flag once;
    std::call_once(once, [] {
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
    });
}

}   // namespace win32_ui
