#include "bootstrap/dialogs.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>

#include "core/messages.h"
#include "download/proxy_record.h"
#include "utils/bounded_text.h"

namespace {
constexpr wchar_t dialog_title[] = L"Quenta Swiftset 5.8.3";
constexpr size_t next_caption_capacity = 120;

// Set while a dialog of this run is on screen: the owner of a credentials prompt. A silent
// run has none, and nobody is asked.
std::atomic<int> dialogs_shown{0};

struct shown_dialog {
    shown_dialog() { ++dialogs_shown; }
    ~shown_dialog() { --dialogs_shown; }
};
}   // namespace

int run_welcome_dialog(int* error) {
    shown_dialog shown;
    wchar_t caption[next_caption_capacity] = {};
    format_text(caption, next_caption_capacity, L"%ls>>", get_message_text(MSG_NEXT));
    switch (ui_show_welcome(dialog_title, get_message_text(MSG_WELCOME), caption, error)) {
        case ui_choice::next: return welcome_next;
        case ui_choice::closed: return 0;
        default: return -1;
    }
}

int run_progress_dialog(int* error, install_worker_fn worker) {
    progress_dialog* dialog = create_progress_dialog();
    if (!dialog) {
        if (error) *error = ENOMEM;
        return -1;
    }
    int result;
    {
        shown_dialog shown;
        progress_dialog_procedure procedure(dialog, worker);
        result = ui_run_progress_screen(dialog_title, dialog->mailbox, procedure, error);
    }
    release_progress_dialog(dialog);
    return result;
}

int prompt_proxy_credentials(proxy_record* record) {
    if (!record || dialogs_shown.load() == 0) return 0;
    ui_credentials_form form{L"Enter Proxy Credentials",   L"Username", L"Password", L"OK", L"Cancel",
                             proxy_credential_capacity - 1};
    std::wstring user, password;
    bool accepted = ui_prompt_credentials(form, user, password) && !user.empty() && !password.empty();
    if (accepted) {
        copy_text(record->proxy_user, proxy_credential_capacity, user.c_str());
        copy_text(record->proxy_password, proxy_credential_capacity, password.c_str());
    }
    std::fill(user.begin(), user.end(), L'\0');
    std::fill(password.begin(), password.end(), L'\0');
    return accepted ? 1 : 0;
}
