// The installer's log file: private to its owner, only ever appended to, rotated by size when it
// is opened. Other processes append to the same file; each append is one write, so lines of
// different writers never interleave.
#pragma once

#include <cstddef>
#include <ctime>
#include <memory>
#include <string>

// Renames the file at `path` to `backup_path` (replacing an older backup) when it holds
// `rotate_size` bytes or more. The size the log continues from: 0 when it is new or was just
// rotated. A link in its place counts as no log.
long long os_rotate_log_file(const std::string& path, const std::string& backup_path, long long rotate_size);

struct os_log_file;

// Opens `path` for appending, creating it readable and writable by its owner only; never
// through a link. Null when it cannot be opened.
os_log_file* os_log_file_open(const std::string& path);

// Appends all of `data` (one write, repeated only for what a short write left). False when the
// file refuses it.
bool os_log_file_append(os_log_file* file, const std::string& data);

void os_log_file_close(os_log_file* file);   // accepts null

struct os_log_file_closer {
    void operator()(os_log_file* file) const noexcept { os_log_file_close(file); }
};
using os_log_file_ptr = std::unique_ptr<os_log_file, os_log_file_closer>;

// The local calendar time of `when`. False when the system cannot convert it.
bool os_local_time(std::time_t when, std::tm& out);
