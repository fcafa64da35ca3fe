// The screens of an interactive run on a terminal. Everything is drawn in the normal screen,
// line by line, so that what the run did stays in the terminal's history: the progress
// screen prints each step line and keeps its bar and button on the last line, redrawn in place.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cwchar>
#include <map>
#include <thread>

#include "os/posix/terminal_posix.h"
#include "os/user_interface.h"

namespace {
using steady = std::chrono::steady_clock;
using terminal::key_kind;

constexpr char erase_line[] = "\r\x1b[K";
constexpr char show_cursor[] = "\x1b[?25h";
constexpr char hide_cursor[] = "\x1b[?25l";

std::string button(const std::wstring& caption) {
    return "[ " + terminal::narrow(terminal::strip_mnemonic(caption)) + " ]";
}

bool closes_box(const terminal::key& k) {
    return k.kind == key_kind::escape || k.kind == key_kind::interrupt || k.kind == key_kind::end_of_input;
}

// Waits for keys until `decide` returns a choice (>= 0) for one of them; a request to cancel
// from outside gives `on_cancel_request`.
template <typename Decide>
int wait_for_choice(Decide decide, int on_cancel_request) {
    terminal::key_reader reader;
    std::vector<terminal::key> keys;
    for (;;) {
        auto ready = terminal::wait(true, -1, terminal::cancel_request_fd());
        if (ready.extra[0]) return on_cancel_request;
        if (!ready.input) continue;
        keys.clear();
        reader.read(keys);
        for (const auto& k : keys) {
            int choice = decide(k);
            if (choice >= 0) return choice;
        }
    }
}

std::string cursor_move(int rows) {
    if (rows < 0) return "\x1b[" + std::to_string(-rows) + "A";
    if (rows > 0) return "\x1b[" + std::to_string(rows) + "B";
    return "";
}

// The two-field credentials form, drawn below the cursor. The caller holds raw mode.
class credentials_prompt {
public:
    explicit credentials_prompt(const ui_credentials_form& form) : form_(form) {}

    bool run(std::wstring& user, std::wstring& password) {
        draw();
        bool accepted = wait_for_choice([this](const terminal::key& k) { return on_key(k); }, 0) == 1;
        terminal::write(cursor_move(2 - row_) + "\r\n" + hide_cursor);
        if (accepted) {
            user = fields_[0];
            password = fields_[1];
        }
        for (auto& field : fields_) std::fill(field.begin(), field.end(), L'\0');
        return accepted;
    }

private:
    std::wstring padded(const std::wstring& label) const {
        std::wstring text = label + L": ";
        return text + std::wstring(static_cast<size_t>(label_width_ - terminal::display_width(text)), L' ');
    }

    void draw() {
        label_width_ =
            std::max(terminal::display_width(form_.user_label), terminal::display_width(form_.password_label)) + 2;
        std::string text = terminal::header(form_.title) + terminal::narrow(padded(form_.user_label)) + "\n" +
                           terminal::narrow(padded(form_.password_label)) + "\n" + button(form_.ok) + "  " +
                           button(form_.cancel);
        terminal::write(text + "\x1b[2A\r\x1b[" + std::to_string(label_width_) + "C" + show_cursor);
        row_ = 0;
    }

    int shown_width(int field) const {
        return field == 0 ? terminal::display_width(fields_[0]) : static_cast<int>(fields_[1].size());
    }

    void move_to(int field) {
        terminal::write(cursor_move(field - row_) + "\r\x1b[" + std::to_string(label_width_ + shown_width(field)) +
                        "C");
        row_ = current_ = field;
    }

    void type(wchar_t ch) {
        std::wstring& field = fields_[current_];
        if (form_.max_length && field.size() >= form_.max_length) {
            terminal::write("\a");
            return;
        }
        field += ch;
        terminal::write(current_ == 0 ? terminal::narrow(std::wstring(1, ch)) : "*");
    }

    void erase() {
        std::wstring& field = fields_[current_];
        if (field.empty()) return;
        size_t width = current_ == 0 ? static_cast<size_t>(terminal::display_width(field.substr(field.size() - 1))) : 1;
        field.back() = L'\0';
        field.pop_back();
        terminal::write(std::string(width, '\b') + std::string(width, ' ') + std::string(width, '\b'));
    }

