// Records shared by the loop worker's source files; not for users of the worker.
#pragma once

#include <uv.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "utils/event_loop/qz_loop_worker.h"

struct qz_logger;

constexpr const char* qz_loop_worker_module = "loop_worker";

// Completion signal of a waited item, owned by the submitter.
struct qz_work_signal {
    std::mutex mutex;
    std::condition_variable done_cv;
    int done = 0;
};

// Who owns an item once its callback has run.
enum class qz_work_kind : int32_t {
    fire_and_forget = 0,   // freed by the loop thread after its callback
    waited = 1,            // belongs to its submitter, who waits on the signal
};

// What crosses the pipe, by address.
struct qz_work_item {
    qz_work_kind kind = qz_work_kind::fire_and_forget;
    qz_loop_work_cb callback = nullptr;
    void* user_data = nullptr;
    qz_work_signal* signal = nullptr;
};

struct qz_loop_worker {
    uv_pipe_t pipe{};
    bool pipe_initialised = false;   // loop thread only
    // Submitters read this without a lock: -1 until the pipe is set up and read, and again
    // once the stop has drained every item.
    std::atomic<int> write_fd{-1};
    int read_fd = -1;     // owned by the pipe stream once it is open
    int write_end = -1;   // the write descriptor before it is published
    qz_loop_host* host = nullptr;
    // Reassembly of one item address that may arrive over several reads (loop thread only).
    unsigned char slot[sizeof(void*)]{};
    size_t received = 0;
    const qz_logger* logger = nullptr;
    uv_idle_t idle{};
    std::atomic<int32_t> pending{0};
    std::atomic<bool> stopped{false};
    uint16_t walk_count = 0;
    // libuv stops reading after either; a read restarted later must not repeat the line.
    bool end_of_file_logged = false;   // loop thread only
    bool read_error_logged = false;    // loop thread only
};

struct qz_loop_host {
    std::unique_ptr<uv_loop_t> loop;
    bool loop_initialised = false;
    std::atomic<std::thread::id> thread_id{};
    uv_async_t async{};
    bool async_initialised = false;   // written before the start report, read after it
    void (*stop_hook)(qz_loop_host* host) = nullptr;
    std::thread thread;
    std::unique_ptr<qz_loop_worker> worker;
    std::mutex start_mutex;
    std::condition_variable start_cv;
    bool started = false;
    bool start_called = false;
};

// Loop thread: makes the pipe and opens its reading end as a stream. 0 or 501.
int qz_loop_worker_setup_pipe(qz_loop_worker* worker);
// Loop thread: starts reading and only then publishes the write descriptor, so that nothing is
// accepted that would never be read. 0, or the libuv error (the pipe is then closed).
int qz_loop_worker_start_reading(qz_loop_worker* worker);
// Loop thread: the stop hook installed by qz_loop_worker_create.
void qz_loop_worker_stop_hook(qz_loop_host* host);
// Loop thread, after the loop run: closes what the stop sequence did not get to close.
void qz_loop_worker_close_leftovers(qz_loop_host* host);
