// Messages of the peer network. A UDP message is either structured ("msgbus": a 14-field
// header, a properties table and an optional payload, carried as MessagePack) or "compat"
// (plain bytes of the older relay protocol). Both message records are reference counted like
// qz_value: create gives one reference, release drops one, containers keep their own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "utils/qz_value.h"

struct qz_msgbus_message;
struct qz_udp_message;

enum qz_udp_message_kind {
    QZ_UDP_MESSAGE_MSGBUS = 0,
    QZ_UDP_MESSAGE_COMPAT = 1,
};

// Header fields (numbered 1..14 in wire order) and their types.
constexpr int qz_msgbus_header_fields = 14;
// QZ_VALUE_UINT8 for 1-4, UINT32 for 5-6, UINT16 for 7-8, STRING for 9, 11, 12, 14, UINT64 for
// 10 and 13; QZ_VALUE_NULL outside 1..14.
qz_value_type qz_msgbus_header_field_type(int field);

// ---- structured messages ----

// Header fields zero except field 2 = 96 and the text fields " "; empty properties; no
// payload. nullptr when out of memory.
qz_msgbus_message* qz_msgbus_message_create();
qz_msgbus_message* qz_msgbus_message_retain(qz_msgbus_message* message);
void qz_msgbus_message_release(qz_msgbus_message* message);   // accepts nullptr

// Header field by number: lent. 0; 1 missing argument; 12 field outside 1..14.
int qz_msgbus_message_get_header_field(const qz_msgbus_message* message, int field, qz_value** value);
// Replaces a header field with a value that reads exactly as the field's type (it is stored
// converted to that type). 0; 1; 2 wrong type or out of range; 12 bad field; 4 no memory.
int qz_msgbus_message_set_header_field(qz_msgbus_message* message, int field, const qz_value* value);

// The properties table: lent; never nullptr for a message.
qz_value* qz_msgbus_message_properties(const qz_msgbus_message* message);
// Same codes as qz_value_table_set / qz_value_table_set_string.
int qz_msgbus_message_set_property(qz_msgbus_message* message, const char* key, qz_value* value);
int qz_msgbus_message_set_string_property(qz_msgbus_message* message, const char* key, const char* text);
// 0; 1 missing argument; 12 key missing; 2 the value is not a string. Lent.
int qz_msgbus_message_get_string_property(const qz_msgbus_message* message, const char* key, const char** text);

// The payload (lent) or nullptr when there is none; setting nullptr removes it.
qz_value* qz_msgbus_message_payload(const qz_msgbus_message* message);
int qz_msgbus_message_set_payload(qz_msgbus_message* message, qz_value* payload);

// ---- UDP messages ----

// Takes its own reference on the structured message. nullptr when out of memory or for a null
// message.
qz_udp_message* qz_udp_message_create_msgbus(qz_msgbus_message* content);
// Copies length bytes; a NUL is kept after them so that the content reads as text. An empty
// buffer makes a message without content (its encoding fails with 11). nullptr when out of
// memory or for null bytes with a length above 0.
qz_udp_message* qz_udp_message_create_compat(const void* bytes, size_t length);
qz_udp_message* qz_udp_message_retain(qz_udp_message* message);
void qz_udp_message_release(qz_udp_message* message);   // accepts nullptr

// QZ_UDP_MESSAGE_MSGBUS or QZ_UDP_MESSAGE_COMPAT; -1 for nullptr.
int qz_udp_message_get_kind(const qz_udp_message* message);
// The structured content (lent), or nullptr for a compat message.
qz_msgbus_message* qz_udp_message_msgbus(const qz_udp_message* message);
// The compat bytes (lent, NUL-terminated after length bytes): 0; 1 missing argument; 2 not a
// compat message; 11 no content.
int qz_udp_message_compat_bytes(const qz_udp_message* message, const uint8_t** bytes, size_t* length);

// ---- wire form ----

// Encodes into a new buffer that the caller frees with qz_udp_message_free_bytes.
// 0; 1 missing argument; 11 no content; 3 the packer failed; 4 out of memory.
// Compat: the bytes as they are. Msgbus: a MessagePack array of [header, properties] or
// [header, properties, payload], every value in its smallest form, tables in key order.
int qz_udp_message_encode(const qz_udp_message* message, uint8_t** bytes, size_t* length);
void qz_udp_message_free_bytes(uint8_t* bytes);   // accepts nullptr

// Decodes a structured (msgbus) datagram into a new message (*message untouched on failure).
// 0; 1 missing argument, or a header with fewer than 14 fields; 2 a header field or the
// properties of the wrong type; 4 out of memory; 401 a MessagePack value that has no typed
// value (extension types, empty keys, ...); 402 no complete MessagePack object in the bytes;
// 403 bytes that are not MessagePack; 501 the top value is not an array of 2 or 3 items.
int qz_udp_message_decode(const void* bytes, size_t length, qz_udp_message** message);

// The kind of a received datagram: compat when it is at least 9 bytes and begins and ends with
// "RELA", or when it begins with the agent wake-up tag; else msgbus. Classifying an empty or
// null datagram gives msgbus (which then fails to decode).
int qz_udp_message_classify(const void* bytes, size_t length);

// Classifies a received datagram and reads it: compat datagrams are copied, the rest decoded.
// Codes of qz_udp_message_create_compat (4) or qz_udp_message_decode; 1 for an empty datagram.
int qz_udp_message_from_datagram(const void* bytes, size_t length, qz_udp_message** message);
