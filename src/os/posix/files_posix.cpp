#include "os/files.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "os/text.h"

namespace {
struct dir_closer {
    void operator()(DIR* d) const noexcept { closedir(d); }
};

struct fd_guard {
    int fd;
    ~fd_guard() {
        if (fd >= 0) close(fd);
    }
};

bool copy_then_delete(const std::string& from, const std::string& to) {
    fd_guard in{open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)};
    if (in.fd < 0) return false;
    struct stat st;
    if (fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    fd_guard out{open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777)};
    if (out.fd < 0) return false;
    std::unique_ptr<char[]> buffer(new char[1 << 20]);
    for (;;) {
        ssize_t n = read(in.fd, buffer.get(), 1 << 20);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out.fd, buffer.get() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += w;
        }
    }
    if (fsync(out.fd) != 0) return false;
    return unlink(from.c_str()) == 0;
}
}  // namespace

bool os_list_folder(const std::wstring& folder, std::vector<os_folder_entry>& out) {
    out.clear();
    std::string narrow;
    if (!os_to_narrow(folder, narrow)) return false;
    int fd = open(narrow.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    std::unique_ptr<DIR, dir_closer> dir(fdopendir(fd));
    if (!dir) {
        close(fd);
        return false;
    }
    while (dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        os_folder_entry item;
        item.is_folder = fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        if (!os_to_wide(name, item.name)) continue;   // a name this locale cannot express
        out.push_back(std::move(item));
    }
    return true;
}

bool os_delete_file(const std::wstring& path) {
    std::string narrow;
    return os_to_narrow(path, narrow) && unlink(narrow.c_str()) == 0;
}

os_delete_status os_delete_file_status(const std::wstring& path) {
    std::string narrow;
    if (!os_to_narrow(path, narrow)) return OS_DELETE_FAILED;
    if (unlink(narrow.c_str()) == 0) return OS_DELETED;
    if (errno == ENOENT) return OS_DELETE_NOT_FOUND;
    if (errno == EACCES || errno == EPERM) return OS_DELETE_DENIED;
    return OS_DELETE_FAILED;
}

bool os_remove_folder(const std::wstring& path) {
    std::string narrow;
    return os_to_narrow(path, narrow) && rmdir(narrow.c_str()) == 0;
}

bool os_delete_at_restart(const std::wstring&) { return false; }

bool os_move_file(const std::wstring& from, const std::wstring& to) {
    std::string a, b;
    if (!os_to_narrow(from, a) || !os_to_narrow(to, b)) return false;
    if (rename(a.c_str(), b.c_str()) == 0) return true;
    return errno == EXDEV && copy_then_delete(a, b);
}

bool os_is_file(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool os_path_exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}
