// rename(2) replaces the target's directory entry atomically and never follows a link there.
// Across file systems the copy goes to a temporary name beside the target first, so a crash
// leaves at most a stray temporary file, never a short file under the final name.
#include "os/file_move.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>

#include "os/posix/owned_fd_posix.h"

namespace {
constexpr size_t copy_block_size = 1 << 20;
const char temporary_name[] = ".qsw-move-XXXXXX";

std::string folder_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int write_all(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

int copy_contents(int in, int out) {
    std::unique_ptr<char[]> block(new (std::nothrow) char[copy_block_size]);
    if (!block) return ENOMEM;
    for (;;) {
        ssize_t n = read(in, block.get(), copy_block_size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return 0;
        if (int code = write_all(out, block.get(), static_cast<size_t>(n))) return code;
    }
}

// Removes the temporary file on every way out until the rename has taken it.
struct temporary_file {
    std::string path;
    bool kept = false;
    ~temporary_file() {
        if (!kept) unlink(path.c_str());
    }
};

// Writes the whole content of `in` to a new temporary file in `folder`, with `mode`, flushed to
// disk and closed, then renames it to `target`.
int copy_into_place(int in, mode_t mode, const std::string& folder, const std::string& target) {
    temporary_file temporary{folder + "/" + temporary_name};
    owned_fd out(mkostemp(&temporary.path[0], O_CLOEXEC));
    if (out.fd < 0) {
        temporary.kept = true;   // nothing was made
        return errno;
    }
    if (int code = copy_contents(in, out.fd)) return code;
    if (fchmod(out.fd, mode) != 0 || fsync(out.fd) != 0) return errno;
    if (close(out.release()) != 0) return errno;
    if (rename(temporary.path.c_str(), target.c_str()) != 0) return errno;
    temporary.kept = true;
    return 0;
}

int move_across_file_systems(const std::string& source, const std::string& target) {
    owned_fd in(open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (in.fd < 0) return errno;
    struct stat st;
    if (fstat(in.fd, &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return EINVAL;
    std::string folder = folder_of(target);
    if (int code = copy_into_place(in.fd, st.st_mode & 0777, folder, target)) return code;
    // The rename itself lasts once the folder is flushed too.
    owned_fd folder_fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder_fd.fd >= 0) fsync(folder_fd.fd);
    // The target is whole now; a source that cannot be removed goes with the work folder.
    unlink(source.c_str());
    return 0;
}

int move_file(const std::string& source, const std::string& target) {
    struct stat st;
    if (lstat(source.c_str(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return EINVAL;
    if (rename(source.c_str(), target.c_str()) == 0) return 0;
    if (errno != EXDEV) return errno;
    return move_across_file_systems(source, target);
}
}   // namespace

bool os_move_file_replacing(const std::string& source, const std::string& target, int* error) {
    int code = move_file(source, target);
    if (error) *error = code;
    return code == 0;
}
