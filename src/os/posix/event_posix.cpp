#include "os/event.h"

#include <atomic>
#include <new>
#include <string>

struct os_event {
    std::string name;
    std::atomic<bool> set{false};
};

os_event* os_event_create(const char* name) {
    try {
        auto* event = new os_event;
        event->name = name ? name : "";
        return event;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void os_event_set(os_event* event) {
    if (event) event->set.store(true);
}

void os_event_reset(os_event* event) {
    if (event) event->set.store(false);
}

bool os_event_is_set(const os_event* event) { return event && event->set.load(); }

void os_event_close(os_event* event) { delete event; }
