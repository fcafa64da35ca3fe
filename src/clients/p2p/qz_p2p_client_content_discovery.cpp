#include "clients/p2p/qz_p2p_client_content_discovery.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "clients/udp/qz_udp_message.h"
#include "clients/udp/qz_udp_request.h"
#include "utils/event_loop/qz_loop_worker.h"
#include "utils/qz_logger.h"
#include "utils/qz_status.h"

struct qz_p2p_client {
    qz_net_context context{};
    std::mutex mutex;                    // guards the two below against a cancelling thread
    qz_udp_request* running = nullptr;   // the lookup's request while it may run
    bool cancelled = false;
    // The asynchronous lookup's request: set by the caller while none runs, read and cleared on
    // the loop thread, to which every later access is submitted (so no lock is needed, and none
    // is held while the loop ends it).
    std::atomic<qz_udp_request*> async_running{nullptr};
};

namespace {

constexpr char p2p_module[] = "p2p_client";

#define P2P_LOG(logger, severity, ...) QZ_LOG((logger), (severity), p2p_module, __VA_ARGS__)

const qz_logger* logger_of(const qz_p2p_client* client) { return client ? client->context.logger : nullptr; }

struct request_releaser {
    void operator()(qz_udp_request* request) const noexcept { qz_udp_request_release(request); }
};
struct msgbus_releaser {
    void operator()(qz_msgbus_message* message) const noexcept { qz_msgbus_message_release(message); }
};
struct udp_message_releaser {
    void operator()(qz_udp_message* message) const noexcept { qz_udp_message_release(message); }
};

// The request message: the two properties, nothing else. nullptr when memory runs out.
std::unique_ptr<qz_udp_message, udp_message_releaser> make_request_message(const char* hash) {
    std::unique_ptr<qz_msgbus_message, msgbus_releaser> content(qz_msgbus_message_create());
    if (!content ||
        qz_msgbus_message_set_string_property(content.get(), qz_p2p_msg_type_key, qz_p2p_request_type) != QZ_OK ||
        qz_msgbus_message_set_string_property(content.get(), qz_p2p_content_hash_key, hash) != QZ_OK)
        return nullptr;
    return std::unique_ptr<qz_udp_message, udp_message_releaser>(qz_udp_message_create_msgbus(content.get()));
}

int configure_request(qz_udp_request* request, uint16_t port, qz_p2p_discovery_context* lookup) {
    int rc = qz_udp_request_set_group_address(request, qz_p2p_group_address);
    if (rc == QZ_OK) rc = qz_udp_request_set_port(request, port);
    if (rc == QZ_OK) rc = qz_udp_request_set_timeout(request, qz_p2p_discovery_timeout_ms);
    if (rc == QZ_OK) rc = qz_udp_request_set_all_sent_handler(request, nullptr);
    if (rc == QZ_OK) rc = qz_udp_request_set_reply_handler(request, p2p_discovery_cb);
    if (rc == QZ_OK) rc = qz_udp_request_set_user_data(request, lookup);
    return rc;
}

// Logs the start of a lookup and makes its request (a failure is logged too).
int begin_lookup(qz_p2p_client* client, const char* hash, std::unique_ptr<qz_udp_request, request_releaser>& request) {
    const qz_logger* logger = logger_of(client);
    P2P_LOG(logger, QZ_LOG_NOTICE, "Checking content via discovery... for hash(%s)", hash);
    qz_udp_request* made = nullptr;
    int rc = qz_udp_request_create(&client->context, &made);
    if (rc != QZ_OK) P2P_LOG(logger, QZ_LOG_FAILURE, "Failed to create udp request message, <rc = %d>.", rc);
    request.reset(made);
    return rc;
}

// The lookup's settings and message on a made request.
int prepare_lookup(qz_p2p_client* client, qz_udp_request* request, uint16_t port, const char* hash,
                   qz_p2p_discovery_context* lookup) {
    try {
        lookup->hash = hash;
    } catch (const std::bad_alloc&) {
        return QZ_ERR_NO_MEMORY;
    }
    lookup->client = client;
    int rc = configure_request(request, port, lookup);
    if (rc != QZ_OK) return rc;

    auto message = make_request_message(hash);
    if (!message) {
        P2P_LOG(logger_of(client), QZ_LOG_FAILURE, "Failed to send udp request message palyload, <rc = %d>.",
                QZ_ERR_NO_MEMORY);
        return QZ_ERR_NO_MEMORY;
    }
    rc = qz_udp_request_add_message(request, message.get());
    if (rc != QZ_OK)
        P2P_LOG(logger_of(client), QZ_LOG_FAILURE, "Failed to send udp request message palyload, <rc = %d>.", rc);
    return rc;
}

// Steps from a made request to its result; the caller releases the request afterwards.
int run_lookup(qz_p2p_client* client, qz_udp_request* request, uint16_t port, const char* hash, char** url) {
    std::unique_ptr<qz_p2p_discovery_context> lookup(new (std::nothrow) qz_p2p_discovery_context);
    if (!lookup) return QZ_ERR_NO_MEMORY;
    int rc = prepare_lookup(client, request, port, hash, lookup.get());
    if (rc != QZ_OK) return rc;
    rc = qz_udp_request_run_sync(request);
    if (rc != QZ_OK) {
        P2P_LOG(logger_of(client), QZ_LOG_FAILURE, "Failed to send udp request, <rc = %d>.", rc);
        return rc;
    }
    // The loop thread wrote the context before the run returned; it is ours alone again.
    if (lookup->url.empty()) return QZ_ERR_CONTENT_NOT_FOUND;
    char* copy = static_cast<char*>(std::malloc(lookup->url.size() + 1));
    if (!copy) return QZ_ERR_NO_MEMORY;
    std::memcpy(copy, lookup->url.c_str(), lookup->url.size() + 1);
    *url = copy;
    return QZ_OK;
}

// run_lookup, with the request visible to qz_p2p_client_cancel while it may run. A cancel that
// comes before the run ends the idle request, which then refuses to run.
int run_cancellable_lookup(qz_p2p_client* client, qz_udp_request* request, uint16_t port, const char* hash,
                           char** url) {
    {
        std::lock_guard<std::mutex> lock(client->mutex);
        if (client->cancelled) return QZ_ERR_UDP_ENDED_EARLY;
        client->running = request;
    }
    int rc = run_lookup(client, request, port, hash, url);
    std::lock_guard<std::mutex> lock(client->mutex);
    client->running = nullptr;
    return rc;
}

// The leading decimal digits of the port text as a port number; 0 when there is no usable one
// (no digits, 0, or beyond 65535): a URL with such a port could name no web service.
unsigned port_number(const char* text) {
    unsigned long value = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<unsigned long>(*p - '0');
        if (value > 65535) return 0;
    }
    return static_cast<unsigned>(value);
}

