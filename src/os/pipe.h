// An anonymous pipe inside the process: the loop worker's hand-over of work items from any
// thread to its loop thread. The descriptors are the kind libuv's pipe streams take; neither end
// is inherited by started programs.
#pragma once

#include <cstddef>

// 0 with both ends, or the system's error number.
int os_pipe_create(int* read_end, int* write_end);

// One write of `size` bytes (at most the pipe's atomic size, so writers never interleave),
// repeated when a signal interrupts it. The bytes written, or -1 with the system's error number
// in *error.
long os_pipe_write(int end, const void* data, size_t size, int* error);

void os_pipe_close(int end);   // accepts -1
