#include "os/processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "os/text.h"

namespace {
struct dir_closer {
    void operator()(DIR* d) const noexcept { closedir(d); }
};

bool is_process_id(const char* name) {
    if (!*name) return false;
    for (const char* p = name; *p; ++p)
        if (*p < '0' || *p > '9') return false;
    return true;
}

// The base name of the process's executable, or its comm name when the link cannot be read
// (kernel threads, processes gone meanwhile).
std::string image_of(int proc_fd, const char* pid) {
    std::string exe = std::string(pid) + "/exe";
    char target[4096];
    ssize_t n = readlinkat(proc_fd, exe.c_str(), target, sizeof target - 1);
    if (n > 0) {
        std::string path(target, static_cast<size_t>(n));
        const char deleted[] = " (deleted)";
        if (path.size() > sizeof deleted - 1 &&
            path.compare(path.size() - (sizeof deleted - 1), std::string::npos, deleted) == 0)
            path.resize(path.size() - (sizeof deleted - 1));
        size_t slash = path.rfind('/');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }
    std::string comm_path = std::string(pid) + "/comm";
    int fd = openat(proc_fd, comm_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char comm[64];
    ssize_t got = read(fd, comm, sizeof comm - 1);
    close(fd);
    if (got <= 0) return {};
    std::string name(comm, static_cast<size_t>(got));
    while (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}
}   // namespace

bool os_find_process_by_image(const std::wstring& image_name, int* process_id) {
    std::string wanted;
    if (image_name.empty() || !os_to_narrow(image_name, wanted)) return false;
    int proc_fd = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc_fd < 0) return false;
    std::unique_ptr<DIR, dir_closer> dir(fdopendir(proc_fd));
    if (!dir) {
        close(proc_fd);
        return false;
    }
    // /proc lists processes by ascending id, the order of a process snapshot.
    while (dirent* entry = readdir(dir.get())) {
        if (!is_process_id(entry->d_name)) continue;
        std::string image = image_of(proc_fd, entry->d_name);
        if (image.empty() || strcasecmp(image.c_str(), wanted.c_str()) != 0) continue;
        if (process_id) *process_id = std::atoi(entry->d_name);
        return true;
    }
    return false;
}

bool os_is_32bit_process_on_64bit_system() { return false; }

bool os_run_task_lister(const std::wstring&, bool, size_t, std::string& output) {
    output.clear();
    return false;
}
