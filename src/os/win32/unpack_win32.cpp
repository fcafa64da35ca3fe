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

#include "os/shared/archive_source.h"
#include "os/text.h"

// ---- archive source ---------------------------------------------------------------------------
struct archive_source {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~archive_source() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

// Beside its writer the file must be shared for writing too, or the open fails on the writer's
// access; otherwise no one may change the archive while it is read.
archive_source* archive_source_open(const char* path, uint64_t& size, bool beside_writer) {
    std::wstring wide;
    if (!path || !os_to_wide(std::string(path), wide)) return nullptr;
    std::unique_ptr<archive_source> source(new (std::nothrow) archive_source);
    if (!source) return nullptr;
    DWORD share = beside_writer ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
    source->handle =
        CreateFileW(wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER length;
    if (source->handle == INVALID_HANDLE_VALUE || GetFileType(source->handle) != FILE_TYPE_DISK ||
        !GetFileSizeEx(source->handle, &length))
        return nullptr;
    size = static_cast<uint64_t>(length.QuadPart);
    return source.release();
}

bool archive_source_read_at(archive_source* source, unsigned char* out, size_t size, uint64_t offset, size_t& got) {
    got = 0;
    while (got < size) {
        OVERLAPPED at{};
        uint64_t where = offset + got;
        at.Offset = static_cast<DWORD>(where);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - got, 1u << 30)), n = 0;
        if (!ReadFile(source->handle, out + got, chunk, &n, &at)) return GetLastError() == ERROR_HANDLE_EOF;
        if (n == 0) break;
        got += n;
    }
    return true;
}

void archive_source_close(archive_source* source) { delete source; }

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

// The full path of `name` below the root, every folder on the way a real one; empty with `error`
// set (EINVAL when the name ends in no plain component).
std::wstring output_path(const os_output_folder* out, const char* name, int& error) {
    std::wstring wide, folder, leaf;
    error = EINVAL;
    if (!out || !wide_name(name, wide)) return {};
    split_name(wide, folder, leaf);
    if (!is_plain_leaf(leaf)) return {};
    std::wstring parent = walk_folder(out, folder, error);
    return parent.empty() ? parent : parent + L"\\" + leaf;
}

// True when `file` is a file on disk, neither a folder nor a reparse point.
bool is_plain_disk_file(HANDLE file, BY_HANDLE_FILE_INFORMATION& info) {
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

os_output_file* output_file_of(HANDLE handle) {
    auto* file = new (std::nothrow) os_output_file;
    if (!file) {
        CloseHandle(handle);
        return nullptr;
    }
    file->handle = handle;
    return file;
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
    if (!is_plain_disk_file(file, info)) {
        CloseHandle(file);
        error = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    return file;
}
}   // namespace

namespace {
// Takes `root` (a full path) as the folder, held open so that it cannot be renamed or replaced.
os_output_folder* hold_folder(std::wstring root) {
    std::unique_ptr<os_output_folder> folder(new (std::nothrow) os_output_folder);
    if (!folder || root.empty()) return nullptr;
    while (root.size() > 3 && is_separator(root.back())) root.pop_back();
    folder->root = root;
    folder->held = CreateFileW(folder->root.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder->held == INVALID_HANDLE_VALUE) return nullptr;
    return folder.release();
}
}   // namespace

os_output_folder* os_output_folder_open() {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return nullptr;
    std::wstring root(n, L'\0');
    n = GetCurrentDirectoryW(n, &root[0]);
    if (n == 0 || n >= root.size()) return nullptr;
    root.resize(n);
    return hold_folder(root);
}

os_output_folder* os_output_folder_open_at(const char* path) {
    std::wstring wide;
    if (!path || !os_to_wide(std::string(path), wide)) return nullptr;
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return nullptr;
    std::wstring root(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, &root[0], nullptr);
    if (n == 0 || n >= root.size()) return nullptr;
    root.resize(n);
    return hold_folder(root);
}

void os_output_folder_close(os_output_folder* folder) { delete folder; }

os_mkdir_result os_output_make_folder(os_output_folder* out, const char* name) {
    int error = 0;
    std::wstring path = output_path(out, name, error);
    if (path.empty()) return error == ENOENT ? os_mkdir_no_parent : os_mkdir_failed;
    if (CreateDirectoryW(path.c_str(), nullptr)) return os_mkdir_made;
    DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS) return os_mkdir_exists;
    if (code == ERROR_PATH_NOT_FOUND) return os_mkdir_no_parent;
    return os_mkdir_failed;
}

os_output_file* os_output_file_create(os_output_folder* out, const char* name, int* error) {
    int code = EINVAL;
    std::wstring path = output_path(out, name, code);
    HANDLE handle = path.empty() ? INVALID_HANDLE_VALUE : create_regular_file(path, code);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error) *error = code;
        return nullptr;
    }
    if (error) *error = 0;
    return output_file_of(handle);
}

os_output_file* os_output_file_reopen(os_output_folder* out, const char* name, uint64_t* size) {
    int error = 0;
    std::wstring path = output_path(out, name, error);
    if (path.empty()) return nullptr;
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (!is_plain_disk_file(handle, info)) {
        CloseHandle(handle);
        return nullptr;
    }
    if (size) *size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return output_file_of(handle);
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
    int error = 0;
    std::wstring path = output_path(out, name, error);
    return !path.empty() && DeleteFileW(path.c_str());
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