    // 1 OK, 0 Cancel, -1 go on.
    int on_key(const terminal::key& k) {
        switch (k.kind) {
            case key_kind::character: type(k.ch); return -1;
            case key_kind::backspace: erase(); return -1;
            case key_kind::tab: move_to(1 - current_); return -1;
            case key_kind::enter:
                if (current_ == 1) return 1;
                move_to(1);
                return -1;
            default: return 0;   // Esc, Ctrl-C, end of input
        }
    }

    const ui_credentials_form& form_;
    std::wstring fields_[2];
    int label_width_ = 0;
    int current_ = 0;
    int row_ = 0;   // cursor row: 0 user, 1 password, 2 buttons
};

// A prompt asked for by another thread while a progress screen runs.
struct prompt_request {
    const ui_credentials_form* form;
    std::wstring* user;
    std::wstring* password;
    bool done = false;
    bool accepted = false;
};

std::mutex prompt_lock;
std::condition_variable prompt_answered;
prompt_request* pending_prompt = nullptr;   // guarded by prompt_lock

class progress_screen;
progress_screen* active_screen = nullptr;   // guarded by terminal::output_lock()

class progress_screen final : public ui_progress_view {
public:
    explicit progress_screen(ui_mailbox* box) : box_(box), thread_(std::this_thread::get_id()) {}

    void open(const std::wstring& title) {
        std::lock_guard<std::mutex> guard(terminal::output_lock());
        terminal::write_locked("\n" + terminal::header(title) + bar_text());
        active_screen = this;
    }

    void close() {
        {
            std::lock_guard<std::mutex> guard(terminal::output_lock());
            active_screen = nullptr;
            terminal::write_locked(bar_text() + "\n");
        }
        std::lock_guard<std::mutex> guard(prompt_lock);
        if (pending_prompt) {
            pending_prompt->done = true;
            pending_prompt = nullptr;
            prompt_answered.notify_all();
        }
    }

    void run(ui_progress_handler& handler, terminal::output_capture& capture) {
        terminal::key_reader reader;
        std::vector<terminal::key> keys;
        bool input_open = true;
        bool cancel_requested = false;
        while (!ended_) {
            int cancel_fd = cancel_requested ? -1 : terminal::cancel_request_fd();
            auto ready =
                terminal::wait(input_open, next_timeout_ms(), terminal::mailbox_wake_fd(box_), capture.fd(), cancel_fd);
            if (ready.extra[2]) {   // stays readable: taken once per screen
                cancel_requested = true;
                handler.on_cancel(*this);
            }
            if (ready.extra[0]) {
                terminal::mailbox_drain_wake(box_);
                deliver_posts(handler, capture);   // what was posted before the prompt comes first
                serve_prompt();
            }
            if (ready.extra[1]) show_captured(capture, false);
            if (ready.input && !ended_) {
                keys.clear();
                input_open = reader.read(keys);
                for (const auto& k : keys) {
                    if (ended_) break;
                    dispatch(handler, k);
                }
            }
            fire_timers(handler);
        }
    }

    // Output of other code and of child processes, as lines above the bar.
    void show_captured(terminal::output_capture& capture, bool all) {
        std::string text = capture.take_lines(all);
        if (text.empty()) return;
        std::lock_guard<std::mutex> guard(terminal::output_lock());
        print_above_locked(text);
    }

    int result() const { return result_; }
    bool owned_by_this_thread() const { return thread_ == std::this_thread::get_id(); }
    ui_mailbox* mailbox() const { return box_; }

    // The caller holds the output lock.
    void print_above_locked(const std::string& text) {
        std::string line = text;
        if (line.empty() || line.back() != '\n') line += '\n';
        terminal::write_locked(erase_line + line + bar_text());
    }

    // Shows a prompt on this screen; on the screen's thread.
    bool prompt(const ui_credentials_form& form, std::wstring& user, std::wstring& password) {
        terminal::write(erase_line);
        bool accepted = credentials_prompt(form).run(user, password);
        redraw();
        return accepted;
    }

    void append_line(const std::wstring& line) override {
        std::lock_guard<std::mutex> guard(terminal::output_lock());
        terminal::write_locked(erase_line + terminal::narrow(terminal::lines_of(line)) + "\n" + bar_text());
    }

