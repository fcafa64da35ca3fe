// Finding a process by its image name through the system's task lister, as a 32-bit installer
// on 64-bit Windows must (it cannot walk the process list itself); used to find the logged-on
// user's shell. Where there is no task lister (POSIX) the process list is walked directly.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t task_list_capacity = 4096;   // bytes of the lister's output that are read

// 1 when a process bears `image_name` (compared without case), with its id in *process_id when
// given; else 0. With `filter` the lister is asked for that image name only.
int find_process_id_by_image(const wchar_t* image_name, int* process_id, int filter);

// The task lister's CSV output ("image","pid",...; one line per process): the id of the first
// line whose first field equals `image_name` without regard to case. Lines that do not start
// with a double quote are skipped; a last line without its line end counts only when the output
// is shorter than task_list_capacity (a line cut there is not trusted). 1 with *process_id set;
// 0 when no line matches, or when the first match has no second field.
int find_image_in_task_list(const std::string& output, const wchar_t* image_name, int* process_id);
