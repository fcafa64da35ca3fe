#include "os/paths.h"
#include "os/text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

bool os_temp_folder(std::wstring& out) {
    const char* env = std::getenv("TMPDIR");
    std::string folder = (env && env[0] == '/') ? env : "/tmp";
    if (folder.back() != '/') folder += '/';
    return os_to_wide(folder, out);
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
bool is_private_directory(const char* path) {
    struct stat st;
    if (lstat(path, &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}
}  // namespace

os_folder_result os_make_private_folder(const std::wstring& path) {
    std::string narrow;
    if (!os_to_narrow(path, narrow) || narrow.empty()) return os_folder_failed;
    while (narrow.size() > 1 && narrow.back() == '/') narrow.pop_back();
    if (mkdir(narrow.c_str(), 0700) == 0) return os_folder_created;
    if (errno != EEXIST) return os_folder_failed;
    return is_private_directory(narrow.c_str()) ? os_folder_existed : os_folder_refused;
}