    void set_bar(int position) override {
        {
            std::lock_guard<std::mutex> guard(terminal::output_lock());
            bar_ = std::clamp(position, 0, 100);
        }
        redraw();
    }

    void set_button(const std::wstring& caption, bool enabled) override {
        {
            std::lock_guard<std::mutex> guard(terminal::output_lock());
            caption_ = caption;
            enabled_ = enabled;
        }
        redraw();
    }

    void set_timer(int id, unsigned milliseconds) override {
        auto interval = std::chrono::milliseconds(milliseconds);
        timers_[id] = {interval, steady::now() + interval};
    }

    void kill_timer(int id) override { timers_.erase(id); }

    void end(int result) override {
        ended_ = true;
        result_ = result;
    }

private:
    struct timer {
        std::chrono::milliseconds interval;
        steady::time_point due;
    };

    // The last line: bar, percentage and button, cut to the terminal's width so that it never
    // wraps (a wrapped line could not be redrawn in place). The caller holds the output lock.
    std::string bar_text() const {
        int width = std::max(24, terminal::columns() - 1);
        std::wstring name = terminal::strip_mnemonic(caption_);
        std::wstring right = enabled_ ? L"[ " + name + L" ]" : L"( " + name + L" )";
        wchar_t percent[8];
        std::swprintf(percent, 8, L"%3d%%", bar_);
        int cells = std::max(10, width - 10 - terminal::display_width(right));
        int filled = cells * bar_ / 100;
        std::wstring line = L"[" + std::wstring(static_cast<size_t>(filled), L'#') +
                            std::wstring(static_cast<size_t>(cells - filled), L'-') + L"] " + percent + L"  " + right;
        return erase_line + terminal::narrow(terminal::fit(line, width));
    }

    void redraw() {
        std::lock_guard<std::mutex> guard(terminal::output_lock());
        terminal::write_locked(bar_text());
    }

    void dispatch(ui_progress_handler& handler, const terminal::key& k) {
        bool cancel = k.kind == key_kind::escape || k.kind == key_kind::interrupt ||
                      (k.kind == key_kind::character && (k.ch == L'c' || k.ch == L'C'));
        if (cancel)
            handler.on_cancel(*this);
        else if (k.kind == key_kind::enter)
            handler.on_enter(*this);
    }

    // One post at a time, with the output that has arrived in between: the two sources are
    // separate, so this keeps their order only roughly (the lines stay whole).
    void deliver_posts(ui_progress_handler& handler, terminal::output_capture& capture) {
        ui_post post;
        while (!ended_ && ui_mailbox_take(box_, post)) {
            handler.on_post(*this, post);
            show_captured(capture, false);
        }
    }

    void serve_prompt() {
        prompt_request* request;
        {
            std::lock_guard<std::mutex> guard(prompt_lock);
            request = pending_prompt;
        }
        if (!request) return;
        bool accepted = prompt(*request->form, *request->user, *request->password);
        std::lock_guard<std::mutex> guard(prompt_lock);
        request->accepted = accepted;
        request->done = true;
        pending_prompt = nullptr;
        prompt_answered.notify_all();
    }

