// Named locks as flock() on a file in a lock folder only the installer's user can write
// (`$QSW_LOCK_DIR`, else /run/quenta-swiftset). A world-writable folder such as /run/lock would
// let any user hold the lock, or plant a FIFO or a link under its name. flock locks belong to an
// open file description, so threads of one process also need the process-local mutex.
#include "os/posix/named_lock_posix.h"
#include "os/named_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

struct os_named_lock {
    int fd = -1;
    std::mutex in_process;
    bool held = false;   // by a thread of this process; changed only while in_process is held
    ~os_named_lock() {
        if (fd >= 0) close(fd);
    }
};

namespace {
constexpr char default_lock_folder[] = "/run/quenta-swiftset";

std::string lock_folder() {
    const char* env = std::getenv("QSW_LOCK_DIR");
    return (env && env[0] == '/') ? env : default_lock_folder;
}

std::string describe(const char* what, const std::string& path, const struct stat* st) {
    char detail[96] = "";
    if (st)
        std::snprintf(detail, sizeof detail, " (owner %u, mode %04o)", static_cast<unsigned>(st->st_uid),
                      static_cast<unsigned>(st->st_mode & 07777));
    return std::string(what) + " " + path + detail;
}

// The folder is made private when missing and trusted only when it is a real directory of the
// effective user that nobody else can write to.
int open_lock_folder(const std::string& folder, std::string& why) {
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        why = describe("cannot create lock folder", folder, nullptr);
        return -1;
    }
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0) close(fd);
        why = describe("lock folder is not a directory", folder, nullptr);
        return -1;
    }
    if (st.st_uid != geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        close(fd);
        why = describe("lock folder is not private", folder, &st);
        return -1;
    }
    return fd;
}

std::string lock_file_name(const char* name) {
    std::string file;
    for (const char* p = name; *p; ++p) file += (*p == '/' || *p == '\\') ? '_' : *p;
    return file + ".lock";
}

// Never truncated, never followed through a link, and never blocked on: O_NONBLOCK keeps a FIFO
// from holding the open, and anything but a regular file of ours is refused.
int open_lock_file(int folder_fd, const std::string& folder, const std::string& file, std::string& why) {
    int fd = openat(folder_fd, file.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    std::string path = folder + "/" + file;
    if (fd < 0) {
        why = describe("cannot open lock file", path, nullptr);
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        why = describe("lock file is not a regular file of ours", path, &st);
        close(fd);
        return -1;
    }
    return fd;
}
}   // namespace

os_named_lock* os_named_lock_open(const char* name, std::string* why) {
    std::string reason;
    if (!why) why = &reason;
    if (!name || !*name) return nullptr;
    std::string folder = lock_folder();
    int folder_fd = open_lock_folder(folder, *why);
    if (folder_fd < 0) return nullptr;
    int fd = open_lock_file(folder_fd, folder, lock_file_name(name), *why);
    close(folder_fd);
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

int os_named_lock_wait(os_named_lock* lock) {
    if (!lock) return 0;
    lock->in_process.lock();
    while (flock(lock->fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        lock->in_process.unlock();   // an error a retry cannot mend: report it, never spin
        return 0;
    }
    lock->held = true;
    return 1;
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

int named_lock_descriptor(const os_named_lock* lock) { return lock ? lock->fd : -1; }
