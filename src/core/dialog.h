// What the worker shows of the run: dialog lines, the progress bar and the transfer progress.
// Every call is a no-op in a silent run (no dialog), apart from on_transfer_progress, which
// still counts its ticks and returns the cancel flag. All of them post to the progress dialog's
// mailbox and never wait for the screen.
#pragma once

struct run_context;

// Shows message `id` (formatted with the arguments, wide printf) as a new line and steps the
// bar while it is below 100. 1 when shown, 0 without a dialog.
int dialog_message(run_context* ctx, int id, ...);

// Sets the progress bar to `position` (0-100) when there is a dialog.
void dialog_set_progress(run_context* ctx, int position);

// Sets the bar's step size when there is a dialog.
void dialog_set_step(run_context* ctx, int step);

// The progress hook of every transfer: one tick per sixth of a configuration download, per
// twentieth of an install download, per whole one otherwise; every new tick steps the bar
// while it is below 80. Stores the ticks in the run context and returns the cancel flag
// (non-zero aborts the transfer).
int on_transfer_progress(run_context* ctx, double total, double now);

// The run has ended: the bar goes to 100 and the dialog is told (and, after a cancel, told to
// close at once). The dialog lets go of the run context here, so the worker may free it after.
void dialog_finish(run_context* ctx);
