// Archives are read through one handle with positioned reads; output files are created below
// the folder that was current when the output folder was opened. Every folder on the way to an
// output name is checked to be a real folder, never a reparse point, and a reparse point where
// a file belongs is removed as itself before the file is made, so nothing is written through
// a link or junction planted in the output tree.
#include "os/unpack.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "os/text.h"

namespace {
constexpr size_t window_size = 64 * 1024;

struct read_window {
    std::unique_ptr<unsigned char[]> data;
    ZPOS64_T start = 0;
    size_t length = 0;
    unsigned long used = 0;
};

// minizip takes an end-of-archive record at offset 0 for "not found"; such an archive (one
// without entries) is shown behind one zero byte, which minizip counts out of every offset.
struct archive_file {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ZPOS64_T file_size = 0;
    ZPOS64_T padding = 0;
    ZPOS64_T position = 0;
    read_window windows[2];
    unsigned long clock = 0;
    ~archive_file() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    ZPOS64_T size() const { return padding + file_size; }
};

bool read_at(HANDLE handle, unsigned char* out, size_t size, ZPOS64_T offset, size_t& got) {
    got = 0;
    while (got < size) {
        OVERLAPPED at{};
        ZPOS64_T where = offset + got;
        at.Offset = static_cast<DWORD>(where);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - got, 1u << 30)), n = 0;
        if (!ReadFile(handle, out + got, chunk, &n, &at)) return GetLastError() == ERROR_HANDLE_EOF;
        if (n == 0) break;
        got += n;
    }
    return true;
}

bool starts_with_end_record(HANDLE handle, ZPOS64_T size) {
    unsigned char head[4];
    size_t got = 0;
    return size >= 22 && read_at(handle, head, sizeof head, 0, got) && got == 4 && head[0] == 'P' && head[1] == 'K' &&
           head[2] == 5 && head[3] == 6;
}

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
    if (!oldest->data || !read_at(archive->handle, oldest->data.get(), window_size, at, got) || got == 0)
        return nullptr;
    oldest->start = at;
    oldest->length = got;
    oldest->used = ++archive->clock;
    return oldest;
}

