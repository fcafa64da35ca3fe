// Wire form of UDP messages: MessagePack through msgpack-c's packer and unpacker.
#include <msgpack.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "clients/udp/qz_udp_message.h"
#include "clients/udp/qz_udp_message_internal.h"
#include "utils/qz_status.h"

namespace {

constexpr size_t unpacker_initial_buffer = 1024;

// ---- encoding ----

int pack_value(msgpack_packer* pk, const qz_value* value);

int pack_integer(msgpack_packer* pk, const qz_value* value) {
    // The library's sized packers already choose the smallest form for the value.
    int64_t s;
    uint64_t u;
    switch (qz_value_get_type(value)) {
        case QZ_VALUE_INT8:
        case QZ_VALUE_INT16:
        case QZ_VALUE_INT32:
        case QZ_VALUE_INT64: qz_value_get_int64(value, &s); return msgpack_pack_int64(pk, s);
        default: qz_value_get_uint64(value, &u); return msgpack_pack_uint64(pk, u);
    }
}

int pack_string(msgpack_packer* pk, const char* text, size_t length) {
    if (msgpack_pack_str(pk, length) != 0) return -1;
    return msgpack_pack_str_body(pk, text, length);
}

int pack_array(msgpack_packer* pk, const qz_value* array) {
    size_t count = qz_value_array_size(array);
    if (count > UINT32_MAX || msgpack_pack_array(pk, count) != 0) return -1;
    for (size_t i = 1; i <= count; ++i) {
        qz_value* item = nullptr;
        qz_value_array_get(array, i, &item);
        if (pack_value(pk, item) != 0) return -1;
    }
    return 0;
}

int pack_table(msgpack_packer* pk, const qz_value* table) {
    size_t count = qz_value_table_size(table);
    if (count > UINT32_MAX || msgpack_pack_map(pk, count) != 0) return -1;
    for (size_t i = 1; i <= count; ++i) {   // key order: the table keeps it
        const char* key = nullptr;
        qz_value* value = nullptr;
        qz_value_table_entry(table, i, &key, &value);
        if (pack_string(pk, key, std::strlen(key)) != 0 || pack_value(pk, value) != 0) return -1;
    }
    return 0;
}

int pack_value(msgpack_packer* pk, const qz_value* value) {
    switch (qz_value_get_type(value)) {
        case QZ_VALUE_NULL: return msgpack_pack_nil(pk);
        case QZ_VALUE_BOOL: {
            bool flag = false;
            qz_value_get_bool(value, &flag);
            return flag ? msgpack_pack_true(pk) : msgpack_pack_false(pk);
        }
        case QZ_VALUE_FLOAT: {
            float f = 0;
            qz_value_get_float(value, &f);
            return msgpack_pack_float(pk, f);
        }
        case QZ_VALUE_DOUBLE: {
            double d = 0;
            qz_value_get_double(value, &d);
            return msgpack_pack_double(pk, d);
        }
        case QZ_VALUE_STRING: {
            const char* text = nullptr;
            size_t length = 0;
            qz_value_get_string(value, &text, &length);
            return length > UINT32_MAX ? -1 : pack_string(pk, text, length);
        }
        case QZ_VALUE_RAW: {
            const uint8_t* bytes = nullptr;
            uint32_t length = 0;
            qz_value_get_raw(value, &bytes, &length);
            if (msgpack_pack_bin(pk, length) != 0) return -1;
            return length == 0 ? 0 : msgpack_pack_bin_body(pk, bytes, length);
        }
        case QZ_VALUE_ARRAY: return pack_array(pk, value);
        case QZ_VALUE_TABLE: return pack_table(pk, value);
        default: return pack_integer(pk, value);
    }
}

int pack_msgbus(msgpack_packer* pk, const qz_msgbus_message* message) {
    qz_value* payload = qz_msgbus_message_payload(message);
    if (msgpack_pack_array(pk, payload != nullptr ? 3 : 2) != 0) return -1;
    if (msgpack_pack_array(pk, qz_msgbus_header_fields) != 0) return -1;
    for (int field = 1; field <= qz_msgbus_header_fields; ++field) {
        qz_value* value = nullptr;
        qz_msgbus_message_get_header_field(message, field, &value);
        if (pack_value(pk, value) != 0) return -1;
    }
    if (pack_table(pk, qz_msgbus_message_properties(message)) != 0) return -1;
    return payload != nullptr ? pack_value(pk, payload) : 0;
}

int encode_compat(const qz_udp_message* message, uint8_t** bytes, size_t* length) {
    const uint8_t* content = nullptr;
    size_t size = 0;
    if (qz_udp_message_compat_bytes(message, &content, &size) != QZ_OK) {
        return QZ_ERR_NO_CONTENT;
    }
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(size));
    if (copy == nullptr) {
        return QZ_ERR_NO_MEMORY;
    }
    std::memcpy(copy, content, size);
    *bytes = copy;
    *length = size;
    return QZ_OK;
}

