// Process entry and the install sequence.
#pragma once

struct run_context;

// The whole program: single instance, administrator check, log, options, then the install run
// behind the dialogs or silently. The exit code is always 0; the log tells the outcome.
int bootstrap_main();

// The install sequence. Frees `ctx` (allocated with new) before it returns 0.
int run_bootstrap(run_context* ctx);
