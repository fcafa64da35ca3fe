// File-system intents the installer needs beyond the C library: folder listings that never
// follow links, deletion that tells why it failed, and deletion deferred to a restart.
#pragma once

#include <string>
#include <vector>

struct os_folder_entry {
    std::wstring name;
    bool is_folder = false;   // a real folder; a link to one is not
};

// The entries of `folder` without "." and "..". False when it cannot be listed.
bool os_list_folder(const std::wstring& folder, std::vector<os_folder_entry>& out);

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

// The system's text for an error number of a failed file operation ("No space left on
// device"), and whether that error means the disk (or the user's quota) is full.
std::string os_error_text(int error);
bool os_is_out_of_space(int error);
