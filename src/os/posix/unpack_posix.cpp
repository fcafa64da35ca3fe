#include "os/unpack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

// ---- archive reading ------------------------------------------------------------------------
// minizip reads headers a few bytes at a time and jumps between the central directory and the
// entries. Two read-ahead windows serve those reads with few system calls: one settles on the
// central directory, the other follows the entry data. Large reads bypass the windows.
//
// minizip takes an end-of-archive record found at offset 0 for "not found", so an archive that
// is nothing but that record (one without entries) would not open. Such a file is shown to
// minizip behind one zero byte; minizip counts leading bytes out of every offset, as it does
// for self-extracting archives, so the archive reads as the empty one it is.
namespace {
constexpr size_t window_size = 64 * 1024;

struct read_window {
    std::unique_ptr<unsigned char[]> data;
    ZPOS64_T start = 0;   // file offset of data[0]
    size_t length = 0;    // valid bytes
    unsigned long used = 0;
};

struct archive_file {
    int fd = -1;
    ZPOS64_T file_size = 0;
    ZPOS64_T padding = 0;    // zero bytes shown before the file
    ZPOS64_T position = 0;   // in the padded view
    read_window windows[2];
    unsigned long clock = 0;

    ~archive_file() {
        if (fd >= 0) close(fd);
    }
    ZPOS64_T size() const { return padding + file_size; }
};

bool read_at(int fd, unsigned char* out, size_t size, ZPOS64_T offset, size_t& got) {
    got = 0;
    while (got < size) {
        ssize_t n = pread(fd, out + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return true;
}

bool starts_with_end_record(int fd, ZPOS64_T size) {
    unsigned char head[4];
    size_t got = 0;
    return size >= 22 && read_at(fd, head, sizeof head, 0, got) && got == 4 && head[0] == 'P' && head[1] == 'K' &&
           head[2] == 5 && head[3] == 6;
}

// The window holding file offset `at`, refilled when none does. Null on a read error.
read_window* window_for(archive_file* archive, ZPOS64_T at) {
    read_window* oldest = &archive->windows[0];
    for (read_window& w : archive->windows) {
        if (at >= w.start && at < w.start + w.length) {
            w.used = ++archive->clock;
            return &w;
        }
        if (w.used < oldest->used) oldest = &w;
    }
    if (!oldest->data) oldest->data.reset(new (std::nothrow) unsigned char[window_size]);
    size_t got = 0;
    if (!oldest->data || !read_at(archive->fd, oldest->data.get(), window_size, at, got) || got == 0) return nullptr;
    oldest->start = at;
    oldest->length = got;
    oldest->used = ++archive->clock;
    return oldest;
}

voidpf ZCALLBACK archive_open(voidpf, const void* filename, int mode) {
    if (!filename || (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    std::unique_ptr<archive_file> archive(new (std::nothrow) archive_file);
    if (!archive) return nullptr;
    archive->fd = open(static_cast<const char*>(filename), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (archive->fd < 0 || fstat(archive->fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    archive->file_size = static_cast<ZPOS64_T>(st.st_size);
    if (starts_with_end_record(archive->fd, archive->file_size)) archive->padding = 1;
    return archive.release();
}

uLong ZCALLBACK archive_read(voidpf, voidpf stream, void* buf, uLong size) {
    auto* archive = static_cast<archive_file*>(stream);
    auto* out = static_cast<unsigned char*>(buf);
    uLong done = 0;
    for (; done < size && archive->position < archive->padding; ++done, ++archive->position) out[done] = 0;
    while (done < size && archive->position < archive->size()) {
        ZPOS64_T at = archive->position - archive->padding;
        size_t want = static_cast<size_t>(size - done);
        size_t got = 0;
        if (want >= window_size) {
            if (!read_at(archive->fd, out + done, want, at, got) || got == 0) break;
        } else {
            read_window* w = window_for(archive, at);
            if (!w) break;
            size_t offset = static_cast<size_t>(at - w->start);
            got = std::min(want, w->length - offset);
            std::memcpy(out + done, w->data.get() + offset, got);
        }
        done += static_cast<uLong>(got);
        archive->position += got;
    }
    return done;
}

uLong ZCALLBACK archive_write(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK archive_tell(voidpf, voidpf stream) { return static_cast<archive_file*>(stream)->position; }

long ZCALLBACK archive_seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* archive = static_cast<archive_file*>(stream);
    ZPOS64_T base;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
        case ZLIB_FILEFUNC_SEEK_CUR: base = archive->position; break;
        case ZLIB_FILEFUNC_SEEK_END: base = archive->size(); break;
        default: return -1;
    }
    if (offset > archive->size() || base > archive->size() - offset) return -1;
    archive->position = base + offset;
    return 0;
}

int ZCALLBACK archive_close(voidpf, voidpf stream) {
    delete static_cast<archive_file*>(stream);
    return 0;
}

int ZCALLBACK archive_error(voidpf, voidpf) { return 0; }
}   // namespace

void os_fill_zip_file_functions(zlib_filefunc64_def* functions) {
    functions->zopen64_file = archive_open;
    functions->zread_file = archive_read;
    functions->zwrite_file = archive_write;
    functions->ztell64_file = archive_tell;
    functions->zseek64_file = archive_seek;
    functions->zclose_file = archive_close;
    functions->zerror_file = archive_error;
    functions->opaque = nullptr;
}

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
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}
}   // namespace

os_output_folder* os_output_folder_open() {
    auto* folder = new (std::nothrow) os_output_folder;
    if (!folder) return nullptr;
    folder->root = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder->root < 0) {
        delete folder;
        return nullptr;
    }
    return folder;
}

void os_output_folder_close(os_output_folder* folder) { delete folder; }

os_mkdir_result os_output_make_folder(os_output_folder* out, const char* name) {
    if (!out) return os_mkdir_failed;
    std::string folder, leaf;
    split_name(without_trailing_separators(name), folder, leaf);
    if (!is_plain_leaf(leaf)) return os_mkdir_failed;
    int parent = open_folder(out, folder);
    if (parent >= 0 && mkdirat(parent, leaf.c_str(), 0777) == 0) return os_mkdir_made;
    if (errno == EEXIST) return os_mkdir_exists;
    if (errno == ENOENT) return os_mkdir_no_parent;
    return os_mkdir_failed;
}

os_output_file* os_output_file_create(os_output_folder* out, const char* name, int* error) {
    if (error) *error = EINVAL;
    if (!out || !name) return nullptr;
    std::string folder, leaf;
    split_name(name, folder, leaf);
    if (!is_plain_leaf(leaf)) return nullptr;
    int parent = open_folder(out, folder);
    int fd = parent < 0 ? -1 : open_leaf(parent, leaf);
    if (fd < 0) {
        if (error) *error = errno;
        return nullptr;
    }
    if (error) *error = 0;
    auto* file = new (std::nothrow) os_output_file;
    if (!file) {
        close(fd);
        return nullptr;
    }
    file->fd = fd;
    return file;
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
    std::string folder, leaf;
    split_name(name, folder, leaf);
    if (!is_plain_leaf(leaf)) return false;
    int parent = open_folder(out, folder);
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
