// What the worker shows of the run: dialog lines, the progress bar and the transfer progress.
// Every call is a no-op in a silent run (no dialog), apart from returning the cancel flag.
#pragma once

struct run_context;

// Shows message `id` (formatted with the arguments) as a new line. 0 without a dialog.
int dialog_message(run_context* ctx, int id, ...);

// Sets the progress bar to `position` (0-100) when there is a dialog.
void dialog_set_progress(run_context* ctx, int position);

// The progress hook of every transfer: moves the bar by download ticks and returns the cancel
// flag (non-zero aborts the transfer).
int on_transfer_progress(run_context* ctx, double total, double now);

// Sets the progress bar's step size when there is a dialog.
void dialog_set_step(run_context* ctx, int step);

// Tells the dialog that the run has ended (and, after a cancel, to close at once).
void dialog_finish(run_context* ctx);
