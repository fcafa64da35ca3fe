// Message records: structured (msgbus) and compat, and the receive-side classification.
#include "clients/udp/qz_udp_message.h"

#include <array>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "clients/udp/qz_udp_message_internal.h"
#include "utils/qz_status.h"

struct qz_msgbus_message {
    std::atomic<int> references{1};
    std::array<qz_value*, qz_msgbus_header_fields> header{};   // each of its field's type
    qz_value* properties = nullptr;                            // a table
    qz_value* payload = nullptr;                               // optional
};

struct qz_udp_message {
    std::atomic<int> references{1};
    int kind = QZ_UDP_MESSAGE_MSGBUS;
    qz_msgbus_message* msgbus = nullptr;
    std::vector<uint8_t> compat;   // the bytes and a NUL after them; empty without content
};

namespace {

constexpr uint8_t default_field_2 = 0x60;
constexpr const char* blank_text = " ";
constexpr const char relay_tag[] = "RELA";
constexpr size_t relay_tag_length = 4;
constexpr const char wakeup_tag[] = "<Type=\"AgentWakeup\" Version=\"1.0\"";
constexpr size_t wakeup_tag_length = sizeof wakeup_tag - 1;   // 33

void destroy(qz_msgbus_message* message) {
    for (qz_value* field : message->header) {
        qz_value_release(field);
    }
    qz_value_release(message->properties);
    qz_value_release(message->payload);
    delete message;
}

qz_value* default_field(int field) {
    switch (qz_msgbus_header_field_type(field)) {
        case QZ_VALUE_UINT8: return qz_value_create_uint8(field == 2 ? default_field_2 : 0);
        case QZ_VALUE_UINT16: return qz_value_create_uint16(0);
        case QZ_VALUE_UINT32: return qz_value_create_uint32(0);
        case QZ_VALUE_UINT64: return qz_value_create_uint64(0);
        case QZ_VALUE_STRING: return qz_value_create_string(blank_text);
        default: return nullptr;
    }
}

// A new value of the field's type holding what value holds, or nullptr with *rc set.
qz_value* convert_field(int field, const qz_value* value, int* rc) {
    qz_value* converted = nullptr;
    switch (qz_msgbus_header_field_type(field)) {
        case QZ_VALUE_UINT8: {
            uint8_t v;
            *rc = qz_value_get_uint8(value, &v);
            if (*rc == QZ_OK) converted = qz_value_create_uint8(v);
            break;
        }
        case QZ_VALUE_UINT16: {
            uint16_t v;
            *rc = qz_value_get_uint16(value, &v);
            if (*rc == QZ_OK) converted = qz_value_create_uint16(v);
            break;
        }
        case QZ_VALUE_UINT32: {
            uint32_t v;
            *rc = qz_value_get_uint32(value, &v);
            if (*rc == QZ_OK) converted = qz_value_create_uint32(v);
            break;
        }
        case QZ_VALUE_UINT64: {
            uint64_t v;
            *rc = qz_value_get_uint64(value, &v);
            if (*rc == QZ_OK) converted = qz_value_create_uint64(v);
            break;
        }
        case QZ_VALUE_STRING: {
            const char* text;
            size_t length;
            *rc = qz_value_get_string(value, &text, &length);
            if (*rc == QZ_OK) converted = qz_value_create_string_n(text, length);
            break;
        }
        default: *rc = QZ_ERR_KEY_NOT_FOUND; return nullptr;
    }
    if (*rc == QZ_OK && converted == nullptr) {
        *rc = QZ_ERR_NO_MEMORY;
    }
    return converted;
}

bool has_relay_tags(const uint8_t* bytes, size_t length) {
    return length >= 2 * relay_tag_length + 1 && std::memcmp(bytes, relay_tag, relay_tag_length) == 0 &&
           std::memcmp(bytes + length - relay_tag_length, relay_tag, relay_tag_length) == 0;
}

bool has_wakeup_tag(const uint8_t* bytes, size_t length) {
    return length >= wakeup_tag_length + 1 && std::memcmp(bytes, wakeup_tag, wakeup_tag_length) == 0;
}

}   // namespace

qz_value_type qz_msgbus_header_field_type(int field) {
    static const qz_value_type types[qz_msgbus_header_fields] = {
        QZ_VALUE_UINT8,  QZ_VALUE_UINT8,  QZ_VALUE_UINT8,  QZ_VALUE_UINT8,  QZ_VALUE_UINT32,
        QZ_VALUE_UINT32, QZ_VALUE_UINT16, QZ_VALUE_UINT16, QZ_VALUE_STRING, QZ_VALUE_UINT64,
        QZ_VALUE_STRING, QZ_VALUE_STRING, QZ_VALUE_UINT64, QZ_VALUE_STRING,
    };
    if (field < 1 || field > qz_msgbus_header_fields) {
        return QZ_VALUE_NULL;
    }
    return types[field - 1];
}

qz_msgbus_message* qz_msgbus_message_create() {
    qz_msgbus_message* message = new (std::nothrow) qz_msgbus_message;
    if (message == nullptr) {
        return nullptr;
    }
    bool complete = (message->properties = qz_value_create_table()) != nullptr;
    for (int field = 1; field <= qz_msgbus_header_fields; ++field) {
        message->header[field - 1] = default_field(field);
        complete = complete && message->header[field - 1] != nullptr;
    }
    if (!complete) {
        destroy(message);
        return nullptr;
    }
    return message;
}

qz_msgbus_message* qz_msgbus_message_retain(qz_msgbus_message* message) {
    if (message != nullptr) {
        message->references.fetch_add(1);
    }
    return message;
}

void qz_msgbus_message_release(qz_msgbus_message* message) {
    if (message != nullptr && message->references.fetch_sub(1) == 1) {
        destroy(message);
    }
}

