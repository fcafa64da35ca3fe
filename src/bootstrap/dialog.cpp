#include "bootstrap/dialog.h"

#include "bootstrap/run_context.h"

int dialog_message(run_context* ctx, int /*id*/, ...) {
    if (!ctx || !ctx->dialog) return 0;
    return 0;
}

void dialog_set_progress(run_context* /*ctx*/, int /*position*/) {}

int on_transfer_progress(run_context* ctx, double total, double now) {
    if (!ctx) return 0;
    if (total == 0) return ctx->cancel_flag.load();
    int divisor = ctx->phase == 'C' ? 6 : ctx->phase == 'I' ? 20 : 1;
    ctx->progress_position = static_cast<int>(now / (total / divisor));
    return ctx->cancel_flag.load();
}

void dialog_set_step(run_context* /*ctx*/, int /*step*/) {}

void dialog_finish(run_context* /*ctx*/) {}
