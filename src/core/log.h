// The installer's log file: one call for every module, one whole line per call, shared by all
// threads of the run and by other processes through the log mutex.
#pragma once

// Severity bits; a caller passes exactly one.
enum log_severity : unsigned {
    SEV_INFO = 1,
    SEV_WARNING = 2,
    SEV_ERROR = 4,
    SEV_DEBUG = 8,
};

constexpr unsigned log_default_mask = 0x7;
constexpr unsigned log_debug_mask = 0x7F;
constexpr long long log_rotate_size = 5242880;   // 5 MiB, checked only when the log opens

// Opens (and rotates) the log in the temporary folder and selects the message catalogue.
// Always 1: when the log cannot be opened the run goes on with logging off.
int open_log();

// Appends one line: "<24-char local time>\t<tag>\t<message>" and a line break unless the format
// already has one. Wide printf conventions: %ls for wide text, OS_NARROW_S for narrow text.
// Returns 1 when a line was written, 0 when the severity is masked out, logging is off or
// memory ran out (the line is dropped; this never throws).
int log_message(unsigned severity, const wchar_t* format, ...) noexcept;

// Formatted print to standard output, without the log mutex.
void console_print(const wchar_t* format, ...);

void set_severity_mask(unsigned mask);

// Closes the file and the log mutex, each only when open. Safe to call twice.
void close_log();
