// Loop worker: one libuv event loop on a thread of its own, to which any thread hands work.
// Every socket, timer and reply handler of a peer road lives on that thread, so none of them
// needs a lock. Work crosses threads as an item address written into a private pipe; the stop
// request crosses as a libuv async signal.
//
// Order of use, fixed for every caller:
//   qz_loop_host* host = qz_loop_worker_create();
//   qz_loop_worker_set_logger(host, logger);          // optional, before start
//   qz_loop_worker_start(host);
//   qz_loop_worker_submit_work(qz_loop_host_worker(host), cb, data);   // any thread
//   qz_loop_worker_stop(host);                         // runs what is queued, then ends the loop
//   qz_loop_worker_join(host);                         // waits for the loop thread
//   qz_loop_worker_release(host);
// A worker is never restarted.
#pragma once

#include <uv.h>

struct qz_logger;

// The host owns the loop, the loop thread and the worker; the worker is the submission side.
struct qz_loop_host;
struct qz_loop_worker;

// Runs on the loop thread with the user data given at submission.
typedef void (*qz_loop_work_cb)(void* user_data);

// Most items that may be in flight (submitted and not yet read back by the loop thread).
constexpr int qz_loop_worker_queue_limit = 1024;

// A new host with its initialised loop and its worker, or nullptr when memory runs out.
qz_loop_host* qz_loop_worker_create();

// Attaches the framework logger (module "loop_worker"). Only before start; nullptr detaches.
void qz_loop_worker_set_logger(qz_loop_host* host, const qz_logger* logger);

// Starts the loop thread and returns once it runs: 0. A failed pipe set-up on the loop thread
// is logged there and shows later as refused submissions (2). 3 when the thread cannot be
// created (nothing waits then), 1 without a host, 2 when the host was already started.
int qz_loop_worker_start(qz_loop_host* host);

// Queues callback(user_data) to run on the loop thread; callable from any thread, the loop
// thread included. The caller keeps the user data alive until the callback has run.
// 0 queued; 1 no worker or no callback; 2 stopped or not started (or the pipe set-up failed);
// 4 queue full (more than qz_loop_worker_queue_limit in flight), no memory or a failed write.
int qz_loop_worker_submit_work(qz_loop_worker* worker, qz_loop_work_cb callback, void* user_data);

// Like qz_loop_worker_submit_work, and waits until the callback has run. On the loop thread
// itself the callback runs at once (waiting there would never end). Same codes; 3 when the
// wait object cannot be made.
int qz_loop_worker_submit_work_and_wait(qz_loop_worker* worker, qz_loop_work_cb callback, void* user_data);

// Asks the loop to stop; callable from any thread, returns at once. New submissions are
// refused from then on; items already queued still run before reading stops. Stopping a
// worker that never started only marks it stopped.
void qz_loop_worker_stop(qz_loop_host* host);

// Waits for the loop thread to end (after qz_loop_worker_stop, or after a failed pipe set-up).
// Returns at once when there is no thread. Not from the loop thread.
void qz_loop_worker_join(qz_loop_host* host);

// Frees the worker, the loop and the host. Meant for after join; a host whose thread still
// runs is stopped and joined first. Accepts nullptr. Not from the loop thread.
void qz_loop_worker_release(qz_loop_host* host);

// Accessors for the users that register handles on the loop (UDP requests) and submit work.
qz_loop_worker* qz_loop_host_worker(qz_loop_host* host);
uv_loop_t* qz_loop_host_loop(qz_loop_host* host);
// Items submitted and not yet read back; for diagnostics and tests.
int qz_loop_worker_pending_count(const qz_loop_worker* worker);
// True only on the worker's own loop thread.
bool qz_loop_worker_in_loop_thread(const qz_loop_worker* worker);
