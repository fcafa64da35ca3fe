// Finding a running process by the name of its program.
#pragma once

#include <cstddef>
#include <string>

// The id of the first running process, in the system's process order, whose executable file
// name equals `image_name` without regard to case (Windows: the Toolhelp snapshot; POSIX: the
// base name of /proc/<pid>/exe, or its comm name when the link cannot be read). False when
// no process bears the name.
bool os_find_process_by_image(const std::wstring& image_name, int* process_id);

// Whether this is a 32-bit process on a 64-bit system (Windows on Windows 64), where the
// process list is read through the system's task lister instead (find_process_id_by_image).
// Never on POSIX.
bool os_is_32bit_process_on_64bit_system();

// The system's task lister run with CSV output and no header: with `filter`, only the lines
// whose image name equals `image_name`. At most `capacity` bytes of its output. False when it
// cannot be run (POSIX has no task lister).
bool os_run_task_lister(const std::wstring& image_name, bool filter, size_t capacity, std::string& output);
