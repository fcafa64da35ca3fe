// The request record, shared by the request and its publishers. Not for other modules.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "clients/udp/qz_udp_request.h"

struct qz_value;
struct qz_udp_publisher;

constexpr char qz_udp_module[] = "udp_client";

#define UDP_LOG(logger, severity, ...) QZ_LOG((logger), (severity), qz_udp_module, __VA_ARGS__)

struct qz_udp_wait {
    std::mutex mutex;
    std::condition_variable done_signal;
    bool done = false;
};

struct qz_udp_encoded_message {
    uint8_t* bytes = nullptr;
    size_t length = 0;
};

struct qz_udp_request {
    qz_net_context context{};
    qz_value* responded_peers = nullptr;   // table: peer address text -> null
    bool stop_requested = false;
    std::string group_address;
    uint16_t port = 0;
    uint64_t timeout_ms = qz_udp_request_default_timeout_ms;
    qz_udp_all_sent_fn all_sent_handler = nullptr;
    qz_udp_reply_fn reply_handler = nullptr;
    qz_udp_final_fn final_handler = nullptr;
    void* user_data = nullptr;
    std::vector<qz_udp_encoded_message> messages;   // at most UINT16_MAX
    uint16_t pending_sends = 0;
    bool synchronous = false;
    // Written by the calling thread before the run and after a synchronous wait, and by the
    // loop thread when the request ends; read by release on either.
    std::atomic<int> state{QZ_UDP_REQUEST_IDLE};
    // Loop thread only: made when the run starts, closed when the request stops. Its close
    // callback frees it without touching the request, which may be gone by then.
    uv_timer_t* timer = nullptr;
    bool ended_on_loop = false;                  // loop thread only: the end has been handled once
    std::vector<qz_udp_publisher*> publishers;   // slots are cleared when a publisher closes
    size_t publishers_created = 0;
    std::unique_ptr<qz_udp_wait> wait;
};
