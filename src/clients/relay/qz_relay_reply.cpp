#include "clients/relay/qz_relay_reply.h"

#include <algorithm>
#include <cstring>

#include "clients/udp/qz_udp_message.h"
#include "utils/qz_status.h"

namespace {

constexpr char compat_port_key[] = "PORT";
constexpr char compat_marker[] = "RELA";

// Leading digits of [begin, end) as a port; stops counting once the value can no longer be one,
// so no run of digits can wrap around into range.
uint16_t port_from_range(const char* begin, const char* end) {
    unsigned long value = 0;
    for (const char* p = begin; p < end && *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<unsigned long>(*p - '0');
        if (value > 65535) return 0;
    }
    return static_cast<uint16_t>(value);
}

// One comma-separated item [begin, end): its port when it qualifies, else 0.
uint16_t compat_item_port(const char* begin, const char* end) {
    const char* equals = std::find(begin, end, '=');
    if (equals == end) return 0;
    size_t key_length = static_cast<size_t>(equals - begin);
    if (key_length != sizeof compat_port_key - 1 || std::memcmp(begin, compat_port_key, key_length) != 0) return 0;
    const char* value = equals + 1;
    const char* value_end = std::find(value, end, '=');
    const char* marker = std::search(value, value_end, compat_marker, compat_marker + sizeof compat_marker - 1);
    if (marker == value_end) return 0;
    return port_from_range(value, marker);
}

}   // namespace

uint16_t qz_relay_port_from_text(const char* text) {
    return text ? port_from_range(text, text + std::strlen(text)) : 0;
}

uint16_t qz_relay_msgbus_reply_port(const qz_msgbus_message* message) {
    const char* text = nullptr;
    if (!message || qz_msgbus_message_get_string_property(message, qz_relay_port_property, &text) != QZ_OK) return 0;
    return qz_relay_port_from_text(text);
}

uint16_t qz_relay_compat_reply_port(const char* text) {
    if (!text) return 0;
    const char* end = text + std::strlen(text);
    for (const char* item = text; item <= end;) {
        const char* comma = std::find(item, end, ',');
        uint16_t port = compat_item_port(item, comma);
        if (port != 0) return port;
        item = comma + 1;
    }
    return 0;
}

std::string qz_relay_server_text(const char* address) {
    if (!address) return {};
    if (std::strchr(address, ':') && address[0] != '[') return std::string("[") + address + "]";
    return address;
}

std::string qz_relay_discovered_entry(const char* address) {
    std::string entry(address ? address : "");
    if (entry.size() > qz_relay_entry_address_limit) entry.resize(qz_relay_entry_address_limit);
    return entry + ";";
}

bool qz_relay_discovered_holds(const std::string& discovered, const std::string& entry) {
    for (size_t at = discovered.find(entry); at != std::string::npos; at = discovered.find(entry, at + 1)) {
        if (at == 0 || discovered[at - 1] == ';') return true;
    }
    return false;
}

int qz_relay_discovered_count(const std::string& discovered) {
    return static_cast<int>(std::count(discovered.begin(), discovered.end(), ';'));
}
