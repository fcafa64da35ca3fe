// The welcome screen and message boxes of the Windows edition (the progress screen and the
// credentials prompt have files of their own). Each runs modally on the calling thread.
#include "os/user_interface.h"
#include "os/win32/resources/resource_ids.h"
#include "os/win32/ui_win32.h"

namespace {
struct welcome_screen {
    const std::wstring* title;
    const std::wstring* text;
    const std::wstring* next_caption;
    HICON icon = nullptr;
};

constexpr INT_PTR welcome_closed = 0;

INT_PTR CALLBACK welcome_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* screen = reinterpret_cast<welcome_screen*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    switch (message) {
        case WM_INITDIALOG:
            screen = reinterpret_cast<welcome_screen*>(lparam);
            SetWindowLongPtrW(dialog, GWLP_USERDATA, lparam);
            screen->icon = win32_ui::set_icon_and_title(dialog, *screen->title);
            SetDlgItemTextW(dialog, QSW_CONTROL_TEXT, screen->text->c_str());
            SetDlgItemTextW(dialog, QSW_CONTROL_NEXT, screen->next_caption->c_str());
            win32_ui::register_screen(dialog);
            SetFocus(GetDlgItem(dialog, QSW_CONTROL_NEXT));
            return FALSE;   // the focus is set
        case WM_COMMAND:
            // Next (or Enter, its default button) goes on; Esc and the close box close.
            if (LOWORD(wparam) == QSW_CONTROL_NEXT || LOWORD(wparam) == IDOK) EndDialog(dialog, QSW_CONTROL_NEXT);
            if (LOWORD(wparam) == IDCANCEL) EndDialog(dialog, welcome_closed);
            return TRUE;
        case win32_ui::cancel_message: EndDialog(dialog, welcome_closed); return TRUE;
        case WM_DESTROY:
            win32_ui::unregister_screen(dialog);
            if (screen && screen->icon) DestroyIcon(screen->icon);
            return FALSE;
        default: return FALSE;
    }
}
}   // namespace

ui_choice ui_show_welcome(const std::wstring& title, const std::wstring& text, const std::wstring& next_caption,
                          int* error) {
    win32_ui::initialise_common_controls();
    welcome_screen screen{&title, &text, &next_caption};
    SetLastError(0);
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(QSW_DIALOG_WELCOME), nullptr,
                                     welcome_procedure, reinterpret_cast<LPARAM>(&screen));
    if (result == -1) {
        if (error) *error = static_cast<int>(GetLastError());
        return ui_choice::failed;
    }
    return result == QSW_CONTROL_NEXT ? ui_choice::next : ui_choice::closed;
}

bool ui_message_box(const std::wstring& title, const std::wstring& text) {
    if (win32_ui::cancel_requested()) return true;   // closed at once, as if by its person
    win32_ui::initialise_common_controls();
    DWORD thread = GetCurrentThreadId();
    win32_ui::register_message_box_thread(thread);
    int shown = MessageBoxW(win32_ui::progress_screen_of_this_thread(), text.c_str(), title.c_str(),
                            MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    win32_ui::unregister_message_box_thread(thread);
    // 0 is the documented failure; a box whose window could not be made (no desktop to draw on)
    // comes back as -1 under Wine. Either way nobody saw the text.
    return shown > 0;
}
