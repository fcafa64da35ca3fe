// Publisher: one UDP socket on an ephemeral port that sends one of a request's messages on one
// interface address and receives the replies to it. Loop thread only, like the request that
// owns it. A publisher is freed by its handle's close callback. A road's socket pool
// (qz_udp_socket_pool) may keep it between requests: parked, it has no request and drops what
// it receives.
#pragma once

#include <uv.h>
#include <cstddef>
#include <cstdint>

struct qz_logger;
struct qz_udp_request;

enum { QZ_UDP_RECEIVE_BUFFER_SIZE = 2048, QZ_UDP_BROADCAST_TEXT_SIZE = 261 };

struct qz_udp_publisher {
    uv_udp_t handle;
    uv_udp_send_t send_request;
    const uint8_t* message;   // one of the request's encoded messages (not owned)
    size_t message_length;
    char receive_buffer[QZ_UDP_RECEIVE_BUFFER_SIZE];
    bool ipv6;
    uint32_t scope_id;                                    // the interface's scope id for IPv6, 0 for IPv4
    char broadcast_address[QZ_UDP_BROADCAST_TEXT_SIZE];   // IPv4 only; empty: 255.255.255.255
    bool active;                                          // set at creation, cleared when the request stops it
    bool receiving;
    bool sending;              // a send is under way: its request record is still in use
    bool lent;                 // kept by a socket pool and lent to a request
    qz_udp_request* request;   // not valid once the publisher is inactive
    const qz_logger* logger;
};

// A broadcasting socket bound to 0.0.0.0:0 for the interface's broadcast address.
// 0; 1 missing argument; 3 the socket could not be set up (logged); 4 out of memory.
int qz_udp_publisher_create_ipv4(qz_udp_request* request, uv_loop_t* loop, const char* broadcast_address,
                                 const qz_logger* logger, qz_udp_publisher** publisher);

// A multicasting socket bound to [::]:0 that sends on the interface with this scope id, without
// looping its datagrams back, hop limit 128. Codes as for IPv4.
int qz_udp_publisher_create_ipv6(qz_udp_request* request, uv_loop_t* loop, uint32_t scope_id, const qz_logger* logger,
                                 qz_udp_publisher** publisher);

// Sends the publisher's message to the request's group (IPv6) or to the broadcast address
// (IPv4) on the request's port. 0, also when the send fails (logged); 1 when the publisher, its
// request or its message is missing.
int qz_udp_publisher_start(qz_udp_publisher* publisher);

// Lends a parked publisher to a request, with one of its messages.
void qz_udp_publisher_lend(qz_udp_publisher* publisher, qz_udp_request* request);

// Detaches the publisher from its request and marks it inactive; the socket stays open and
// receiving, and what arrives is dropped until it is lent again.
void qz_udp_publisher_park(qz_udp_publisher* publisher);

// Stops receiving, closes the socket (the close callback frees the publisher) and marks it
// inactive. Accepts nullptr.
void qz_udp_publisher_close(qz_udp_publisher* publisher);