int qz_msgbus_message_get_header_field(const qz_msgbus_message* message, int field, qz_value** value) {
    if (message == nullptr || value == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    if (field < 1 || field > qz_msgbus_header_fields) return QZ_ERR_KEY_NOT_FOUND;
    *value = message->header[field - 1];
    return QZ_OK;
}

int qz_msgbus_message_set_header_field(qz_msgbus_message* message, int field, const qz_value* value) {
    if (message == nullptr || value == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    if (field < 1 || field > qz_msgbus_header_fields) return QZ_ERR_KEY_NOT_FOUND;
    int rc = QZ_OK;
    qz_value* converted = convert_field(field, value, &rc);
    if (converted == nullptr) return rc;
    qz_value_release(message->header[field - 1]);
    message->header[field - 1] = converted;
    return QZ_OK;
}

qz_value* qz_msgbus_message_properties(const qz_msgbus_message* message) {
    return message == nullptr ? nullptr : message->properties;
}

int qz_msgbus_message_set_property(qz_msgbus_message* message, const char* key, qz_value* value) {
    if (message == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    return qz_value_table_set(message->properties, key, value);
}

int qz_msgbus_message_set_string_property(qz_msgbus_message* message, const char* key, const char* text) {
    if (message == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    return qz_value_table_set_string(message->properties, key, text);
}

int qz_msgbus_message_get_string_property(const qz_msgbus_message* message, const char* key, const char** text) {
    if (message == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    return qz_value_table_get_string(message->properties, key, text);
}

qz_value* qz_msgbus_message_payload(const qz_msgbus_message* message) {
    return message == nullptr ? nullptr : message->payload;
}

int qz_msgbus_message_set_payload(qz_msgbus_message* message, qz_value* payload) {
    if (message == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    qz_value* old = message->payload;
    message->payload = qz_value_retain(payload);
    qz_value_release(old);
    return QZ_OK;
}

// Internal to the codec: a msgbus message made from decoded parts, taking their references.
qz_msgbus_message* qz_msgbus_message_adopt(qz_value* const* header, qz_value* properties, qz_value* payload) {
    qz_msgbus_message* message = new (std::nothrow) qz_msgbus_message;
    if (message == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < qz_msgbus_header_fields; ++i) {
        message->header[i] = header[i];
    }
    message->properties = properties;
    message->payload = payload;
    return message;
}

qz_udp_message* qz_udp_message_create_msgbus(qz_msgbus_message* content) {
    if (content == nullptr) {
        return nullptr;
    }
    qz_udp_message* message = new (std::nothrow) qz_udp_message;
    if (message != nullptr) {
        message->kind = QZ_UDP_MESSAGE_MSGBUS;
        message->msgbus = qz_msgbus_message_retain(content);
    }
    return message;
}

qz_udp_message* qz_udp_message_create_compat(const void* bytes, size_t length) {
    if (bytes == nullptr && length > 0) {
        return nullptr;
    }
    qz_udp_message* message = new (std::nothrow) qz_udp_message;
    if (message == nullptr) {
        return nullptr;
    }
    message->kind = QZ_UDP_MESSAGE_COMPAT;
    if (length > 0) {
        try {
            const uint8_t* first = static_cast<const uint8_t*>(bytes);
            message->compat.reserve(length + 1);
            message->compat.assign(first, first + length);
            message->compat.push_back(0);
        } catch (const std::bad_alloc&) {
            delete message;
            return nullptr;
        }
    }
    return message;
}

qz_udp_message* qz_udp_message_retain(qz_udp_message* message) {
    if (message != nullptr) {
        message->references.fetch_add(1);
    }
    return message;
}

void qz_udp_message_release(qz_udp_message* message) {
    if (message != nullptr && message->references.fetch_sub(1) == 1) {
        qz_msgbus_message_release(message->msgbus);
        delete message;
    }
}

int qz_udp_message_get_kind(const qz_udp_message* message) { return message == nullptr ? -1 : message->kind; }

qz_msgbus_message* qz_udp_message_msgbus(const qz_udp_message* message) {
    return message != nullptr && message->kind == QZ_UDP_MESSAGE_MSGBUS ? message->msgbus : nullptr;
}

int qz_udp_message_compat_bytes(const qz_udp_message* message, const uint8_t** bytes, size_t* length) {
    if (message == nullptr || bytes == nullptr || length == nullptr) {
        return QZ_ERR_MISSING_ARGUMENT;
    }
    if (message->kind != QZ_UDP_MESSAGE_COMPAT) return QZ_ERR_WRONG_STATE;
    if (message->compat.empty()) return QZ_ERR_NO_CONTENT;
    *bytes = message->compat.data();
    *length = message->compat.size() - 1;
    return QZ_OK;
}

int qz_udp_message_classify(const void* bytes, size_t length) {
    const uint8_t* data = static_cast<const uint8_t*>(bytes);
    if (data != nullptr && (has_relay_tags(data, length) || has_wakeup_tag(data, length))) {
        return QZ_UDP_MESSAGE_COMPAT;
    }
    return QZ_UDP_MESSAGE_MSGBUS;
}

int qz_udp_message_from_datagram(const void* bytes, size_t length, qz_udp_message** message) {
    if (bytes == nullptr || length == 0 || message == nullptr) {
        return QZ_ERR_MISSING_ARGUMENT;
    }
    if (qz_udp_message_classify(bytes, length) == QZ_UDP_MESSAGE_MSGBUS) {
        return qz_udp_message_decode(bytes, length, message);
    }
    qz_udp_message* compat = qz_udp_message_create_compat(bytes, length);
    if (compat == nullptr) {
        return QZ_ERR_NO_MEMORY;
    }
    *message = compat;
    return QZ_OK;
}
