// Internal to src/os/posix: the descriptor behind a named lock, for the process start that
// hands a held lock on to the program it starts.
#pragma once

struct os_named_lock;

// -1 for null.
int named_lock_descriptor(const os_named_lock* lock);
