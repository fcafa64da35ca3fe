// Process entry and the install sequence.
#pragma once

#include "core/run_context.h"

// The whole program: single instance, administrator check, log, options, then the install run
// behind the dialogs or silently. The exit code is always 0; the log tells the outcome.
int bootstrap_main();

// The install sequence. Frees `ctx` at the end of the run, before it returns 0.
int run_bootstrap(run_context_ptr ctx);