// ---- decoding ----

// Bytes that an object starting with this lead byte takes before its contents, the contents'
// byte count, and the number of child objects; false when the lead bytes are not all there yet
// or the byte is not MessagePack (the unpacker reports those).
bool object_shape(const uint8_t* p, size_t available, size_t* head, uint64_t* body, uint64_t* children) {
    auto be = [p](size_t offset, size_t width) {
        uint64_t v = 0;
        for (size_t i = 0; i < width; ++i) v = (v << 8) | p[offset + i];
        return v;
    };
    uint8_t b = p[0];
    *body = 0;
    *children = 0;
    size_t width = 0;   // width of a big-endian length after the lead byte
    if (b <= 0x7f || b >= 0xe0 || b == 0xc0 || b == 0xc2 || b == 0xc3) {
        *head = 1;
        return true;
    }
    if ((b & 0xf0) == 0x80 || (b & 0xf0) == 0x90) {
        *head = 1;
        *children = static_cast<uint64_t>(b & 0x0f) * ((b & 0xf0) == 0x80 ? 2 : 1);
        return true;
    }
    if ((b & 0xe0) == 0xa0) {
        *head = 1;
        *body = b & 0x1f;
        return true;
    }
    switch (b) {
        case 0xca:
        case 0xcb:
        case 0xcc:
        case 0xcd:
        case 0xce:
        case 0xcf:
        case 0xd0:
        case 0xd1:
        case 0xd2:
        case 0xd3: {
            static const size_t sizes[] = {4, 8, 1, 2, 4, 8, 1, 2, 4, 8};
            *head = 1;
            *body = sizes[b - 0xca];
            return true;
        }
        case 0xd4:
        case 0xd5:
        case 0xd6:
        case 0xd7:
        case 0xd8:
            *head = 2;
            *body = static_cast<uint64_t>(1) << (b - 0xd4);
            return true;
        case 0xc4:
        case 0xc7:
        case 0xd9: width = 1; break;
        case 0xc5:
        case 0xc8:
        case 0xda:
        case 0xdc:
        case 0xde: width = 2; break;
        case 0xc6:
        case 0xc9:
        case 0xdb:
        case 0xdd:
        case 0xdf: width = 4; break;
        default: return false;   // 0xc1
    }
    size_t extra = (b >= 0xc7 && b <= 0xc9) ? 1 : 0;   // the extension type byte
    if (available < 1 + width + extra) return false;
    uint64_t n = be(1, width);
    *head = 1 + width + extra;
    if (b >= 0xdc) {
        *children = b >= 0xde ? 2 * n : n;
    } else {
        *body = n;
    }
    return true;
}

// The unpacker reserves memory for a container's items as soon as it reads the count, so a
// few bytes claiming four billion items would cost gigabytes. Every object takes at least one
// byte: a count larger than the bytes left can never complete, and is refused before unpacking.
bool counts_fit(const uint8_t* p, size_t n) {
    size_t pos = 0;
    uint64_t objects_left = 1;
    while (objects_left > 0 && pos < n) {
        size_t head = 0;
        uint64_t body = 0;
        uint64_t children = 0;
        if (!object_shape(p + pos, n - pos, &head, &body, &children)) return true;
        --objects_left;
        if (head > n - pos || body > n - pos - head) return true;
        pos += head + static_cast<size_t>(body);
        if (children > n - pos || objects_left + children > n - pos) return false;
        objects_left += children;
    }
    return true;
}

struct converter {
    size_t datagram_length;