    int next_timeout_ms() const {
        if (timers_.empty()) return -1;
        auto now = steady::now();
        auto next = std::min_element(timers_.begin(), timers_.end(),
                                     [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
        if (next->second.due <= now) return 0;
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next->second.due - now).count();
        return static_cast<int>(std::min<long long>(wait + 1, 60000));
    }

    // Timers repeat until killed, as window timers do.
    void fire_timers(ui_progress_handler& handler) {
        auto now = steady::now();
        std::vector<int> due;
        for (const auto& entry : timers_) {
            if (entry.second.due <= now) due.push_back(entry.first);
        }
        for (int id : due) {
            if (ended_) return;
            auto found = timers_.find(id);
            if (found == timers_.end()) continue;
            found->second.due = now + found->second.interval;
            handler.on_timer(*this, id);
        }
    }

    ui_mailbox* box_;
    std::thread::id thread_;
    std::map<int, timer> timers_;   // screen thread only
    bool ended_ = false;
    int result_ = 0;
    // Drawn state, guarded by the output lock (console output of other threads redraws it).
    int bar_ = 0;
    std::wstring caption_;
    bool enabled_ = true;
};

enum class remote_prompt { not_asked, accepted, refused };

// Hands the prompt to a progress screen running on another thread and waits for the answer.
remote_prompt ask_running_screen(const ui_credentials_form& form, std::wstring& user, std::wstring& password) {
    prompt_request request{&form, &user, &password};
    {
        std::lock_guard<std::mutex> output(terminal::output_lock());
        if (!active_screen || active_screen->owned_by_this_thread()) return remote_prompt::not_asked;
        std::lock_guard<std::mutex> guard(prompt_lock);
        if (pending_prompt) return remote_prompt::refused;   // one prompt at a time
        pending_prompt = &request;
        terminal::mailbox_poke(active_screen->mailbox());
    }
    std::unique_lock<std::mutex> guard(prompt_lock);
    prompt_answered.wait(guard, [&request] { return request.done; });
    return request.accepted ? remote_prompt::accepted : remote_prompt::refused;
}

// The running screen when this thread runs it. Only its own thread ends a screen, so the
// pointer stays good for that thread after the lock is released.
progress_screen* own_running_screen() {
    std::lock_guard<std::mutex> output(terminal::output_lock());
    return active_screen && active_screen->owned_by_this_thread() ? active_screen : nullptr;
}
}   // namespace

namespace terminal {
bool print_above_screen(const std::string& text) {
    std::lock_guard<std::mutex> guard(output_lock());
    if (!active_screen) return false;
    active_screen->print_above_locked(text);
    return true;
}
}   // namespace terminal

ui_choice ui_show_welcome(const std::wstring& title, const std::wstring& text, const std::wstring& next_caption,
                          int* error) {
    terminal::raw_mode raw;
    if (!raw.active()) {
        if (error) *error = raw.error();
        return ui_choice::failed;
    }
    terminal::write(terminal::header(title) + "\n" + terminal::narrow(terminal::lines_of(text)) + "\n\n" +
                    button(next_caption));
    int choice = wait_for_choice(
        [](const terminal::key& k) {
            if (k.kind == key_kind::enter) return 1;
            if (closes_box(k) || (k.kind == key_kind::character && (k.ch == L'q' || k.ch == L'Q'))) return 0;
            return -1;
        },
        0);
    terminal::write("\n");
    return choice == 1 ? ui_choice::next : ui_choice::closed;
}

int ui_run_progress_screen(const std::wstring& title, ui_mailbox* box, ui_progress_handler& handler, int* error) {
    int unused = 0;
    if (!error) error = &unused;
    if (!box) {
        *error = EINVAL;
        return -1;
    }
    terminal::raw_mode raw;
    if (!raw.active()) {
        *error = raw.error();
        return -1;
    }
    terminal::output_capture capture;
    progress_screen screen(box);
    screen.open(title);
    int start_error = handler.on_start(screen);
    if (start_error != 0) {
        screen.close();
        *error = start_error;
        return -1;
    }
    screen.run(handler, capture);
    screen.show_captured(capture, true);
    screen.close();
    return screen.result();
}

bool ui_message_box(const std::wstring& title, const std::wstring& text) {
    terminal::raw_mode raw;
    if (!raw.active()) return false;
    terminal::write(terminal::header(title) + terminal::narrow(terminal::lines_of(text)) + "\n\n" + button(L"OK"));
    wait_for_choice(
        [](const terminal::key& k) {
            return k.kind == key_kind::enter || closes_box(k) || (k.kind == key_kind::character && k.ch == L' ') ? 1
                                                                                                                 : -1;
        },
        1);
    terminal::write("\n");
    return true;
}

bool ui_prompt_credentials(const ui_credentials_form& form, std::wstring& user, std::wstring& password) {
    remote_prompt remote = ask_running_screen(form, user, password);
    if (remote != remote_prompt::not_asked) return remote == remote_prompt::accepted;
    if (progress_screen* screen = own_running_screen()) return screen->prompt(form, user, password);
    terminal::raw_mode raw;
    if (!raw.active()) return false;
    return credentials_prompt(form).run(user, password);
}
