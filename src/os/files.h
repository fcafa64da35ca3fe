// File-system intents the installer needs beyond the C library: folders walked through their
// descriptors without following links, names taken as the file system stores them, deletion
// that tells why it failed, and deletion deferred to a restart.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A file name as the file system stores it: bytes on POSIX, where a name need not be text in
// the user's locale; clean-up must reach those too.
#ifdef _WIN32
using os_file_name = std::wstring;
#else
using os_file_name = std::string;
#endif

struct os_folder_entry {
    os_file_name name;        // to hand back to the calls below
    std::wstring shown;       // for logs: what the locale cannot express appears as \xNN
    bool is_folder = false;   // a real folder; a link to one is not
};

// An open folder. Entries are reached relative to it, so a walk stays inside the folder it
// started in whatever happens to the path above it.
struct os_folder;

// Opens a folder; null when it cannot be opened or is a link.
os_folder* os_open_folder(const std::wstring& path);
// Opens an entry of `parent` that is a real folder (never a link); null otherwise.
os_folder* os_open_subfolder(os_folder* parent, const os_file_name& name);
void os_close_folder(os_folder* folder);   // accepts null

// The entries without "." and "..". False when the folder cannot be read.
bool os_read_folder(os_folder* folder, std::vector<os_folder_entry>& out);
// Deletes a file or a link (never what a link points to) of `folder`.
bool os_delete_in_folder(os_folder* folder, const os_file_name& name);
// Removes an empty subfolder of `folder`.
bool os_remove_subfolder(os_folder* folder, const os_file_name& name);

// Deletes a file or a link (never what a link points to).
bool os_delete_file(const std::wstring& path);

enum os_delete_status { OS_DELETED, OS_DELETE_NOT_FOUND, OS_DELETE_DENIED, OS_DELETE_FAILED };
// The same, telling why a deletion failed.
os_delete_status os_delete_file_status(const std::wstring& path);

// Removes an empty folder.
bool os_remove_folder(const std::wstring& path);

// Asks the system to delete `path` at the next restart. Not available on POSIX: false.
bool os_delete_at_restart(const std::wstring& path);

// `path` exists and is not a folder (a narrow path, as the C library takes it).
bool os_is_file(const std::string& path);

// The size of the file at `path` (a link counts as what it names). False when it cannot be
// examined.
bool os_file_size(const std::string& path, uint64_t& size);

// What tells one state of a file from another without reading it: which file it is and its
// size, last-write and last-change times. The change time moves with every write, rename onto
// it or time stamping, and no caller can set it, so equal stamps mean the same content.
struct os_file_stamp {
    uint64_t device = 0;
    uint64_t file = 0;
    uint64_t size = 0;
    int64_t written_ns = 0;
    int64_t changed_ns = 0;
    bool operator==(const os_file_stamp& o) const {
        return device == o.device && file == o.file && size == o.size && written_ns == o.written_ns &&
               changed_ns == o.changed_ns;
    }
};

// The stamp of the regular file at `path` (a link counts as what it names). False when it
// cannot be examined or is not a regular file.
bool os_file_stamp_of(const std::string& path, os_file_stamp& stamp);

// Moves a C library stream to `offset` bytes from the start, also past 2 GiB.
bool os_seek_file(std::FILE* file, uint64_t offset);

// Gives the file `to` the permission bits of `from` where the system has them; elsewhere true
// without doing anything.
bool os_copy_permissions(const std::string& from, const std::string& to);

// The system's text for an error number of a failed file operation ("No space left on
// device"), and whether that error means the disk (or the user's quota) is full.
std::string os_error_text(int error);
bool os_is_out_of_space(int error);