    int convert(const msgpack_object& o, qz_value** out) const {
        qz_value* v = nullptr;
        switch (o.type) {
            case MSGPACK_OBJECT_NIL: v = qz_value_create_null(); break;
            case MSGPACK_OBJECT_BOOLEAN: v = qz_value_create_bool(o.via.boolean); break;
            case MSGPACK_OBJECT_POSITIVE_INTEGER: v = qz_value_create_uint64(o.via.u64); break;
            case MSGPACK_OBJECT_NEGATIVE_INTEGER: v = qz_value_create_int64(o.via.i64); break;
            case MSGPACK_OBJECT_FLOAT32:
            case MSGPACK_OBJECT_FLOAT64: v = qz_value_create_double(o.via.f64); break;
            case MSGPACK_OBJECT_STR:
                if (o.via.str.size >= datagram_length) return QZ_ERR_UNPACK_EXTRA;
                v = qz_value_create_string_n(o.via.str.size > 0 ? o.via.str.ptr : "", o.via.str.size);
                break;
            case MSGPACK_OBJECT_BIN:
                if (o.via.bin.size == 0 || o.via.bin.size >= datagram_length) {
                    return QZ_ERR_UNPACK_EXTRA;
                }
                v = qz_value_create_raw(o.via.bin.ptr, o.via.bin.size);
                break;
            case MSGPACK_OBJECT_ARRAY: return convert_array(o.via.array, out);
            case MSGPACK_OBJECT_MAP: return convert_map(o.via.map, out);
            default: return QZ_ERR_UNPACK_EXTRA;
        }
        if (v == nullptr) return QZ_ERR_NO_MEMORY;
        *out = v;
        return QZ_OK;
    }

    int convert_array(const msgpack_object_array& a, qz_value** out) const {
        qz_value* array = qz_value_create_array();
        if (array == nullptr) return QZ_ERR_NO_MEMORY;
        for (uint32_t i = 0; i < a.size; ++i) {
            qz_value* item = nullptr;
            int rc = convert(a.ptr[i], &item);
            if (rc == QZ_OK) {
                rc = qz_value_array_append(array, item);
                qz_value_release(item);
            }
            if (rc != QZ_OK) {
                qz_value_release(array);
                return rc;
            }
        }
        *out = array;
        return QZ_OK;
    }

    int convert_entry(qz_value* table, const msgpack_object_kv& kv) const {
        const msgpack_object& key = kv.key;
        if (key.type != MSGPACK_OBJECT_STR || key.via.str.size < 1 || key.via.str.size >= datagram_length) {
            return QZ_ERR_UNPACK_EXTRA;
        }
        // Keys follow the string rule (up to a NUL); one that ends up empty has no entry.
        std::string name(key.via.str.ptr, strnlen(key.via.str.ptr, key.via.str.size));
        if (name.empty()) return QZ_ERR_UNPACK_EXTRA;
        qz_value* value = nullptr;
        int rc = convert(kv.val, &value);
        if (rc != QZ_OK) return rc;
        rc = qz_value_table_set(table, name.c_str(), value);   // later duplicates replace
        qz_value_release(value);
        return rc;
    }

    int convert_map(const msgpack_object_map& m, qz_value** out) const {
        qz_value* table = qz_value_create_table();
        if (table == nullptr) return QZ_ERR_NO_MEMORY;
        for (uint32_t i = 0; i < m.size; ++i) {
            int rc;
            try {
                rc = convert_entry(table, m.ptr[i]);
            } catch (const std::bad_alloc&) {
                rc = QZ_ERR_NO_MEMORY;
            }
            if (rc != QZ_OK) {
                qz_value_release(table);
                return rc;
            }
        }
        *out = table;
        return QZ_OK;
    }
};

struct unpacker_guard {
    msgpack_unpacker unpacker;
    msgpack_unpacked result;
    bool ready = false;
    ~unpacker_guard() {
        if (ready) {
            msgpack_unpacked_destroy(&result);
            msgpack_unpacker_destroy(&unpacker);
        }
    }
};

// The first complete MessagePack object of the datagram, as a typed value.
int unpack_value(const void* bytes, size_t length, qz_value** out) {
    if (!counts_fit(static_cast<const uint8_t*>(bytes), length)) {
        return QZ_ERR_UNPACK_CONTINUE;
    }
    unpacker_guard guard;
    if (!msgpack_unpacker_init(&guard.unpacker, unpacker_initial_buffer)) {
        return QZ_ERR_NO_MEMORY;
    }
    msgpack_unpacked_init(&guard.result);
    guard.ready = true;
    if (!msgpack_unpacker_reserve_buffer(&guard.unpacker, length)) {
        return QZ_ERR_NO_MEMORY;
    }
    std::memcpy(msgpack_unpacker_buffer(&guard.unpacker), bytes, length);
    msgpack_unpacker_buffer_consumed(&guard.unpacker, length);
    switch (msgpack_unpacker_next(&guard.unpacker, &guard.result)) {
        case MSGPACK_UNPACK_SUCCESS:
        case MSGPACK_UNPACK_EXTRA_BYTES: break;
        case MSGPACK_UNPACK_CONTINUE: return QZ_ERR_UNPACK_CONTINUE;
        case MSGPACK_UNPACK_NOMEM_ERROR: return QZ_ERR_NO_MEMORY;
        default: return QZ_ERR_UNPACK_PARSE;
    }
    return converter{length}.convert(guard.result.data, out);
}

