// The mailbox of a progress screen: a locked queue whose posts wake the screen's window with
// one posted window message. One wake is outstanding at a time, so a busy worker cannot fill
// the thread's message queue.
#include <deque>
#include <mutex>
#include <new>

#include "os/user_interface.h"
#include "os/win32/ui_win32.h"

struct ui_mailbox {
    std::mutex lock;
    std::deque<ui_post> posts;   // guarded by lock
    HWND window = nullptr;       // guarded by lock
    bool wake_pending = false;   // guarded by lock
};

namespace {
// The caller holds the lock.
void wake_locked(ui_mailbox* box) {
    if (!box->window || box->wake_pending || box->posts.empty()) return;
    box->wake_pending = PostMessageW(box->window, win32_ui::wake_message, 0, 0) != 0;
}
}   // namespace

ui_mailbox* ui_mailbox_create() { return new (std::nothrow) ui_mailbox; }

void ui_mailbox_release(ui_mailbox* box) { delete box; }

bool ui_mailbox_post(ui_mailbox* box, ui_post post) {
    if (!box) return false;
    try {
        std::lock_guard<std::mutex> guard(box->lock);
        box->posts.push_back(std::move(post));
        wake_locked(box);
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

namespace win32_ui {

void mailbox_attach(ui_mailbox* box, HWND window) {
    std::lock_guard<std::mutex> guard(box->lock);
    box->window = window;
    box->wake_pending = false;
    wake_locked(box);
}

void mailbox_detach(ui_mailbox* box) {
    std::lock_guard<std::mutex> guard(box->lock);
    box->window = nullptr;
    box->wake_pending = false;
}

void mailbox_rearm(ui_mailbox* box) {
    std::lock_guard<std::mutex> guard(box->lock);
    box->wake_pending = false;
}

}   // namespace win32_ui
