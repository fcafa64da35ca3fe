// The log is opened with FILE_APPEND_DATA only, so every write lands at the end of the file
// whoever else appends; sharing lets other runs append and read it meanwhile. A reparse
// point in its place is never opened.
#include "os/log_file.h"

#include <windows.h>

#include <ctime>
#include <memory>

#include "os/text.h"

struct os_log_file {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace {
bool is_reparse_point(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}
}   // namespace

long long os_rotate_log_file(const std::string& path, const std::string& backup_path, long long rotate_size) {
    std::wstring wide, backup;
    if (!os_to_wide(path, wide) || !os_to_wide(backup_path, backup)) return 0;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
        return 0;
    long long size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (size < rotate_size) return size;
    MoveFileExW(wide.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING);
    return 0;
}

os_log_file* os_log_file_open(const std::string& path) {
    std::wstring wide;
    if (!os_to_wide(path, wide) || is_reparse_point(wide)) return nullptr;
    HANDLE handle = CreateFileW(wide.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    auto* file = new (std::nothrow) os_log_file;
    if (!file) {
        CloseHandle(handle);
        return nullptr;
    }
    file->handle = handle;
    return file;
}

bool os_log_file_append(os_log_file* file, const std::string& data) {
    if (!file) return false;
    size_t done = 0;
    while (done < data.size()) {
        DWORD written = 0;
        if (!WriteFile(file->handle, data.data() + done, static_cast<DWORD>(data.size() - done), &written, nullptr) ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

void os_log_file_close(os_log_file* file) {
    if (!file) return;
    CloseHandle(file->handle);
    delete file;
}

bool os_local_time(std::time_t when, std::tm& out) { return localtime_s(&out, &when) == 0; }
