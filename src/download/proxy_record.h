// The road one download call takes: filled by the caller that chooses the road (the install
// sequence, the relay and proxy mechanisms) and passed down unchanged to the transfer layer.
// The caller allocates the record zeroed (`proxy_record route{};`) and frees it after the call;
// it also owns the scope list.
#pragma once

#include <cstdint>
#include <cstring>

enum route_kind : int32_t {
    ROUTE_PEERS = 0,           // top-level peer mechanism: configuration straight from the server
    ROUTE_AGENT_HANDLER = 1,   // agent handlers and repositories directly; the only road that resumes
    ROUTE_RELAY = 2,           // through a relay found on the local network
    ROUTE_PROXY = 3,           // through a proxy (command line or system settings)
};

constexpr size_t proxy_host_capacity = 260;         // bytes, terminator included
constexpr size_t proxy_credential_capacity = 260;   // wide characters, terminator included

struct proxy_record;

// Shows the proxy credentials prompt and fills the record's user and password; 1 on OK.
using proxy_prompt_fn = int (*)(proxy_record* record);

struct proxy_record {
    int32_t route_kind;                                  // a route_kind value
    int32_t port;                                        // proxy or relay port; used only when 1..65535
    int32_t ipv6;                                        // 1 when the host is an IPv6 address
    int32_t scope_id;                                    // IPv6 scope (interface index) of a link-local host
    char host[proxy_host_capacity];                      // proxy or relay host; empty for routes 0 and 1
    int32_t scope_list_present;                          // 1 when scope_list is set
    uint32_t scope_count;                                // entries in scope_list
    const int32_t* scope_list;                           // scope ids to try in turn for link-local URLs; creator-owned
    wchar_t proxy_user[proxy_credential_capacity];       // from option -u, set by transfer_via_route
    wchar_t proxy_password[proxy_credential_capacity];   // from option -w, set by transfer_via_route
    proxy_prompt_fn prompt_credentials;                  // optional; null when nobody can be asked
    int32_t credentials_entered;                         // 1: the fields came from the prompt and replace -u and -w
};

// Copies a host and port into the record. 0 (record unchanged) when the host does not fit.
inline int set_proxy_host(proxy_record* record, const char* host, int32_t port) {
    if (!record || !host) return 0;
    size_t length = std::strlen(host);
    if (length >= proxy_host_capacity) return 0;
    std::memcpy(record->host, host, length + 1);
    record->port = port;
    return 1;
}

// Empties both credential fields, overwriting what they held.
inline void clear_proxy_credentials(proxy_record* record) {
    if (!record) return;
    record->credentials_entered = 0;
    volatile wchar_t* user = record->proxy_user;
    volatile wchar_t* password = record->proxy_password;
    for (size_t i = 0; i < proxy_credential_capacity; ++i) user[i] = password[i] = L'\0';
}
