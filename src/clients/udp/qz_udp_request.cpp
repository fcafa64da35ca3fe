// The request's run: publishers on every interface address, the timer, and the end (time-out,
// early end, or no publisher at all). Everything below the run calls happens on the loop thread.
//
// The timer exists only while the request runs: it is made on the loop thread when the run
// starts and closed there when the request stops, so neither creation nor release of a request
// ever touches the loop from the calling thread, and a request that never ran owns no handle.
#include "clients/udp/qz_udp_request.h"

#include <cstring>
#include <new>

#include "clients/udp/qz_udp_message.h"
#include "clients/udp/qz_udp_publisher.h"
#include "clients/udp/qz_udp_request_internal.h"
#include "clients/udp/qz_udp_socket_pool.h"
#include "clients/udp/qz_udp_utils.h"
#include "utils/event_loop/qz_loop_worker.h"
#include "utils/qz_logger.h"
#include "utils/qz_status.h"
#include "utils/qz_value.h"

namespace {

const qz_logger* logger_of(const qz_udp_request* request) { return request->context.logger; }

void timer_close_cb(uv_handle_t* handle) { delete reinterpret_cast<uv_timer_t*>(handle); }

// The body of qz_udp_request_stop, on the loop thread.
void stop_on_loop(qz_udp_request* request) {
    UDP_LOG(logger_of(request), QZ_LOG_INFO, "Stopping the udp request publishers.");
    if (request->timer) uv_timer_stop(request->timer);
    for (qz_udp_publisher*& publisher : request->publishers) {
        if (!qz_udp_socket_pool_keep(request->context.sockets, publisher)) qz_udp_publisher_close(publisher);
        publisher = nullptr;
    }
    UDP_LOG(logger_of(request), QZ_LOG_INFO, "Closing udp request timer.");
    if (request->timer) {
        uv_close(reinterpret_cast<uv_handle_t*>(request->timer), timer_close_cb);
        request->timer = nullptr;
    }
    request->state = QZ_UDP_REQUEST_ENDED;
}

// Wakes the synchronous caller. The request may be freed as soon as the mutex is let go.
void sync_end(qz_udp_request* request) {
    if (request->ended_on_loop) return;
    request->ended_on_loop = true;
    UDP_LOG(logger_of(request), QZ_LOG_INFO,
            request->stop_requested ? "Stopping the sync udp request." : "sync timer callback is invoked");
    stop_on_loop(request);
    qz_udp_wait* wait = request->wait.get();
    if (!wait) return;
    std::lock_guard<std::mutex> lock(wait->mutex);
    wait->done = true;
    wait->done_signal.notify_all();
}

// Calls the final handler, which may free the request.
void async_end(qz_udp_request* request) {
    if (request->ended_on_loop) return;
    request->ended_on_loop = true;
    UDP_LOG(logger_of(request), QZ_LOG_INFO,
            request->stop_requested ? "Stopping the async udp request." : "async timer callback is invoked");
    stop_on_loop(request);
    int status = request->stop_requested ? QZ_ERR_UDP_ENDED_EARLY : QZ_ERR_UDP_TIMEOUT;
    if (request->final_handler) request->final_handler(status, request, request->user_data);
}

void sync_timer_cb(uv_timer_t* timer) { sync_end(static_cast<qz_udp_request*>(timer->data)); }

void async_timer_cb(uv_timer_t* timer) { async_end(static_cast<qz_udp_request*>(timer->data)); }

size_t count_addresses(const network_interface_list& list) {
    size_t count = 0;
    for (const network_interface* nic = list.first; nic; nic = nic->next)
        count += static_cast<size_t>(nic->address_count);
    return count;
}

bool wants_multicast(const interface_address* address) {
    const char* ip = address->ip_address;
    return std::strncmp(ip, "fe80:", 5) == 0 || std::strncmp(ip, "FE80:", 5) == 0 || ip[0] == '2' || ip[0] == '3';
}

// A socket of the road's pool for this address, lent to the request; nullptr when the pool has
// none idle (or there is no pool).
qz_udp_publisher* pooled_publisher(qz_udp_request* request, const interface_address* address) {
    qz_udp_socket_pool* pool = request->context.sockets;
    if (!pool) return nullptr;
    qz_udp_publisher* publisher = nullptr;
    if (address->family == QZ_FAMILY_IPV6 && wants_multicast(address))
        publisher = qz_udp_socket_pool_take(pool, true, address->scope_id, nullptr);
    else if (address->family == QZ_FAMILY_IPV4)
        publisher = qz_udp_socket_pool_take(pool, false, 0, address->broadcast_address);
    if (publisher) {
        qz_udp_publisher_lend(publisher, request);
        UDP_LOG(logger_of(request), QZ_LOG_INFO, "Reusing udp publisher <%p> for %s.", static_cast<void*>(publisher),
                address->ip_address);
    }
    return publisher;
}

// One publisher for one message on one address; nullptr when this address gets none.
qz_udp_publisher* create_publisher(qz_udp_request* request, const network_interface* nic,
                                   const interface_address* address) {
    const qz_logger* logger = logger_of(request);
    qz_udp_publisher* publisher = pooled_publisher(request, address);
    if (publisher) return publisher;
    if (address->family == QZ_FAMILY_IPV6 && wants_multicast(address)) {
        UDP_LOG(logger, QZ_LOG_INFO, "Creating udp multicasting publisher at nic %s with scope id %u.", nic->name,
                address->scope_id);
        if (qz_udp_publisher_create_ipv6(request, request->context.loop, address->scope_id, logger, &publisher) ==
            QZ_OK) {
            UDP_LOG(logger, QZ_LOG_INFO, "Created udp multicasting publisher at nic %s with scope id %u.", nic->name,
                    address->scope_id);
            return publisher;
        }
        UDP_LOG(logger, QZ_LOG_REFUSED, "Failed to create udp multicasting publisher at nic %s with scope id %u.",
                nic->name, address->scope_id);
        return nullptr;
    }
    if (address->family == QZ_FAMILY_IPV4) {
        char broadcast[QZ_UDP_BROADCAST_TEXT_SIZE];
        std::snprintf(broadcast, sizeof broadcast, "%s", address->broadcast_address);
        UDP_LOG(logger, QZ_LOG_INFO, "Creating IPv4 broadcast publisher: %s", broadcast);
        if (qz_udp_publisher_create_ipv4(request, request->context.loop, broadcast, logger, &publisher) == QZ_OK) {
            UDP_LOG(logger, QZ_LOG_INFO, "Created IPv4 broadcast publisher: %s", broadcast);
            return publisher;
        }
        UDP_LOG(logger, QZ_LOG_REFUSED, "Failed to create udp global broadcasting publisher.");
    }
    return nullptr;
}

void create_message_publishers(qz_udp_request* request, const network_interface_list& list, size_t k) {
    UDP_LOG(logger_of(request), QZ_LOG_INFO, "Creating publisher for the message no (%d).", static_cast<int>(k + 1));
    for (const network_interface* nic = list.first; nic; nic = nic->next) {
        for (const interface_address* address = nic->first_address; address; address = address->next) {
            UDP_LOG(logger_of(request), QZ_LOG_INFO,
                    "Interface: %s, IP Address: %s, Subnet mask: %s, Subnet Address: %s, Broadcast Address: %s, "
                    "scope: %u, Family: %d",
                    nic->name, address->ip_address, address->subnet_mask, address->subnet_address,
                    address->broadcast_address, address->scope_id, address->family);
            qz_udp_publisher* publisher = create_publisher(request, nic, address);
            if (!publisher) continue;
            publisher->message = request->messages[k].bytes;
            publisher->message_length = request->messages[k].length;
            request->publishers.push_back(publisher);   // room was reserved for every address
            ++request->publishers_created;
        }
    }
}

// 0; 3 no publisher could be made; 4 out of memory; 24 no interface.
int create_publishers_on(qz_udp_request* request, const network_interface_list& list) {
    if (list.count == 0) return QZ_ERR_NO_INTERFACE;
    size_t addresses = count_addresses(list);
    try {
        request->publishers.reserve(addresses * request->messages.size());
    } catch (const std::exception&) {
        return QZ_ERR_NO_MEMORY;
    }
    UDP_LOG(logger_of(request), QZ_LOG_INFO, "Interface count: (%d). Address count: (%d). Message count: (%d).",
            static_cast<int>(list.count), static_cast<int>(addresses), static_cast<int>(request->messages.size()));
    for (size_t k = 0; k < request->messages.size(); ++k) create_message_publishers(request, list, k);
    if (request->publishers.empty()) {
        UDP_LOG(logger_of(request), QZ_LOG_FAILURE, "Failed to create udp publishers.");
        return QZ_ERR_FAILED;
    }
    return QZ_OK;
}

// The road's list when it lent one, else the system's list of this moment.
int create_udp_publishers(qz_udp_request* request) {
    if (request->context.interfaces) return create_publishers_on(request, *request->context.interfaces);
    network_interface_list list{};
    int rc = get_network_interfaces(&list) == QZ_OK ? create_publishers_on(request, list) : QZ_ERR_NO_INTERFACE;
    free_network_interfaces(&list);
    return rc;
}

// The run, on the loop thread. Without a timer nothing could end the run later, so it ends now.
void invoke_user_callback(qz_udp_request* request, uv_timer_cb timer_cb) {
    auto* timer = new (std::nothrow) uv_timer_t;
    if (!timer || uv_timer_init(request->context.loop, timer) != 0) {
        delete timer;
        if (request->synchronous)
            sync_end(request);
        else
            async_end(request);
        return;
    }
    timer->data = request;
    request->timer = timer;
    UDP_LOG(logger_of(request), QZ_LOG_INFO, "uv timer data(%p)\n", static_cast<void*>(request));
    if (create_udp_publishers(request) != QZ_OK) {
        UDP_LOG(logger_of(request), QZ_LOG_INFO, "Failed to create udp message publisher.");
        uv_timer_start(timer, timer_cb, 0, 0);
        return;
    }
    for (qz_udp_publisher* publisher : request->publishers) qz_udp_publisher_start(publisher);
    UDP_LOG(logger_of(request), QZ_LOG_INFO, "No of items to publish from all nics %d", request->pending_sends);
    uv_timer_start(timer, timer_cb, request->timeout_ms, 0);
}

void invoke_sync_user_callback(void* data) { invoke_user_callback(static_cast<qz_udp_request*>(data), sync_timer_cb); }

void invoke_async_user_callback(void* data) {
    invoke_user_callback(static_cast<qz_udp_request*>(data), async_timer_cb);
}

void end_early_on_loop(void* data) {
    auto* request = static_cast<qz_udp_request*>(data);
    if (request->ended_on_loop || request->state != QZ_UDP_REQUEST_RUNNING) return;
    request->stop_requested = true;
    if (request->synchronous)
        sync_end(request);
    else
        async_end(request);
}

// Runs an end of the request on the loop thread. An idle request has nothing there: it is
// ended here; an ended one is left alone.
void end_on_loop_thread(qz_udp_request* request, qz_loop_work_cb end, bool early) {
    qz_loop_worker* worker = request->context.worker;
    if (qz_loop_worker_in_loop_thread(worker)) {
        end(request);
        return;
    }
    int state = request->state;
    if (state == QZ_UDP_REQUEST_IDLE) {
        if (early) request->stop_requested = true;
        request->state = QZ_UDP_REQUEST_ENDED;
        return;
    }
    if (state == QZ_UDP_REQUEST_RUNNING) qz_loop_worker_submit_work_and_wait(worker, end, request);
}

void stop_running_or_not(void* data) {
    auto* request = static_cast<qz_udp_request*>(data);
    // A running request goes through its end, or a synchronous caller would never wake.
    if (request->state == QZ_UDP_REQUEST_RUNNING && !request->ended_on_loop)
        end_early_on_loop(request);
    else
        stop_on_loop(request);
}

bool settable(const qz_udp_request* request) { return request && request->state == QZ_UDP_REQUEST_IDLE; }

void free_messages(qz_udp_request* request) {
    for (qz_udp_encoded_message& message : request->messages) qz_udp_message_free_bytes(message.bytes);
    request->messages.clear();
}

}   // namespace

