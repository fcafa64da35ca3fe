#include "clients/relay/qz_relay_record.h"

#include <memory>
#include <new>

#include "utils/qz_status.h"
#include "utils/qz_value.h"

namespace {

constexpr char key_server[] = "server";
constexpr char key_user_name[] = "user_name";
constexpr char key_user_passwd[] = "user_passwd";
constexpr char key_server_port[] = "server_port";
constexpr char key_is_auth_rqued[] = "is_auth_rqued";
constexpr char key_type[] = "type";
constexpr char key_flag[] = "flag";
constexpr char key_nic_scope_id[] = "nic_scope_id";

struct value_releaser {
    void operator()(qz_value* value) const noexcept { qz_value_release(value); }
};
using value_ptr = std::unique_ptr<qz_value, value_releaser>;

// Puts a new value under key; the table keeps its own reference.
bool put(qz_value* table, const char* key, qz_value* made) {
    value_ptr value(made);
    return value && qz_value_table_set(table, key, value.get()) == QZ_OK;
}

bool put_text(qz_value* table, const char* key, const std::string& text) {
    return qz_value_table_set_string(table, key, text.c_str()) == QZ_OK;
}

// 0 when the key is absent or was read; 2 when its value is of another type.
template <class T, class Getter>
int take(const qz_value* table, const char* key, T* field, Getter getter) {
    qz_value* value = nullptr;
    if (qz_value_table_get(table, key, &value) != QZ_OK) return QZ_OK;
    T read{};
    if (getter(value, &read) != QZ_OK) return QZ_ERR_WRONG_STATE;
    *field = read;
    return QZ_OK;
}

int take_text(const qz_value* table, const char* key, std::string* field, bool* present) {
    qz_value* value = nullptr;
    if (qz_value_table_get(table, key, &value) != QZ_OK) return QZ_OK;
    const char* text = nullptr;
    if (qz_value_get_string(value, &text, nullptr) != QZ_OK) return QZ_ERR_WRONG_STATE;
    try {
        *field = text;
    } catch (const std::bad_alloc&) {
        return QZ_ERR_NO_MEMORY;
    }
    if (present) *present = true;
    return QZ_OK;
}

}   // namespace

int qz_relay_record_to_table(const qz_relay_record* record, qz_value** table) {
    if (!record || !table) return QZ_ERR_MISSING_ARGUMENT;
    value_ptr made(qz_value_create_table());
    qz_value* t = made.get();
    bool ok = t && put_text(t, key_server, record->server) &&
              (!record->has_user_name || put_text(t, key_user_name, record->user_name)) &&
              (!record->has_user_passwd || put_text(t, key_user_passwd, record->user_passwd)) &&
              put(t, key_server_port, qz_value_create_int32(record->server_port)) &&
              put(t, key_is_auth_rqued, qz_value_create_bool(record->is_auth_rqued)) &&
              put(t, key_type, qz_value_create_int32(record->type)) &&
              put(t, key_flag, qz_value_create_int32(record->flag)) &&
              put(t, key_nic_scope_id, qz_value_create_uint32(record->nic_scope_id));
    if (!ok) return QZ_ERR_NO_MEMORY;
    *table = made.release();
    return QZ_OK;
}

int qz_relay_record_from_table(const qz_value* table, qz_relay_record* record) {
    if (!table || !record) return QZ_ERR_MISSING_ARGUMENT;
    if (qz_value_get_type(table) != QZ_VALUE_TABLE) return QZ_ERR_WRONG_STATE;
    int rc = take_text(table, key_server, &record->server, nullptr);
    if (rc == QZ_OK) rc = take_text(table, key_user_name, &record->user_name, &record->has_user_name);
    if (rc == QZ_OK) rc = take_text(table, key_user_passwd, &record->user_passwd, &record->has_user_passwd);
    if (rc == QZ_OK) rc = take(table, key_server_port, &record->server_port, qz_value_get_int32);
    if (rc == QZ_OK) rc = take(table, key_is_auth_rqued, &record->is_auth_rqued, qz_value_get_bool);
    if (rc == QZ_OK) rc = take(table, key_type, &record->type, qz_value_get_int32);
    if (rc == QZ_OK) rc = take(table, key_flag, &record->flag, qz_value_get_int32);
    if (rc == QZ_OK) rc = take(table, key_nic_scope_id, &record->nic_scope_id, qz_value_get_uint32);
    return rc;
}
