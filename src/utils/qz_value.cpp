#include "utils/qz_value.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "utils/qz_status.h"

struct qz_value {
    std::atomic<int> references{1};
    qz_value_type type = QZ_VALUE_NULL;
    union {
        bool flag;
        int64_t sint;    // every signed integer type
        uint64_t uint;   // every unsigned integer type
        float single;
        double dbl;
    } number{};
    std::string text;                                         // QZ_VALUE_STRING
    std::vector<uint8_t> bytes;                               // QZ_VALUE_RAW
    std::vector<qz_value*> items;                             // QZ_VALUE_ARRAY, owned references
    std::vector<std::pair<std::string, qz_value*>> entries;   // QZ_VALUE_TABLE, sorted by key
};

namespace {

qz_value* make(qz_value_type type) {
    qz_value* value = new (std::nothrow) qz_value;
    if (value != nullptr) {
        value->type = type;
    }
    return value;
}

bool is_signed_integer(qz_value_type t) {
    return t == QZ_VALUE_INT8 || t == QZ_VALUE_INT16 || t == QZ_VALUE_INT32 || t == QZ_VALUE_INT64;
}

bool is_unsigned_integer(qz_value_type t) {
    return t == QZ_VALUE_UINT8 || t == QZ_VALUE_UINT16 || t == QZ_VALUE_UINT32 || t == QZ_VALUE_UINT64;
}

// Reads any integer value as T when T holds it exactly.
template <typename T>
int read_integer(const qz_value* value, T* out) {
    if (value == nullptr || out == nullptr) {
        return QZ_ERR_MISSING_ARGUMENT;
    }
    if (is_signed_integer(value->type) && value->number.sint < 0) {
        if (!std::numeric_limits<T>::is_signed ||
            value->number.sint < static_cast<int64_t>(std::numeric_limits<T>::min())) {
            return QZ_ERR_WRONG_STATE;
        }
        *out = static_cast<T>(value->number.sint);
        return QZ_OK;
    }
    uint64_t magnitude;
    if (is_signed_integer(value->type)) {
        magnitude = static_cast<uint64_t>(value->number.sint);
    } else if (is_unsigned_integer(value->type)) {
        magnitude = value->number.uint;
    } else {
        return QZ_ERR_WRONG_STATE;
    }
    if (magnitude > static_cast<uint64_t>(std::numeric_limits<T>::max())) {
        return QZ_ERR_WRONG_STATE;
    }
    *out = static_cast<T>(magnitude);
    return QZ_OK;
}

bool is_container(const qz_value* v) { return v->type == QZ_VALUE_ARRAY || v->type == QZ_VALUE_TABLE; }

// True when target is value itself or lies anywhere inside it.
bool reaches(const qz_value* value, const qz_value* target) {
    std::vector<const qz_value*> pending{value};
    std::unordered_set<const qz_value*> seen;
    while (!pending.empty()) {
        const qz_value* v = pending.back();
        pending.pop_back();
        if (v == target) {
            return true;
        }
        if (!is_container(v) || !seen.insert(v).second) {
            continue;
        }
        for (const qz_value* item : v->items) {
            pending.push_back(item);
        }
        for (const auto& entry : v->entries) {
            pending.push_back(entry.second);
        }
    }
    return false;
}

// Inserting into container must not make it reach itself.
int check_insertable(const qz_value* container, const qz_value* value) {
    if (!is_container(value)) {
        return QZ_OK;
    }
    try {
        return reaches(value, container) ? QZ_ERR_WRONG_STATE : QZ_OK;
    } catch (const std::bad_alloc&) {
        return QZ_ERR_NO_MEMORY;
    }
}

using entry_list = std::vector<std::pair<std::string, qz_value*>>;

entry_list::const_iterator find_slot(const entry_list& entries, const std::string& key) {
    return std::lower_bound(entries.begin(), entries.end(), key,
                            [](const auto& entry, const std::string& k) { return entry.first < k; });
}

}   // namespace

qz_value* qz_value_create_null() { return make(QZ_VALUE_NULL); }

