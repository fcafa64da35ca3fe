// The installer's screens for a Windows build without its dialog resources: no screen can be
// shown, so every screen reports failure and the run goes on silently. The mailbox is the
// real one, since the dialog logic posts to it whether or not a screen is up.
#include "os/user_interface.h"

#include <deque>
#include <mutex>
#include <new>

struct ui_mailbox {
    std::mutex lock;
    std::deque<ui_post> posts;   // guarded by lock
};

ui_mailbox* ui_mailbox_create() { return new (std::nothrow) ui_mailbox; }

void ui_mailbox_release(ui_mailbox* box) { delete box; }

bool ui_mailbox_post(ui_mailbox* box, ui_post post) {
    if (!box) return false;
    try {
        std::lock_guard<std::mutex> guard(box->lock);
        box->posts.push_back(std::move(post));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool ui_mailbox_take(ui_mailbox* box, ui_post& out) {
    if (!box) return false;
    std::lock_guard<std::mutex> guard(box->lock);
    if (box->posts.empty()) return false;
    out = std::move(box->posts.front());
    box->posts.pop_front();
    return true;
}

void ui_request_cancel() {}

ui_choice ui_show_welcome(const std::wstring&, const std::wstring&, const std::wstring&, int* error) {
    if (error) *error = 1;
    return ui_choice::failed;
}

int ui_run_progress_screen(const std::wstring&, ui_mailbox*, ui_progress_handler&, int* error) {
    if (error) *error = 1;
    return -1;
}

bool ui_message_box(const std::wstring&, const std::wstring&) { return false; }

bool ui_prompt_credentials(const ui_credentials_form&, std::wstring&, std::wstring&) { return false; }
