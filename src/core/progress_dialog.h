// The progress dialog of an interactive run, shared by the install worker (which reaches it only
// through dialog.h, i.e. through its mailbox) and the screen on the main thread (which runs its
// dialog logic). The screens themselves are shown by src/bootstrap/dialogs.h.
#pragma once

#include <mutex>
#include <string>
#include <thread>

#include "core/run_context.h"
#include "os/user_interface.h"

struct os_event;
struct run_context;

// Posts to the progress dialog. The two private messages keep their window-message numbers.
enum progress_post : int {
    PDM_LINE = 1,           // text: one formatted step line
    PDM_BAR = 2,            // param: the bar's new position
    PDM_FINISHED = 32779,   // the run has ended
    PDM_CLOSE = 32780,      // close now; param is the dialog's result
};

constexpr int welcome_next = 1005;   // the welcome dialog's result for Next
constexpr int finish_timer_id = 11111;
constexpr unsigned finish_timer_ms = 10000;
constexpr char cancel_event_name[] = "FRAMEINSTCANCELEVENT";

struct progress_dialog {
    ui_mailbox* mailbox = nullptr;
    os_event* cancel_event = nullptr;
    std::thread worker;   // joined by release_progress_dialog

    std::mutex lock;              // guards the fields below
    run_context* run = nullptr;   // the worker's run context, from its start to its finished post
    int bar = 0;                  // the bar's position once every post so far is shown
    int step = 10;
};

// Null when the mailbox or the cancel event cannot be made.
progress_dialog* create_progress_dialog();

// Waits for the worker to end, then frees everything. Accepts null.
void release_progress_dialog(progress_dialog* dialog);

// Steps the bar (while it is below 100) and appends a line. Any thread.
void progress_dialog_show_line(progress_dialog* dialog, const std::wstring& line);

// The install worker: runs the sequence and frees its run context before it returns.
using install_worker_fn = int (*)(run_context_ptr ctx);

// The progress dialog's logic, on the screen's thread: running (button "Cancel") -> cancelling
// (flag set, message 14 shown, button disabled) -> finished (button "OK", 10-second timer)
// -> ended. It touches the run context only under the dialog's lock while the worker has it.
class progress_dialog_procedure final : public ui_progress_handler {
public:
    enum class state { running, cancelling, finished, ended };

    progress_dialog_procedure(progress_dialog* dialog, install_worker_fn worker);

    int on_start(ui_progress_view& view) override;
    void on_post(ui_progress_view& view, const ui_post& post) override;
    void on_cancel(ui_progress_view& view) override;
    void on_enter(ui_progress_view& view) override;
    void on_timer(ui_progress_view& view, int id) override;

    state current() const { return state_; }

private:
    void press_button(ui_progress_view& view);
    bool button_reads_ok() const;

    progress_dialog* dialog_;
    install_worker_fn worker_;
    state state_ = state::running;
    std::wstring caption_;
    bool enabled_ = true;
};
