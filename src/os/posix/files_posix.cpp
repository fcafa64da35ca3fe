#include "os/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "os/text.h"

struct os_folder {
    int fd = -1;
    ~os_folder() {
        if (fd >= 0) close(fd);
    }
};

namespace {
struct dir_closer {
    void operator()(DIR* d) const noexcept { closedir(d); }
};

os_folder* wrap_folder(int fd) {
    if (fd < 0) return nullptr;
    auto* folder = new (std::nothrow) os_folder;
    if (!folder) {
        close(fd);
        return nullptr;
    }
    folder->fd = fd;
    return folder;
}

constexpr int folder_flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
}   // namespace

os_folder* os_open_folder(const std::wstring& path) {
    std::string narrow;
    if (!os_to_narrow(path, narrow)) return nullptr;
    // A trailing separator would make the kernel follow a link despite O_NOFOLLOW.
    while (narrow.size() > 1 && narrow.back() == '/') narrow.pop_back();
    return wrap_folder(open(narrow.c_str(), folder_flags));
}

os_folder* os_open_subfolder(os_folder* parent, const os_file_name& name) {
    if (!parent) return nullptr;
    return wrap_folder(openat(parent->fd, name.c_str(), folder_flags));
}

void os_close_folder(os_folder* folder) { delete folder; }

bool os_read_folder(os_folder* folder, std::vector<os_folder_entry>& out) {
    out.clear();
    if (!folder) return false;
    // The listing gets a descriptor of its own, so the folder's stays usable for the calls
    // that follow and the listing starts at the beginning each time.
    int fd = openat(folder->fd, ".", folder_flags);
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
        item.is_folder = fstatat(folder->fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        item.shown = os_to_wide_shown(name);
        item.name = std::move(name);
        out.push_back(std::move(item));
    }
    return true;
}

bool os_delete_in_folder(os_folder* folder, const os_file_name& name) {
    return folder && unlinkat(folder->fd, name.c_str(), 0) == 0;
}

bool os_remove_subfolder(os_folder* folder, const os_file_name& name) {
    return folder && unlinkat(folder->fd, name.c_str(), AT_REMOVEDIR) == 0;
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

bool os_is_file(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool os_file_size(const std::string& path, uint64_t& size) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool os_file_stamp_of(const std::string& path, os_file_stamp& stamp) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    stamp.device = static_cast<uint64_t>(st.st_dev);
    stamp.file = static_cast<uint64_t>(st.st_ino);
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.written_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.changed_ns = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return true;
}

bool os_seek_file(std::FILE* file, uint64_t offset) {
    return offset <= static_cast<uint64_t>(INT64_MAX) && fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool os_copy_permissions(const std::string& from, const std::string& to) {
    struct stat st;
    return stat(from.c_str(), &st) == 0 && chmod(to.c_str(), st.st_mode & 0777) == 0;
}

std::string os_error_text(int error) { return std::strerror(error); }

bool os_is_out_of_space(int error) { return error == ENOSPC || error == EDQUOT; }
