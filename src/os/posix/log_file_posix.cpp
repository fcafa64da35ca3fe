#include "os/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <memory>

struct os_log_file {
    int fd = -1;
};

long long os_rotate_log_file(const std::string& path, const std::string& backup_path, long long rotate_size) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return 0;
    if (st.st_size < rotate_size) return st.st_size;
    unlink(backup_path.c_str());
    rename(path.c_str(), backup_path.c_str());
    return 0;
}

os_log_file* os_log_file_open(const std::string& path) {
    auto file = std::make_unique<os_log_file>();
    file->fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    return file->fd < 0 ? nullptr : file.release();
}

bool os_log_file_append(os_log_file* file, const std::string& data) {
    if (!file) return false;
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(file->fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void os_log_file_close(os_log_file* file) {
    if (!file) return;
    close(file->fd);
    delete file;
}

bool os_local_time(std::time_t when, std::tm& out) { return localtime_r(&when, &out) != nullptr; }
