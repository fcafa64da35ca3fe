// Named locks shared between processes: the single-instance lock and the log mutex.
// The kernel drops a lock when its holder dies, so a crashed run never blocks the next one.
#pragma once

#include <memory>
#include <string>

struct os_named_lock;

// Opens (creating when needed) the lock of this name. Null when it cannot be made or its place
// cannot be trusted; `why` (optional) then says what was refused, for the caller to report.
os_named_lock* os_named_lock_open(const char* name, std::string* why = nullptr);

// Takes the lock without waiting: 1 taken (held until release or close), 0 held elsewhere. On
// Windows a lock that already existed when it was opened counts as held elsewhere: another
// process (or a program that inherited it) has it open, the single-instance rule there.
int os_named_lock_try(os_named_lock* lock);

// Waits without a time limit until this thread holds the lock: 1 held, 0 when the wait cannot
// succeed (the lock is then not held). Threads of one process exclude each other as well as
// other processes.
int os_named_lock_wait(os_named_lock* lock);

void os_named_lock_release(os_named_lock* lock);

// Releases (if held) and closes. Accepts null.
void os_named_lock_close(os_named_lock* lock);

struct os_named_lock_closer {
    void operator()(os_named_lock* lock) const noexcept { os_named_lock_close(lock); }
};
using os_named_lock_ptr = std::unique_ptr<os_named_lock, os_named_lock_closer>;
