// Typed values carried by the peer network's structured messages: null, bool, integers of
// 8 to 64 bits, float, double, string, raw bytes, arrays and tables.
//
// Ownership: every value is reference counted (atomic count). A create function returns a
// value with one reference, or nullptr when memory runs out; qz_value_release drops one and the
// last release frees the value and what it holds. A container keeps its own reference to what
// is put into it, so the caller still releases its own. Getters that hand out a value or text
// lend it: it lives as long as the container (or value) it came from. The count is the only
// thread-safe part: a value that one thread changes must not be read by another meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>

struct qz_value;

enum qz_value_type {
    QZ_VALUE_NULL = 0,
    QZ_VALUE_BOOL,
    QZ_VALUE_INT8,
    QZ_VALUE_INT16,
    QZ_VALUE_INT32,
    QZ_VALUE_INT64,
    QZ_VALUE_UINT8,
    QZ_VALUE_UINT16,
    QZ_VALUE_UINT32,
    QZ_VALUE_UINT64,
    QZ_VALUE_FLOAT,
    QZ_VALUE_DOUBLE,
    QZ_VALUE_STRING,
    QZ_VALUE_RAW,
    QZ_VALUE_ARRAY,
    QZ_VALUE_TABLE,
};

qz_value* qz_value_create_null();
qz_value* qz_value_create_bool(bool v);
qz_value* qz_value_create_int8(int8_t v);
qz_value* qz_value_create_int16(int16_t v);
qz_value* qz_value_create_int32(int32_t v);
qz_value* qz_value_create_int64(int64_t v);
qz_value* qz_value_create_uint8(uint8_t v);
qz_value* qz_value_create_uint16(uint16_t v);
qz_value* qz_value_create_uint32(uint32_t v);
qz_value* qz_value_create_uint64(uint64_t v);
qz_value* qz_value_create_float(float v);
qz_value* qz_value_create_double(double v);
// The bytes of text up to its NUL; nullptr for a null text.
qz_value* qz_value_create_string(const char* text);
// At most length bytes of text, stopping at the first NUL inside them. nullptr for null text.
qz_value* qz_value_create_string_n(const char* text, size_t length);
// A copy of length bytes (any content). nullptr for null bytes with a length above 0.
qz_value* qz_value_create_raw(const void* bytes, uint32_t length);
qz_value* qz_value_create_array();
qz_value* qz_value_create_table();

// Adds one reference and returns the value (nullptr stays nullptr).
qz_value* qz_value_retain(qz_value* value);
// Drops one reference; accepts nullptr.
void qz_value_release(qz_value* value);

// QZ_VALUE_NULL for a null pointer as well.
qz_value_type qz_value_get_type(const qz_value* value);

// Typed reads: 0 with *out set; 1 for a missing argument; 2 when the value is not of a type
// that holds the result exactly. Integers of any width and signedness read as any integer type
// that holds their value (unsigned 200 reads as uint8..uint64 and int16..int64, not as int8).
// A float reads as double; a double reads as float only when the float holds it exactly.
int qz_value_get_bool(const qz_value* value, bool* out);
int qz_value_get_int8(const qz_value* value, int8_t* out);
int qz_value_get_int16(const qz_value* value, int16_t* out);
int qz_value_get_int32(const qz_value* value, int32_t* out);
int qz_value_get_int64(const qz_value* value, int64_t* out);
int qz_value_get_uint8(const qz_value* value, uint8_t* out);
int qz_value_get_uint16(const qz_value* value, uint16_t* out);
int qz_value_get_uint32(const qz_value* value, uint32_t* out);
int qz_value_get_uint64(const qz_value* value, uint64_t* out);
int qz_value_get_float(const qz_value* value, float* out);
int qz_value_get_double(const qz_value* value, double* out);
// The text (NUL-terminated) and, when length is not null, its byte count. Lent.
int qz_value_get_string(const qz_value* value, const char** text, size_t* length);
// The bytes and their count. Lent; bytes may be nullptr for an empty raw value.
int qz_value_get_raw(const qz_value* value, const uint8_t** bytes, uint32_t* length);

// Arrays, indexed from 1. Putting in a value that contains the array itself (directly or
// deeper) is refused with 2, so reference cycles never form.
// append/get: 0; 1 missing argument; 2 not an array or a cycle; 4 out of memory;
// get: 12 when the index is outside 1..size.
size_t qz_value_array_size(const qz_value* array);   // 0 for anything but an array
int qz_value_array_append(qz_value* array, qz_value* item);
int qz_value_array_get(const qz_value* array, size_t index, qz_value** item);

// Tables: non-empty string keys, kept in ascending unsigned byte order; setting an existing
// key replaces its value. A table never holds itself (directly or deeper): refused with 2.
// set: 0; 1 missing or empty key or missing value; 2 not a table or a cycle; 4 out of memory.
// get: 0; 1 missing argument; 2 not a table (or, for get_string, the value is not a string);
// 12 key not in the table.
size_t qz_value_table_size(const qz_value* table);   // 0 for anything but a table
int qz_value_table_set(qz_value* table, const char* key, qz_value* value);
int qz_value_table_set_string(qz_value* table, const char* key, const char* text);
int qz_value_table_get(const qz_value* table, const char* key, qz_value** value);
int qz_value_table_get_string(const qz_value* table, const char* key, const char** text);
// 0 when the key was there and is gone, 12 when it was not there, 1 or 2 as for get.
int qz_value_table_remove(qz_value* table, const char* key);
// The entry at position index (from 1) in key order: 0; 1; 2; 12 outside 1..size. Lent.
int qz_value_table_entry(const qz_value* table, size_t index, const char** key, qz_value** value);
