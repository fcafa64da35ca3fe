#include "os/process.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "os/text.h"

extern char** environ;

std::vector<std::wstring> os_split_command_line(const std::wstring& line) {
    std::vector<std::wstring> args;
    size_t i = 0, n = line.size();
    while (i < n) {
        while (i < n && (line[i] == L' ' || line[i] == L'\t')) ++i;
        if (i >= n) break;
        std::wstring arg;
        bool quoted = false;
        while (i < n && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
            size_t backslashes = 0;
            while (i < n && line[i] == L'\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && line[i] == L'"') {
                arg.append(backslashes / 2, L'\\');
                if (backslashes % 2) {
                    arg += L'"';
                } else if (quoted && i + 1 < n && line[i + 1] == L'"') {
                    arg += L'"';   // "" inside quotes is a literal quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(backslashes, L'\\');
                if (i < n && (quoted || (line[i] != L' ' && line[i] != L'\t'))) arg += line[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

namespace {
void make_owner_executable(const char* program) {
    struct stat st;
    if (stat(program, &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IXUSR)) chmod(program, st.st_mode | S_IXUSR);
}
}  // namespace

struct os_process {
    pid_t pid;
};

os_process* os_start_process(const std::wstring& command_line, int* start_error) {
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

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        error = rc;
        return nullptr;
    }
    return new os_process{pid};
}

os_exit os_wait_process(os_process* process) {
    os_exit result;
    if (!process) return result;
    int status = 0;
    pid_t waited;
    while ((waited = waitpid(process->pid, &status, 0)) < 0 && errno == EINTR) {
    }
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
