#include "os/pipe.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

int os_pipe_create(int* read_end, int* write_end) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return errno;
    *read_end = fds[0];
    *write_end = fds[1];
    return 0;
}

long os_pipe_write(int end, const void* data, size_t size, int* error) {
    ssize_t written;
    do {
        written = write(end, data, size);
    } while (written < 0 && errno == EINTR);
    if (written < 0 && error) *error = errno;
    return static_cast<long>(written);
}

void os_pipe_close(int end) {
    if (end >= 0) close(end);
}
