// The work folder under the temporary folder, the executable's path, and recursive deletion.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t path_capacity = 260;   // wide characters, terminator included

// "<temporary folder>HolvenSwiftset" (no trailing separator). 1 with the path, 0 when it can
// neither be made nor be used as it is. Logs only when it makes the folder, or when one that
// is there cannot be trusted (a link, another owner, open to others): that refusal goes with
// its reason to the log and to standard error.
int get_work_folder(wchar_t* out, size_t capacity = path_capacity);

// A work folder was refused in this process: the run cannot resume until it is removed.
bool work_folder_refused();

// Full path of the running executable, for display: bytes the locale cannot express appear
// escaped (\xNN). 1 with the path.
int get_module_path(wchar_t* out, size_t capacity = path_capacity);

// The same path as the file system knows it (bytes), for opening the executable. 1 with it.
int get_module_path_bytes(std::string& out);

// Deletes `folder` and everything below it without following links, walking it through its
// descriptors; every name is reached, also one the locale cannot express. 1 when the folder
// could be listed (what cannot be deleted now is left), 0 when its listing failed.
int delete_folder_tree(const wchar_t* folder);
