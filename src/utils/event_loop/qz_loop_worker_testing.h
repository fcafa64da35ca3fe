// Hooks for tests that drive the worker's pipe by hand. Not for product code.
#pragma once

#include "utils/event_loop/qz_loop_worker.h"

// The pipe's write descriptor, -1 when there is none.
int qz_loop_worker_test_write_descriptor(const qz_loop_worker* worker);
// A fire-and-forget item counted as pending, whose address the test writes into the pipe
// itself. nullptr when out of memory.
void* qz_loop_worker_test_make_item(qz_loop_worker* worker, qz_loop_work_cb callback, void* user_data);
// Loop thread only: hands the pipe's read callback a result as libuv would (a byte count, 0, or
// a negative libuv code), for read errors that a pipe cannot be made to produce.
void qz_loop_worker_test_read_result(qz_loop_worker* worker, long nread);
