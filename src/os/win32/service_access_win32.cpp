// The account gets an explicit read-and-write entry, merged into the file's own access list
// (the file keeps what it inherits from its folder). The file is opened as itself, never
// through a reparse point, and the list is set through that handle, so a link swapped in at
// the path can never lend the account access to another file.
#include "os/service_access.h"

#include <windows.h>

#include <aclapi.h>

#include <vector>

#include "os/text.h"

namespace {
constexpr DWORD read_write = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;

bool find_account(const char* account, std::vector<BYTE>& sid) {
    std::wstring name;
    if (!os_to_wide(std::string(account), name)) return false;
    DWORD sid_size = 0, domain_size = 0;
    SID_NAME_USE use;
    LookupAccountNameW(nullptr, name.c_str(), nullptr, &sid_size, nullptr, &domain_size, &use);
    if (sid_size == 0) return false;
    sid.resize(sid_size);
    std::vector<wchar_t> domain(domain_size + 1);
    return LookupAccountNameW(nullptr, name.c_str(), sid.data(), &sid_size, domain.data(), &domain_size, &use) != 0;
}

HANDLE open_regular_file(const std::string& path) {
    std::wstring wide;
    if (!os_to_wide(path, wide)) return INVALID_HANDLE_VALUE;
    HANDLE file = CreateFileW(wide.c_str(), READ_CONTROL | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return file;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

bool grant(HANDLE file, PSID sid) {
    PACL current = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &current, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return false;
    EXPLICIT_ACCESSW entry{};
    entry.grfAccessPermissions = read_write;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.grfInheritance = NO_INHERITANCE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_USER;
    entry.Trustee.ptstrName = static_cast<LPWSTR>(sid);
    PACL updated = nullptr;
    bool done = SetEntriesInAclW(1, &entry, current, &updated) == ERROR_SUCCESS &&
                SetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, updated, nullptr) == ERROR_SUCCESS;
    if (updated) LocalFree(updated);
    LocalFree(descriptor);
    return done;
}
}   // namespace

bool os_grant_account_file_access(const std::string& path, const char* account) {
    std::vector<BYTE> sid;
    if (!account || !find_account(account, sid)) return false;
    HANDLE file = open_regular_file(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool granted = grant(file, sid.data());
    CloseHandle(file);
    return granted;
}
