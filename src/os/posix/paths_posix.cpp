// The temporary folder is where the installer, as root, keeps what it downloads and then runs.
// Every later access goes by path (libcurl, minizip, the digest reader and the process start
// take nothing else), so the folder is checked once, from the root down: when no other user
// can rename or replace any folder on the way, a path keeps naming the same file for the run.
#include "os/paths.h"
#include "os/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

const char os_default_temp_folder[] = "/var/lib/quenta-swiftset/";

namespace {
constexpr int max_links = 40;   // as the kernel's own path walk

struct unique_fd {
    int fd = -1;
    explicit unique_fd(int value = -1) : fd(value) {}
    ~unique_fd() { reset(); }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    void reset(int value = -1) {
        if (fd >= 0) close(fd);
        fd = value;
    }
};

const char* temp_folder_setting() {
    const char* env = std::getenv("TMPDIR");
    return (env && env[0] == '/') ? env : nullptr;
}

std::string describe(const std::string& path, const struct stat& st, const char* cause) {
    char detail[64];
    std::snprintf(detail, sizeof detail, " (owner %u, mode %04o): ", static_cast<unsigned>(st.st_uid),
                  static_cast<unsigned>(st.st_mode & 07777));
    return path + detail + cause;
}

std::string describe_error(const std::string& path, int error) { return path + ": " + std::strerror(error); }

bool trusted_owner(const struct stat& st) { return st.st_uid == 0 || st.st_uid == geteuid(); }

// Null when nobody but root and the effective user can change what the folder holds.
const char* folder_flaw(const struct stat& st) {
    if (!S_ISDIR(st.st_mode)) return "not a folder";
    if (!trusted_owner(st)) return "owned by another user";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0)
        return "writable by other users without the sticky bit";
    return nullptr;
}

void push_components(std::deque<std::string>& pending, const std::string& path) {
    std::deque<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    pending.insert(pending.begin(), parts.begin(), parts.end());
}

bool read_link(int link_fd, std::string& target) {
    char buffer[PATH_MAX];
    ssize_t n = readlinkat(link_fd, "", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return false;
    target.assign(buffer, static_cast<size_t>(n));
    return true;
}

// The walk over one path, one component at a time, through descriptors: what is checked is
// what is entered next.
class chain_walk {
public:
    bool run(const std::string& folder, bool make_last, std::string& why) {
        if (!enter_root(why)) return false;
        push_components(pending_, folder);
        while (!pending_.empty()) {
            std::string name = pending_.front();
            pending_.pop_front();
            if (name == ".") continue;
            if (name == "..") {
                why = folder + ": a '..' component";
                return false;
            }
            if (make_last && pending_.empty()) mkdirat(dir_.fd, name.c_str(), 0700);
            if (!step(name, why)) return false;
        }
        return true;
    }

private:
    bool enter_root(std::string& why) {
        dir_.reset(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        walked_.clear();
        struct stat st;
        if (dir_.fd < 0 || fstat(dir_.fd, &st) != 0) {
            why = describe_error("/", errno);
            return false;
        }
        if (const char* flaw = folder_flaw(st)) {
            why = describe("/", st, flaw);
            return false;
        }
        return true;
    }

    bool step(const std::string& name, std::string& why) {
        std::string here = walked_ + "/" + name;
        unique_fd next(openat(dir_.fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st;
        if (next.fd < 0 || fstat(next.fd, &st) != 0) {
            why = describe_error(here, errno);
            return false;
        }
        if (S_ISLNK(st.st_mode)) return follow(next.fd, here, st, why);
        if (const char* flaw = folder_flaw(st)) {
            why = describe(here, st, flaw);
            return false;
        }
        dir_.reset(next.fd);
        next.fd = -1;
        walked_ = here;
        return true;
    }

    // A link is as safe as its folder (checked) and its owner: in a sticky folder, the owner
    // of a link may replace it.
    bool follow(int link_fd, const std::string& here, const struct stat& st, std::string& why) {
        if (!trusted_owner(st)) {
            why = describe(here, st, "a link owned by another user");
            return false;
        }
        std::string target;
        if (++links_ > max_links || !read_link(link_fd, target)) {
            why = here + ": a link that cannot be followed";
            return false;
        }
        push_components(pending_, target);
        return target[0] != '/' || enter_root(why);
    }

    unique_fd dir_;
    std::string walked_;
    std::deque<std::string> pending_;
    int links_ = 0;
};
}   // namespace

bool os_temp_folder(std::wstring& out) {
    const char* setting = temp_folder_setting();
    std::string folder = setting ? setting : os_default_temp_folder;
    if (folder.back() != '/') folder += '/';
    return os_to_wide(folder, out);
}

bool os_check_folder_chain(const std::string& folder, bool make_last, std::string& why) {
    if (folder.empty() || folder[0] != '/') {
        why = folder + ": not an absolute path";
        return false;
    }
    return chain_walk().run(folder, make_last, why);
}

bool os_check_temp_folder(std::string& why) {
    const char* setting = temp_folder_setting();
    std::string folder = setting ? setting : os_default_temp_folder;
    std::wstring wide;
    if (!os_to_wide(folder, wide)) {
        why = folder + ": a name this locale cannot express";
        return false;
    }
    return os_check_folder_chain(folder, setting == nullptr, why);
}

bool os_executable_path_narrow(std::string& out) {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return false;
    out.assign(buffer, static_cast<size_t>(n));
    return true;
}

bool os_executable_path(std::wstring& out) {
    std::string narrow;
    return os_executable_path_narrow(narrow) && os_to_wide(narrow, out);
}

namespace {
const char* private_folder_flaw(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) return "a link";
    if (!S_ISDIR(st.st_mode)) return "not a folder";
    if (st.st_uid != geteuid()) return "owned by another user";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "writable by group or others";
    return nullptr;
}
}   // namespace

os_folder_result os_make_private_folder(const std::wstring& path, std::string* why) {
    std::string ignored;
    if (!why) why = &ignored;
    std::string narrow;
    if (!os_to_narrow(path, narrow) || narrow.empty()) {
        *why = os_to_narrow_lossy(path) + ": a name this locale cannot express";
        return os_folder_failed;
    }
    while (narrow.size() > 1 && narrow.back() == '/') narrow.pop_back();
    if (mkdir(narrow.c_str(), 0700) == 0) return os_folder_created;
    if (errno != EEXIST) {
        *why = describe_error(narrow, errno);
        return os_folder_failed;
    }
    struct stat st;
    if (lstat(narrow.c_str(), &st) != 0) {
        *why = describe_error(narrow, errno);
        return os_folder_failed;
    }
    if (const char* flaw = private_folder_flaw(st)) {
        *why = describe(narrow, st, flaw);
        return os_folder_refused;
    }
    return os_folder_existed;
}
