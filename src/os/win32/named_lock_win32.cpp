// Named kernel mutexes. A mutex that already existed when it was opened means another process
// holds it open, and that is what "held elsewhere" means here: the single-instance check of
// Windows programs, which also holds while a program that inherited the handle still runs,
// since an inherited handle keeps the object alive though not owned. Waits take ownership; an
// abandoned mutex (its holder died) is taken as well, so a crashed run never blocks the next.
// Ownership belongs to a thread: release happens on the thread that waited.
#include "os/win32/named_lock_win32.h"
#include "os/named_lock.h"

#include <new>

#include "os/text.h"

struct os_named_lock {
    HANDLE handle = nullptr;
    bool existed = false;   // opened, not created
    bool held = false;      // owned by a thread of this process
    ~os_named_lock() {
        if (handle) CloseHandle(handle);
    }
};

os_named_lock* os_named_lock_open(const char* name, std::string* why) {
    std::wstring wide;
    if (!name || !os_to_wide(std::string(name), wide)) {
        if (why) *why = "lock name cannot be converted";
        return nullptr;
    }
    auto* lock = new (std::nothrow) os_named_lock;
    if (!lock) return nullptr;
    lock->handle = CreateMutexW(nullptr, FALSE, wide.c_str());
    if (!lock->handle) {
        if (why) *why = "cannot create mutex " + std::string(name) + " (error " + std::to_string(GetLastError()) + ")";
        delete lock;
        return nullptr;
    }
    lock->existed = GetLastError() == ERROR_ALREADY_EXISTS;
    return lock;
}

int os_named_lock_try(os_named_lock* lock) {
    if (!lock || lock->existed) return 0;
    DWORD result = WaitForSingleObject(lock->handle, 0);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) return 0;
    lock->held = true;
    return 1;
}

int os_named_lock_wait(os_named_lock* lock) {
    if (!lock) return 0;
    DWORD result = WaitForSingleObject(lock->handle, INFINITE);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) return 0;
    lock->held = true;
    return 1;
}

void os_named_lock_release(os_named_lock* lock) {
    if (!lock || !lock->held) return;
    if (ReleaseMutex(lock->handle)) lock->held = false;
}

void os_named_lock_close(os_named_lock* lock) {
    if (!lock) return;
    os_named_lock_release(lock);
    delete lock;
}

HANDLE named_lock_handle(os_named_lock* lock) { return lock ? lock->handle : nullptr; }