qz_value* qz_value_create_bool(bool v) {
    qz_value* value = make(QZ_VALUE_BOOL);
    if (value != nullptr) value->number.flag = v;
    return value;
}

#define QZ_VALUE_SIGNED_CREATE(name, ctype, type_code) \
    qz_value* name(ctype v) {                          \
        qz_value* value = make(type_code);             \
        if (value != nullptr) value->number.sint = v;  \
        return value;                                  \
    }
#define QZ_VALUE_UNSIGNED_CREATE(name, ctype, type_code) \
    qz_value* name(ctype v) {                            \
        qz_value* value = make(type_code);               \
        if (value != nullptr) value->number.uint = v;    \
        return value;                                    \
    }
QZ_VALUE_SIGNED_CREATE(qz_value_create_int8, int8_t, QZ_VALUE_INT8)
QZ_VALUE_SIGNED_CREATE(qz_value_create_int16, int16_t, QZ_VALUE_INT16)
QZ_VALUE_SIGNED_CREATE(qz_value_create_int32, int32_t, QZ_VALUE_INT32)
QZ_VALUE_SIGNED_CREATE(qz_value_create_int64, int64_t, QZ_VALUE_INT64)
QZ_VALUE_UNSIGNED_CREATE(qz_value_create_uint8, uint8_t, QZ_VALUE_UINT8)
QZ_VALUE_UNSIGNED_CREATE(qz_value_create_uint16, uint16_t, QZ_VALUE_UINT16)
QZ_VALUE_UNSIGNED_CREATE(qz_value_create_uint32, uint32_t, QZ_VALUE_UINT32)
QZ_VALUE_UNSIGNED_CREATE(qz_value_create_uint64, uint64_t, QZ_VALUE_UINT64)
#undef QZ_VALUE_SIGNED_CREATE
#undef QZ_VALUE_UNSIGNED_CREATE

qz_value* qz_value_create_float(float v) {
    qz_value* value = make(QZ_VALUE_FLOAT);
    if (value != nullptr) value->number.single = v;
    return value;
}

qz_value* qz_value_create_double(double v) {
    qz_value* value = make(QZ_VALUE_DOUBLE);
    if (value != nullptr) value->number.dbl = v;
    return value;
}

qz_value* qz_value_create_string(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    return qz_value_create_string_n(text, std::strlen(text));
}

qz_value* qz_value_create_string_n(const char* text, size_t length) {
    if (text == nullptr) {
        return nullptr;
    }
    qz_value* value = make(QZ_VALUE_STRING);
    if (value == nullptr) {
        return nullptr;
    }
    try {
        value->text.assign(text, strnlen(text, length));
    } catch (const std::bad_alloc&) {
        delete value;
        return nullptr;
    }
    return value;
}

qz_value* qz_value_create_raw(const void* bytes, uint32_t length) {
    if (bytes == nullptr && length > 0) {
        return nullptr;
    }
    qz_value* value = make(QZ_VALUE_RAW);
    if (value == nullptr) {
        return nullptr;
    }
    try {
        const uint8_t* first = static_cast<const uint8_t*>(bytes);
        value->bytes.assign(first, first + length);
    } catch (const std::bad_alloc&) {
        delete value;
        return nullptr;
    }
    return value;
}

qz_value* qz_value_create_array() { return make(QZ_VALUE_ARRAY); }
qz_value* qz_value_create_table() { return make(QZ_VALUE_TABLE); }

qz_value* qz_value_retain(qz_value* value) {
    if (value != nullptr) {
        value->references.fetch_add(1);
    }
    return value;
}

void qz_value_release(qz_value* value) {
    // Iterative, so that freeing a deeply nested value needs no deep stack.
    std::vector<qz_value*> dying;
    qz_value* next = value;
    while (true) {
        if (next != nullptr && next->references.fetch_sub(1) == 1) {
            for (qz_value* item : next->items) {
                dying.push_back(item);
            }
            for (auto& entry : next->entries) {
                dying.push_back(entry.second);
            }
            delete next;
        }
        if (dying.empty()) {
            return;
        }
        next = dying.back();
        dying.pop_back();
    }
}

