#include "os/unpack.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// ---- archive reading ------------------------------------------------------------------------
// The archive is mapped rather than read through stdio: minizip reads headers a byte at a time
// and jumps between the central directory and the entries, which costs a system call per jump
// through a FILE but nothing through a mapping. The packages live in the installer's private
// work folder, so nobody else shrinks a file while it is mapped.
namespace {
//
// minizip takes an end-of-archive record found at offset 0 for "not found", so an archive that
// is nothing but that record (one without entries) would not open. Such a file is shown to
// minizip behind one zero byte; minizip counts leading bytes out of every offset, as it does
// for self-extracting archives, so the archive reads as the empty one it is.
struct mapped_archive {
    const unsigned char* data = nullptr;   // null for an empty file
    ZPOS64_T file_size = 0;
    ZPOS64_T padding = 0;                  // zero bytes shown before the file
    ZPOS64_T size = 0;                     // padding + file_size
    ZPOS64_T position = 0;                 // in the padded view
};

bool starts_with_end_record(const unsigned char* data, ZPOS64_T size) {
    return size >= 22 && data[0] == 'P' && data[1] == 'K' && data[2] == 5 && data[3] == 6;
}

voidpf ZCALLBACK archive_open(voidpf, const void* filename, int mode) {
    if (!filename || (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    int fd = open(static_cast<const char*>(filename), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    auto* archive = new (std::nothrow) mapped_archive;
    if (!archive) {
        close(fd);
        return nullptr;
    }
    archive->file_size = static_cast<ZPOS64_T>(st.st_size);
    if (archive->file_size > 0) {
        void* map = mmap(nullptr, archive->file_size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map == MAP_FAILED) {
            close(fd);
            delete archive;
            return nullptr;
        }
        archive->data = static_cast<const unsigned char*>(map);
    }
    close(fd);   // the mapping keeps the file
    if (starts_with_end_record(archive->data, archive->file_size)) archive->padding = 1;
    archive->size = archive->padding + archive->file_size;
    return archive;
}

uLong ZCALLBACK archive_read(voidpf, voidpf stream, void* buf, uLong size) {
    auto* archive = static_cast<mapped_archive*>(stream);
    if (archive->position >= archive->size) return 0;
    ZPOS64_T left = archive->size - archive->position;
    uLong n = left < size ? static_cast<uLong>(left) : size;
    auto* out = static_cast<unsigned char*>(buf);
    uLong done = 0;
    for (; done < n && archive->position + done < archive->padding; ++done) out[done] = 0;
    if (done < n) std::memcpy(out + done, archive->data + (archive->position + done - archive->padding), n - done);
    archive->position += n;
    return n;
}

uLong ZCALLBACK archive_write(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK archive_tell(voidpf, voidpf stream) {
    return static_cast<mapped_archive*>(stream)->position;
}

long ZCALLBACK archive_seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* archive = static_cast<mapped_archive*>(stream);
    ZPOS64_T base;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
        case ZLIB_FILEFUNC_SEEK_CUR: base = archive->position; break;
        case ZLIB_FILEFUNC_SEEK_END: base = archive->size; break;
        default: return -1;
    }
    if (offset > archive->size || base > archive->size - offset) return -1;
    archive->position = base + offset;
    return 0;
}

int ZCALLBACK archive_close(voidpf, voidpf stream) {
    auto* archive = static_cast<mapped_archive*>(stream);
    if (archive->data) munmap(const_cast<unsigned char*>(archive->data), archive->file_size);
    delete archive;
    return 0;
}

int ZCALLBACK archive_error(voidpf, voidpf) { return 0; }
}  // namespace

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
}  // namespace

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

os_output_file* os_output_file_create(os_output_folder* out, const char* name) {
    if (!out || !name) return nullptr;
    std::string folder, leaf;
    split_name(name, folder, leaf);
    if (!is_plain_leaf(leaf)) return nullptr;
    int parent = open_folder(out, folder);
    if (parent < 0) return nullptr;
    int fd = open_leaf(parent, leaf);
    if (fd < 0) return nullptr;
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
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
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
