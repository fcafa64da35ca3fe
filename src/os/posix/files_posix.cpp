#include "os/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "os/text.h"

namespace {
struct dir_closer {
    void operator()(DIR* d) const noexcept { closedir(d); }
};
}  // namespace

bool os_list_folder(const std::wstring& folder, std::vector<os_folder_entry>& out) {
    out.clear();
    std::string narrow;
    if (!os_to_narrow(folder, narrow)) return false;
    int fd = open(narrow.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    std::unique_ptr<DIR, dir_closer> dir(fdopendir(fd));
    if (!dir) {
        close(fd);
        return false;
    }
    while (dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        os_folder_entry item;
        item.is_folder = fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        if (!os_to_wide(name, item.name)) continue;   // a name this locale cannot express
        out.push_back(std::move(item));
    }
    return true;
}

bool os_delete_file(const std::wstring& path) {
    std::string narrow;
    return os_to_narrow(path, narrow) && unlink(narrow.c_str()) == 0;
}

os_delete_status os_delete_file_status(const std::wstring& path) {
    std::string narrow;
    if (!os_to_narrow(path, narrow)) return OS_DELETE_FAILED;
    if (unlink(narrow.c_str()) == 0) return OS_DELETED;
    if (errno == ENOENT) return OS_DELETE_NOT_FOUND;
    if (errno == EACCES || errno == EPERM) return OS_DELETE_DENIED;
    return OS_DELETE_FAILED;
}

bool os_remove_folder(const std::wstring& path) {
    std::string narrow;
    return os_to_narrow(path, narrow) && rmdir(narrow.c_str()) == 0;
}

bool os_delete_at_restart(const std::wstring&) { return false; }

bool os_is_file(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string os_error_text(int error) { return std::strerror(error); }

bool os_is_out_of_space(int error) { return error == ENOSPC || error == EDQUOT; }