bool link_local(const char* address) {
    return std::strncmp(address, "fe80:", 5) == 0 || std::strncmp(address, "FE80:", 5) == 0;
}

// http://A:P/p2p/H, http://[A]:P/p2p/H, or http://[A%scope]:P/p2p/H for a link-local peer.
std::string peer_url(const qz_udp_reply* reply, unsigned port, const char* hash) {
    const char* address = reply->address;
    size_t length = std::strlen(address) + std::strlen(hash) + 64;
    std::unique_ptr<char[]> buffer(new char[length]);
    if (std::strchr(address, ':') && link_local(address))
        std::snprintf(buffer.get(), length, "http://[%s%c%u]:%u/p2p/%s", address, '%', reply->scope_id, port, hash);
    else if (std::strchr(address, ':'))
        std::snprintf(buffer.get(), length, "http://[%s]:%u/p2p/%s", address, port, hash);
    else
        std::snprintf(buffer.get(), length, "http://%s:%u/p2p/%s", address, port, hash);
    return buffer.get();
}

void log_result(const qz_logger* logger, int rc, const char* url, const char* hash) {
    if (rc == QZ_OK)
        P2P_LOG(logger, QZ_LOG_INFO, "p2p content url(%s) for hash(%s).", url, hash);
    else
        P2P_LOG(logger, QZ_LOG_INFO, "Couldn't discover content for hash(%s), (%d).", hash, rc);
}

// An asynchronous lookup: its discovery context (the request's user data) and where it reports.
struct async_lookup : qz_p2p_discovery_context {
    qz_p2p_found_fn found = nullptr;
    void* user_data = nullptr;
};

// The request's final handler, on the loop thread: report, then free the request and the lookup.
void async_lookup_ended(int, qz_udp_request* request, void* data) {
    std::unique_ptr<async_lookup> lookup(static_cast<async_lookup*>(static_cast<qz_p2p_discovery_context*>(data)));
    auto* client = const_cast<qz_p2p_client*>(lookup->client);
    client->async_running = nullptr;
    qz_udp_request_release(request);
    int rc = lookup->url.empty() ? QZ_ERR_CONTENT_NOT_FOUND : QZ_OK;
    log_result(logger_of(client), rc, lookup->url.c_str(), lookup->hash.c_str());
    lookup->found(rc, rc == QZ_OK ? lookup->url.c_str() : nullptr, lookup->user_data);
}

void end_async_on_loop(void* data) {
    auto* client = static_cast<qz_p2p_client*>(data);
    if (client->async_running) qz_udp_request_end_early(client->async_running);   // reports before returning
}

}   // namespace

