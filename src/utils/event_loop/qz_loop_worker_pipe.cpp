// The hand-over: submitters write item addresses into the pipe, the loop thread reads them back
// and runs the items.
#include <cstring>
#include <new>

#include "os/pipe.h"
#include "utils/event_loop/qz_loop_worker.h"
#include "utils/event_loop/qz_loop_worker_internal.h"
#include "utils/event_loop/qz_loop_worker_testing.h"
#include "utils/qz_logger.h"
#include "utils/qz_status.h"

#define LW_LOG(worker, severity, ...) QZ_LOG((worker)->logger, (severity), qz_loop_worker_module, __VA_ARGS__)

namespace {

void alloc_cb(uv_handle_t* handle, size_t, uv_buf_t* buf) {
    // Offer only what is missing of the current address, so that an address split over
    // several reads is reassembled in place and never mixed with the next one.
    qz_loop_worker* worker = static_cast<qz_loop_worker*>(handle->data);
    buf->base = reinterpret_cast<char*>(worker->slot) + worker->received;
    buf->len = sizeof worker->slot - worker->received;
}

void run_item(qz_work_item* item) {
    item->callback(item->user_data);
    if (item->kind == qz_work_kind::fire_and_forget) {
        delete item;
        return;
    }
    qz_work_signal* signal = item->signal;
    std::lock_guard<std::mutex> lock(signal->mutex);
    signal->done = 1;
    signal->done_cv.notify_all();
}

// End of file and read errors end libuv's reading of the pipe: each is logged once, with its
// libuv code.
void log_read_end(qz_loop_worker* worker, int code) {
    bool end_of_file = code == UV_EOF;
    bool& logged = end_of_file ? worker->end_of_file_logged : worker->read_error_logged;
    if (logged) {
        return;
    }
    logged = true;
    if (end_of_file) {
        LW_LOG(worker, QZ_LOG_FAILURE,
               "error in read_cb, the other end probably closed the connection - uv error <%d> <%s>", code,
               uv_strerror(code));
    } else {
        LW_LOG(worker, QZ_LOG_FAILURE, "error in read_cb - uv error <%d> <%s>", code, uv_strerror(code));
    }
}

void read_cb(uv_stream_t* stream, ssize_t nread, const uv_buf_t*) {
    qz_loop_worker* worker = static_cast<qz_loop_worker*>(stream->data);
    if (nread < 0) {
        log_read_end(worker, static_cast<int>(nread));
        return;
    }
    if (nread == 0) {
        LW_LOG(worker, QZ_LOG_INFO, "No Data");
        return;
    }
    worker->received += static_cast<size_t>(nread);
    if (worker->received < sizeof worker->slot) {
        return;
    }
    long remaining = static_cast<long>(worker->pending.fetch_sub(1)) - 1;
    qz_work_item* item;
    std::memcpy(&item, worker->slot, sizeof item);
    worker->received = 0;
    run_item(item);
    LW_LOG(worker, QZ_LOG_TRACE, "loop worker successfully processed a message, still %ld more to go...", remaining);
}

// 0 when the item's address went into the pipe whole.
int write_item(qz_loop_worker* worker, qz_work_item* item) {
    int fd = worker->write_fd.load();
    // One write of at most PIPE_BUF bytes: never interleaved with another submitter's.
    int error = 0;
    long written = os_pipe_write(fd, &item, sizeof item, &error);
    if (written == static_cast<long>(sizeof item)) {
        return QZ_OK;
    }
    LW_LOG(worker, QZ_LOG_FAILURE, "qz_loop_worker_submit_work failed writing to queue, rc=%d",
           written < 0 ? error : 0);
    return QZ_ERR_NO_MEMORY;
}

bool refuses_submissions(const qz_loop_worker* worker) { return worker->stopped.load() || worker->write_fd.load() < 0; }

int refuse_stopped(qz_loop_worker* worker) {
    LW_LOG(worker, QZ_LOG_REFUSED, "cannot submit loop work after(before) loop_worker has been stopped(started)");
    return QZ_ERR_WRONG_STATE;
}

// Counts the item as pending and writes it. The count goes up before the stopped flag is
// checked again: the stop sequence closes the pipe only after it has seen the flag set and the
// count at 0, so an item that passes this check is always read and run.
int enqueue(qz_loop_worker* worker, qz_work_item* item) {
    if (refuses_submissions(worker)) {
        return refuse_stopped(worker);
    }
    long n = static_cast<long>(worker->pending.fetch_add(1)) + 1;
    if (refuses_submissions(worker)) {
        worker->pending.fetch_sub(1);
        return refuse_stopped(worker);
    }
    if (n <= qz_loop_worker_queue_limit && item != nullptr && write_item(worker, item) == QZ_OK) {
        LW_LOG(worker, QZ_LOG_TRACE, "scheduled an async work request, now has %ld pending work requests", n);
        return QZ_OK;
    }
    worker->pending.fetch_sub(1);
    LW_LOG(worker, QZ_LOG_REFUSED, "loop worker queue is full or write failed; # of messages in queue: %ld of %d", n,
           qz_loop_worker_queue_limit);
    return QZ_ERR_NO_MEMORY;
}

}   // namespace

