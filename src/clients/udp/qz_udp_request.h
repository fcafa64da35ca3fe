// UDP request: sends one or more peer messages on every usable interface address at once (IPv6
// multicast to a group on each IPv6 interface, IPv4 broadcast on each IPv4 interface), then
// collects the unicast replies until its time-out expires or a handler says it has had enough.
// One publisher (socket) per message per interface address; replies come back to it.
//
// Threads: the request is created, filled and released by the calling thread; everything from
// the run to its end happens on the loop worker's thread, all handler calls included. The
// calling thread touches the request only before the run and after it (synchronous: when the
// run returns; asynchronous: from the final handler on).
//
//   qz_net_context context = {logger, qz_loop_host_loop(host), qz_loop_host_worker(host)};
//   qz_udp_request* request = nullptr;
//   qz_udp_request_create(&context, &request);
//   qz_udp_request_set_group_address(request, "ff08::2");
//   qz_udp_request_set_port(request, 8082);
//   qz_udp_request_set_reply_handler(request, on_reply);
//   qz_udp_request_add_message(request, message);        // encoded now
//   qz_udp_request_run_sync(request);                     // blocks until the request ends
//   qz_udp_request_release(request);
#pragma once

#include <uv.h>
#include <cstddef>
#include <cstdint>

struct network_interface_list;
struct qz_logger;
struct qz_loop_worker;
struct qz_udp_message;
struct qz_udp_request;
struct qz_udp_socket_pool;

// Shared by the requests of one road; the caller owns it and keeps it alive while they live.
struct qz_net_context {
    const qz_logger* logger;   // optional
    uv_loop_t* loop;           // the loop worker's loop
    qz_loop_worker* worker;
    // Optional: the interfaces every request of the road sends on, read once by its owner, so
    // that a road of many requests does not ask the system again for each. Null: each request
    // reads the system's list when it runs.
    const network_interface_list* interfaces = nullptr;
    // Optional: the road's sockets, taken and handed back by each request instead of made and
    // closed (qz_udp_socket_pool.h). Null: every request makes its own.
    qz_udp_socket_pool* sockets = nullptr;
};

enum qz_udp_request_state { QZ_UDP_REQUEST_IDLE = 0, QZ_UDP_REQUEST_RUNNING = 1, QZ_UDP_REQUEST_ENDED = 2 };

constexpr uint64_t qz_udp_request_default_timeout_ms = 2000;
enum { QZ_UDP_REPLY_ADDRESS_SIZE = 65 };

// A reply, lent to the reply handler for the duration of the call.
struct qz_udp_reply {
    qz_udp_message* message;                   // decoded from the datagram
    char address[QZ_UDP_REPLY_ADDRESS_SIZE];   // the peer's numeric address, no scope suffix
    uint32_t scope_id;                         // of the publisher that received it; 0 on IPv4
};

// Called once all sends have completed. Setting *stop ends the request.
typedef void (*qz_udp_all_sent_fn)(qz_udp_request* request, void* user_data, int* stop);
// Called for every accepted reply; returns 0 when it took the reply (its sender is then not
// heard again). Setting *stop ends the request.
typedef int (*qz_udp_reply_fn)(qz_udp_request* request, const qz_udp_reply* reply, void* user_data, int* stop);
// Asynchronous runs only: called once when the request has ended, with 2601 (time-out) or 2602
// (ended early). The request may be released from inside the handler.
typedef void (*qz_udp_final_fn)(int status, qz_udp_request* request, void* user_data);

// 0 and a new idle request (time-out 2,000 ms); 1 missing argument; 2 the context has no loop
// or no worker; 4 out of memory.
int qz_udp_request_create(const qz_net_context* context, qz_udp_request** request);

// Settings, before the run only. 0, or 1 for a missing request (or text), 4 out of memory.
int qz_udp_request_set_group_address(qz_udp_request* request, const char* group);
int qz_udp_request_set_port(qz_udp_request* request, uint16_t port);
int qz_udp_request_set_timeout(qz_udp_request* request, uint64_t timeout_ms);
int qz_udp_request_set_all_sent_handler(qz_udp_request* request, qz_udp_all_sent_fn handler);
int qz_udp_request_set_reply_handler(qz_udp_request* request, qz_udp_reply_fn handler);
int qz_udp_request_set_user_data(qz_udp_request* request, void* user_data);

// Encodes the message and keeps the bytes (the message itself is not kept). 0 added; 1 missing
// argument; 3 the message could not be encoded (not added); 4 out of memory (not added).
int qz_udp_request_add_message(qz_udp_request* request, const qz_udp_message* message);

// Runs on the loop thread and blocks until the request has ended: 0. 1 missing request, no
// message or not idle; 4 out of memory; 3 no wait object; else the refusal of
// qz_loop_worker_submit_work (the request is then ended).
int qz_udp_request_run_sync(qz_udp_request* request);

// Queues the run and returns: 0; the final handler runs later on the loop thread. 1 missing
// request, no message or not idle; else the refusal of qz_loop_worker_submit_work (the request
// is then ended).
int qz_udp_request_run_async(qz_udp_request* request, qz_udp_final_fn final_handler);

// Stops the timer and every publisher; the request is ended. A running request ends as by
// qz_udp_request_end_early (a synchronous run returns, an asynchronous one reports 2602), so
// that no caller is left waiting. From another thread than the loop's the stop is carried to
// the loop thread and awaited. 0, or 1.
int qz_udp_request_stop(qz_udp_request* request);

// Sets the stop flag and ends a running request now: a synchronous run returns, an
// asynchronous one calls its final handler with 2602. Carried to the loop thread like stop.
// 0, or 1.
int qz_udp_request_end_early(qz_udp_request* request);

// Frees the request. 0; 1 missing request; 2605 while it runs ("Failed to destroy the udp
// request, still active."), leaving it intact.
int qz_udp_request_release(qz_udp_request* request);

// For diagnostics and tests.
int qz_udp_request_get_state(const qz_udp_request* request);            // -1 for a missing request
size_t qz_udp_request_publisher_count(const qz_udp_request* request);   // publishers created
int qz_udp_request_stop_requested(const qz_udp_request* request);
