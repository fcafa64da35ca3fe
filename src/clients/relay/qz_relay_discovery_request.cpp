// The relay discovery request: settings, the session around the two passes, the kept relay list
// and the reference count. The passes are in qz_relay_discovery_pass.cpp, the replies in
// qz_relay_discovery_response.cpp.
#include "clients/relay/qz_relay_discovery_request.h"

#include <memory>
#include <new>

#include "clients/relay/qz_relay_discovery_internal.h"
#include "utils/qz_status.h"
#include "utils/qz_value.h"

namespace {

// Settings change only between sessions: the passes and the reply handler read them.
bool settable(qz_relay_discovery_request* request) {
    std::lock_guard<std::mutex> guard(request->lock);
    return request->session == nullptr;
}

template <class Apply>
int set_between_sessions(qz_relay_discovery_request* request, Apply apply) {
    if (!request) return QZ_ERR_MISSING_ARGUMENT;
    if (!settable(request)) return QZ_ERR_RELAY_ACTIVE;
    return apply(request);
}

// Asynchronous sessions end where their last pass ends, unless the sender is still setting
// passes up: then the sender ends them. True when the sender has to.
bool sender_finishes(qz_relay_session* session) {
    std::lock_guard<std::mutex> guard(session->slots_lock);
    session->sender_active = false;
    return session->msgbus_request == nullptr && session->compat_request == nullptr;
}

}   // namespace

int qz_relay_discovery_request_create(const qz_net_context* context, qz_relay_discovery_request** request) {
    if (!context || !request) return QZ_ERR_MISSING_ARGUMENT;
    if (!context->loop || !context->worker) return QZ_ERR_WRONG_STATE;
    auto* made = new (std::nothrow) qz_relay_discovery_request;
    if (!made) return QZ_ERR_NO_MEMORY;
    made->context = *context;
    *request = made;
    return QZ_OK;
}

int qz_relay_discovery_request_set_group_address(qz_relay_discovery_request* request, const char* group) {
    if (!group) return QZ_ERR_MISSING_ARGUMENT;
    return set_between_sessions(request, [group](qz_relay_discovery_request* r) {
        try {
            r->group_address = group;
        } catch (const std::bad_alloc&) {
            return static_cast<int>(QZ_ERR_NO_MEMORY);
        }
        return static_cast<int>(QZ_OK);
    });
}

int qz_relay_discovery_request_set_port(qz_relay_discovery_request* request, uint16_t port) {
    return set_between_sessions(request, [port](qz_relay_discovery_request* r) {
        r->port = port;
        return static_cast<int>(QZ_OK);
    });
}

int qz_relay_discovery_request_set_max_relays(qz_relay_discovery_request* request, uint16_t max_relays) {
    return set_between_sessions(request, [max_relays](qz_relay_discovery_request* r) {
        r->max_relays = max_relays;
        return static_cast<int>(QZ_OK);
    });
}

int qz_relay_discovery_request_set_timeout(qz_relay_discovery_request* request, uint16_t timeout_ms) {
    return set_between_sessions(request, [timeout_ms](qz_relay_discovery_request* r) {
        r->timeout_ms = timeout_ms;
        return static_cast<int>(QZ_OK);
    });
}

int qz_relay_discovery_request_set_synchronous(qz_relay_discovery_request* request, int synchronous) {
    return set_between_sessions(request, [synchronous](qz_relay_discovery_request* r) {
        r->synchronous = synchronous != 0;
        return static_cast<int>(QZ_OK);
    });
}

int qz_relay_discovery_request_set_completion_handler(qz_relay_discovery_request* request,
                                                      qz_relay_discovery_done_fn handler, void* user_data) {
    return set_between_sessions(request, [handler, user_data](qz_relay_discovery_request* r) {
        r->done_handler = handler;
        r->done_data = user_data;
        return static_cast<int>(QZ_OK);
    });
}

