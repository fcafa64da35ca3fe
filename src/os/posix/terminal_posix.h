// Terminal plumbing of the POSIX screens: raw mode that comes back on every exit path, key
// decoding, output under one lock, display widths. Internal to src/os/posix.
#pragma once

#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

struct ui_mailbox;

namespace terminal {

// Raw mode for the life of the object: no echo, no line editing, no signal keys (Ctrl-C
// arrives as a key), cursor hidden. The saved mode is put back by the destructor, at exit and
// by the handlers of the terminating signals. Nested guards keep the outermost saved mode.
class raw_mode {
public:
    raw_mode();
    ~raw_mode();
    raw_mode(const raw_mode&) = delete;
    raw_mode& operator=(const raw_mode&) = delete;
    bool active() const { return active_; }
    int error() const { return error_; }

private:
    bool active_ = false;
    int error_ = 0;
};

enum class key_kind { character, enter, escape, interrupt, backspace, tab, end_of_input };

struct key {
    key_kind kind;
    wchar_t ch = 0;
};

// Decodes standard input into keys. Escape sequences (arrows, function keys) are swallowed;
// a lone Esc is told from a sequence by a short wait for the rest.
class key_reader {
public:
    // Reads what is waiting (call when input is readable). False at end of input.
    bool read(std::vector<key>& out);

private:
    void decode(std::vector<key>& out);
    std::string pending_;
    std::mbstate_t state_{};
};

struct readiness {
    bool input = false;
    bool extra[3] = {false, false, false};
};

// Waits until standard input (when watched) or one of the extra descriptors (those >= 0) is
// readable, or `timeout_ms` passes (-1: no limit).
readiness wait(bool watch_input, int timeout_ms, int extra_fd = -1, int second_fd = -1, int third_fd = -1);

// Readable from the first ui_request_cancel on, and for good; -1 when it could not be made.
int cancel_request_fd();

// Takes standard output and error over while a progress screen runs: what the rest of the
// process and its child processes write there is read from fd() and printed by the screen
// above its bar, while the screen writes to the terminal through a saved copy. A
// pseudo-terminal rather than a pipe: children still write to a terminal, and one that
// outlives the screen gets write errors instead of SIGPIPE. Without a pseudo-terminal
// nothing is taken over (fd() is -1).
class output_capture {
public:
    output_capture();
    ~output_capture();
    output_capture(const output_capture&) = delete;
    output_capture& operator=(const output_capture&) = delete;
    int fd() const { return alive_ ? master_ : -1; }   // -1 once nothing more can arrive
    // What has arrived, as whole lines (CR LF and lone CR become LF); with `all`, a last
    // unfinished line too.
    std::string take_lines(bool all);

private:
    int master_ = -1;
    bool alive_ = true;
    std::string partial_;
};

// All terminal output goes through this lock, so that lines printed by another thread never
// land inside a screen's redraw.
std::mutex& output_lock();
void write_locked(const std::string& bytes);   // the caller holds output_lock()
void write(const std::string& bytes);

std::string narrow(const std::wstring& text);               // characters the locale lacks become '?'
std::wstring lines_of(const std::wstring& text);            // CR LF and lone CR become LF
std::wstring strip_mnemonic(const std::wstring& caption);   // "Ca&ncel" -> "Cancel", "&&" -> "&"
int columns();
int display_width(const std::wstring& text);
std::wstring fit(const std::wstring& text, int width);   // cut to at most `width` columns
std::string header(const std::wstring& title);           // title and an underline

// The running progress screen, if any: console output goes above its bar, and credentials
// prompts from other threads are shown on it. Implemented with the screens.
bool print_above_screen(const std::string& text);

// Mailbox internals used by the screen loop.
int mailbox_wake_fd(ui_mailbox* box);
void mailbox_drain_wake(ui_mailbox* box);
void mailbox_poke(ui_mailbox* box);

}   // namespace terminal
