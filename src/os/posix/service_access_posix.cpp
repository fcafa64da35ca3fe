// The account gets a named-user entry in the file's POSIX ACL (libacl). The file is reached
// through a descriptor opened without following links, so a link swapped in at the path can
// never lend the account access to another file.
#include "os/service_access.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <memory>
#include <vector>

#include "os/posix/owned_fd_posix.h"

namespace {
bool find_account(const char* account, uid_t* uid) {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
    for (;;) {
        struct passwd entry;
        struct passwd* found = nullptr;
        int code = getpwnam_r(account, &entry, buffer.data(), buffer.size(), &found);
        if (code == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (code != 0 || !found) return false;
        *uid = found->pw_uid;
        return true;
    }
}

// The ACL's entry for `uid`, or a new one; null when none can be made. May move `*acl`.
acl_entry_t user_entry(acl_t* acl, uid_t uid) {
    acl_entry_t entry;
    for (int which = ACL_FIRST_ENTRY; acl_get_entry(*acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
        acl_tag_t tag;
        if (acl_get_tag_type(entry, &tag) != 0 || tag != ACL_USER) continue;
        void* qualifier = acl_get_qualifier(entry);
        bool same = qualifier && *static_cast<uid_t*>(qualifier) == uid;
        acl_free(qualifier);
        if (same) return entry;
    }
    if (acl_create_entry(acl, &entry) != 0) return nullptr;
    if (acl_set_tag_type(entry, ACL_USER) != 0 || acl_set_qualifier(entry, &uid) != 0) return nullptr;
    return entry;
}

bool grant_read_write(acl_t* acl, uid_t uid) {
    acl_entry_t entry = user_entry(acl, uid);
    acl_permset_t permissions;
    if (!entry || acl_get_permset(entry, &permissions) != 0) return false;
    if (acl_add_perm(permissions, ACL_READ) != 0 || acl_add_perm(permissions, ACL_WRITE) != 0) return false;
    if (acl_set_permset(entry, permissions) != 0) return false;
    // The mask bounds every named entry: it must let the new one through.
    return acl_calc_mask(acl) == 0 && acl_valid(*acl) == 0;
}

struct acl_releaser {
    void operator()(void* acl) const noexcept { acl_free(acl); }
};
}   // namespace

bool os_grant_account_file_access(const std::string& path, const char* account) {
    uid_t uid;
    if (!account || !find_account(account, &uid)) return false;
    owned_fd file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (file.fd < 0 || fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    acl_t acl = acl_get_fd(file.fd);
    if (!acl) return false;
    bool granted = grant_read_write(&acl, uid);
    std::unique_ptr<void, acl_releaser> release(acl);   // after the calls that may move it
    return granted && acl_set_fd(file.fd, acl) == 0;
}