int qz_udp_request_create(const qz_net_context* context, qz_udp_request** out) {
    if (!context || !out) return QZ_ERR_MISSING_ARGUMENT;
    if (!context->loop || !context->worker) return QZ_ERR_WRONG_STATE;
    auto* request = new (std::nothrow) qz_udp_request;
    if (!request) return QZ_ERR_NO_MEMORY;
    request->responded_peers = qz_value_create_table();
    if (!request->responded_peers) {
        delete request;
        return QZ_ERR_NO_MEMORY;
    }
    request->context = *context;
    *out = request;
    return QZ_OK;
}

int qz_udp_request_set_group_address(qz_udp_request* request, const char* group) {
    if (!request || !group) return QZ_ERR_MISSING_ARGUMENT;
    if (!settable(request)) return QZ_ERR_WRONG_STATE;
    try {
        request->group_address = group;
    } catch (const std::exception&) {
        return QZ_ERR_NO_MEMORY;
    }
    return QZ_OK;
}

int qz_udp_request_set_port(qz_udp_request* request, uint16_t port) {
    if (!request) return QZ_ERR_MISSING_ARGUMENT;
    if (!settable(request)) return QZ_ERR_WRONG_STATE;
    request->port = port;
    return QZ_OK;
}

int qz_udp_request_set_timeout(qz_udp_request* request, uint64_t timeout_ms) {
    if (!request) return QZ_ERR_MISSING_ARGUMENT;
    if (!settable(request)) return QZ_ERR_WRONG_STATE;
    request->timeout_ms = timeout_ms;
    return QZ_OK;
}

