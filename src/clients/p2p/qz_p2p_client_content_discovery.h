// P2P content discovery: asks the agents on the local network whether one of them holds a file
// with a given content hash in its peer cache, and turns the first matching answer into the
// download URL http://<peer>:<port>/p2p/<hash> on that peer.
//
// The caller owns the loop worker and the network context; the client only borrows them:
//
//   qz_net_context context = {nullptr, qz_loop_host_loop(host), qz_loop_host_worker(host)};
//   qz_p2p_client* client = nullptr;
//   qz_p2p_client_create(&context, &client);
//   qz_loop_worker_start(host);
//   char* url = nullptr;
//   if (qz_p2p_client_discover_content(client, 8082, digest, &url) == 0) ... use url ...
//   qz_p2p_client_free_url(url);
//   ... stop, join and release the worker ...
//   qz_p2p_client_release(client);
//
// Threads: a lookup runs on the calling thread, which blocks while the UDP request runs on the
// loop thread; p2p_discovery_cb runs on the loop thread. Never call a lookup from the loop thread.
// One lookup at a time per client; qz_p2p_client_cancel may come from another thread. An
// asynchronous lookup returns at once and reports on the loop thread instead: a road that looks
// ahead needs no thread of its own to wait for it.
#pragma once

#include <cstdint>
#include <string>

struct qz_logger;
struct qz_net_context;
struct qz_p2p_client;
struct qz_udp_reply;
struct qz_udp_request;

// Message properties of a content lookup and of its answer.
constexpr char qz_p2p_msg_type_key[] = "prop.key.msg_type";
constexpr char qz_p2p_content_hash_key[] = "prop.key.content_hash";
constexpr char qz_p2p_content_port_key[] = "prop.key.content_url.port";
constexpr char qz_p2p_request_type[] = "prop.val.rqst.p2p.content_discovery";
constexpr char qz_p2p_reply_type[] = "prop.val.rply.p2p.content_discovery";
constexpr char qz_p2p_group_address[] = "ff08::2";
constexpr uint64_t qz_p2p_discovery_timeout_ms = 2000;

// A client on a copy of `context` (its loop, worker and logger stay the caller's and must outlive
// the client). 0; 1 missing argument; 4 out of memory.
int qz_p2p_client_create(const qz_net_context* context, qz_p2p_client** client);
void qz_p2p_client_release(qz_p2p_client* client);   // accepts nullptr

// One lookup: the request goes to the group "ff08::2" and by IPv4 broadcast to `port`, and the
// answers are read for up to 2,000 ms. 0 with *url set to a new text (free it with
// qz_p2p_client_free_url); 1 missing argument (port 0 or an empty hash count as missing); the
// code of qz_udp_request_create when no request could be made; 4 out of memory; the code of the
// run when it failed; 2501 when no peer gave a matching answer. *url is untouched on failure.
int qz_p2p_client_discover_content(qz_p2p_client* client, uint16_t port, const char* hash, char** url);
void qz_p2p_client_free_url(char* url);   // accepts nullptr

// The end of an asynchronous lookup, on the loop thread: the code qz_p2p_client_discover_content
// would return, and the URL on success (lent for the call only).
typedef void (*qz_p2p_found_fn)(int rc, const char* url, void* user_data);

// The same lookup, queued: 0, and `found` is called once on the loop thread when it ends;
// otherwise the code of the refusal (as above; 2602 once the client is cancelled, 2 when one
// runs already) and `found` is never called. One asynchronous lookup at a time per client; not
// from the loop thread.
int qz_p2p_client_discover_content_async(qz_p2p_client* client, uint16_t port, const char* hash, qz_p2p_found_fn found,
                                         void* user_data);

// Ends the lookup that runs on another thread, or asynchronously, now (it fails as one that no
// peer answered; an asynchronous one has reported when this returns) and makes every later
// lookup of the client fail at once with 2602: for a road that has ended while it was looking
// ahead. Any thread but the loop's. 0, or 1 for a missing client.
int qz_p2p_client_cancel(qz_p2p_client* client);

// One lookup's state, the user data of its UDP request. Written by p2p_discovery_cb on the loop
// thread while the caller waits, read by the caller after the run.
struct qz_p2p_discovery_context {
    std::string hash;   // asked for
    std::string url;    // empty until a matching answer arrived
    const qz_p2p_client* client = nullptr;
};

// The reply handler of a lookup: takes an answer of the reply type for exactly the hash asked
// for and with a usable port, stores its URL and stops the request. 1 without a reply or a
// context; 0 otherwise (the sender is then not heard again).
int p2p_discovery_cb(qz_udp_request* request, const qz_udp_reply* reply, void* user_data, int* stop);
