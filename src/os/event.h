// Manual-reset events: once set, an event stays set until it is reset.
// On Windows a named kernel event that other processes can open by its name. On POSIX nothing
// outside the process waits on such an event, so it is a process-local object and the name is
// only carried for the Windows build.
#pragma once

struct os_event;

// A new event, not set. Null when it cannot be made.
os_event* os_event_create(const char* name);

// Any thread.
void os_event_set(os_event* event);
void os_event_reset(os_event* event);
bool os_event_is_set(const os_event* event);

// Accepts null.
void os_event_close(os_event* event);
