// A named manual-reset kernel event, so that another process (a deployment tool) can open
// the cancel event by its name and set it.
#include "os/event.h"

#include <windows.h>

#include <string>

#include "os/text.h"

struct os_event {
    HANDLE handle = nullptr;
};

os_event* os_event_create(const char* name) {
    std::wstring wide;
    if (name && !os_to_wide(std::string(name), wide)) return nullptr;
    HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, name ? wide.c_str() : nullptr);
    if (!handle) return nullptr;
    auto* event = new (std::nothrow) os_event;
    if (!event) {
        CloseHandle(handle);
        return nullptr;
    }
    event->handle = handle;
    // An event left set by an earlier run that still holds it open must not cancel this one.
    ResetEvent(handle);
    return event;
}

void os_event_set(os_event* event) {
    if (event) SetEvent(event->handle);
}

void os_event_reset(os_event* event) {
    if (event) ResetEvent(event->handle);
}

bool os_event_is_set(const os_event* event) { return event && WaitForSingleObject(event->handle, 0) == WAIT_OBJECT_0; }

void os_event_close(os_event* event) {
    if (!event) return;
    CloseHandle(event->handle);
    delete event;
}
