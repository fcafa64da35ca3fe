#include "os/posix/terminal_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "os/text.h"
#include "os/user_interface.h"

namespace terminal {
namespace {
constexpr char show_cursor[] = "\x1b[?25h";
constexpr char hide_cursor[] = "\x1b[?25l";
constexpr int escape_wait_ms = 40;   // a sequence's bytes arrive together; a lone Esc does not

// Read by the signal handlers: plain data and sig_atomic_t values only.
struct termios saved_mode;
struct termios raw_settings;
volatile sig_atomic_t raw_on = 0;
volatile sig_atomic_t screen_fd = STDOUT_FILENO;   // the terminal, also while output is taken over
volatile sig_atomic_t saved_out = -1;              // standard output and error before the takeover
volatile sig_atomic_t saved_err = -1;

std::mutex mode_lock;   // guards depth and the set-up below
int depth = 0;
bool handlers_installed = false;

const int fatal_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGPIPE};

void give_back_output() {
    if (saved_out < 0) return;
    dup2(saved_out, STDOUT_FILENO);
    dup2(saved_err, STDERR_FILENO);
    screen_fd = STDOUT_FILENO;
    saved_out = saved_err = -1;
}

void put_back_mode() {
    if (!raw_on) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_mode);
    ssize_t ignored = ::write(screen_fd, show_cursor, sizeof show_cursor - 1);
    (void)ignored;
    raw_on = 0;
}

// Async-signal-safe: puts the terminal back, then lets the signal do what it would have done.
void on_fatal_signal(int sig) {
    if (raw_on) {
        put_back_mode();
        ssize_t ignored = ::write(screen_fd, "\r\n", 2);   // the shell's notice on a line of its own
        (void)ignored;
    }
    give_back_output();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// A job stopped from outside and continued finds the shell's mode on the terminal.
void on_continue(int) {
    if (raw_on) tcsetattr(STDIN_FILENO, TCSANOW, &raw_settings);
}

void install_handler(int sig, void (*handler)(int)) {
    struct sigaction current {};
    if (sigaction(sig, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, nullptr);
}

void install_handlers() {
    if (handlers_installed) return;
    handlers_installed = true;
    for (int sig : fatal_signals) install_handler(sig, on_fatal_signal);
    install_handler(SIGCONT, on_continue);
    std::atexit([] {
        put_back_mode();
        give_back_output();
    });
}

bool is_final_byte(unsigned char c) { return c >= 0x40 && c <= 0x7e; }

// Length of the escape sequence at the start of `s` (which begins with ESC): 1 for a lone
// Esc, 0 when the sequence is not complete yet.
size_t escape_length(const std::string& s) {
    if (s.size() < 2) return 0;
    if (s[1] == '[') {
        for (size_t i = 2; i < s.size(); ++i) {
            if (is_final_byte(static_cast<unsigned char>(s[i]))) return i + 1;
        }
        return 0;
    }
    if (s[1] == 'O') return s.size() >= 3 ? 3 : 0;
    return 1;   // Esc followed by an ordinary key: the Esc counts on its own
}

bool input_waiting(int timeout_ms) {
    struct pollfd p {
        STDIN_FILENO, POLLIN, 0
    };
    return poll(&p, 1, timeout_ms) > 0;
}

bool read_some(std::string& into) {
    char buffer[256];
    for (;;) {
        ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}
}   // namespace

raw_mode::raw_mode() {
    std::lock_guard<std::mutex> guard(mode_lock);
    if (depth > 0) {
        ++depth;
        active_ = true;
        return;
    }
    struct termios mode;
    if (tcgetattr(STDIN_FILENO, &mode) != 0) {
        error_ = errno;
        return;
    }
    struct termios raw = mode;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    saved_mode = mode;
    raw_settings = raw;
    install_handlers();
    raw_on = 1;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        error_ = errno;
        raw_on = 0;
        return;
    }
    write(hide_cursor);
    depth = 1;
    active_ = true;
}

raw_mode::~raw_mode() {
    if (!active_) return;
    std::lock_guard<std::mutex> guard(mode_lock);
    if (--depth > 0) return;
    std::lock_guard<std::mutex> output(output_lock());
    put_back_mode();
}

bool key_reader::read(std::vector<key>& out) {
    if (!read_some(pending_)) {
        out.push_back({key_kind::end_of_input});
        return false;
    }
    // An Esc at the end may be the start of a sequence whose rest is on its way.
    size_t esc = pending_.rfind('\x1b');
    if (esc != std::string::npos && escape_length(pending_.substr(esc)) == 0 && input_waiting(escape_wait_ms))
        read_some(pending_);
    decode(out);
    return true;
}

void key_reader::decode(std::vector<key>& out) {
    size_t i = 0;
    while (i < pending_.size()) {
        unsigned char c = static_cast<unsigned char>(pending_[i]);
        if (c == 0x1b) {
            size_t rest = pending_.size() - i;
            size_t length = escape_length(pending_.substr(i));
            if (length == 1 || rest == 1) out.push_back({key_kind::escape});
            i += length ? length : rest;   // a sequence still unfinished after the wait is dropped
            continue;
        }
        ++i;
        if (c == '\r' || c == '\n')
            out.push_back({key_kind::enter});
        else if (c == 0x03)
            out.push_back({key_kind::interrupt});
        else if (c == 0x04)
            out.push_back({key_kind::end_of_input});
        else if (c == 0x7f || c == 0x08)
            out.push_back({key_kind::backspace});
        else if (c == '\t')
            out.push_back({key_kind::tab});
        else if (c < 0x20)
            continue;
        else {
            wchar_t ch = 0;
            size_t used = std::mbrtowc(&ch, pending_.data() + i - 1, pending_.size() - i + 1, &state_);
            if (used == static_cast<size_t>(-2)) {   // the state holds the start; the rest comes later
                pending_.clear();
                return;
            }
            if (used == static_cast<size_t>(-1)) {   // not a character of this locale: skip the byte
                state_ = std::mbstate_t{};
                continue;
            }
            if (used > 1) i += used - 1;
            out.push_back({key_kind::character, ch});
        }
    }
    pending_.clear();
}

readiness wait(bool watch_input, int timeout_ms, int extra_fd, int second_fd, int third_fd) {
    constexpr int sources = 4;   // input, then the extra descriptors in order
    struct pollfd fds[sources];
    int index[sources] = {-1, -1, -1, -1};
    nfds_t count = 0;
    const int wanted[sources] = {watch_input ? STDIN_FILENO : -1, extra_fd, second_fd, third_fd};
    for (int i = 0; i < sources; ++i) {
        if (wanted[i] < 0) continue;
        index[i] = static_cast<int>(count);
        fds[count++] = {wanted[i], POLLIN, 0};
    }
    readiness ready;
    if (poll(fds, count, timeout_ms) <= 0) return ready;
    auto fired = [&](int i) { return index[i] >= 0 && fds[index[i]].revents != 0; };
    ready.input = fired(0);
    for (int i = 1; i < sources; ++i) ready.extra[i - 1] = fired(i);
    return ready;
}

namespace {
// A pipe that is written once and never read: every later poll finds it readable.
struct cancel_pipe {
    int fds[2] = {-1, -1};
    std::atomic<bool> requested{false};
    cancel_pipe() {
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) fds[0] = fds[1] = -1;
    }
};

cancel_pipe& cancel_requests() {
    static cancel_pipe pipe;
    return pipe;
}
}   // namespace

