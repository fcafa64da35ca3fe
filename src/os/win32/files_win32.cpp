// Folders are held open without delete sharing while they are walked, so neither they nor a
// folder above them can be renamed or replaced underneath the walk; entries are then reached by
// path below the held folder. Reparse points (links, junctions) are never entered or followed:
// they are opened as themselves and deleted as themselves.
#include "os/files.h"

#include <windows.h>

#include <io.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "os/text.h"

struct os_folder {
    std::wstring path;   // without a trailing separator
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~os_folder() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

namespace {
std::wstring child_path(const os_folder* folder, const os_file_name& name) { return folder->path + L"\\" + name; }

// A real folder, opened as itself: a reparse point in its place is refused.
os_folder* open_real_folder(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    HANDLE handle =
        CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(handle);
        return nullptr;
    }
    auto* folder = new (std::nothrow) os_folder;
    if (!folder) {
        CloseHandle(handle);
        return nullptr;
    }
    folder->path = path;
    folder->handle = handle;
    return folder;
}

bool is_dot_name(const wchar_t* name) { return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0; }

// A sharing violation is often brief: a program that just ended still holds its files and its
// current folder while the system tears it down, and scanners open new files for a moment.
constexpr int sharing_retries = 20;
constexpr DWORD sharing_retry_ms = 50;

template <typename Removal>
bool retry_while_shared(Removal removal) {
    for (int attempt = 0;; ++attempt) {
        if (removal()) return true;
        if (GetLastError() != ERROR_SHARING_VIOLATION || attempt == sharing_retries) return false;
        Sleep(sharing_retry_ms);
    }
}

bool remove_folder(const std::wstring& path) {
    return retry_while_shared([&] { return RemoveDirectoryW(path.c_str()) != 0; });
}

// A read-only attribute makes DeleteFileW fail; it says nothing about who may delete.
void clear_read_only(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

// A link to a folder is removed with RemoveDirectoryW, which removes the link, not its target.
bool delete_entry(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return remove_folder(path);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    clear_read_only(path);
    return retry_while_shared([&] { return DeleteFileW(path.c_str()) != 0; });
}

bool narrow_to_wide(const std::string& path, std::wstring& wide) { return os_to_wide(path, wide); }


std::wstring full_path(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 4];
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 4, buffer, nullptr);
    std::wstring full = n > 0 && n < MAX_PATH * 4 ? std::wstring(buffer, n) : path;
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
    return full;
}

// Windows refuses to remove a folder that is a process's current folder, and the process
// stands in the work folder after unpacking there (the agent installer inherits it). Before
// such a folder is removed, this process steps up to its parent.
void leave_if_current(const std::wstring& folder) {
    wchar_t current[MAX_PATH * 4];
    DWORD n = GetCurrentDirectoryW(MAX_PATH * 4, current);
    if (n == 0 || n >= MAX_PATH * 4) return;
    std::wstring target = full_path(folder);
    if (CompareStringOrdinal(full_path(std::wstring(current, n)).c_str(), -1, target.c_str(), -1, TRUE) != CSTR_EQUAL)
        return;
    size_t cut = target.find_last_of(L"\\/");
    if (cut != std::wstring::npos) SetCurrentDirectoryW(target.substr(0, cut <= 2 ? cut + 1 : cut).c_str());
}
}   // namespace

os_folder* os_open_folder(const std::wstring& path) { return open_real_folder(path); }

os_folder* os_open_subfolder(os_folder* parent, const os_file_name& name) {
    if (!parent || name.empty() || name.find_first_of(L"\\/") != std::wstring::npos || is_dot_name(name.c_str()))
        return nullptr;
    return open_real_folder(child_path(parent, name));
}

void os_close_folder(os_folder* folder) { delete folder; }

bool os_read_folder(os_folder* folder, std::vector<os_folder_entry>& out) {
    out.clear();
    if (!folder) return false;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder->path + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (is_dot_name(data.cFileName)) continue;
        os_folder_entry entry;
        entry.name = data.cFileName;
        entry.shown = data.cFileName;
        entry.is_folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        out.push_back(std::move(entry));
    } while (FindNextFileW(find, &data));
    bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(find);
    return complete;
}

bool os_delete_in_folder(os_folder* folder, const os_file_name& name) {
    if (!folder || name.empty() || name.find_first_of(L"\\/") != std::wstring::npos) return false;
    return delete_entry(child_path(folder, name));
}

bool os_remove_subfolder(os_folder* folder, const os_file_name& name) {
    if (!folder || name.empty() || name.find_first_of(L"\\/") != std::wstring::npos || is_dot_name(name.c_str()))
        return false;
    std::wstring path = child_path(folder, name);
    leave_if_current(path);
    return remove_folder(path);
}

bool os_delete_file(const std::wstring& path) { return delete_entry(path); }

os_delete_status os_delete_file_status(const std::wstring& path) {
    if (delete_entry(path)) return OS_DELETED;
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return OS_DELETE_NOT_FOUND;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return OS_DELETE_DENIED;
        default: return OS_DELETE_FAILED;
    }
}

bool os_remove_folder(const std::wstring& path) {
    leave_if_current(path);
    return remove_folder(path);
}

bool os_delete_at_restart(const std::wstring& path) {
    return MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

bool os_is_file(const std::string& path) {
    std::wstring wide;
    if (!narrow_to_wide(path, wide)) return false;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool os_file_size(const std::string& path, uint64_t& size) {
    std::wstring wide;
    if (!narrow_to_wide(path, wide)) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return false;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool os_seek_file(std::FILE* file, uint64_t offset) {
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
}

// Windows keeps no Unix permission bits; a file's access comes from its folder's rules.
bool os_copy_permissions(const std::string&, const std::string&) { return true; }

std::string os_error_text(int error) { return std::strerror(error); }

// The runtime maps ERROR_DISK_FULL and ERROR_HANDLE_DISK_FULL to ENOSPC, and the file services
// here report runtime error numbers.
bool os_is_out_of_space(int error) { return error == ENOSPC; }

namespace {
int64_t file_time_ns(LARGE_INTEGER time) { return time.QuadPart * 100; }
}   // namespace

// The change time is the file system's own (NTFS keeps it apart from the write time), and the
// file is named by volume and file index, so a file replaced under the same name differs.
bool os_file_stamp_of(const std::string& path, os_file_stamp& stamp) {
    std::wstring wide;
    if (!narrow_to_wide(path, wide)) return false;
    HANDLE file =
        CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    bool ok = GetFileInformationByHandle(file, &info) &&
              GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) &&
              !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(file);
    if (!ok) return false;
    stamp.device = info.dwVolumeSerialNumber;
    stamp.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.written_ns = file_time_ns(basic.LastWriteTime);
    stamp.changed_ns = file_time_ns(basic.ChangeTime);
    return true;
}
