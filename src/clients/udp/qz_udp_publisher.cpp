#include "clients/udp/qz_udp_publisher.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "clients/udp/qz_udp_message.h"
#include "clients/udp/qz_udp_request_internal.h"
#include "os/multicast.h"
#include "utils/qz_logger.h"
#include "utils/qz_status.h"
#include "utils/qz_value.h"

namespace {

constexpr int multicast_hops = 128;
const char limited_broadcast[] = "255.255.255.255";

void print_uv_error(const qz_logger* logger, const char* label, int error) {
    UDP_LOG(logger, QZ_LOG_REFUSED, "%s - libuv err: ('%s' %s)", label, uv_strerror(error), uv_err_name(error));
}

uv_handle_t* as_handle(qz_udp_publisher* publisher) { return reinterpret_cast<uv_handle_t*>(&publisher->handle); }

// Frees the publisher alone: its request may already be gone.
void udp_handle_close_cb(uv_handle_t* handle) {
    auto* publisher = static_cast<qz_udp_publisher*>(handle->data);
    UDP_LOG(publisher->logger, QZ_LOG_INFO, "udp handle <%p> closed, releasing it.", static_cast<void*>(handle));
    delete publisher;
}

qz_udp_publisher* new_publisher(qz_udp_request* request, const qz_logger* logger) {
    auto* publisher = new (std::nothrow) qz_udp_publisher{};
    if (!publisher) return nullptr;
    publisher->request = request;
    publisher->logger = logger;
    publisher->handle.data = publisher;
    return publisher;
}

// Set-up failed after the handle was made: the close callback frees the publisher.
int fail_setup(qz_udp_publisher* publisher) {
    uv_close(as_handle(publisher), udp_handle_close_cb);
    return QZ_ERR_FAILED;
}

void alloc_cb(uv_handle_t* handle, size_t, uv_buf_t* buffer) {
    auto* publisher = static_cast<qz_udp_publisher*>(handle->data);
    *buffer = uv_buf_init(publisher->receive_buffer, sizeof publisher->receive_buffer);
}

bool format_sender(const sockaddr* sender, char* text) {
    if (sender->sa_family == AF_INET6)
        return uv_inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(sender)->sin6_addr, text,
                            QZ_UDP_REPLY_ADDRESS_SIZE) == 0;
    return uv_inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sender)->sin_addr, text,
                        QZ_UDP_REPLY_ADDRESS_SIZE) == 0;
}

unsigned sender_port(const sockaddr* sender) {
    if (sender->sa_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(sender)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(sender)->sin_port);
}

bool already_answered(qz_udp_request* request, const char* address) {
    qz_value* ignored = nullptr;
    return qz_value_table_get(request->responded_peers, address, &ignored) == QZ_OK;
}

void remember_answer(qz_udp_request* request, const char* address) {
    qz_value* null_value = qz_value_create_null();
    if (!null_value) return;
    qz_value_table_set(request->responded_peers, address, null_value);
    qz_value_release(null_value);
}

// Hands one accepted datagram to the reply handler. The request may be gone on return.
void deliver_reply(qz_udp_publisher* publisher, const char* address, const uv_buf_t* buffer, ssize_t length) {
    qz_udp_request* request = publisher->request;
    qz_udp_message* message = nullptr;
    if (qz_udp_message_from_datagram(buffer->base, static_cast<size_t>(length), &message) != QZ_OK) {
        UDP_LOG(publisher->logger, QZ_LOG_REFUSED, "Failed to form the udp message.");
        return;
    }
    UDP_LOG(publisher->logger, QZ_LOG_INFO, "received response from %s at nic %u", address, publisher->scope_id);
    qz_udp_reply reply{};
    reply.message = message;
    std::snprintf(reply.address, sizeof reply.address, "%s", address);
    reply.scope_id = publisher->scope_id;
    int stop = 0;
    int taken = request->reply_handler(request, &reply, request->user_data, &stop);
    qz_udp_message_release(message);
    // A handler that stopped the request itself may have let it be freed.
    if (!publisher->active) return;
    if (taken == 0) remember_answer(request, address);
    if (stop) qz_udp_request_end_early(request);
}

