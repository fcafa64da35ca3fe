// The records of relay discovery, shared by its source files and its unit tests. Not for other
// modules.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "clients/relay/qz_relay_discovery_request.h"
#include "clients/udp/qz_udp_request.h"
#include "utils/qz_logger.h"

struct qz_udp_message;

constexpr char qz_relay_module[] = "relay_client";

#define RELAY_LOG(logger, severity, ...) QZ_LOG((logger), (severity), qz_relay_module, __VA_ARGS__)

// One send's state. The relay list, the count and the discovered addresses are written by the
// reply handler on the loop thread, and read by the calling thread only before the passes run
// and after they have ended. `limit_reached` is also read by the sender between the passes of an
// asynchronous session, hence atomic.
struct qz_relay_session {
    std::atomic<bool> limit_reached{false};
    qz_value* relays = nullptr;   // array of relay record tables
    uint32_t relays_found = 0;
    std::string discovered;   // "address;" entries, at most qz_relay_discovered_entry_limit
    bool sent = false;        // calling thread only

    // Asynchronous sessions: the passes in flight, and whether the sender is still setting them
    // up. The session ends when both are over, on whichever thread sees that last.
    std::mutex slots_lock;
    qz_udp_request* msgbus_request = nullptr;
    qz_udp_request* compat_request = nullptr;
    bool sender_active = false;
};

struct qz_relay_discovery_request {
    qz_net_context context{};
    std::string group_address;   // empty: not set
    uint16_t port = 0;
    uint16_t max_relays = 0;
    uint16_t timeout_ms = 0;   // 0: the UDP request's default
    bool synchronous = true;
    qz_relay_discovery_done_fn done_handler = nullptr;
    void* done_data = nullptr;
    std::atomic<int> references{1};

    // Guards the two fields below: an asynchronous session ends on the loop thread while the
    // caller may ask for the list or start another send.
    std::mutex lock;
    qz_relay_session* session = nullptr;
    qz_value* kept_relays = nullptr;
};

inline const qz_logger* relay_logger(const qz_relay_discovery_request* request) {
    return request ? request->context.logger : nullptr;
}

// The request message of a pass: msgbus {"prop.key.msg_type": "prop.val.rqst.relay_discovery"},
// or the compat bytes "RELARELAY_RESPONDRELA". nullptr when memory runs out.
qz_udp_message* relay_discovery_message_create(bool compat);

// Makes the request's session (with an empty relay list). 0; 1 when the list cannot be made;
// 4 out of memory; 2702 when one is active.
int relay_session_begin(qz_relay_discovery_request* request);
// Ends the active session: the kept list is replaced when it found relays, the session freed,
// the completion handler called.
void relay_session_clean_up(qz_relay_discovery_request* request);
// The active session, or nullptr.
qz_relay_session* relay_session_of(qz_relay_discovery_request* request);

// One pass of the active session; 0 once anything was sent in the session, else 2703.
int run_relay_discovery(qz_relay_discovery_request* request, qz_relay_session* session, bool compat);

// Records a relay in the session unless its address is known already. 0; 4 out of memory.
int add_relay(qz_relay_discovery_request* request, qz_relay_session* session, const char* address, uint16_t port,
              uint32_t scope_id);
// Reads a compat reply and records its relay. 0; 2701 no qualifying port item; 4.
int add_compat_relay_discovery_response(qz_relay_discovery_request* request, qz_relay_session* session,
                                        const qz_udp_reply* reply, int* stop);

void qz_relay_discovery_request_retain(qz_relay_discovery_request* request);
