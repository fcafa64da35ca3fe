// Starting another program and waiting for it.
#pragma once

#include <string>
#include <vector>

struct os_process;
struct os_named_lock;

// Starts a Windows-style command line (the quoted program path first) without a window and
// with no input, in the current folder. Null on failure, with the system error code in
// `*start_error`. On POSIX the line is split with the Windows rules and the program file is
// made executable by its owner first (files fetched one by one arrive without mode bits;
// callers have verified it). The program starts with the default signal handling whatever
// this process has blocked.
// `keep_held` (optional) is a lock this process holds that the program inherits: it stays
// held while the program runs, also when this process ends first. Nothing else is inherited.
os_process* os_start_process(const std::wstring& command_line, int* start_error, os_named_lock* keep_held = nullptr);

struct os_exit {
    bool read = false;
    int code = 0;
};

// Waits without a time limit, then releases the process record.
os_exit os_wait_process(os_process* process);

// The Windows rules of splitting a command line into arguments: blanks separate, double quotes
// group, 2n backslashes before a quote give n backslashes, 2n+1 give n and a literal quote.
std::vector<std::wstring> os_split_command_line(const std::wstring& command_line);