void recv_cb(uv_udp_t* handle, ssize_t length, const uv_buf_t* buffer, const sockaddr* sender, unsigned flags) {
    // Truncated datagrams (larger than the buffer) carry a flag and are not read at all.
    if (length <= 0 || !sender || flags != 0) return;
    auto* publisher = static_cast<qz_udp_publisher*>(handle->data);
    UDP_LOG(publisher->logger, QZ_LOG_INFO, "Data received at udp handle <%p>.", static_cast<void*>(handle));
    if (!publisher->active) return;
    char address[QZ_UDP_REPLY_ADDRESS_SIZE] = "";
    if (!format_sender(sender, address)) return;
    UDP_LOG(publisher->logger, QZ_LOG_INFO, "received reply from %s:%u", address, sender_port(sender));
    qz_udp_request* request = publisher->request;
    if (already_answered(request, address)) {
        UDP_LOG(publisher->logger, QZ_LOG_INFO, "Duplicate response from peer %s, so ignoring it", address);
        return;
    }
    if (!buffer->base || !request->reply_handler) return;
    deliver_reply(publisher, address, buffer, length);
}

void start_receiving(qz_udp_publisher* publisher) {
    if (publisher->receiving) return;   // a socket lent again has never stopped
    int rc = uv_udp_recv_start(&publisher->handle, alloc_cb, recv_cb);
    if (rc != 0)
        print_uv_error(publisher->logger, "uv_udp_recv_start", rc);
    else
        publisher->receiving = true;
}

void send_cb(uv_udp_send_t* send_request, int status) {
    auto* publisher = static_cast<qz_udp_publisher*>(send_request->data);
    publisher->sending = false;
    // A stopped publisher's request may be gone: look at nothing but the publisher.
    if (!publisher->active || status != 0) return;
    qz_udp_request* request = publisher->request;
    --request->pending_sends;
    UDP_LOG(publisher->logger, QZ_LOG_INFO, "Data is sent from udp handle <%p>, pending sending items %d.",
            static_cast<void*>(&publisher->handle), request->pending_sends);
    if (request->pending_sends == 0) {
        if (request->all_sent_handler) {
            int stop = 0;
            request->all_sent_handler(request, request->user_data, &stop);
            if (!publisher->active) return;
            if (stop) {
                qz_udp_request_end_early(request);
                return;
            }
        }
        if (!request->reply_handler) {
            qz_udp_request_end_early(request);
            return;
        }
    } else if (!request->reply_handler) {
        return;
    }
    start_receiving(publisher);
}

int send_to(qz_udp_publisher* publisher, const sockaddr* destination) {
    uv_buf_t buffer = uv_buf_init(reinterpret_cast<char*>(const_cast<uint8_t*>(publisher->message)),
                                  static_cast<unsigned>(publisher->message_length));
    publisher->send_request.data = publisher;
    int rc = uv_udp_send(&publisher->send_request, &publisher->handle, &buffer, 1, destination, send_cb);
    publisher->sending = rc == 0;
    return rc;
}

// Sends to a destination whose parsing gave `rc`; a send that is pending counts towards the
// request's end. False when nothing was sent (logged under `call`).
bool send_counted(qz_udp_publisher* publisher, int rc, const sockaddr* destination, const char* call) {
    if (rc == 0) rc = send_to(publisher, destination);
    if (rc != 0) {
        print_uv_error(publisher->logger, call, rc);
        return false;
    }
    ++publisher->request->pending_sends;
    return true;
}

// A publisher with its handle made and bound to `any` with `bind_flags`; *out is left alone on
// failure.
int open_publisher(qz_udp_request* request, uv_loop_t* loop, const sockaddr* any, unsigned bind_flags,
                   const char* bind_call, const qz_logger* logger, qz_udp_publisher** out) {
    qz_udp_publisher* publisher = new_publisher(request, logger);
    if (!publisher) return QZ_ERR_NO_MEMORY;
    if (uv_udp_init(loop, &publisher->handle) != 0) {
        delete publisher;   // nothing registered with the loop
        return QZ_ERR_FAILED;
    }
    int rc = uv_udp_bind(&publisher->handle, any, bind_flags);
    if (rc != 0) {
        print_uv_error(logger, bind_call, rc);
        return fail_setup(publisher);
    }
    *out = publisher;
    return QZ_OK;
}

}   // namespace

