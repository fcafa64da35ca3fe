#include "core/dialog.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <string>

#include "core/messages.h"
#include "core/progress_dialog.h"
#include "core/run_context.h"
#include "os/text.h"

namespace {
constexpr int download_bar_limit = 80;
constexpr int max_ticks = 1 << 20;   // far above any divisor; keeps the conversion defined

int ticks_per_download(download_phase phase) {
    switch (phase) {
        case download_phase::configuration: return 6;
        case download_phase::install: return 20;
        default: return 1;
    }
}

// Ticks of a transfer: the whole parts of `now` in units of total / divisor. A total of 0,
// or figures that are not numbers, count as no progress.
int count_ticks(download_phase phase, double total, double now) {
    double ticks = now / (total / ticks_per_download(phase));
    if (!(ticks >= 0)) return 0;
    return ticks >= max_ticks ? max_ticks : static_cast<int>(ticks);
}

void post_bar(progress_dialog* dialog) { ui_mailbox_post(dialog->mailbox, {PDM_BAR, dialog->bar, {}}); }
}   // namespace

int dialog_message(run_context* ctx, int id, ...) {
    if (!ctx || !ctx->dialog) return 0;
    const wchar_t* text = get_message_text(id);
    std::wstring line;
    va_list args;
    va_start(args, id);
    bool formatted = os_format_wide(line, text, args);
    va_end(args);
    if (!formatted) line = text;   // the step is still worth showing
    progress_dialog_show_line(ctx->dialog, line);
    return 1;
}

void dialog_set_progress(run_context* ctx, int position) {
    if (!ctx || !ctx->dialog) return;
    progress_dialog* dialog = ctx->dialog;
    std::lock_guard<std::mutex> guard(dialog->lock);
    dialog->bar = std::clamp(position, 0, 100);
    post_bar(dialog);
}

void dialog_set_step(run_context* ctx, int step) {
    if (!ctx || !ctx->dialog) return;
    std::lock_guard<std::mutex> guard(ctx->dialog->lock);
    ctx->dialog->step = step;
}

int on_transfer_progress(run_context* ctx, double total, double now) {
    if (!ctx) return 0;
    if (total == 0 || !std::isfinite(total)) return ctx->cancel_flag.load();
    int ticks = count_ticks(ctx->phase, total, now);
    if (ctx->dialog && ticks > ctx->progress_position) {
        progress_dialog* dialog = ctx->dialog;
        std::lock_guard<std::mutex> guard(dialog->lock);
        int start = dialog->bar;
        for (int tick = ctx->progress_position; tick < ticks && dialog->step > 0 && dialog->bar < download_bar_limit;
             ++tick)
            dialog->bar = std::min(download_bar_limit, dialog->bar + dialog->step);
        if (dialog->bar != start) post_bar(dialog);
    }
    ctx->progress_position = ticks;
    return ctx->cancel_flag.load();
}

void dialog_finish(run_context* ctx) {
    if (!ctx || !ctx->dialog) return;
    progress_dialog* dialog = ctx->dialog;
    std::lock_guard<std::mutex> guard(dialog->lock);
    dialog->bar = 100;
    post_bar(dialog);
    ui_mailbox_post(dialog->mailbox, {PDM_FINISHED, 0, {}});
    // The flag is read under the lock, so a Cancel pressed from here on finds no run context.
    if (ctx->cancel_flag.load()) ui_mailbox_post(dialog->mailbox, {PDM_CLOSE, 0, {}});
    dialog->run = nullptr;
}
