// The screens of an interactive run: the welcome dialog, the progress dialog with its install
// worker, and the proxy credentials prompt that a worker may show on it.
#pragma once

#include "core/progress_dialog.h"

struct proxy_record;

// Welcome dialog: welcome_next, 0 when closed, -1 (with *error) when it cannot be shown.
int run_welcome_dialog(int* error);

// Progress dialog with `worker` as its install worker. Returns once the screen has closed and
// the worker has ended; -1 (with *error) when the dialog cannot be shown.
int run_progress_dialog(int* error, install_worker_fn worker);

// The credentials prompt hook of a proxy record: asks the person at the progress dialog for a
// proxy user name and password. 1 with both copied into the record (OK with both given);
// 0 on Cancel, in a silent run, or when nobody can be asked.
int prompt_proxy_credentials(proxy_record* record);
