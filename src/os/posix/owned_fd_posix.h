// A file descriptor that closes itself on every path.
#pragma once

#include <unistd.h>

struct owned_fd {
    int fd = -1;
    explicit owned_fd(int value = -1) : fd(value) {}
    ~owned_fd() {
        if (fd >= 0) close(fd);
    }
    owned_fd(const owned_fd&) = delete;
    owned_fd& operator=(const owned_fd&) = delete;
    // Hands the descriptor to the caller, who closes it.
    int release() {
        int value = fd;
        fd = -1;
        return value;
    }
};
