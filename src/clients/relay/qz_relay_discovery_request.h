// Relay discovery: finds agents on the local network that forward HTTP for others. One send
// runs a session of up to two passes: the structured ("msgbus") request to the group address
// and every IPv4 broadcast address on the request's port, then, unless the maximum number of
// relays answered already, the older "compat" request (the bytes "RELARELAY_RESPONDRELA") to
// "ff08::2" port 8083. Every answering relay (its address, the port it reported, the scope id of
// the interface that heard it) goes into the session's relay list; when the session ends the
// request keeps that list, or none when the session found no relay.
//
//   qz_relay_discovery_request* request = nullptr;
//   qz_relay_discovery_request_create(&context, &request);   // context as for qz_udp_request
//   qz_relay_discovery_request_set_group_address(request, "ff08::2");
//   qz_relay_discovery_request_set_port(request, 8082);
//   qz_relay_discovery_request_set_max_relays(request, 5);
//   qz_relay_discovery_request_set_timeout(request, 5000);
//   qz_relay_discovery_request_send(request);                 // synchronous: blocks up to 2 passes
//   qz_value* relays = qz_relay_discovery_request_relays(request);   // array of relay records
//   ... qz_relay_record_from_table on each item ...
//   qz_value_release(relays);
//   qz_relay_discovery_request_release(request);
//
// Threads: create, settings, send and release on one calling thread (never the loop thread);
// the reply handling runs on the loop thread. Asynchronous sends return at once and end on the
// loop thread, where the completion handler is called; keep the loop worker running until it
// has been. The request is reference counted: each pass in flight holds a reference, so the
// caller may release it while an asynchronous session still runs.
#pragma once

#include <cstdint>

struct qz_net_context;
struct qz_relay_discovery_request;
struct qz_udp_reply;
struct qz_udp_request;
struct qz_value;

// The settings the relay road uses.
constexpr char qz_relay_group_address[] = "ff08::2";
constexpr uint16_t qz_relay_msgbus_port = 8082;
constexpr uint16_t qz_relay_compat_port = 8083;
constexpr uint16_t qz_relay_max_relays = 5;
constexpr uint16_t qz_relay_pass_timeout_ms = 5000;

// Called once when a session ends, after the kept relay list is updated: at the end of a
// synchronous send, on the loop thread after an asynchronous one (or at the end of the send when
// its passes ended before it returned, or when nothing was sent).
typedef void (*qz_relay_discovery_done_fn)(qz_relay_discovery_request* request, void* user_data);

// 0 and a new request (one reference; synchronous, no group, port 0, maximum 0, time-out 0 =
// the UDP request's 2,000 ms); 1 missing argument; 2 a context without loop or worker; 4 out of
// memory. The context is copied; its loop, worker and logger must outlive the request.
int qz_relay_discovery_request_create(const qz_net_context* context, qz_relay_discovery_request** request);

// Settings: 0; 1 missing request (or null group); 4 out of memory; 2702 while a session runs.
int qz_relay_discovery_request_set_group_address(qz_relay_discovery_request* request, const char* group);
int qz_relay_discovery_request_set_port(qz_relay_discovery_request* request, uint16_t port);
int qz_relay_discovery_request_set_max_relays(qz_relay_discovery_request* request, uint16_t max_relays);
int qz_relay_discovery_request_set_timeout(qz_relay_discovery_request* request, uint16_t timeout_ms);
int qz_relay_discovery_request_set_synchronous(qz_relay_discovery_request* request, int synchronous);
int qz_relay_discovery_request_set_completion_handler(qz_relay_discovery_request* request,
                                                      qz_relay_discovery_done_fn handler, void* user_data);

// Runs one session. 0 done; 1 missing request or no relay list could be made; 2 no group address
// or no port set; 4 out of memory; 2702 a session is already active; 2703 nothing was sent;
// else the code of the last failing pass. Finding no relay is not a failure.
int qz_relay_discovery_request_send(qz_relay_discovery_request* request);

// The kept relay list (an array of relay record tables, in the order the relays answered) with a
// reference for the caller, or nullptr when the last session found no relay (or none has run).
qz_value* qz_relay_discovery_request_relays(qz_relay_discovery_request* request);

// Drops the caller's reference; the last one frees the request and its kept list. Accepts null.
void qz_relay_discovery_request_release(qz_relay_discovery_request* request);

// The reply handler of both passes (loop thread); user data is the relay discovery request.
// 0 when the reply named a relay (or came after the limit, or repeated a known relay); 2701 for
// a reply that names no usable port, so that a later reply of that sender is still read;
// 4 out of memory; 1 without a reply or an active session.
int relay_discovery_response_cb(qz_udp_request* udp, const qz_udp_reply* reply, void* user_data, int* stop);
