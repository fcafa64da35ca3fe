// Life of the loop worker: create, the loop thread, start, stop request, join, release.
#include "utils/event_loop/qz_loop_worker.h"

#include <new>
#include <system_error>

#include "utils/event_loop/qz_loop_worker_internal.h"
#include "utils/qz_logger.h"
#include "utils/qz_status.h"

#define LW_LOG(worker, severity, ...) QZ_LOG((worker)->logger, (severity), qz_loop_worker_module, __VA_ARGS__)

namespace {

void async_cb(uv_async_t* handle) {
    qz_loop_host* host = static_cast<qz_loop_host*>(handle->data);
    host->stop_hook(host);
    uv_close(reinterpret_cast<uv_handle_t*>(handle), nullptr);
}

void report_started(qz_loop_host* host) {
    std::lock_guard<std::mutex> lock(host->start_mutex);
    host->started = true;
    host->start_cv.notify_all();
}

// The stop request's handle comes first: without it a running pipe could never be stopped, so
// a failure here leaves the worker without a pipe (every submission refused) and the loop ends.
int init_async(qz_loop_host* host) {
    int rc = uv_async_init(host->loop.get(), &host->async, async_cb);
    if (rc != 0) {
        return rc;
    }
    host->async.data = host;
    // Only the pipe reading keeps the loop running; the stop request alone must not.
    uv_unref(reinterpret_cast<uv_handle_t*>(&host->async));
    host->async_initialised = true;
    return 0;
}

void open_pipe(qz_loop_worker* worker) {
    int rc = qz_loop_worker_setup_pipe(worker);
    if (rc != QZ_OK) {
        LW_LOG(worker, QZ_LOG_FAILURE, "Loop worker setup pipe Failed, rc = <%d>", rc);
        return;
    }
    rc = qz_loop_worker_start_reading(worker);
    if (rc != 0) {
        LW_LOG(worker, QZ_LOG_FAILURE, "Loop worker start Failed - uv error <%d> <%s>", rc, uv_strerror(rc));
        return;
    }
    LW_LOG(worker, QZ_LOG_INFO, "Loop worker started");
}

void thread_body(qz_loop_host* host) {
    qz_loop_worker* worker = host->worker.get();
    host->thread_id.store(std::this_thread::get_id());
    int rc = init_async(host);
    if (rc != 0) {
        LW_LOG(worker, QZ_LOG_FAILURE, "Loop worker start Failed - uv error <%d> <%s>", rc, uv_strerror(rc));
    } else {
        open_pipe(worker);
    }
    report_started(host);

    uv_run(host->loop.get(), UV_RUN_DEFAULT);
    qz_loop_worker_close_leftovers(host);
    uv_run(host->loop.get(), UV_RUN_NOWAIT);
}

}   // namespace

qz_loop_host* qz_loop_worker_create() {
    try {
        std::unique_ptr<qz_loop_host> host(new qz_loop_host);
        host->loop.reset(new uv_loop_t);
        if (uv_loop_init(host->loop.get()) != 0) {
            return nullptr;
        }
        host->loop_initialised = true;
        host->worker.reset(new qz_loop_worker);
        host->worker->host = host.get();
        host->stop_hook = qz_loop_worker_stop_hook;
        return host.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void qz_loop_worker_set_logger(qz_loop_host* host, const qz_logger* logger) {
    if (host != nullptr) {
        host->worker->logger = logger;
    }
}

int qz_loop_worker_start(qz_loop_host* host) {
    if (host == nullptr) {
        return QZ_ERR_MISSING_ARGUMENT;
    }
    std::unique_lock<std::mutex> lock(host->start_mutex);
    if (host->start_called) {
        return QZ_ERR_WRONG_STATE;
    }
    host->start_called = true;
    try {
        host->thread = std::thread(thread_body, host);
    } catch (const std::system_error& e) {
        LW_LOG(host->worker, QZ_LOG_FAILURE, "Loop worker thread creation Failed - error <%d>", e.code().value());
        return QZ_ERR_FAILED;
    }
    host->start_cv.wait(lock, [host] { return host->started; });
    return QZ_OK;
}

void qz_loop_worker_stop(qz_loop_host* host) {
    if (host == nullptr) {
        return;
    }
    // Refused from now on, also on this thread; items already counted still drain.
    host->worker->stopped.store(true);
    bool running;
    {
        std::lock_guard<std::mutex> lock(host->start_mutex);
        running = host->started && host->async_initialised;
    }
    if (running) {
        uv_async_send(&host->async);
    }
}

void qz_loop_worker_join(qz_loop_host* host) {
    if (host != nullptr && host->thread.joinable()) {
        host->thread.join();
    }
}

void qz_loop_worker_release(qz_loop_host* host) {
    if (host == nullptr) {
        return;
    }
    if (host->thread.joinable()) {
        qz_loop_worker_stop(host);
        host->thread.join();
    }
    const qz_logger* logger = host->worker->logger;
    QZ_LOG(logger, QZ_LOG_INFO, qz_loop_worker_module, "Loop worker destroys");
    host->worker.reset();
    if (host->loop_initialised) {
        int rc = uv_loop_close(host->loop.get());
        if (rc != 0) {
            // Someone else's handle is still registered: freeing the loop under it would only
            // move the fault elsewhere, so the loop's memory is left behind.
            QZ_LOG(logger, QZ_LOG_FAILURE, qz_loop_worker_module, "Loop worker close Failed - uv error <%d> <%s>", rc,
                   uv_strerror(rc));
            (void)host->loop.release();
        }
    }
    delete host;
}

qz_loop_worker* qz_loop_host_worker(qz_loop_host* host) { return host == nullptr ? nullptr : host->worker.get(); }

uv_loop_t* qz_loop_host_loop(qz_loop_host* host) { return host == nullptr ? nullptr : host->loop.get(); }

int qz_loop_worker_pending_count(const qz_loop_worker* worker) {
    return worker == nullptr ? 0 : worker->pending.load();
}

bool qz_loop_worker_in_loop_thread(const qz_loop_worker* worker) {
    return worker != nullptr && worker->host->thread_id.load() == std::this_thread::get_id();
}