int qz_udp_request_set_all_sent_handler(qz_udp_request* request, qz_udp_all_sent_fn handler) {
    if (!request) return QZ_ERR_MISSING_ARGUMENT;
    if (!settable(request)) return QZ_ERR_WRONG_STATE;
    request->all_sent_handler = handler;
    return QZ_OK;
}

int qz_udp_request_set_reply_handler(qz_udp_request* request, qz_udp_reply_fn handler) {
    if (!request) return QZ_ERR_MISSING_ARGUMENT;
    if (!settable(request)) return QZ_ERR_WRONG_STATE;
    request->reply_handler = handler;
    return QZ_OK;
}

int qz_udp_request_set_user_data(qz_udp_request* request, void* user_data) {
    if (!request) return QZ_ERR_MISSING_ARGUMENT;
    if (!settable(request)) return QZ_ERR_WRONG_STATE;
    request->user_data = user_data;
    return QZ_OK;
}

int qz_udp_request_add_message(qz_udp_request* request, const qz_udp_message* message) {
    if (!request || !message) return QZ_ERR_MISSING_ARGUMENT;
    if (!settable(request)) return QZ_ERR_WRONG_STATE;
    if (request->messages.size() >= UINT16_MAX) return QZ_ERR_NO_MEMORY;
    qz_udp_encoded_message encoded;
    int rc = qz_udp_message_encode(message, &encoded.bytes, &encoded.length);
    if (rc == QZ_ERR_NO_MEMORY) return QZ_ERR_NO_MEMORY;
    if (rc != QZ_OK) return QZ_ERR_FAILED;
    try {
        request->messages.push_back(encoded);
    } catch (const std::exception&) {
        qz_udp_message_free_bytes(encoded.bytes);
        return QZ_ERR_NO_MEMORY;
    }
    return QZ_OK;
}

