// Named locks as flock() on a file in the machine-wide lock folder. flock locks belong to an
// open file description, so threads of one process also need the process-local mutex.
#include "os/named_lock.h"

#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

struct os_named_lock {
    int fd = -1;
    std::mutex in_process;
    bool held = false;   // by a thread of this process; changed only while in_process is held
    ~os_named_lock() {
        if (fd >= 0) close(fd);
    }
};

namespace {
std::string lock_file_path(const char* name) {
    std::string file;
    for (const char* p = name; *p; ++p) file += (*p == '/' || *p == '\\') ? '_' : *p;
    struct stat st;
    const char* folder = (stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode)) ? "/run/lock/" : "/tmp/";
    return folder + file + ".lock";
}
}  // namespace

os_named_lock* os_named_lock_open(const char* name) {
    if (!name || !*name) return nullptr;
    std::string path = lock_file_path(name);
    // Never truncated and never followed through a link: the folder is shared by all users.
    int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    auto* lock = new (std::nothrow) os_named_lock;
    if (!lock) {
        close(fd);
        return nullptr;
    }
    lock->fd = fd;
    return lock;
}

int os_named_lock_try(os_named_lock* lock) {
    if (!lock) return 0;
    if (!lock->in_process.try_lock()) return 0;
    if (flock(lock->fd, LOCK_EX | LOCK_NB) != 0) {
        lock->in_process.unlock();
        return 0;
    }
    lock->held = true;
    return 1;
}

void os_named_lock_wait(os_named_lock* lock) {
    if (!lock) return;
    lock->in_process.lock();
    while (flock(lock->fd, LOCK_EX) != 0) {
        // Only EINTR can end a blocking flock on a valid descriptor; try again.
    }
    lock->held = true;
}

void os_named_lock_release(os_named_lock* lock) {
    if (!lock || !lock->held) return;
    lock->held = false;
    flock(lock->fd, LOCK_UN);
    lock->in_process.unlock();
}

void os_named_lock_close(os_named_lock* lock) {
    if (!lock) return;
    os_named_lock_release(lock);
    delete lock;
}