struct header_fields {
    qz_value* values[qz_msgbus_header_fields] = {};
    ~header_fields() {
        for (qz_value* v : values) qz_value_release(v);
    }
};

int read_header(const qz_value* array, header_fields* header) {
    if (qz_value_get_type(array) != QZ_VALUE_ARRAY) return QZ_ERR_WRONG_STATE;
    if (qz_value_array_size(array) < static_cast<size_t>(qz_msgbus_header_fields)) {
        return QZ_ERR_MISSING_ARGUMENT;
    }
    qz_msgbus_message* scratch = qz_msgbus_message_create();
    if (scratch == nullptr) return QZ_ERR_NO_MEMORY;
    int rc = QZ_OK;
    for (int field = 1; field <= qz_msgbus_header_fields && rc == QZ_OK; ++field) {
        qz_value* item = nullptr;
        qz_value_array_get(array, field, &item);
        // Setting converts to the field's type and refuses values it cannot hold exactly.
        rc = qz_msgbus_message_set_header_field(scratch, field, item);
        if (rc == QZ_OK) {
            qz_value* typed = nullptr;
            qz_msgbus_message_get_header_field(scratch, field, &typed);
            header->values[field - 1] = qz_value_retain(typed);
        }
    }
    qz_msgbus_message_release(scratch);
    return rc;
}

int build_message(const qz_value* top, qz_udp_message** message) {
    size_t items = qz_value_array_size(top);
    if (qz_value_get_type(top) != QZ_VALUE_ARRAY || items < 2 || items > 3) {
        return QZ_ERR_BAD_SHAPE;
    }
    qz_value* header_array = nullptr;
    qz_value* properties = nullptr;
    qz_value* payload = nullptr;
    qz_value_array_get(top, 1, &header_array);
    qz_value_array_get(top, 2, &properties);
    if (items == 3) qz_value_array_get(top, 3, &payload);
    header_fields header;
    int rc = read_header(header_array, &header);
    if (rc != QZ_OK) return rc;
    if (qz_value_get_type(properties) != QZ_VALUE_TABLE) return QZ_ERR_WRONG_STATE;

    qz_msgbus_message* msgbus =
        qz_msgbus_message_adopt(header.values, qz_value_retain(properties), qz_value_retain(payload));
    if (msgbus == nullptr) {
        qz_value_release(properties);
        qz_value_release(payload);
        return QZ_ERR_NO_MEMORY;
    }
    for (qz_value*& v : header.values) v = nullptr;   // the message holds them now
    qz_udp_message* udp = qz_udp_message_create_msgbus(msgbus);
    qz_msgbus_message_release(msgbus);
    if (udp == nullptr) return QZ_ERR_NO_MEMORY;
    *message = udp;
    return QZ_OK;
}

}   // namespace

int qz_udp_message_encode(const qz_udp_message* message, uint8_t** bytes, size_t* length) {
    if (message == nullptr || bytes == nullptr || length == nullptr) {
        return QZ_ERR_MISSING_ARGUMENT;
    }
    int kind = qz_udp_message_get_kind(message);
    if (kind == QZ_UDP_MESSAGE_COMPAT) {
        return encode_compat(message, bytes, length);
    }
    const qz_msgbus_message* msgbus = qz_udp_message_msgbus(message);
    if (kind != QZ_UDP_MESSAGE_MSGBUS || msgbus == nullptr) {
        return QZ_ERR_NO_CONTENT;
    }
    msgpack_sbuffer buffer;
    msgpack_sbuffer_init(&buffer);
    msgpack_packer packer;
    msgpack_packer_init(&packer, &buffer, msgpack_sbuffer_write);
    if (pack_msgbus(&packer, msgbus) != 0) {
        msgpack_sbuffer_destroy(&buffer);
        return QZ_ERR_FAILED;
    }
    *length = buffer.size;
    *bytes = reinterpret_cast<uint8_t*>(msgpack_sbuffer_release(&buffer));
    return QZ_OK;
}

void qz_udp_message_free_bytes(uint8_t* bytes) { std::free(bytes); }

int qz_udp_message_decode(const void* bytes, size_t length, qz_udp_message** message) {
    if (bytes == nullptr || length == 0 || message == nullptr) {
        return QZ_ERR_MISSING_ARGUMENT;
    }
    qz_value* top = nullptr;
    int rc;
    try {
        rc = unpack_value(bytes, length, &top);
    } catch (const std::bad_alloc&) {
        rc = QZ_ERR_NO_MEMORY;
    }
    if (rc != QZ_OK) {
        return rc;
    }
    rc = build_message(top, message);
    qz_value_release(top);
    return rc;
}