int qz_loop_worker_setup_pipe(qz_loop_worker* worker) {
    int fds[2] = {-1, -1};
    int error = os_pipe_create(&fds[0], &fds[1]);
    if (error != 0) {
        LW_LOG(worker, QZ_LOG_FAILURE, "Failed to create named pipe - windows error <%d>", error);
        return QZ_ERR_BAD_SHAPE;
    }
    LW_LOG(worker, QZ_LOG_INFO, "Created name pipe");
    uv_pipe_init(worker->host->loop.get(), &worker->pipe, 0);
    worker->pipe_initialised = true;
    worker->pipe.data = worker;
    int rc = uv_pipe_open(&worker->pipe, fds[0]);
    if (rc != 0) {
        uv_close(reinterpret_cast<uv_handle_t*>(&worker->pipe), nullptr);
        LW_LOG(worker, QZ_LOG_FAILURE, "Failed to open pipe - uv error <%d> <%s>", rc, uv_strerror(rc));
        os_pipe_close(fds[0]);
        os_pipe_close(fds[1]);
        return QZ_ERR_BAD_SHAPE;
    }
    worker->read_fd = fds[0];
    worker->write_end = fds[1];
    LW_LOG(worker, QZ_LOG_INFO, "Opened named pipe");
    return QZ_OK;
}

int qz_loop_worker_start_reading(qz_loop_worker* worker) {
    int rc = uv_read_start(reinterpret_cast<uv_stream_t*>(&worker->pipe), alloc_cb, read_cb);
    if (rc != 0) {
        // The stream owns the read descriptor and closes it.
        uv_close(reinterpret_cast<uv_handle_t*>(&worker->pipe), nullptr);
        worker->read_fd = -1;
        os_pipe_close(worker->write_end);
        worker->write_end = -1;
        return rc;
    }
    worker->write_fd.store(worker->write_end);
    return 0;
}

int qz_loop_worker_submit_work(qz_loop_worker* worker, qz_loop_work_cb callback, void* user_data) {
    if (worker == nullptr || callback == nullptr) {
        return QZ_ERR_MISSING_ARGUMENT;
    }
    if (refuses_submissions(worker)) {
        return refuse_stopped(worker);
    }
    qz_work_item* item = new (std::nothrow) qz_work_item;
    if (item != nullptr) {
        item->kind = qz_work_kind::fire_and_forget;
        item->callback = callback;
        item->user_data = user_data;
    }
    int rc = enqueue(worker, item);
    if (rc != QZ_OK) {
        delete item;
    }
    return rc;
}

int qz_loop_worker_submit_work_and_wait(qz_loop_worker* worker, qz_loop_work_cb callback, void* user_data) {
    if (worker == nullptr || callback == nullptr) {
        return QZ_ERR_MISSING_ARGUMENT;
    }
    if (refuses_submissions(worker)) {
        return refuse_stopped(worker);
    }
    if (qz_loop_worker_in_loop_thread(worker)) {
        callback(user_data);
        return QZ_OK;
    }
    qz_work_signal signal;
    qz_work_item item;
    item.kind = qz_work_kind::waited;
    item.callback = callback;
    item.user_data = user_data;
    item.signal = &signal;
    int rc = enqueue(worker, &item);
    if (rc != QZ_OK) {
        return rc;
    }
    std::unique_lock<std::mutex> lock(signal.mutex);
    signal.done_cv.wait(lock, [&signal] { return signal.done != 0; });
    return QZ_OK;
}

int qz_loop_worker_test_write_descriptor(const qz_loop_worker* worker) {
    return worker == nullptr ? -1 : worker->write_fd.load();
}

void* qz_loop_worker_test_make_item(qz_loop_worker* worker, qz_loop_work_cb callback, void* user_data) {
    qz_work_item* item = new (std::nothrow) qz_work_item;
    if (item == nullptr) {
        return nullptr;
    }
    item->callback = callback;
    item->user_data = user_data;
    worker->pending.fetch_add(1);
    return item;
}

void qz_loop_worker_test_read_result(qz_loop_worker* worker, long nread) {
    read_cb(reinterpret_cast<uv_stream_t*>(&worker->pipe), static_cast<ssize_t>(nread), nullptr);
}
