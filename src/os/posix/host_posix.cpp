#include "os/host.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <netdb.h>
#include <openssl/rand.h>
#include <sys/socket.h>
#include <unistd.h>

#include "os/text.h"

bool os_host_name(std::string& out) {
    char buffer[260] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return false;
    out = buffer;
    return true;
}

void os_reverse_lookup_host(const std::string& host, bool retry_ipv6_as_ipv4, os_reverse_lookup* out) {
    *out = os_reverse_lookup{};
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    out->getaddrinfo_status = getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (out->getaddrinfo_status != 0 || !result) {
        out->last_error = errno;
        return;
    }
    out->address = result->ai_addr;
    out->address_length = static_cast<int>(result->ai_addrlen);
    out->next = result->ai_next;
    out->first_is_ipv6 = result->ai_family == AF_INET6;
    if (retry_ipv6_as_ipv4 && out->first_is_ipv6) result->ai_addr->sa_family = AF_INET;
    char name[1025] = {};
    out->getnameinfo_status =
        getnameinfo(result->ai_addr, result->ai_addrlen, name, sizeof name, nullptr, 0, NI_NAMEREQD);
    out->last_error = errno;
    if (out->getnameinfo_status == 0) out->name = name;
    freeaddrinfo(result);
}

bool os_fqdn_from_system(std::wstring& out) {
    std::string host;
    if (!os_host_name(host) || host.empty()) return false;
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) == 0 && result) {
        if (result->ai_canonname && *result->ai_canonname) host = result->ai_canonname;
        freeaddrinfo(result);
    }
    return os_to_wide(host, out);
}

bool os_computer_name(wchar_t* out, size_t capacity) {
    if (!out || capacity == 0) return false;
    out[0] = L'\0';
    std::string host;
    if (!os_host_name(host)) return false;
    std::string label = host.substr(0, host.find('.'));
    if (label.empty() || label.size() > 15 || label.size() >= capacity) return false;
    for (char& c : label) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return os_to_wide(label.c_str(), out, capacity);
}

bool os_generate_uuid(std::string& out) {
    unsigned char b[16];
    if (RAND_bytes(b, sizeof b) != 1) return false;
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);   // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);   // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                  b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    out = text;
    return true;
}
