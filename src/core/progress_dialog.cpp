#include "core/progress_dialog.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>

#include "core/dialog.h"
#include "core/messages.h"
#include "core/run_context.h"
#include "os/event.h"

progress_dialog* create_progress_dialog() {
    auto* dialog = new progress_dialog;
    dialog->mailbox = ui_mailbox_create();
    dialog->cancel_event = os_event_create(cancel_event_name);
    if (!dialog->mailbox || !dialog->cancel_event) {
        release_progress_dialog(dialog);
        return nullptr;
    }
    return dialog;
}

void release_progress_dialog(progress_dialog* dialog) {
    if (!dialog) return;
    if (dialog->worker.joinable()) dialog->worker.join();
    ui_mailbox_release(dialog->mailbox);
    os_event_close(dialog->cancel_event);
    delete dialog;
}

void progress_dialog_show_line(progress_dialog* dialog, const std::wstring& line) {
    if (!dialog) return;
    std::lock_guard<std::mutex> guard(dialog->lock);
    // The bar is never stepped from 100: a full bar would start over.
    if (dialog->bar < 100) {
        dialog->bar = std::min(100, dialog->bar + dialog->step);
        ui_mailbox_post(dialog->mailbox, {PDM_BAR, dialog->bar, {}});
    }
    ui_mailbox_post(dialog->mailbox, {PDM_LINE, 0, line});
}

progress_dialog_procedure::progress_dialog_procedure(progress_dialog* dialog, install_worker_fn worker)
    : dialog_(dialog), worker_(worker) {}

int progress_dialog_procedure::on_start(ui_progress_view& view) {
    caption_ = get_message_text(MSG_BUTTON_CANCEL);
    view.set_button(caption_, enabled_);
    auto ctx = std::make_unique<run_context>();
    ctx->dialog = dialog_;
    os_event_reset(dialog_->cancel_event);
    {
        std::lock_guard<std::mutex> guard(dialog_->lock);
        dialog_->run = ctx.get();
    }
    try {
        // A thread that cannot be made frees the run context it was given.
        dialog_->worker = std::thread(worker_, std::move(ctx));
    } catch (const std::system_error& e) {
        {
            std::lock_guard<std::mutex> guard(dialog_->lock);
            dialog_->run = nullptr;
        }
        return e.code().value() ? e.code().value() : EAGAIN;
    }
    return 0;
}

void progress_dialog_procedure::on_post(ui_progress_view& view, const ui_post& post) {
    switch (post.message) {
        case PDM_LINE: view.append_line(post.text); break;
        case PDM_BAR: view.set_bar(static_cast<int>(post.param)); break;
        case PDM_FINISHED:
            caption_ = get_message_text(MSG_BUTTON_OK);
            view.set_button(caption_, enabled_);
            view.set_timer(finish_timer_id, finish_timer_ms);
            state_ = state::finished;
            break;
        case PDM_CLOSE:
            state_ = state::ended;
            view.end(static_cast<int>(post.param));
            break;
        default: break;
    }
}

void progress_dialog_procedure::on_cancel(ui_progress_view& view) { press_button(view); }

// Enter presses the button only once it reads "OK": a stray Enter must not cancel a run.
void progress_dialog_procedure::on_enter(ui_progress_view& view) {
    if (button_reads_ok()) press_button(view);
}

void progress_dialog_procedure::on_timer(ui_progress_view& view, int id) {
    if (id != finish_timer_id) return;
    state_ = state::ended;
    view.end(finish_timer_id);
}

bool progress_dialog_procedure::button_reads_ok() const {
    return enabled_ && caption_ == get_message_text(MSG_BUTTON_OK);
}

void progress_dialog_procedure::press_button(ui_progress_view& view) {
    if (button_reads_ok()) {
        view.kill_timer(finish_timer_id);
        ui_mailbox_post(dialog_->mailbox, {PDM_CLOSE, 0, {}});
        return;
    }
    bool first = false;
    {
        // The worker gives the run context up under this lock before it frees it.
        std::lock_guard<std::mutex> guard(dialog_->lock);
        if (dialog_->run && !dialog_->run->cancel_flag.load()) {
            dialog_->run->cancel_flag.store(1);
            first = true;
        }
    }
    if (first) {
        progress_dialog_show_line(dialog_, get_message_text(MSG_ABORTING));
        enabled_ = false;
        view.set_button(caption_, enabled_);
        state_ = state::cancelling;
    }
    os_event_set(dialog_->cancel_event);
}
