// Some platform services do part of their work in a separate process of this same program,
// started with other rights than the installer's (POSIX: reading the desktop user's proxy
// settings as that user). The program entry hands every start to os_run_helper first.
#pragma once

// True when this start is such a helper run: it has run, and *exit_code is the process's exit
// code. False for every ordinary start (always on Windows).
bool os_run_helper(int argc, char** argv, int* exit_code);
