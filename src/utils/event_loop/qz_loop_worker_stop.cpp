// The stop sequence on the loop thread: refuse new work, drain what is queued, stop reading,
// close the pipe and list what is left on the loop.
#include "os/pipe.h"
#include "utils/event_loop/qz_loop_worker_internal.h"
#include "utils/qz_logger.h"
#include "utils/qz_status.h"

#define LW_LOG(worker, severity, ...) QZ_LOG((worker)->logger, (severity), qz_loop_worker_module, __VA_ARGS__)

namespace {

constexpr int walk_limit = 200;

const char* handle_type_name(uv_handle_type type) {
    switch (type) {
        case UV_ASYNC: return "async";
        case UV_CHECK: return "check";
        case UV_FS_EVENT: return "fs_event";
        case UV_FS_POLL: return "fs_poll";
        case UV_HANDLE: return "handle";
        case UV_IDLE: return "idle";
        case UV_NAMED_PIPE: return "pipe";
        case UV_POLL: return "poll";
        case UV_PREPARE: return "prepare";
        case UV_PROCESS: return "process";
        case UV_STREAM: return "stream";
        case UV_TCP: return "tcp";
        case UV_TIMER: return "timer";
        case UV_TTY: return "tty";
        case UV_UDP: return "udp";
        case UV_SIGNAL: return "signal";
        default: return "<unknown>";
    }
}

void walk_cb(uv_handle_t* handle, void* arg) {
    qz_loop_worker* worker = static_cast<qz_loop_worker*>(arg);
    if (worker->walk_count < UINT16_MAX) {
        ++worker->walk_count;
    }
    // A diagnostic listing only: past the limit it stops listing rather than end the process.
    if (worker->walk_count == walk_limit) {
        LW_LOG(worker, QZ_LOG_INFO, "Max UV handles reached");
    }
    if (worker->walk_count >= walk_limit) {
        return;
    }
    bool active = uv_is_active(handle) && !uv_is_closing(handle);
    LW_LOG(worker, QZ_LOG_INFO, "%c %-8s %p .data=%p\n", active ? 'A' : '-',
           handle_type_name(uv_handle_get_type(handle)), static_cast<void*>(handle), handle->data);
}

void close_pipe(qz_loop_worker* worker) {
    // The stream owns the read descriptor: closing the stream closes it, and leaves nothing
    // registered on the loop for its deletion.
    uv_handle_t* pipe = reinterpret_cast<uv_handle_t*>(&worker->pipe);
    if (worker->pipe_initialised && !uv_is_closing(pipe)) {
        uv_close(pipe, nullptr);
    }
    worker->read_fd = -1;
    os_pipe_close(worker->write_fd.exchange(-1));
    worker->write_end = -1;
}

void idle_close_cb(uv_handle_t* handle) {
    qz_loop_worker* worker = static_cast<qz_loop_worker*>(handle->data);
    LW_LOG(worker, QZ_LOG_INFO, "Loop worker idle close cb");
    close_pipe(worker);
    uv_walk(worker->host->loop.get(), walk_cb, worker);
    LW_LOG(worker, QZ_LOG_INFO, "Loop worker closed");
}

void idle_cb(uv_idle_t* handle) {
    qz_loop_worker* worker = static_cast<qz_loop_worker*>(handle->data);
    int pending = worker->pending.load();
    if (pending > 0) {
        LW_LOG(worker, QZ_LOG_INFO, "# of pending messages are <%d>, so waiting for loop idle", pending);
        return;
    }
    uv_idle_stop(handle);
    int rc = 0;
    if (worker->pipe_initialised) {
        rc = uv_read_stop(reinterpret_cast<uv_stream_t*>(&worker->pipe));
    }
    if (rc != 0) {
        LW_LOG(worker, QZ_LOG_FAILURE, "Loop worker stop Failed - uv error <%d> <%s>", rc, uv_strerror(rc));
    } else {
        LW_LOG(worker, QZ_LOG_INFO, "Loop worker completely stopped");
    }
    uv_close(reinterpret_cast<uv_handle_t*>(handle), idle_close_cb);
}

}   // namespace

void qz_loop_worker_stop_hook(qz_loop_host* host) {
    qz_loop_worker* worker = host->worker.get();
    uv_idle_init(host->loop.get(), &worker->idle);
    worker->idle.data = worker;
    uv_idle_start(&worker->idle, idle_cb);
    worker->stopped.store(true);
}

void qz_loop_worker_close_leftovers(qz_loop_host* host) {
    // Reached with the pipe still open only when the loop ran out of work some other way
    // (a failed set-up); the async handle is still open when no stop was ever requested.
    uv_handle_t* async = reinterpret_cast<uv_handle_t*>(&host->async);
    if (host->async_initialised && !uv_is_closing(async)) {
        uv_close(async, nullptr);
    }
    close_pipe(host->worker.get());
}
