// Named locks shared between processes: the single-instance lock and the log mutex.
// The kernel drops a lock when its holder dies, so a crashed run never blocks the next one.
#pragma once

struct os_named_lock;

// Opens (creating when needed) the lock of this name. Null when it cannot be made.
os_named_lock* os_named_lock_open(const char* name);

// Takes the lock without waiting: 1 taken (held until release or close), 0 held elsewhere.
int os_named_lock_try(os_named_lock* lock);

// Waits without a time limit until this thread holds the lock. Threads of one process
// exclude each other as well as other processes.
void os_named_lock_wait(os_named_lock* lock);

void os_named_lock_release(os_named_lock* lock);

// Releases (if held) and closes. Accepts null.
void os_named_lock_close(os_named_lock* lock);
