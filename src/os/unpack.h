// Unpacking an archive into a folder: minizip's file functions for reading the archive, the
// process's current folder, and output files written so that no link is ever followed.
// Names are narrow text in the user's code page with os_path_separator between components.
// Only one thread may use a folder handle and its files.
#pragma once

#include <ioapi.h>
#include <cstddef>
#include <cstdint>
#include <ctime>

// Fills minizip's file functions for reading an archive given by its narrow path (read mode
// only; opening for writing fails).
void os_fill_zip_file_functions(zlib_filefunc64_def* functions);

// Changes the process-wide current folder. False when it cannot.
bool os_change_directory(const char* path);

// An archive that this process is still writing, opened for reading beside its writer. The
// reader reads only what the writer has flushed, so every read stays below the length the
// writer has told it.
struct os_growing_archive;
os_growing_archive* os_growing_archive_open(const char* path);
// Reads up to `size` bytes at `offset`; fewer only at the end of what is written. False on an
// error.
bool os_growing_archive_read_at(os_growing_archive* archive, unsigned char* out, size_t size, uint64_t offset,
                                size_t& got);
void os_growing_archive_close(os_growing_archive* archive);   // accepts nullptr

// The folder that names are taken relative to: the current folder at the time it was opened.
struct os_output_folder;
os_output_folder* os_output_folder_open();
// The same for the folder at `path`, for a thread that must not change the current folder.
os_output_folder* os_output_folder_open_at(const char* path);
void os_output_folder_close(os_output_folder* folder);   // accepts nullptr

enum os_mkdir_result {
    os_mkdir_made,
    os_mkdir_exists,
    os_mkdir_no_parent,   // a folder on the way is missing
    os_mkdir_failed,      // anything else, among it a link on the way
};

// Creates one folder; its parent must exist.
os_mkdir_result os_output_make_folder(os_output_folder* folder, const char* name);

// A file being written. Creating truncates an existing file; a link in its place is replaced
// by the new file and a link among its folders makes creation fail, so nothing outside the
// folder is ever written through a link. Anything but a regular file in its place is refused.
// `error`, when given, receives the system's error number of a failed creation.
struct os_output_file;
os_output_file* os_output_file_create(os_output_folder* folder, const char* name, int* error = nullptr);

// An existing regular file of the folder opened for its stamps, not truncated, with the same
// refusal of links; `size` receives its length. Null when there is no such file.
os_output_file* os_output_file_reopen(os_output_folder* folder, const char* name, uint64_t* size);

// Writes all of `size` bytes or returns false; os_output_file_error then tells why.
bool os_output_file_write(os_output_file* file, const void* data, size_t size);
int os_output_file_error(const os_output_file* file);

// Removes the file `name` (a partly written one) from the folder; a link is removed as a link.
bool os_output_remove_file(os_output_folder* folder, const char* name);

// Stamps the last-write time (and the creation time where the system keeps one) from a local
// calendar time; the last-access time is kept.
bool os_output_file_set_time(os_output_file* file, const std::tm& local_time);

// Sets the Unix permission bits (0777 at most) where the system has them; elsewhere nothing.
bool os_output_file_set_unix_mode(os_output_file* file, unsigned mode);

void os_output_file_close(os_output_file* file);   // accepts nullptr
