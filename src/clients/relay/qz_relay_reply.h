// Readers of relay discovery replies and the bookkeeping of relay addresses. Pure functions of
// their arguments: the discovery calls them on the loop thread, the fuzz target on any.
//
// A relay answers a msgbus request with the property "RelayServerPort" (text) and a compat
// request with text such as "RELAY_RESPOND,PORT=8081RELA". Both ports are read the same way:
// the leading decimal digits, 1..65535; anything else (no digits, 0, beyond 65535, however many
// digits follow) is no port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct qz_msgbus_message;

constexpr char qz_relay_port_property[] = "RelayServerPort";
// A discovered-address entry holds at most this many characters of the address before its ";".
constexpr size_t qz_relay_entry_address_limit = 66;
// The discovered-address text remembers at most this many entries.
constexpr int qz_relay_discovered_entry_limit = 10;

// The port that the leading decimal digits of text spell; 0 for null text or no port.
uint16_t qz_relay_port_from_text(const char* text);

// The port of a msgbus reply: its "RelayServerPort" read as text. 0 when the property is
// missing, is not text, or names no port.
uint16_t qz_relay_msgbus_reply_port(const qz_msgbus_message* message);

// The port of a compat reply: of the items between commas, the first whose key (the text before
// its first "=") is exactly "PORT" and whose value (up to the next "=") holds "RELA" with a port
// before it. 0 when no item qualifies or text is null.
uint16_t qz_relay_compat_reply_port(const char* text);

// The relay's server text: an IPv6 address (it contains ':' and does not begin with '[') in
// brackets, anything else as it is. Empty for null.
std::string qz_relay_server_text(const char* address);

// The discovered-address entry of an address: at most qz_relay_entry_address_limit characters
// of it, then ";".
std::string qz_relay_discovered_entry(const char* address);
// True when `discovered` holds `entry` as a whole entry (not as the tail of a longer address).
bool qz_relay_discovered_holds(const std::string& discovered, const std::string& entry);
// The number of entries in `discovered`.
int qz_relay_discovered_count(const std::string& discovered);
