// A relay as the discovery remembers it: one table of typed values per relay in the relay list,
// so that the list is an ordinary qz_value array that can be kept, retained and handed out.
#pragma once

#include <cstdint>
#include <string>

struct qz_value;

struct qz_relay_record {
    std::string server;           // address text; IPv6 in brackets
    bool has_user_name = false;   // absent texts are left out of the table
    std::string user_name;
    bool has_user_passwd = false;
    std::string user_passwd;
    int32_t server_port = 0;
    bool is_auth_rqued = false;
    int32_t type = 0;
    int32_t flag = 0;
    uint32_t nic_scope_id = 0;   // interface that heard the relay; 0 on IPv4
};

// A new table holding the record (one reference, for the caller). 0; 1 missing argument;
// 4 out of memory (*table untouched).
int qz_relay_record_to_table(const qz_relay_record* record, qz_value** table);

// Reads back every key that is present; keys that are absent leave the field as it was.
// 0; 1 missing argument; 2 not a table, or a present key holds a value of another type.
int qz_relay_record_from_table(const qz_value* table, qz_relay_record* record);
