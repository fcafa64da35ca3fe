// The signals are blocked in every thread (each new thread inherits the mask) and taken by one
// thread with sigwait, so the handler is ordinary code: it may lock, log and post, which a
// signal handler could not. Programs the installer starts get the default mask back.
#include "os/stop_request.h"

#include <pthread.h>
#include <atomic>
#include <csignal>
#include <system_error>
#include <thread>

namespace {
std::thread watcher;   // used by the thread that watches and unwatches
std::atomic<bool> stopping{false};
os_stop_handler current = nullptr;   // set before the watcher starts, read by it only

sigset_t watched_signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGTERM);
    return set;
}

void watch() {
    sigset_t set = watched_signals();
    for (;;) {
        int sig = 0;
        if (sigwait(&set, &sig) != 0) continue;
        if (stopping.load()) return;
        current(sig);
    }
}
}   // namespace

bool os_watch_stop_requests(os_stop_handler handler) {
    if (!handler || watcher.joinable()) return false;
    sigset_t set = watched_signals();
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return false;
    current = handler;
    stopping.store(false);
    try {
        watcher = std::thread(watch);
    } catch (const std::system_error&) {
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        return false;
    }
    return true;
}

void os_unwatch_stop_requests() {
    if (!watcher.joinable()) return;
    stopping.store(true);
    // Directed at the watcher, which has it blocked: its sigwait returns (now, or after a
    // running handler) and sees the flag.
    pthread_kill(watcher.native_handle(), SIGTERM);
    watcher.join();
}
