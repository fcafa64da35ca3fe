// Fuzz target for the relay reply readers: any datagram is read as a relay's answer (the compat
// text, or the "RelayServerPort" property of a msgbus answer) and must give the port that a plain
// string-splitting reading of the same text gives; the sender texts built from it stay bounded.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "clients/relay/qz_relay_reply.h"
#include "clients/udp/qz_udp_message.h"
#include "utils/qz_status.h"

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

// The leading decimal digits as a port, 0 when there is none: the reading both formats share.
unsigned reference_port(const std::string& text) {
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    std::string run = text.substr(0, digits);
    size_t first = run.find_first_not_of('0');
    if (first == std::string::npos) return 0;
    run = run.substr(first);
    if (run.size() > 5) return 0;
    unsigned long value = std::stoul(run);
    return value <= 65535 ? static_cast<unsigned>(value) : 0;
}

// Items between commas; key before the first '=', value up to the next '='.
unsigned reference_compat_port(const std::string& text) {
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t equals = item.find('=');
        if (equals != std::string::npos && item.compare(0, equals, "PORT") == 0 && equals == 4) {
            std::string value = item.substr(equals + 1);
            value = value.substr(0, value.find('='));
            size_t marker = value.find("RELA");
            if (marker != std::string::npos) {
                unsigned port = reference_port(value.substr(0, marker));
                if (port != 0) return port;
            }
        }
        if (comma == std::string::npos) return 0;
        start = comma + 1;
    }
}

void check_compat(const qz_udp_message* message) {
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    require(qz_udp_message_compat_bytes(message, &bytes, &length) == QZ_OK);
    const char* text = reinterpret_cast<const char*>(bytes);
    require(text[length] == '\0');
    require(qz_relay_compat_reply_port(text) == reference_compat_port(std::string(text)));
}

void check_msgbus(const qz_udp_message* message) {
    const qz_msgbus_message* msgbus = qz_udp_message_msgbus(message);
    const char* text = nullptr;
    unsigned expected = 0;
    if (qz_msgbus_message_get_string_property(msgbus, qz_relay_port_property, &text) == QZ_OK)
        expected = reference_port(std::string(text));
    require(qz_relay_msgbus_reply_port(msgbus) == expected);
}

// The input's text up to its first NUL, as a sender address of any length.
void check_address_texts(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    std::string address(text, std::find(text, text + size, '\0'));
    std::string server = qz_relay_server_text(address.c_str());
    bool bracketed = address.find(':') != std::string::npos && address[0] != '[';
    require(server == (bracketed ? "[" + address + "]" : address));
    std::string entry = qz_relay_discovered_entry(address.c_str());
    require(entry.size() <= qz_relay_entry_address_limit + 1 && entry.back() == ';');
    require(qz_relay_discovered_holds("x;" + entry, entry));
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_address_texts(data, size);
    qz_udp_message* message = nullptr;
    if (qz_udp_message_from_datagram(data, size, &message) != QZ_OK) return 0;
    if (qz_udp_message_get_kind(message) == QZ_UDP_MESSAGE_COMPAT)
        check_compat(message);
    else
        check_msgbus(message);
    qz_udp_message_release(message);
    return 0;
}
