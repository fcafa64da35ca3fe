#include "os/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <memory>

#include "os/posix/named_lock_posix.h"
#include "os/text.h"

extern char** environ;

namespace {
void make_owner_executable(const char* program) {
    struct stat st;
    if (stat(program, &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IXUSR)) chmod(program, st.st_mode | S_IXUSR);
}
}   // namespace

struct os_process {
    pid_t pid = 0;
};

namespace {
// What the program starts with besides its arguments: input from /dev/null, the lock to keep
// held (the one descriptor it inherits on purpose), and default signal handling.
class spawn_setup {
public:
    explicit spawn_setup(os_named_lock* keep_held) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
        posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        // A descriptor duplicated onto itself loses its close-on-exec flag in the child only.
        int lock_fd = named_lock_descriptor(keep_held);
        if (lock_fd >= 0) posix_spawn_file_actions_adddup2(&actions_, lock_fd, lock_fd);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE}) sigaddset(&defaults, sig);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &defaults);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~spawn_setup() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    spawn_setup(const spawn_setup&) = delete;
    spawn_setup& operator=(const spawn_setup&) = delete;

    int spawn(pid_t* pid, char* const* argv) {
        return posix_spawn(pid, argv[0], &actions_, &attributes_, argv, environ);
    }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};
}   // namespace

os_process* os_start_process(const std::wstring& command_line, int* start_error, os_named_lock* keep_held) {
    int ignored = 0;
    int& error = start_error ? *start_error : ignored;
    std::vector<std::string> args;
    for (const auto& wide : os_split_command_line(command_line)) {
        std::string narrow;
        if (!os_to_narrow(wide, narrow)) {
            error = EILSEQ;
            return nullptr;
        }
        args.push_back(narrow);
    }
    if (args.empty()) {
        error = ENOENT;
        return nullptr;
    }
    make_owner_executable(args[0].c_str());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    // Made before the start: once the program runs, nothing may fail before it is waited for.
    auto process = std::make_unique<os_process>();
    int rc = spawn_setup(keep_held).spawn(&process->pid, argv.data());
    if (rc != 0) {
        error = rc;
        return nullptr;
    }
    return process.release();
}

os_exit os_wait_process(os_process* process) {
    os_exit result;
    if (!process) return result;
    int status = 0;
    pid_t waited;
    while ((waited = waitpid(process->pid, &status, 0)) < 0 && errno == EINTR) {}
    delete process;
    if (waited < 0) return result;
    if (WIFEXITED(status)) {
        result.read = true;
        result.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        // Killed: report the shell's convention so the log tells which signal.
        result.read = true;
        result.code = 128 + WTERMSIG(status);
    }
    return result;
}