int relay_session_begin(qz_relay_discovery_request* request) {
    std::unique_ptr<qz_relay_session> session(new (std::nothrow) qz_relay_session);
    if (!session) return QZ_ERR_NO_MEMORY;
    session->relays = qz_value_create_array();
    if (!session->relays) {
        RELAY_LOG(relay_logger(request), QZ_LOG_FAILURE, "Failed to create relay list, rc = <%d>",
                  QZ_ERR_MISSING_ARGUMENT);
        return QZ_ERR_MISSING_ARGUMENT;
    }
    std::lock_guard<std::mutex> guard(request->lock);
    if (request->session) {
        qz_value_release(session->relays);
        return QZ_ERR_RELAY_ACTIVE;
    }
    request->session = session.release();
    return QZ_OK;
}

qz_relay_session* relay_session_of(qz_relay_discovery_request* request) {
    if (!request) return nullptr;
    std::lock_guard<std::mutex> guard(request->lock);
    return request->session;
}

void relay_session_clean_up(qz_relay_discovery_request* request) {
    const qz_logger* logger = relay_logger(request);
    RELAY_LOG(logger, QZ_LOG_INFO, "Relay discovery session is over.");
    qz_relay_session* session = nullptr;
    qz_value* previous = nullptr;
    {
        std::lock_guard<std::mutex> guard(request->lock);
        session = request->session;
        request->session = nullptr;
        if (!session) return;
        // A session that found nobody leaves no list: relays of an earlier session may be gone.
        previous = request->kept_relays;
        request->kept_relays = session->relays_found > 0 ? session->relays : nullptr;
    }
    qz_value_release(previous);
    RELAY_LOG(logger, QZ_LOG_INFO, "Relay discovered in the network %d.", static_cast<int>(session->relays_found));
    if (session->relays_found == 0) qz_value_release(session->relays);
    delete session;
    if (request->done_handler) request->done_handler(request, request->done_data);
}

int qz_relay_discovery_request_send(qz_relay_discovery_request* request) {
    if (!request) return QZ_ERR_MISSING_ARGUMENT;
    if (!settable(request)) {
        RELAY_LOG(relay_logger(request), QZ_LOG_INFO, "Relay discovery already active.");
        return QZ_ERR_RELAY_ACTIVE;
    }
    if (request->group_address.empty() || request->port == 0) return QZ_ERR_WRONG_STATE;
    int rc = relay_session_begin(request);
    if (rc == QZ_ERR_RELAY_ACTIVE) RELAY_LOG(relay_logger(request), QZ_LOG_INFO, "Relay discovery already active.");
    if (rc != QZ_OK) return rc;
    qz_relay_session* session = relay_session_of(request);
    if (!request->synchronous) {
        std::lock_guard<std::mutex> guard(session->slots_lock);
        session->sender_active = true;
    }

    const qz_logger* logger = relay_logger(request);
    int result = run_relay_discovery(request, session, false);
    if (result != QZ_OK) RELAY_LOG(logger, QZ_LOG_FAILURE, "Failed in the relay discovery, rc = <%d>", result);
    if (!session->limit_reached) {
        result = run_relay_discovery(request, session, true);
        if (result != QZ_OK)
            RELAY_LOG(logger, QZ_LOG_FAILURE, "Failed in the compat relay discovery, rc = <%d>", result);
    }
    if (request->synchronous) {
        relay_session_clean_up(request);
        return result;
    }
    bool sent = session->sent;
    // From here an asynchronous session may end on the loop thread at any moment.
    if (sender_finishes(session)) relay_session_clean_up(request);
    return sent ? result : QZ_ERR_RELAY_NOTHING_SENT;
}

qz_value* qz_relay_discovery_request_relays(qz_relay_discovery_request* request) {
    if (!request) return nullptr;
    std::lock_guard<std::mutex> guard(request->lock);
    return qz_value_retain(request->kept_relays);
}

void qz_relay_discovery_request_retain(qz_relay_discovery_request* request) {
    if (request) request->references.fetch_add(1);
}

void qz_relay_discovery_request_release(qz_relay_discovery_request* request) {
    if (!request || request->references.fetch_sub(1) != 1) return;
    RELAY_LOG(relay_logger(request), QZ_LOG_INFO, "Destroying relay discovery request.");
    qz_value_release(request->kept_relays);
    delete request;
}