int qz_udp_publisher_create_ipv4(qz_udp_request* request, uv_loop_t* loop, const char* broadcast_address,
                                 const qz_logger* logger, qz_udp_publisher** out) {
    if (!request || !loop || !out) return QZ_ERR_MISSING_ARGUMENT;
    sockaddr_in any{};
    uv_ip4_addr("0.0.0.0", 0, &any);
    qz_udp_publisher* publisher = nullptr;
    int rc =
        open_publisher(request, loop, reinterpret_cast<const sockaddr*>(&any), 0, "udp bind ipv4", logger, &publisher);
    if (rc != QZ_OK) return rc;
    rc = uv_udp_set_broadcast(&publisher->handle, 1);
    if (rc != 0) {
        print_uv_error(logger, "udp broadcast", rc);
        return fail_setup(publisher);
    }
    if (broadcast_address)
        std::snprintf(publisher->broadcast_address, sizeof publisher->broadcast_address, "%s", broadcast_address);
    publisher->active = true;
    *out = publisher;
    return QZ_OK;
}

int qz_udp_publisher_create_ipv6(qz_udp_request* request, uv_loop_t* loop, uint32_t scope_id, const qz_logger* logger,
                                 qz_udp_publisher** out) {
    if (!request || !loop || !out) return QZ_ERR_MISSING_ARGUMENT;
    sockaddr_in6 any{};
    uv_ip6_addr("::", 0, &any);
    qz_udp_publisher* publisher = nullptr;
    // IPv6 only, as Windows binds by default: on a dual-stack socket IPv4 datagrams to the port
    // would arrive too, and one peer would answer under two spellings ("::ffff:10.0.0.2").
    int rc = open_publisher(request, loop, reinterpret_cast<const sockaddr*>(&any), UV_UDP_IPV6ONLY, "udp bind ipv6",
                            logger, &publisher);
    if (rc != QZ_OK) return rc;
    uv_os_fd_t socket;
    int error = 0;
    rc = uv_fileno(as_handle(publisher), &socket);
    if (rc == 0) rc = os_set_ipv6_multicast_sending(socket, scope_id, 0, multicast_hops, &error);
    if (rc != 0) {
        qz_log(logger, QZ_LOG_INFO, qz_udp_module, __FILE__, __LINE__, "setsocketoption",
               "Socket API returns=%d WSAGetLastError=%d.", rc, error);
        return fail_setup(publisher);
    }
    publisher->ipv6 = true;
    publisher->scope_id = scope_id;
    publisher->active = true;
    *out = publisher;
    return QZ_OK;
}

int qz_udp_publisher_start(qz_udp_publisher* publisher) {
    if (!publisher || !publisher->request || !publisher->message) return QZ_ERR_MISSING_ARGUMENT;
    qz_udp_request* request = publisher->request;
    if (publisher->ipv6) {
        const char* group = request->group_address.c_str();
        sockaddr_in6 destination{};
        int rc = uv_ip6_addr(group, request->port, &destination);
        destination.sin6_flowinfo = 0;
        destination.sin6_scope_id = 0;   // the socket's multicast interface picks the link
        if (send_counted(publisher, rc, reinterpret_cast<const sockaddr*>(&destination), "uv_udp_send6"))
            UDP_LOG(publisher->logger, QZ_LOG_INFO, "Successfully multicast udp message to %s on %u port", group,
                    static_cast<unsigned>(request->port));
        return QZ_OK;
    }
    const char* target = publisher->broadcast_address[0] ? publisher->broadcast_address : limited_broadcast;
    sockaddr_in destination{};
    int rc = uv_ip4_addr(target, request->port, &destination);
    if (send_counted(publisher, rc, reinterpret_cast<const sockaddr*>(&destination), "uv_udp_send"))
        UDP_LOG(publisher->logger, QZ_LOG_INFO, "Successfully broadcast udp message to %s on %u port", target,
                static_cast<unsigned>(request->port));
    return QZ_OK;
}

void qz_udp_publisher_lend(qz_udp_publisher* publisher, qz_udp_request* request) {
    if (!publisher) return;
    publisher->request = request;
    publisher->active = true;
}

void qz_udp_publisher_park(qz_udp_publisher* publisher) {
    if (!publisher) return;
    publisher->active = false;
    publisher->request = nullptr;
    publisher->message = nullptr;
    publisher->message_length = 0;
}

void qz_udp_publisher_close(qz_udp_publisher* publisher) {
    if (!publisher) return;
    if (publisher->receiving) {
        uv_udp_recv_stop(&publisher->handle);
        publisher->receiving = false;
    }
    publisher->active = false;
    publisher->request = nullptr;
    if (!uv_is_closing(as_handle(publisher))) uv_close(as_handle(publisher), udp_handle_close_cb);
}