voidpf ZCALLBACK archive_open(voidpf, const void* filename, int mode) {
    if (!filename || (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    std::wstring path;
    if (!os_to_wide(std::string(static_cast<const char*>(filename)), path)) return nullptr;
    std::unique_ptr<archive_file> archive(new (std::nothrow) archive_file);
    if (!archive) return nullptr;
    archive->handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size;
    if (archive->handle == INVALID_HANDLE_VALUE || GetFileType(archive->handle) != FILE_TYPE_DISK ||
        !GetFileSizeEx(archive->handle, &size))
        return nullptr;
    archive->file_size = static_cast<ZPOS64_T>(size.QuadPart);
    if (starts_with_end_record(archive->handle, archive->file_size)) archive->padding = 1;
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
            if (!read_at(archive->handle, out + done, want, at, got) || got == 0) break;
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

bool os_change_directory(const char* path) {
    std::wstring wide;
    return path && os_to_wide(std::string(path), wide) && SetCurrentDirectoryW(wide.c_str());
}

// ---- output folder --------------------------------------------------------------------------
struct os_output_folder {
    std::wstring root;                    // without a trailing separator
    HANDLE held = INVALID_HANDLE_VALUE;   // keeps the root from being renamed or replaced
    ~os_output_folder() {
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    }
};

struct os_output_file {
    HANDLE handle = INVALID_HANDLE_VALUE;
    int error = 0;   // runtime error number of the first failed write
    ~os_output_file() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

namespace {
// The runtime's error numbers for what the callers tell apart: a full disk above all.
int error_number(DWORD error) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return EACCES;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return ENOENT;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: return EEXIST;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        default: return EIO;
    }
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

void split_name(const std::wstring& name, std::wstring& folder, std::wstring& leaf) {
    size_t cut = name.find_last_of(L"\\/");
    folder = cut == std::wstring::npos ? L"" : name.substr(0, cut);
    leaf = cut == std::wstring::npos ? name : name.substr(cut + 1);
}

bool is_plain_leaf(const std::wstring& leaf) {
    return !leaf.empty() && leaf != L"." && leaf != L".." && leaf.find(L':') == std::wstring::npos;
}

// The full path of `folder` below the root, each component a real folder. Empty with
// `error` set when a component is missing, not a folder, or a reparse point.
std::wstring walk_folder(const os_output_folder* out, const std::wstring& folder, int& error) {
    std::wstring path = out->root;
    size_t start = 0;
    while (start < folder.size()) {
        size_t end = start;
        while (end < folder.size() && !is_separator(folder[end])) ++end;
        std::wstring component = folder.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == L".") continue;
        if (component == L".." || component.find(L':') != std::wstring::npos) {
            error = EINVAL;
            return {};
        }
        path += L"\\" + component;
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            error = error_number(GetLastError());
            return {};
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            error = ENOTDIR;
            return {};
        }
    }
    return path;
}

bool wide_name(const char* name, std::wstring& out) {
    if (!name || !os_to_wide(std::string(name), out)) return false;
    while (out.size() > 1 && is_separator(out.back())) out.pop_back();
    return true;
}

// A reparse point where the file belongs is removed as itself; what it points at stays.
bool clear_reparse_point(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
}

HANDLE create_regular_file(const std::wstring& path, int& error) {
    if (!clear_reparse_point(path)) {
        error = error_number(GetLastError());
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = error_number(GetLastError());
        return file;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        CloseHandle(file);
        error = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    return file;
}
}   // namespace

os_output_folder* os_output_folder_open() {
    std::unique_ptr<os_output_folder> folder(new (std::nothrow) os_output_folder);
    if (!folder) return nullptr;
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return nullptr;
    folder->root.resize(n);
    n = GetCurrentDirectoryW(n, &folder->root[0]);
    if (n == 0 || n >= folder->root.size()) return nullptr;
    folder->root.resize(n);
    while (folder->root.size() > 3 && is_separator(folder->root.back())) folder->root.pop_back();
    folder->held = CreateFileW(folder->root.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder->held == INVALID_HANDLE_VALUE) return nullptr;
    return folder.release();
}

void os_output_folder_close(os_output_folder* folder) { delete folder; }

os_mkdir_result os_output_make_folder(os_output_folder* out, const char* name) {
    std::wstring wide, folder, leaf;
    if (!out || !wide_name(name, wide)) return os_mkdir_failed;
    split_name(wide, folder, leaf);
    if (!is_plain_leaf(leaf)) return os_mkdir_failed;
    int error = 0;
    std::wstring parent = walk_folder(out, folder, error);
    if (parent.empty()) return error == ENOENT ? os_mkdir_no_parent : os_mkdir_failed;
    if (CreateDirectoryW((parent + L"\\" + leaf).c_str(), nullptr)) return os_mkdir_made;
    DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS) return os_mkdir_exists;
    if (code == ERROR_PATH_NOT_FOUND) return os_mkdir_no_parent;
    return os_mkdir_failed;
}

os_output_file* os_output_file_create(os_output_folder* out, const char* name, int* error) {
    int code = EINVAL;
    if (error) *error = code;
    std::wstring wide, folder, leaf;
    if (!out || !wide_name(name, wide)) return nullptr;
    split_name(wide, folder, leaf);
    if (!is_plain_leaf(leaf)) return nullptr;
    std::wstring parent = walk_folder(out, folder, code);
    HANDLE handle = parent.empty() ? INVALID_HANDLE_VALUE : create_regular_file(parent + L"\\" + leaf, code);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error) *error = code;
        return nullptr;
    }
    if (error) *error = 0;
    auto* file = new (std::nothrow) os_output_file;
    if (!file) {
        CloseHandle(handle);
        return nullptr;
    }
    file->handle = handle;
    return file;
}

bool os_output_file_write(os_output_file* file, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30)), n = 0;
        if (!WriteFile(file->handle, p, chunk, &n, nullptr) || n == 0) {
            if (file->error == 0) file->error = n == 0 && GetLastError() == 0 ? ENOSPC : error_number(GetLastError());
            return false;
        }
        p += n;
        size -= n;
    }
    return true;
}

int os_output_file_error(const os_output_file* file) { return file ? file->error : 0; }

bool os_output_remove_file(os_output_folder* out, const char* name) {
    std::wstring wide, folder, leaf;
    if (!out || !wide_name(name, wide)) return false;
    split_name(wide, folder, leaf);
    if (!is_plain_leaf(leaf)) return false;
    int error = 0;
    std::wstring parent = walk_folder(out, folder, error);
    return !parent.empty() && DeleteFileW((parent + L"\\" + leaf).c_str());
}

bool os_output_file_set_time(os_output_file* file, const std::tm& local_time) {
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(local_time.tm_year + 1900);
    local.wMonth = static_cast<WORD>(local_time.tm_mon + 1);
    local.wDay = static_cast<WORD>(local_time.tm_mday);
    local.wHour = static_cast<WORD>(local_time.tm_hour);
    local.wMinute = static_cast<WORD>(local_time.tm_min);
    local.wSecond = static_cast<WORD>(local_time.tm_sec);
    SYSTEMTIME universal;
    FILETIME stamp;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) || !SystemTimeToFileTime(&universal, &stamp))
        return false;
    return SetFileTime(file->handle, &stamp, nullptr, &stamp) != 0;
}

// Windows keeps no Unix permission bits.
bool os_output_file_set_unix_mode(os_output_file*, unsigned) { return true; }

void os_output_file_close(os_output_file* file) { delete file; }
