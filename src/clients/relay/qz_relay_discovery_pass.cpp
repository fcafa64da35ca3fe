// One pass of a relay discovery session: the request message in one format, sent by a UDP
// request to every interface, synchronously or not.
#include <cstdio>
#include <memory>

#include "clients/relay/qz_relay_discovery_internal.h"
#include "clients/udp/qz_udp_message.h"
#include "utils/qz_status.h"

namespace {

constexpr char msg_type_key[] = "prop.key.msg_type";
constexpr char relay_request_type[] = "prop.val.rqst.relay_discovery";
constexpr size_t compat_request_capacity = 64;

struct udp_request_releaser {
    void operator()(qz_udp_request* request) const noexcept { qz_udp_request_release(request); }
};
using udp_request_ptr = std::unique_ptr<qz_udp_request, udp_request_releaser>;
struct udp_message_releaser {
    void operator()(qz_udp_message* message) const noexcept { qz_udp_message_release(message); }
};
struct msgbus_releaser {
    void operator()(qz_msgbus_message* message) const noexcept { qz_msgbus_message_release(message); }
};

int configure(qz_udp_request* udp, qz_relay_discovery_request* request, bool compat) {
    int rc = qz_udp_request_set_group_address(udp, compat ? qz_relay_group_address : request->group_address.c_str());
    if (rc == QZ_OK) rc = qz_udp_request_set_port(udp, compat ? qz_relay_compat_port : request->port);
    if (rc == QZ_OK && request->timeout_ms != 0) rc = qz_udp_request_set_timeout(udp, request->timeout_ms);
    if (rc == QZ_OK) rc = qz_udp_request_set_all_sent_handler(udp, nullptr);
    if (rc == QZ_OK) rc = qz_udp_request_set_reply_handler(udp, relay_discovery_response_cb);
    if (rc == QZ_OK) rc = qz_udp_request_set_user_data(udp, request);
    return rc;
}

qz_udp_request** slot_of(qz_relay_session* session, bool compat) {
    return compat ? &session->compat_request : &session->msgbus_request;
}

// Loop thread: an asynchronous pass has ended. The session ends with its last pass, unless the
// sender is still setting passes up (it ends the session then).
void relay_discovery_final_cb(int /*status*/, qz_udp_request* udp, void* user_data) {
    auto* request = static_cast<qz_relay_discovery_request*>(user_data);
    const qz_logger* logger = relay_logger(request);
    qz_relay_session* session = relay_session_of(request);
    bool over = false;
    if (session) {
        std::lock_guard<std::mutex> guard(session->slots_lock);
        if (session->msgbus_request == udp) {
            RELAY_LOG(logger, QZ_LOG_INFO, "Relay discovery final cb.");
            session->msgbus_request = nullptr;
        } else if (session->compat_request == udp) {
            RELAY_LOG(logger, QZ_LOG_INFO, "Compat relay discovery final cb.");
            session->compat_request = nullptr;
        }
        over = !session->msgbus_request && !session->compat_request && !session->sender_active;
    }
    qz_udp_request_release(udp);
    if (over) {
        RELAY_LOG(logger, QZ_LOG_INFO, "Relay discovery over, cleaning up session.");
        relay_session_clean_up(request);
    }
    qz_relay_discovery_request_release(request);
}

void run_sync(qz_relay_discovery_request* request, qz_relay_session* session, qz_udp_request* udp) {
    const qz_logger* logger = relay_logger(request);
    RELAY_LOG(logger, QZ_LOG_INFO, "Sending relay discovery message via sync way.");
    int rc = qz_udp_request_run_sync(udp);
    if (rc != QZ_OK) {
        RELAY_LOG(logger, QZ_LOG_FAILURE, "Relay discovery in sync way failed, error = %d.", rc);
        return;
    }
    session->sent = true;
}

// The session takes the UDP request (and a reference on the relay request) before the run is
// queued: the pass may end on the loop thread before run_async has even returned. True when
// the session holds the UDP request now.
bool run_async(qz_relay_discovery_request* request, qz_relay_session* session, qz_udp_request* udp, bool compat) {
    const qz_logger* logger = relay_logger(request);
    RELAY_LOG(logger, QZ_LOG_INFO, "Sending relay discovery message via async way.");
    qz_relay_discovery_request_retain(request);
    {
        std::lock_guard<std::mutex> guard(session->slots_lock);
        *slot_of(session, compat) = udp;
    }
    int rc = qz_udp_request_run_async(udp, relay_discovery_final_cb);
    if (rc == QZ_OK) {
        session->sent = true;
        return true;
    }
    RELAY_LOG(logger, QZ_LOG_FAILURE, "Relay discovery in async way failed, error = %d.", rc);
    {
        std::lock_guard<std::mutex> guard(session->slots_lock);
        *slot_of(session, compat) = nullptr;
    }
    qz_relay_discovery_request_release(request);
    return false;
}

}   // namespace

qz_udp_message* relay_discovery_message_create(bool compat) {
    if (compat) {
        char bytes[compat_request_capacity];
        int length = std::snprintf(bytes, sizeof bytes, "%s%s%s", "RELA", "RELAY_RESPOND", "RELA");
        return qz_udp_message_create_compat(bytes, static_cast<size_t>(length));
    }
    std::unique_ptr<qz_msgbus_message, msgbus_releaser> content(qz_msgbus_message_create());
    if (!content || qz_msgbus_message_set_string_property(content.get(), msg_type_key, relay_request_type) != QZ_OK)
        return nullptr;
    return qz_udp_message_create_msgbus(content.get());
}

int run_relay_discovery(qz_relay_discovery_request* request, qz_relay_session* session, bool compat) {
    const qz_logger* logger = relay_logger(request);
    std::unique_ptr<qz_udp_message, udp_message_releaser> message(relay_discovery_message_create(compat));
    if (!message) {
        RELAY_LOG(logger, QZ_LOG_FAILURE, "Failed to create relay discovery message.");
        return session->sent ? QZ_OK : QZ_ERR_RELAY_NOTHING_SENT;
    }
    RELAY_LOG(logger, QZ_LOG_INFO, "Created relay discovery message in \"%s\" format.", compat ? "compat" : "msgbus");
    qz_udp_request* made = nullptr;
    int rc = qz_udp_request_create(&request->context, &made);
    if (rc != QZ_OK) {
        RELAY_LOG(logger, QZ_LOG_FAILURE, "udp request creation failed, error = %d.", rc);
        return session->sent ? QZ_OK : QZ_ERR_RELAY_NOTHING_SENT;
    }
    udp_request_ptr udp(made);
    rc = configure(udp.get(), request, compat);
    if (rc == QZ_OK) rc = qz_udp_request_add_message(udp.get(), message.get());
    if (rc != QZ_OK) {
        RELAY_LOG(logger, QZ_LOG_FAILURE, "Relay discovery message setting to udp request failed, error = %d.",
                  rc == QZ_ERR_NO_MEMORY ? QZ_ERR_NO_MEMORY : QZ_ERR_FAILED);
    } else if (request->synchronous) {
        run_sync(request, session, udp.get());
    } else if (run_async(request, session, udp.get(), compat)) {
        udp.release();   // the session's now; the final handler releases it
    }
    return session->sent ? QZ_OK : QZ_ERR_RELAY_NOTHING_SENT;
}
