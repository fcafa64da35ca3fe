// The mailbox of a progress screen: a locked queue plus a pipe whose read end wakes the
// screen's poll. One byte per post; a full pipe already promises a wake-up.
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <deque>
#include <mutex>
#include <new>

#include "os/posix/terminal_posix.h"
#include "os/user_interface.h"

struct ui_mailbox {
    std::mutex lock;
    std::deque<ui_post> posts;   // guarded by lock
    int wake_read = -1;
    int wake_write = -1;

    ~ui_mailbox() {
        if (wake_read >= 0) close(wake_read);
        if (wake_write >= 0) close(wake_write);
    }
};

ui_mailbox* ui_mailbox_create() {
    auto* box = new (std::nothrow) ui_mailbox;
    if (!box) return nullptr;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        delete box;
        return nullptr;
    }
    box->wake_read = fds[0];
    box->wake_write = fds[1];
    return box;
}

void ui_mailbox_release(ui_mailbox* box) { delete box; }

bool ui_mailbox_post(ui_mailbox* box, ui_post post) {
    if (!box) return false;
    try {
        std::lock_guard<std::mutex> guard(box->lock);
        box->posts.push_back(std::move(post));
    } catch (const std::bad_alloc&) {
        return false;
    }
    terminal::mailbox_poke(box);
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

namespace terminal {

int mailbox_wake_fd(ui_mailbox* box) { return box ? box->wake_read : -1; }

void mailbox_drain_wake(ui_mailbox* box) {
    char buffer[64];
    while (box && ::read(box->wake_read, buffer, sizeof buffer) > 0) {}
}

void mailbox_poke(ui_mailbox* box) {
    if (!box) return;
    char one = 1;
    ssize_t ignored = ::write(box->wake_write, &one, 1);   // EAGAIN: a wake-up is pending anyway
    (void)ignored;
}

}   // namespace terminal
