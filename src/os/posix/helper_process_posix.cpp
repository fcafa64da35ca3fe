#include "os/posix/helper_process_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <ctime>

namespace {
constexpr char helper_program_name[] = "qsw-desktop-proxy-helper";
constexpr char helper_path_variable[] = "PATH=/usr/local/bin:/usr/bin:/bin";

long long now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

class descriptor {
public:
    explicit descriptor(int fd = -1) : fd_(fd) {}
    ~descriptor() { reset(); }
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// The child between fork and exec: async-signal-safe calls only (the installer has threads).
[[noreturn]] void become_helper(int channel, char* const* argv, char* const* envp, const sigset_t* mask, int max_fd) {
    sigprocmask(SIG_SETMASK, mask, nullptr);
    setpgid(0, 0);
    if (dup2(channel, STDIN_FILENO) < 0 || dup2(channel, STDOUT_FILENO) < 0) _exit(126);
    int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd < 0 || dup2(null_fd, STDERR_FILENO) < 0) _exit(126);
    bool closed = false;
#ifdef SYS_close_range
    closed = syscall(SYS_close_range, 3U, ~0U, 0U) == 0;
#endif
    for (int fd = 3; !closed && fd < max_fd; ++fd) close(fd);
    if (chdir("/") != 0) _exit(126);
    execve("/proc/self/exe", argv, envp);
    _exit(127);
}

// Writes `input` (then closes the writing side) and reads the reply until the helper closes its
// side, the reply passes `capacity`, or the deadline. True when the reply ended normally.
bool exchange(int fd, const std::string& input, long long deadline, size_t capacity, std::string& output) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    size_t sent = 0;
    bool writing = true;
    if (input.empty()) {
        shutdown(fd, SHUT_WR);
        writing = false;
    }
    char buffer[4096];
    for (;;) {
        long long left = deadline - now_ms();
        if (left <= 0) return false;
        pollfd p{fd, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
        int ready = poll(&p, 1, static_cast<int>(left > INT_MAX ? INT_MAX : left));
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        if (writing && (p.revents & POLLOUT)) {
            ssize_t n = send(fd, input.data() + sent, input.size() - sent, MSG_NOSIGNAL);
            if (n > 0) sent += static_cast<size_t>(n);
            if (sent == input.size() || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                shutdown(fd, SHUT_WR);
                writing = false;
            }
        }
        if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            return false;
        }
        if (output.size() + static_cast<size_t>(n) > capacity) return false;
        output.append(buffer, static_cast<size_t>(n));
    }
}

// Waits for the helper until the deadline; then kills it and its process group.
void reap(pid_t pid, long long deadline, bool kill_now, helper_result& result) {
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) return;
        if (kill_now || now_ms() >= deadline) {
            result.timed_out = now_ms() >= deadline;
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
            return;
        }
        timespec pause{0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    result.exited_cleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
}   // namespace

helper_result run_helper_process(const std::vector<std::string>& arguments, const std::string& input, int seconds,
                                 size_t output_capacity) {
    helper_result result;
    std::vector<std::string> strings = {helper_program_name, helper_flag};
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(&s[0]);
    argv.push_back(nullptr);
    std::string path_variable = helper_path_variable;
    char* envp[] = {&path_variable[0], nullptr};
    sigset_t no_signals;
    sigemptyset(&no_signals);
    long open_max = sysconf(_SC_OPEN_MAX);
    int max_fd = open_max < 256 ? 256 : open_max > 65536 ? 65536 : static_cast<int>(open_max);

    // The reply's room is made before the start: nothing may throw between the fork and the wait.
    result.output.reserve(output_capacity);
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return result;
    descriptor ours(pair[0]), theirs(pair[1]);
    long long deadline = now_ms() + seconds * 1000LL;
    pid_t pid = fork();
    if (pid == 0) become_helper(theirs.get(), argv.data(), envp, &no_signals, max_fd);
    theirs.reset();
    if (pid < 0) return result;
    result.started = true;
    bool ended = exchange(ours.get(), input, deadline, output_capacity, result.output);
    ours.reset();
    reap(pid, deadline, !ended, result);
    if (!ended) result.exited_cleanly = false;
    return result;
}

std::string format_group_list(const std::vector<gid_t>& groups) {
    if (groups.empty()) return "-";
    std::string text;
    for (gid_t g : groups) text += (text.empty() ? "" : ",") + std::to_string(g);
    return text;
}

bool parse_id(const std::string& text, unsigned* id) {
    if (text.empty() || text.size() > 10) return false;
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value >= 0xffffffffULL) return false;   // (uid_t)-1 means "unchanged" to the kernel
    *id = static_cast<unsigned>(value);
    return true;
}

bool parse_group_list(const std::string& text, std::vector<gid_t>& groups) {
    groups.clear();
    if (text == "-") return true;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        unsigned id = 0;
        if (!parse_id(item, &id) || groups.size() >= 65536) return false;
        groups.push_back(id);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
    return false;
}
