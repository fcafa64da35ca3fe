// Stop requests are console control events (Ctrl-C, Ctrl-Break, the console closing, logoff,
// shutdown), delivered by the system on a thread of its own, so the handler may lock, log and
// post. For the close, logoff and shutdown events the system ends the process once the handler
// returns; the handler therefore waits until the run has ended and the watch is over (the
// system's own time limit still applies), so that the run can end itself and write its log.
#include "os/stop_request.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace {
os_stop_handler current = nullptr;
std::atomic<bool> watching{false};
std::mutex running;   // held while a handler runs; unwatching waits for it
HANDLE watch_over = nullptr;

bool ends_the_process(DWORD event) {
    return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

BOOL WINAPI on_control_event(DWORD event) {
    {
        std::lock_guard<std::mutex> guard(running);
        if (!watching.load()) return TRUE;   // held back: the run is over already
        current(static_cast<int>(event));
    }
    if (ends_the_process(event) && watch_over) WaitForSingleObject(watch_over, INFINITE);
    return TRUE;
}
}   // namespace

bool os_watch_stop_requests(os_stop_handler handler) {
    if (!handler || watching.load()) return false;
    if (!watch_over) watch_over = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!watch_over) return false;
    ResetEvent(watch_over);
    current = handler;
    watching.store(true);
    if (!SetConsoleCtrlHandler(on_control_event, TRUE)) {
        watching.store(false);
        return false;
    }
    return true;
}

// The handler stays installed, answering later events itself, so that a request arriving
// after the watch no longer ends the process half-way through its last lines.
void os_unwatch_stop_requests() {
    if (!watching.load()) return;
    std::lock_guard<std::mutex> guard(running);
    watching.store(false);
    SetEvent(watch_over);
}