int qz_udp_request_run_sync(qz_udp_request* request) {
    if (!request || request->messages.empty() || request->state != QZ_UDP_REQUEST_IDLE) return QZ_ERR_MISSING_ARGUMENT;
    // Waiting on the loop thread would keep the loop from ever ending the request.
    if (qz_loop_worker_in_loop_thread(request->context.worker)) return QZ_ERR_WRONG_STATE;
    request->wait.reset(new (std::nothrow) qz_udp_wait);
    if (!request->wait) return QZ_ERR_NO_MEMORY;
    qz_udp_wait* wait = request->wait.get();
    std::unique_lock<std::mutex> lock(wait->mutex);
    request->synchronous = true;
    request->state = QZ_UDP_REQUEST_RUNNING;
    int rc = qz_loop_worker_submit_work(request->context.worker, invoke_sync_user_callback, request);
    if (rc == QZ_OK) wait->done_signal.wait(lock, [wait] { return wait->done; });
    request->state = QZ_UDP_REQUEST_ENDED;
    lock.unlock();
    request->wait.reset();
    return rc;
}

int qz_udp_request_run_async(qz_udp_request* request, qz_udp_final_fn final_handler) {
    if (!request || request->messages.empty() || request->state != QZ_UDP_REQUEST_IDLE) return QZ_ERR_MISSING_ARGUMENT;
    request->final_handler = final_handler;
    request->synchronous = false;
    request->state = QZ_UDP_REQUEST_RUNNING;
    int rc = qz_loop_worker_submit_work(request->context.worker, invoke_async_user_callback, request);
    if (rc != QZ_OK) request->state = QZ_UDP_REQUEST_ENDED;
    return rc;   // on success the request may already have ended and been released
}

int qz_udp_request_stop(qz_udp_request* request) {
    if (!request) return QZ_ERR_MISSING_ARGUMENT;
    end_on_loop_thread(request, stop_running_or_not, false);
    return QZ_OK;
}

int qz_udp_request_end_early(qz_udp_request* request) {
    if (!request) return QZ_ERR_MISSING_ARGUMENT;
    end_on_loop_thread(request, end_early_on_loop, true);
    return QZ_OK;
}

int qz_udp_request_release(qz_udp_request* request) {
    if (!request) return QZ_ERR_MISSING_ARGUMENT;
    if (request->state == QZ_UDP_REQUEST_RUNNING) {
        UDP_LOG(logger_of(request), QZ_LOG_FAILURE, "Failed to destroy the udp request, still active.");
        return QZ_ERR_UDP_RUNNING;
    }
    UDP_LOG(logger_of(request), QZ_LOG_INFO, "Releasing the udp request..");
    qz_value_release(request->responded_peers);
    free_messages(request);
    delete request;
    return QZ_OK;
}

int qz_udp_request_get_state(const qz_udp_request* request) { return request ? request->state.load() : -1; }

size_t qz_udp_request_publisher_count(const qz_udp_request* request) {
    return request ? request->publishers_created : 0;
}

int qz_udp_request_stop_requested(const qz_udp_request* request) { return request && request->stop_requested ? 1 : 0; }
