#include "os/unpack.h"

#include "os/shared/archive_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

// ---- archive source ---------------------------------------------------------------------------
struct archive_source {
    int fd = -1;
    ~archive_source() {
        if (fd >= 0) close(fd);
    }
};

// A reader never stands in a writer's way here: `beside_writer` changes nothing.
archive_source* archive_source_open(const char* path, uint64_t& size, bool) {
    std::unique_ptr<archive_source> source(new (std::nothrow) archive_source);
    if (!source || !path) return nullptr;
    source->fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (source->fd < 0 || fstat(source->fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    size = static_cast<uint64_t>(st.st_size);
    return source.release();
}

bool archive_source_read_at(archive_source* source, unsigned char* out, size_t size, uint64_t offset, size_t& got) {
    got = 0;
    while (got < size) {
        ssize_t n = pread(source->fd, out + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return true;
}

void archive_source_close(archive_source* source) { delete source; }

bool os_change_directory(const char* path) { return path && chdir(path) == 0; }

// ---- output folder --------------------------------------------------------------------------
// Every name is resolved from the folder's descriptor one component at a time with O_NOFOLLOW,
// so a link planted anywhere on the way stops the walk instead of leading elsewhere. Entries of
// an archive mostly arrive folder by folder, so the last folder walked stays open.
struct os_output_folder {
    int root = -1;
    std::string cached_name;   // folder part of the last name, relative to root
    int cached = -1;

    ~os_output_folder() {
        if (cached >= 0) close(cached);
        if (root >= 0) close(root);
    }
};

struct os_output_file {
    int fd = -1;
    int error = 0;   // errno of the first failed write
    ~os_output_file() {
        if (fd >= 0) close(fd);
    }
};

namespace {
void split_name(const std::string& name, std::string& folder, std::string& leaf) {
    size_t cut = name.rfind('/');
    if (cut == std::string::npos) {
        folder.clear();
        leaf = name;
    } else {
        folder = name.substr(0, cut);
        leaf = name.substr(cut + 1);
    }
}

// A descriptor of `folder_name` below the root that the caller must not close, or -1 with
// errno set.
int open_folder(os_output_folder* out, const std::string& folder_name) {
    if (folder_name.empty()) return out->root;
    if (out->cached >= 0 && out->cached_name == folder_name) return out->cached;
    int fd = out->root;
    size_t start = 0;
    while (start <= folder_name.size()) {
        size_t end = folder_name.find('/', start);
        if (end == std::string::npos) end = folder_name.size();
        std::string component = folder_name.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".") continue;
        int next = openat(fd, component.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int saved = errno;
        if (fd != out->root) close(fd);
        if (next < 0) {
            errno = saved;
            return -1;
        }
        fd = next;
    }
    if (fd != out->root) {
        if (out->cached >= 0) close(out->cached);
        out->cached = fd;
        out->cached_name = folder_name;
    }
    return fd;
}

std::string without_trailing_separators(const char* name) {
    std::string text = name ? name : "";
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

bool is_plain_leaf(const std::string& leaf) { return !leaf.empty() && leaf != "." && leaf != ".."; }

// The descriptor of the folder holding `name` (not to be closed) with `leaf` its last component,
// or -1 with errno set: EINVAL when the name ends in no plain component.
int parent_of(os_output_folder* out, const std::string& name, std::string& leaf) {
    std::string folder;
    split_name(name, folder, leaf);
    if (!is_plain_leaf(leaf)) {
        errno = EINVAL;
        return -1;
    }
    return open_folder(out, folder);
}

// `fd` when it is a regular file (`st` then holds its status); otherwise it is closed, and -1
// with errno EINVAL.
int keep_if_regular(int fd, struct stat& st) {
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return fd;
    close(fd);
    errno = EINVAL;
    return -1;
}

os_output_file* output_file_of(int fd) {
    auto* file = new (std::nothrow) os_output_file;
    if (!file) {
        close(fd);
        return nullptr;
    }
    file->fd = fd;
    return file;
}

int open_leaf(int parent, const std::string& leaf) {
    // O_NONBLOCK: a FIFO in the file's place must not hang the installer.
    constexpr int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = openat(parent, leaf.c_str(), flags | O_TRUNC, 0666);
    if (fd < 0 && errno == ELOOP) {
        // A link where the file belongs: replace the link, leave what it points at alone.
        if (unlinkat(parent, leaf.c_str(), 0) != 0) return -1;
        fd = openat(parent, leaf.c_str(), flags | O_EXCL, 0666);
    }
    if (fd < 0) return -1;
    struct stat st;
    return keep_if_regular(fd, st);
}
}   // namespace

os_output_folder* os_output_folder_open_at(const char* path) {
    if (!path) return nullptr;
    auto* folder = new (std::nothrow) os_output_folder;
    if (!folder) return nullptr;
    folder->root = open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder->root < 0) {
        delete folder;
        return nullptr;
    }
    return folder;
}

os_output_folder* os_output_folder_open() { return os_output_folder_open_at("."); }

void os_output_folder_close(os_output_folder* folder) { delete folder; }

os_mkdir_result os_output_make_folder(os_output_folder* out, const char* name) {
    if (!out) return os_mkdir_failed;
    std::string leaf;
    int parent = parent_of(out, without_trailing_separators(name), leaf);
    if (parent >= 0 && mkdirat(parent, leaf.c_str(), 0777) == 0) return os_mkdir_made;
    if (errno == EEXIST) return os_mkdir_exists;
    if (errno == ENOENT) return os_mkdir_no_parent;
    return os_mkdir_failed;
}

os_output_file* os_output_file_create(os_output_folder* out, const char* name, int* error) {
    if (error) *error = EINVAL;
    if (!out || !name) return nullptr;
    std::string leaf;
    int parent = parent_of(out, name, leaf);
    int fd = parent < 0 ? -1 : open_leaf(parent, leaf);
    if (fd < 0) {
        if (error) *error = errno;
        return nullptr;
    }
    if (error) *error = 0;
    return output_file_of(fd);
}

os_output_file* os_output_file_reopen(os_output_folder* out, const char* name, uint64_t* size) {
    if (!out || !name) return nullptr;
    std::string leaf;
    int parent = parent_of(out, name, leaf);
    int fd = parent < 0 ? -1 : openat(parent, leaf.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || keep_if_regular(fd, st) < 0) return nullptr;
    if (size) *size = static_cast<uint64_t>(st.st_size);
    return output_file_of(fd);
}

bool os_output_file_write(os_output_file* file, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(file->fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (file->error == 0) file->error = n < 0 ? errno : ENOSPC;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

int os_output_file_error(const os_output_file* file) { return file ? file->error : 0; }

bool os_output_remove_file(os_output_folder* out, const char* name) {
    if (!out || !name) return false;
    std::string leaf;
    int parent = parent_of(out, name, leaf);
    return parent >= 0 && unlinkat(parent, leaf.c_str(), 0) == 0;
}

bool os_output_file_set_time(os_output_file* file, const std::tm& local_time) {
    std::tm when = local_time;
    when.tm_isdst = -1;   // let the zone's rules say whether summer time applied then
    std::time_t seconds = std::mktime(&when);
    if (seconds == static_cast<std::time_t>(-1)) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = seconds;
    times[1].tv_nsec = 0;
    return futimens(file->fd, times) == 0;
}

bool os_output_file_set_unix_mode(os_output_file* file, unsigned mode) {
    return fchmod(file->fd, static_cast<mode_t>(mode & 0777)) == 0;
}

void os_output_file_close(os_output_file* file) { delete file; }
