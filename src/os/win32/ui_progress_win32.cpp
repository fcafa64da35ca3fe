// The progress screen: dialog 101 run modally on the calling thread. The dialog logic is the
// caller's handler; this window feeds it the button, Esc and the close box (all IDCANCEL),
// Enter (IDOK), window timers and the mailbox's posts, and carries out what it asks.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <cerrno>
#include <set>

#include "os/user_interface.h"
#include "os/win32/resources/resource_ids.h"
#include "os/win32/ui_win32.h"

namespace {
// The step lines keep the focus, so that a stray Enter cannot press Cancel; a read-only edit
// would swallow Enter, so it is passed on to the dialog as IDOK (the handler's Enter).
LRESULT CALLBACK step_lines_procedure(HWND edit, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
    if (message == WM_KEYDOWN && wparam == VK_RETURN) {
        PostMessageW(GetParent(edit), WM_COMMAND, IDOK, 0);
        return 0;
    }
    if (message == WM_CHAR && wparam == L'\r') return 0;
    return DefSubclassProc(edit, message, wparam, lparam);
}

class progress_window final : public ui_progress_view {
public:
    progress_window(const std::wstring& title, ui_mailbox* box, ui_progress_handler& handler)
        : title_(title), box_(box), handler_(handler) {}

    // WM_INITDIALOG: false when the handler's start failed (the dialog is ending).
    bool open(HWND window) {
        window_ = window;
        icon_ = win32_ui::set_icon_and_title(window, title_);
        SendDlgItemMessageW(window, QSW_CONTROL_PROGRESS_BAR, PBM_SETRANGE32, 0, 100);
        SendDlgItemMessageW(window, QSW_CONTROL_TEXT, EM_SETLIMITTEXT, 0, 0);
        SetWindowSubclass(GetDlgItem(window, QSW_CONTROL_TEXT), step_lines_procedure, 0, 0);
        win32_ui::set_progress_screen(window);
        start_error_ = handler_.on_start(*this);
        if (start_error_ != 0) {
            end(-1);
            return false;
        }
        win32_ui::mailbox_attach(box_, window);
        win32_ui::register_screen(window);
        return true;
    }

    void close() {
        RemoveWindowSubclass(GetDlgItem(window_, QSW_CONTROL_TEXT), step_lines_procedure, 0);
        win32_ui::unregister_screen(window_);
        win32_ui::mailbox_detach(box_);
        win32_ui::set_progress_screen(nullptr);
        for (int id : timers_) KillTimer(window_, static_cast<UINT_PTR>(id));
        if (icon_) DestroyIcon(icon_);
        icon_ = nullptr;
    }

    void deliver_posts() {
        win32_ui::mailbox_rearm(box_);
        ui_post post;
        while (!ended_ && ui_mailbox_take(box_, post)) handler_.on_post(*this, post);
    }

    void command(int id) {
        if (ended_) return;
        if (id == IDCANCEL) handler_.on_cancel(*this);
        if (id == IDOK) handler_.on_enter(*this);
    }

    // A request from outside counts once per screen, however often it arrives.
    void cancel_from_outside() {
        if (ended_ || cancel_delivered_) return;
        cancel_delivered_ = true;
        handler_.on_cancel(*this);
    }

    void timer(int id) {
        if (!ended_) handler_.on_timer(*this, id);
    }

    void append_line(const std::wstring& line) override {
        HWND edit = GetDlgItem(window_, QSW_CONTROL_TEXT);
        LRESULT length = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
        SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(length), length);
        SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(edit_lines(line).c_str()));
        SendMessageW(edit, EM_SCROLLCARET, 0, 0);
    }

    void set_bar(int position) override {
        SendDlgItemMessageW(window_, QSW_CONTROL_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }

    void set_button(const std::wstring& caption, bool enabled) override {
        HWND button = GetDlgItem(window_, IDCANCEL);
        SetWindowTextW(button, caption.c_str());
        EnableWindow(button, enabled ? TRUE : FALSE);
    }

    void set_timer(int id, unsigned milliseconds) override {
        if (SetTimer(window_, static_cast<UINT_PTR>(id), milliseconds, nullptr)) timers_.insert(id);
    }

    void kill_timer(int id) override {
        KillTimer(window_, static_cast<UINT_PTR>(id));
        timers_.erase(id);
    }

    void end(int result) override {
        ended_ = true;
        result_ = result;
        EndDialog(window_, result);
    }

    int start_error() const { return start_error_; }
    bool ended() const { return ended_; }
    int result() const { return result_; }

private:
    // An edit control breaks lines only at "\r\n": a line's own line feeds become that too.
    static std::wstring edit_lines(const std::wstring& line) {
        std::wstring text;
        text.reserve(line.size() + 2);
        for (wchar_t ch : line) {
            if (ch == L'\r') continue;
            if (ch == L'\n') text += L'\r';
            text += ch;
        }
        return text + L"\r\n";
    }

    std::wstring title_;
    ui_mailbox* box_;
    ui_progress_handler& handler_;
    HWND window_ = nullptr;
    HICON icon_ = nullptr;
    std::set<int> timers_;
    int start_error_ = 0;
    bool ended_ = false;
    bool cancel_delivered_ = false;
    int result_ = 0;
};

INT_PTR CALLBACK progress_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lparam);
        reinterpret_cast<progress_window*>(lparam)->open(dialog);
        return TRUE;   // the focus goes to the step lines: a stray Enter must not cancel the run
    }
    auto* screen = reinterpret_cast<progress_window*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (!screen) return FALSE;
    switch (message) {
        case WM_COMMAND: screen->command(LOWORD(wparam)); return TRUE;
        case WM_TIMER: screen->timer(static_cast<int>(wparam)); return TRUE;
        case win32_ui::wake_message: screen->deliver_posts(); return TRUE;
        case win32_ui::cancel_message: screen->cancel_from_outside(); return TRUE;
        case win32_ui::prompt_message:
            if (screen->ended()) return TRUE;
            // A prompt asked at once may come before the modal loop has shown its owner.
            if (!IsWindowVisible(dialog)) ShowWindow(dialog, SW_SHOW);
            win32_ui::serve_waiting_prompt(dialog);
            return TRUE;
        case WM_DESTROY: screen->close(); return FALSE;
        default: return FALSE;
    }
}
}   // namespace

int ui_run_progress_screen(const std::wstring& title, ui_mailbox* box, ui_progress_handler& handler, int* error) {
    int unused = 0;
    if (!error) error = &unused;
    if (!box) {
        *error = EINVAL;
        return -1;
    }
    win32_ui::initialise_common_controls();
    progress_window screen(title, box, handler);
    INT_PTR shown = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(QSW_DIALOG_PROGRESS), nullptr,
                                    progress_procedure, reinterpret_cast<LPARAM>(&screen));
    if (screen.start_error() != 0) {
        *error = screen.start_error();
        return -1;
    }
    if (shown == -1 && !screen.ended()) {
        *error = static_cast<int>(GetLastError());
        return -1;
    }
    return screen.result();
}
