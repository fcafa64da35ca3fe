// The installer's screens: the welcome and progress screens, message boxes and the proxy
// credentials prompt. On POSIX a terminal interface (used only when standard input and output
// are terminals); on Windows the dialog resources.
//
// The dialog logic is the caller's (ui_progress_handler); this layer draws, reads keys, keeps
// timers and delivers posts. Screens run on the thread that calls them (the main thread);
// only ui_mailbox_post and ui_prompt_credentials may be called from other threads.
#pragma once

#include <string>

// A posted message (the analogue of a posted window message): a number chosen by the dialog
// logic, a parameter and, for text-carrying messages, the text.
struct ui_post {
    int message = 0;
    long long param = 0;
    std::wstring text;
};

// A thread-safe queue of posts to one progress screen. Posts made while no screen is running
// wait in the queue.
struct ui_mailbox;
ui_mailbox* ui_mailbox_create();                       // null when it cannot be made
void ui_mailbox_release(ui_mailbox* box);              // accepts null; drops what is still queued
bool ui_mailbox_post(ui_mailbox* box, ui_post post);   // any thread; false when out of memory
bool ui_mailbox_take(ui_mailbox* box, ui_post& out);   // the oldest post; false when empty

// What the dialog logic may do to its progress screen; only on the screen's thread.
class ui_progress_view {
public:
    virtual void append_line(const std::wstring& line) = 0;
    virtual void set_bar(int position) = 0;   // 0-100
    // The caption may carry a Windows mnemonic ("Ca&ncel"); the screen shows it without '&'.
    virtual void set_button(const std::wstring& caption, bool enabled) = 0;
    virtual void set_timer(int id, unsigned milliseconds) = 0;
    virtual void kill_timer(int id) = 0;
    virtual void end(int result) = 0;   // the screen closes once the current call returns

protected:
    ~ui_progress_view() = default;
};

// The dialog logic behind a progress screen; called on the screen's thread only.
class ui_progress_handler {
public:
    // The screen is up: start the work. A non-zero result (an error number) ends the screen
    // at once and ui_run_progress_screen reports it.
    virtual int on_start(ui_progress_view& view) = 0;
    virtual void on_post(ui_progress_view& view, const ui_post& post) = 0;
    virtual void on_cancel(ui_progress_view& view) = 0;   // Esc, c or Ctrl-C (Cancel button)
    virtual void on_enter(ui_progress_view& view) = 0;    // Enter
    virtual void on_timer(ui_progress_view& view, int id) = 0;

protected:
    ~ui_progress_handler() = default;
};

// Makes the screen on display, or the next one, act as if its person had chosen Cancel or
// closed it: the welcome screen and message boxes close, a credentials prompt is cancelled, a
// progress screen gets on_cancel once. Any thread; for requests to stop from outside (the
// terminal closed, a termination request). It holds for the rest of the process.
void ui_request_cancel();

enum class ui_choice { next, closed, failed };

// The welcome screen: `text` and one button. Next on Enter; closed on Esc, q, Ctrl-C or end
// of input. failed (with *error) when the screen cannot be shown.
ui_choice ui_show_welcome(const std::wstring& title, const std::wstring& text, const std::wstring& next_caption,
                          int* error);

// Runs a progress screen until the handler ends it; returns the handler's end result, or -1
// with *error when the screen cannot be shown or the handler's start fails.
int ui_run_progress_screen(const std::wstring& title, ui_mailbox* box, ui_progress_handler& handler, int* error);

// A message box with one OK button; returns when it is closed (Enter, Esc, Ctrl-C, end of
// input). False when no screen can be shown.
bool ui_message_box(const std::wstring& title, const std::wstring& text);

struct ui_credentials_form {
    std::wstring title;
    std::wstring user_label;
    std::wstring password_label;
    std::wstring ok;
    std::wstring cancel;
    size_t max_length = 0;   // characters per field; 0: no limit
};

// Asks for a user name and a password (masked). True on OK, false on Cancel or when no screen
// can be shown. Any thread: while a progress screen runs, the prompt appears on that screen
// and the calling thread waits for the answer.
bool ui_prompt_credentials(const ui_credentials_form& form, std::wstring& user, std::wstring& password);