int qz_p2p_client_discover_content_async(qz_p2p_client* client, uint16_t port, const char* hash, qz_p2p_found_fn found,
                                         void* user_data) {
    if (!client || port == 0 || !hash || !*hash || !found) return QZ_ERR_MISSING_ARGUMENT;
    if (client->async_running) return QZ_ERR_WRONG_STATE;
    {
        std::lock_guard<std::mutex> lock(client->mutex);
        if (client->cancelled) return QZ_ERR_UDP_ENDED_EARLY;
    }
    const qz_logger* logger = logger_of(client);
    std::unique_ptr<qz_udp_request, request_releaser> request;
    int rc = begin_lookup(client, hash, request);
    if (rc != QZ_OK) {
        log_result(logger, rc, nullptr, hash);
        return rc;
    }
    std::unique_ptr<async_lookup> lookup(new (std::nothrow) async_lookup);
    rc = lookup ? prepare_lookup(client, request.get(), port, hash, lookup.get()) : QZ_ERR_NO_MEMORY;
    if (rc == QZ_OK) {
        lookup->found = found;
        lookup->user_data = user_data;
        // The user data is the discovery context itself, as p2p_discovery_cb reads it.
        rc = qz_udp_request_set_user_data(request.get(), static_cast<qz_p2p_discovery_context*>(lookup.get()));
    }
    if (rc == QZ_OK) {
        client->async_running = request.get();
        rc = qz_udp_request_run_async(request.get(), async_lookup_ended);
        if (rc == QZ_OK) {
            request.release();   // the final handler frees both
            lookup.release();
            return QZ_OK;
        }
        client->async_running = nullptr;
        P2P_LOG(logger, QZ_LOG_FAILURE, "Failed to send udp request, <rc = %d>.", rc);
    }
    log_result(logger, rc, nullptr, hash);
    return rc;
}

int qz_p2p_client_create(const qz_net_context* context, qz_p2p_client** client) {
    if (!context || !client) return QZ_ERR_MISSING_ARGUMENT;
    auto* made = new (std::nothrow) qz_p2p_client;
    if (!made) return QZ_ERR_NO_MEMORY;
    made->context = *context;
    *client = made;
    return QZ_OK;
}

void qz_p2p_client_release(qz_p2p_client* client) { delete client; }

void qz_p2p_client_free_url(char* url) { std::free(url); }

int qz_p2p_client_cancel(qz_p2p_client* client) {
    if (!client) return QZ_ERR_MISSING_ARGUMENT;
    {
        std::lock_guard<std::mutex> lock(client->mutex);
        client->cancelled = true;
        // The lookup's thread clears `running` only under the lock, so the request lives through this.
        if (client->running) qz_udp_request_end_early(client->running);
    }
    // Not under the lock: the loop calls the lookup's final handler before this returns.
    qz_loop_worker_submit_work_and_wait(client->context.worker, end_async_on_loop, client);
    return QZ_OK;
}

int qz_p2p_client_discover_content(qz_p2p_client* client, uint16_t port, const char* hash, char** url) {
    if (!client || port == 0 || !hash || !*hash || !url) return QZ_ERR_MISSING_ARGUMENT;
    std::unique_ptr<qz_udp_request, request_releaser> request;
    int rc = begin_lookup(client, hash, request);
    if (rc == QZ_OK) rc = run_cancellable_lookup(client, request.get(), port, hash, url);
    log_result(logger_of(client), rc, rc == QZ_OK ? *url : nullptr, hash);
    return rc;
}

int p2p_discovery_cb(qz_udp_request* /*request*/, const qz_udp_reply* reply, void* user_data, int* stop) {
    auto* lookup = static_cast<qz_p2p_discovery_context*>(user_data);
    if (!reply || !lookup) return 1;
    if (!lookup->url.empty()) {   // the first match ends the lookup; nothing replaces it
        if (stop) *stop = 1;
        return 0;
    }
    qz_msgbus_message* message = qz_udp_message_msgbus(reply->message);
    if (!message) return 0;
    const qz_logger* logger = logger_of(lookup->client);

    const char* type = nullptr;
    if (qz_msgbus_message_get_string_property(message, qz_p2p_msg_type_key, &type) != QZ_OK ||
        std::strcmp(type, qz_p2p_reply_type) != 0) {
        P2P_LOG(logger, QZ_LOG_INFO, "Not a valid response(%s).", type ? type : "");
        return 0;
    }
    const char* hash = nullptr;
    if (qz_msgbus_message_get_string_property(message, qz_p2p_content_hash_key, &hash) != QZ_OK ||
        lookup->hash != hash) {
        P2P_LOG(logger, QZ_LOG_INFO, "Failed to match received hash(%s).", hash ? hash : "");
        // Not taken: on a road's reused socket this may be a late answer to the lookup before,
        // and the peer's answer to this one must still be heard.
        return 1;
    }
    const char* port_text = nullptr;
    if (qz_msgbus_message_get_string_property(message, qz_p2p_content_port_key, &port_text) != QZ_OK) return 0;
    unsigned port = port_number(port_text);
    if (port == 0) {
        P2P_LOG(logger, QZ_LOG_INFO, "Unusable port(%s) in the response from %s.", port_text, reply->address);
        return 0;
    }
    try {
        lookup->url = peer_url(reply, port, hash);
    } catch (const std::bad_alloc&) {
        lookup->url.clear();
        return 0;
    }
    if (stop) *stop = 1;
    return 0;
}
