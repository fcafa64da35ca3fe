// The temporary folder is the user's own (%TEMP%, GetTempPathW): Windows gives every user a
// folder below their profile that other users cannot write, so no chain check is needed for
// ownership; what is checked is that no reparse point (link or junction) redirects a folder of
// the chain, since a link could be swapped while the run uses paths below it.
#include "os/paths.h"

#include <windows.h>

#include <sddl.h>

#include <vector>

#include "os/text.h"

const char os_default_temp_folder[] = "";

namespace {
constexpr DWORD long_path_capacity = 32768;

// Owner, SYSTEM and Administrators only; inherited rules from above do not apply.
constexpr wchar_t private_folder_rules[] = L"D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

std::string shown(const std::wstring& path) { return os_to_narrow_lossy(path); }

// Each folder from the drive down is a real folder, not a reparse point.
bool chain_free_of_links(const std::wstring& folder, std::string& why) {
    std::wstring walked;
    size_t start = 0;
    while (start <= folder.size()) {
        size_t cut = folder.find_first_of(L"\\/", start);
        if (cut == std::wstring::npos) cut = folder.size();
        walked = folder.substr(0, cut);
        start = cut + 1;
        if (walked.size() <= 2) continue;   // "C:" or a leading separator
        DWORD attributes = GetFileAttributesW(walked.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            why = shown(walked) + ": cannot be examined (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            why = shown(walked) + ": not a folder";
            return false;
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            why = shown(walked) + ": a link or junction";
            return false;
        }
    }
    return true;
}
}   // namespace

bool os_temp_folder(std::wstring& out) {
    wchar_t buffer[MAX_PATH + 2];
    DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH) return false;
    out.assign(buffer, n);
    if (out.back() != L'\\') out += L'\\';
    return true;
}

bool os_check_folder_chain(const std::string& folder, bool make_last, std::string& why) {
    std::wstring wide;
    if (!os_to_wide(folder, wide) || wide.size() < 3 || wide[1] != L':') {
        why = folder + ": not an absolute path";
        return false;
    }
    if (make_last && !CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        why = folder + ": cannot be made (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    return chain_free_of_links(wide, why);
}

bool os_check_temp_folder(std::string& why) {
    std::wstring folder;
    if (!os_temp_folder(folder)) {
        why = "the temporary folder cannot be found";
        return false;
    }
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return chain_free_of_links(folder, why);
}

bool os_executable_path(std::wstring& out) {
    std::vector<wchar_t> buffer(long_path_capacity);
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), long_path_capacity);
    if (n == 0 || n >= long_path_capacity) return false;
    out.assign(buffer.data(), n);
    return true;
}

bool os_executable_path_narrow(std::string& out) {
    std::wstring wide;
    return os_executable_path(wide) && os_to_narrow(wide, out);
}

os_folder_result os_make_private_folder(const std::wstring& path, std::string* why) {
    std::string ignored;
    if (!why) why = &ignored;
    std::wstring folder = path;
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(private_folder_rules, SDDL_REVISION_1,
                                                              &attributes.lpSecurityDescriptor, nullptr)) {
        *why = shown(folder) + ": cannot build its access rules";
        return os_folder_failed;
    }
    BOOL made = CreateDirectoryW(folder.c_str(), &attributes);
    DWORD error = GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    if (made) return os_folder_created;
    if (error != ERROR_ALREADY_EXISTS) {
        *why = shown(folder) + ": cannot be made (error " + std::to_string(error) + ")";
        return os_folder_failed;
    }
    DWORD found = GetFileAttributesW(folder.c_str());
    if (found == INVALID_FILE_ATTRIBUTES || !(found & FILE_ATTRIBUTE_DIRECTORY)) {
        *why = shown(folder) + ": not a folder";
        return os_folder_refused;
    }
    if (found & FILE_ATTRIBUTE_REPARSE_POINT) {
        *why = shown(folder) + ": a link or junction";
        return os_folder_refused;
    }
    return os_folder_existed;
}
