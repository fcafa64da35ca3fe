// MoveFileExW renames within a volume, replacing the target's directory entry (a link there
// included) without following it. Across volumes the content is copied under a temporary
// name beside the target, written through to disk, and only then renamed over the target, so a
// reader never meets a half-written file under the final name.
#include "os/file_move.h"

#include <windows.h>

#include "os/text.h"

namespace {
std::wstring folder_of(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? L"." : path.substr(0, cut);
}

// A regular file, not a folder and not a reparse point.
DWORD check_source(const std::wstring& source) {
    DWORD attributes = GetFileAttributesW(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

DWORD copy_into_place(const std::wstring& source, const std::wstring& target) {
    wchar_t temporary[MAX_PATH];
    if (!GetTempFileNameW(folder_of(target).c_str(), L"qsw", 0, temporary)) return GetLastError();
    // CopyFileW follows no link at the temporary name: GetTempFileNameW has just made it a file.
    if (!CopyFileW(source.c_str(), temporary, FALSE) ||
        !MoveFileExW(temporary, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD error = GetLastError();
        DeleteFileW(temporary);
        return error;
    }
    // The target is whole now; a source that cannot be removed goes with the work folder.
    DeleteFileW(source.c_str());
    return ERROR_SUCCESS;
}

DWORD move_file(const std::wstring& source, const std::wstring& target) {
    if (DWORD error = check_source(source)) return error;
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ERROR_SUCCESS;
    DWORD error = GetLastError();
    if (error != ERROR_NOT_SAME_DEVICE) return error;
    return copy_into_place(source, target);
}
}   // namespace

bool os_move_file_replacing(const std::string& source, const std::string& target, int* error) {
    std::wstring wide_source, wide_target;
    DWORD code = ERROR_NO_UNICODE_TRANSLATION;
    if (os_to_wide(source, wide_source) && os_to_wide(target, wide_target)) code = move_file(wide_source, wide_target);
    if (error) *error = static_cast<int>(code);
    return code == ERROR_SUCCESS;
}