qz_value_type qz_value_get_type(const qz_value* value) { return value == nullptr ? QZ_VALUE_NULL : value->type; }

int qz_value_get_bool(const qz_value* value, bool* out) {
    if (value == nullptr || out == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    if (value->type != QZ_VALUE_BOOL) return QZ_ERR_WRONG_STATE;
    *out = value->number.flag;
    return QZ_OK;
}

int qz_value_get_int8(const qz_value* value, int8_t* out) { return read_integer(value, out); }
int qz_value_get_int16(const qz_value* value, int16_t* out) { return read_integer(value, out); }
int qz_value_get_int32(const qz_value* value, int32_t* out) { return read_integer(value, out); }
int qz_value_get_int64(const qz_value* value, int64_t* out) { return read_integer(value, out); }
int qz_value_get_uint8(const qz_value* value, uint8_t* out) { return read_integer(value, out); }
int qz_value_get_uint16(const qz_value* value, uint16_t* out) { return read_integer(value, out); }
int qz_value_get_uint32(const qz_value* value, uint32_t* out) { return read_integer(value, out); }
int qz_value_get_uint64(const qz_value* value, uint64_t* out) { return read_integer(value, out); }

int qz_value_get_float(const qz_value* value, float* out) {
    if (value == nullptr || out == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    if (value->type == QZ_VALUE_FLOAT) {
        *out = value->number.single;
        return QZ_OK;
    }
    if (value->type != QZ_VALUE_DOUBLE) return QZ_ERR_WRONG_STATE;
    double d = value->number.dbl;
    if (d != d) {   // NaN stays NaN
        *out = static_cast<float>(d);
        return QZ_OK;
    }
    if (d > std::numeric_limits<float>::max() || d < std::numeric_limits<float>::lowest()) {
        if (d == std::numeric_limits<double>::infinity() || d == -std::numeric_limits<double>::infinity()) {
            *out = static_cast<float>(d);
            return QZ_OK;
        }
        return QZ_ERR_WRONG_STATE;
    }
    float f = static_cast<float>(d);
    if (static_cast<double>(f) != d) return QZ_ERR_WRONG_STATE;
    *out = f;
    return QZ_OK;
}

int qz_value_get_double(const qz_value* value, double* out) {
    if (value == nullptr || out == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    if (value->type == QZ_VALUE_DOUBLE) {
        *out = value->number.dbl;
    } else if (value->type == QZ_VALUE_FLOAT) {
        *out = value->number.single;
    } else {
        return QZ_ERR_WRONG_STATE;
    }
    return QZ_OK;
}

int qz_value_get_string(const qz_value* value, const char** text, size_t* length) {
    if (value == nullptr || text == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    if (value->type != QZ_VALUE_STRING) return QZ_ERR_WRONG_STATE;
    *text = value->text.c_str();
    if (length != nullptr) *length = value->text.size();
    return QZ_OK;
}

int qz_value_get_raw(const qz_value* value, const uint8_t** bytes, uint32_t* length) {
    if (value == nullptr || bytes == nullptr || length == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    if (value->type != QZ_VALUE_RAW) return QZ_ERR_WRONG_STATE;
    *bytes = value->bytes.empty() ? nullptr : value->bytes.data();
    *length = static_cast<uint32_t>(value->bytes.size());
    return QZ_OK;
}

size_t qz_value_array_size(const qz_value* array) {
    return array != nullptr && array->type == QZ_VALUE_ARRAY ? array->items.size() : 0;
}

int qz_value_array_append(qz_value* array, qz_value* item) {
    if (array == nullptr || item == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    if (array->type != QZ_VALUE_ARRAY) return QZ_ERR_WRONG_STATE;
    int rc = check_insertable(array, item);
    if (rc != QZ_OK) return rc;
    try {
        array->items.push_back(item);
    } catch (const std::bad_alloc&) {
        return QZ_ERR_NO_MEMORY;
    }
    qz_value_retain(item);
    return QZ_OK;
}

int qz_value_array_get(const qz_value* array, size_t index, qz_value** item) {
    if (array == nullptr || item == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    if (array->type != QZ_VALUE_ARRAY) return QZ_ERR_WRONG_STATE;
    if (index < 1 || index > array->items.size()) return QZ_ERR_KEY_NOT_FOUND;
    *item = array->items[index - 1];
    return QZ_OK;
}

size_t qz_value_table_size(const qz_value* table) {
    return table != nullptr && table->type == QZ_VALUE_TABLE ? table->entries.size() : 0;
}

int qz_value_table_set(qz_value* table, const char* key, qz_value* value) {
    if (table == nullptr || key == nullptr || key[0] == '\0' || value == nullptr) {
        return QZ_ERR_MISSING_ARGUMENT;
    }
    if (table->type != QZ_VALUE_TABLE) return QZ_ERR_WRONG_STATE;
    int rc = check_insertable(table, value);
    if (rc != QZ_OK) return rc;
    try {
        std::string k(key);
        auto slot = table->entries.begin() + (find_slot(table->entries, k) - table->entries.begin());
        if (slot != table->entries.end() && slot->first == k) {
            qz_value* old = slot->second;
            slot->second = qz_value_retain(value);
            qz_value_release(old);
        } else {
            table->entries.emplace(slot, std::move(k), value);
            qz_value_retain(value);
        }
    } catch (const std::bad_alloc&) {
        return QZ_ERR_NO_MEMORY;
    }
    return QZ_OK;
}

int qz_value_table_set_string(qz_value* table, const char* key, const char* text) {
    if (table == nullptr || key == nullptr || key[0] == '\0' || text == nullptr) {
        return QZ_ERR_MISSING_ARGUMENT;
    }
    if (table->type != QZ_VALUE_TABLE) return QZ_ERR_WRONG_STATE;
    qz_value* value = qz_value_create_string(text);
    if (value == nullptr) return QZ_ERR_NO_MEMORY;
    int rc = qz_value_table_set(table, key, value);
    qz_value_release(value);
    return rc;
}

int qz_value_table_get(const qz_value* table, const char* key, qz_value** value) {
    if (table == nullptr || key == nullptr || value == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    if (table->type != QZ_VALUE_TABLE) return QZ_ERR_WRONG_STATE;
    try {
        std::string k(key);
        auto slot = find_slot(table->entries, k);
        if (slot == table->entries.end() || slot->first != k) return QZ_ERR_KEY_NOT_FOUND;
        *value = slot->second;
    } catch (const std::bad_alloc&) {
        return QZ_ERR_NO_MEMORY;
    }
    return QZ_OK;
}

int qz_value_table_get_string(const qz_value* table, const char* key, const char** text) {
    if (text == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    qz_value* value = nullptr;
    int rc = qz_value_table_get(table, key, &value);
    if (rc != QZ_OK) return rc;
    return qz_value_get_string(value, text, nullptr);
}

int qz_value_table_remove(qz_value* table, const char* key) {
    if (table == nullptr || key == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    if (table->type != QZ_VALUE_TABLE) return QZ_ERR_WRONG_STATE;
    try {
        std::string k(key);
        auto found = find_slot(table->entries, k);
        if (found == table->entries.end() || found->first != k) return QZ_ERR_KEY_NOT_FOUND;
        qz_value* old = found->second;
        table->entries.erase(found);
        qz_value_release(old);
    } catch (const std::bad_alloc&) {
        return QZ_ERR_NO_MEMORY;
    }
    return QZ_OK;
}

int qz_value_table_entry(const qz_value* table, size_t index, const char** key, qz_value** value) {
    if (table == nullptr || key == nullptr || value == nullptr) return QZ_ERR_MISSING_ARGUMENT;
    if (table->type != QZ_VALUE_TABLE) return QZ_ERR_WRONG_STATE;
    if (index < 1 || index > table->entries.size()) return QZ_ERR_KEY_NOT_FOUND;
    *key = table->entries[index - 1].first.c_str();
    *value = table->entries[index - 1].second;
    return QZ_OK;
}
