// The proxy credentials dialog. A prompt asked on another thread while a progress screen runs is
// handed to that screen's thread (the dialog must belong to the thread of its owner) and the
// asking thread waits for the answer; one prompt at a time.
#include <condition_variable>
#include <mutex>
#include <vector>

#include "os/user_interface.h"
#include "os/win32/resources/resource_ids.h"
#include "os/win32/ui_win32.h"

namespace {
struct credentials_dialog {
    const ui_credentials_form* form;
    std::wstring* user;
    std::wstring* password;
};

struct prompt_request {
    const ui_credentials_form* form;
    std::wstring* user;
    std::wstring* password;
    bool done = false;
    bool accepted = false;
};

std::mutex prompt_lock;
std::condition_variable prompt_answered;
prompt_request* waiting_prompt = nullptr;   // guarded by prompt_lock; posted, not yet shown
bool prompt_shown = false;                  // guarded by prompt_lock; a served prompt is up
HWND progress_window = nullptr;             // guarded by prompt_lock
DWORD progress_thread = 0;                  // guarded by prompt_lock

void set_text_if_given(HWND dialog, int control, const std::wstring& text) {
    if (!text.empty()) SetDlgItemTextW(dialog, control, text.c_str());
}

void init_credentials_dialog(HWND dialog, const credentials_dialog& state) {
    const ui_credentials_form& form = *state.form;
    if (!form.title.empty()) SetWindowTextW(dialog, form.title.c_str());
    set_text_if_given(dialog, QSW_CONTROL_USER_LABEL, form.user_label);
    set_text_if_given(dialog, QSW_CONTROL_PASSWORD_LABEL, form.password_label);
    set_text_if_given(dialog, IDOK, form.ok);
    set_text_if_given(dialog, IDCANCEL, form.cancel);
    if (form.max_length) {
        for (int field : {QSW_CONTROL_TEXT, QSW_CONTROL_PASSWORD})
            SendDlgItemMessageW(dialog, field, EM_SETLIMITTEXT, form.max_length, 0);
    }
}

// Takes a field's text and leaves nothing of it in the control.
std::wstring take_field(HWND dialog, int control) {
    HWND field = GetDlgItem(dialog, control);
    std::wstring text = win32_ui::window_text(field);
    win32_ui::wipe_control(field);
    return text;
}

INT_PTR CALLBACK credentials_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* state = reinterpret_cast<credentials_dialog*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, GWLP_USERDATA, lparam);
            init_credentials_dialog(dialog, *reinterpret_cast<credentials_dialog*>(lparam));
            win32_ui::register_screen(dialog);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK && state) {
                *state->user = take_field(dialog, QSW_CONTROL_TEXT);
                *state->password = take_field(dialog, QSW_CONTROL_PASSWORD);
                EndDialog(dialog, IDOK);
            } else if (LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
            }
            return TRUE;
        case win32_ui::cancel_message: EndDialog(dialog, IDCANCEL); return TRUE;
        case WM_DESTROY:
            win32_ui::wipe_control(GetDlgItem(dialog, QSW_CONTROL_PASSWORD));
            win32_ui::unregister_screen(dialog);
            return FALSE;
        default: return FALSE;
    }
}

enum class remote_prompt { not_asked, accepted, refused };

remote_prompt ask_progress_screen(const ui_credentials_form& form, std::wstring& user, std::wstring& password) {
    prompt_request request{&form, &user, &password};
    std::unique_lock<std::mutex> guard(prompt_lock);
    if (!progress_window || progress_thread == GetCurrentThreadId()) return remote_prompt::not_asked;
    if (waiting_prompt || prompt_shown) return remote_prompt::refused;
    if (!PostMessageW(progress_window, win32_ui::prompt_message, 0, 0)) return remote_prompt::refused;
    waiting_prompt = &request;
    prompt_answered.wait(guard, [&request] { return request.done; });
    return request.accepted ? remote_prompt::accepted : remote_prompt::refused;
}
}   // namespace

namespace win32_ui {

bool show_credentials_dialog(HWND owner, const ui_credentials_form& form, std::wstring& user, std::wstring& password) {
    std::wstring typed_user, typed_password;
    credentials_dialog state{&form, &typed_user, &typed_password};
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(QSW_DIALOG_CREDENTIALS), owner,
                                     credentials_procedure, reinterpret_cast<LPARAM>(&state));
    bool accepted = result == IDOK;
    if (accepted) {
        user = typed_user;
        password = typed_password;
    }
    SecureZeroMemory(&typed_user[0], typed_user.size() * sizeof(wchar_t));
    SecureZeroMemory(&typed_password[0], typed_password.size() * sizeof(wchar_t));
    return accepted;
}

void set_progress_screen(HWND window) {
    std::lock_guard<std::mutex> guard(prompt_lock);
    progress_window = window;
    progress_thread = window ? GetCurrentThreadId() : 0;
    if (!window && waiting_prompt) {   // the screen went before it could show the prompt
        waiting_prompt->done = true;
        waiting_prompt = nullptr;
        prompt_answered.notify_all();
    }
}

HWND progress_screen_of_this_thread() {
    std::lock_guard<std::mutex> guard(prompt_lock);
    return progress_thread == GetCurrentThreadId() ? progress_window : nullptr;
}

void serve_waiting_prompt(HWND screen) {
    prompt_request* request;
    {
        // Taken off the list while shown: the asking thread waits for this answer, whatever
        // happens to the screen meanwhile.
        std::lock_guard<std::mutex> guard(prompt_lock);
        request = waiting_prompt;
        waiting_prompt = nullptr;
        prompt_shown = request != nullptr;
    }
    if (!request) return;
    bool accepted = show_credentials_dialog(screen, *request->form, *request->user, *request->password);
    std::lock_guard<std::mutex> guard(prompt_lock);
    prompt_shown = false;
    request->accepted = accepted;
    request->done = true;
    prompt_answered.notify_all();
}

}   // namespace win32_ui

bool ui_prompt_credentials(const ui_credentials_form& form, std::wstring& user, std::wstring& password) {
    if (win32_ui::cancel_requested()) return false;
    remote_prompt remote = ask_progress_screen(form, user, password);
    if (remote != remote_prompt::not_asked) return remote == remote_prompt::accepted;
    return win32_ui::show_credentials_dialog(win32_ui::progress_screen_of_this_thread(), form, user, password);
}