int cancel_request_fd() { return cancel_requests().fds[0]; }

output_capture::output_capture() {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master < 0) return;
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        close(master);
        return;
    }
    int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        close(master);
        return;
    }
    struct termios mode;
    if (tcgetattr(slave, &mode) == 0) {
        cfmakeraw(&mode);   // bytes pass as written; the screen does the line ends
        tcsetattr(slave, TCSANOW, &mode);
    }
    struct winsize size {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0) ioctl(slave, TIOCSWINSZ, &size);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::fflush(stdout);
    std::fflush(stderr);
    int out = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    int err = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (out < 0 || err < 0) {
        if (out >= 0) close(out);
        if (err >= 0) close(err);
        close(slave);
        close(master);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(output_lock());
        saved_out = out;
        saved_err = err;
        screen_fd = out;
        dup2(slave, STDOUT_FILENO);
        dup2(slave, STDERR_FILENO);
    }
    close(slave);
    master_ = master;
}

output_capture::~output_capture() {
    if (master_ < 0) return;
    std::fflush(stdout);
    std::fflush(stderr);
    int out = saved_out, err = saved_err;
    {
        std::lock_guard<std::mutex> guard(output_lock());
        give_back_output();
    }
    close(out);
    close(err);
    close(master_);
}

std::string output_capture::take_lines(bool all) {
    char buffer[4096];
    ssize_t n = -1;
    while (master_ >= 0 && (n = ::read(master_, buffer, sizeof buffer)) > 0)
        partial_.append(buffer, static_cast<size_t>(n));
    if (master_ >= 0 && n < 0 && errno != EAGAIN && errno != EINTR) alive_ = false;
    std::string text;
    for (size_t i = 0; i < partial_.size(); ++i) {
        char c = partial_[i];
        if (c == '\r' && i + 1 < partial_.size() && partial_[i + 1] == '\n') continue;
        text += c == '\r' ? '\n' : c;
    }
    size_t end = all ? text.size() : text.rfind('\n');
    if (end == std::string::npos)
        end = 0;
    else if (!all)
        ++end;
    std::string lines = text.substr(0, end);
    // What stays is the unfinished tail, already without its carriage returns.
    partial_ = text.substr(end);
    return lines;
}

std::mutex& output_lock() {
    static std::mutex lock;
    return lock;
}

void write_locked(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(screen_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;   // the terminal has gone; nothing else to do with the output
        done += static_cast<size_t>(n);
    }
}

void write(const std::string& bytes) {
    std::lock_guard<std::mutex> guard(output_lock());
    write_locked(bytes);
}

std::string narrow(const std::wstring& text) { return os_to_narrow_lossy(text); }

std::wstring lines_of(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r') {
            out += L'\n';
            if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::wstring strip_mnemonic(const std::wstring& caption) {
    std::wstring out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size()) ++i;
        out += caption[i];
    }
    return out;
}

int columns() {
    struct winsize size {};
    if (ioctl(screen_fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

namespace {
int char_width(wchar_t c) {
    int w = ::wcwidth(c);
    return w < 0 ? 1 : w;
}
}   // namespace

int display_width(const std::wstring& text) {
    int width = 0;
    for (wchar_t c : text) width += char_width(c);
    return width;
}

std::wstring fit(const std::wstring& text, int width) {
    std::wstring out;
    int used = 0;
    for (wchar_t c : text) {
        int w = char_width(c);
        if (used + w > width) break;
        out += c;
        used += w;
    }
    return out;
}

std::string header(const std::wstring& title) {
    return narrow(title) + "\n" + std::string(static_cast<size_t>(display_width(title)), '=') + "\n";
}

}   // namespace terminal

void ui_request_cancel() {
    auto& pipe = terminal::cancel_requests();
    if (pipe.fds[1] < 0 || pipe.requested.exchange(true)) return;
    char one = 1;
    ssize_t ignored = ::write(pipe.fds[1], &one, 1);
    (void)ignored;
}
