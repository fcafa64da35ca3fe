// Replies of relays, on the loop thread: each names the port on which its sender forwards HTTP.
#include <new>
#include <string>

#include "clients/relay/qz_relay_discovery_internal.h"
#include "clients/relay/qz_relay_record.h"
#include "clients/relay/qz_relay_reply.h"
#include "clients/udp/qz_udp_message.h"
#include "utils/qz_status.h"
#include "utils/qz_value.h"

namespace {

// Once the maximum has answered the pass ends; later replies are ignored.
void stop_at_limit(qz_relay_discovery_request* request, qz_relay_session* session, int* stop) {
    if (request->max_relays != session->relays_found) return;
    RELAY_LOG(relay_logger(request), QZ_LOG_FAILURE, "Stopping relay discovery, as max discovery limit reached.");
    session->limit_reached = true;
    if (stop) *stop = 1;
}

int append_record(qz_relay_session* session, const char* address, uint16_t port, uint32_t scope_id) {
    qz_relay_record record;
    try {
        record.server = qz_relay_server_text(address);
    } catch (const std::bad_alloc&) {
        return QZ_ERR_NO_MEMORY;
    }
    record.server_port = port;
    record.nic_scope_id = scope_id;
    qz_value* table = nullptr;
    if (qz_relay_record_to_table(&record, &table) != QZ_OK) return QZ_ERR_NO_MEMORY;
    int rc = qz_value_array_append(session->relays, table);
    qz_value_release(table);
    return rc == QZ_OK ? QZ_OK : QZ_ERR_NO_MEMORY;
}

int add_msgbus_relay_discovery_response(qz_relay_discovery_request* request, qz_relay_session* session,
                                        const qz_udp_reply* reply, int* stop) {
    const qz_logger* logger = relay_logger(request);
    uint16_t port = qz_relay_msgbus_reply_port(qz_udp_message_msgbus(reply->message));
    if (port == 0) {
        RELAY_LOG(logger, QZ_LOG_FAILURE, "malformed relay discovery response.");
        return QZ_ERR_RELAY_MALFORMED;
    }
    int rc = add_relay(request, session, reply->address, port, reply->scope_id);
    if (rc != QZ_OK) RELAY_LOG(logger, QZ_LOG_FAILURE, "malformed relay discovery response.");
    stop_at_limit(request, session, stop);
    return rc;
}

}   // namespace

int add_relay(qz_relay_discovery_request* request, qz_relay_session* session, const char* address, uint16_t port,
              uint32_t scope_id) {
    const qz_logger* logger = relay_logger(request);
    RELAY_LOG(logger, QZ_LOG_INFO, "Received relay discovery response, relay info, [addr:%s port:%d scoped id:%d]",
              address, static_cast<int>(port), static_cast<int>(scope_id));
    size_t discovered_before = session->discovered.size();
    try {
        std::string entry = qz_relay_discovered_entry(address);
        if (session->relays_found > 0 && qz_relay_discovered_holds(session->discovered, entry)) {
            RELAY_LOG(logger, QZ_LOG_INFO, "Relay is already discovered");
            return QZ_OK;
        }
        if (qz_relay_discovered_count(session->discovered) < qz_relay_discovered_entry_limit)
            session->discovered += entry;
    } catch (const std::bad_alloc&) {
        return QZ_ERR_NO_MEMORY;
    }
    int rc = append_record(session, address, port, scope_id);
    if (rc != QZ_OK) {
        session->discovered.resize(discovered_before);   // a relay not in the list is not known either
        return rc;
    }
    ++session->relays_found;
    return QZ_OK;
}

int add_compat_relay_discovery_response(qz_relay_discovery_request* request, qz_relay_session* session,
                                        const qz_udp_reply* reply, int* stop) {
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    uint16_t port = 0;
    // The bytes are kept with a NUL after them, so they read as text (up to any NUL inside).
    if (qz_udp_message_compat_bytes(reply->message, &bytes, &length) == QZ_OK)
        port = qz_relay_compat_reply_port(reinterpret_cast<const char*>(bytes));
    int rc = QZ_ERR_RELAY_MALFORMED;
    if (port != 0) {
        rc = add_relay(request, session, reply->address, port, reply->scope_id);
    } else {
        RELAY_LOG(relay_logger(request), QZ_LOG_FAILURE, "malformed compat relay discovery response.");
    }
    stop_at_limit(request, session, stop);
    return rc;
}

int relay_discovery_response_cb(qz_udp_request* /*udp*/, const qz_udp_reply* reply, void* user_data, int* stop) {
    auto* request = static_cast<qz_relay_discovery_request*>(user_data);
    qz_relay_session* session = relay_session_of(request);
    if (!reply || !reply->message || !session) return QZ_ERR_MISSING_ARGUMENT;
    if (session->limit_reached) {
        if (stop) *stop = 1;
        return QZ_OK;
    }
    bool compat = qz_udp_message_get_kind(reply->message) == QZ_UDP_MESSAGE_COMPAT;
    RELAY_LOG(relay_logger(request), QZ_LOG_INFO, "Relay discovery response in format \"%s\" received.",
              compat ? "compat" : "msgbus");
    if (compat) return add_compat_relay_discovery_response(request, session, reply, stop);
    return add_msgbus_relay_discovery_response(request, session, reply, stop);
}
