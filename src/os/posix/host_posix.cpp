#include "os/host.h"

#include <netdb.h>
#include <openssl/rand.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "os/text.h"

bool os_host_name(std::string& out) {
    char buffer[260] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return false;
    out = buffer;
    return true;
}

namespace {
// getnameinfo with a name required; the record's status, error and name are replaced.
void name_first_address(os_reverse_lookup* lookup, sockaddr* address, socklen_t length) {
    char name[1025] = {};
    errno = 0;
    lookup->getnameinfo_status = getnameinfo(address, length, name, sizeof name, nullptr, 0, NI_NAMEREQD);
    lookup->last_error = errno;
    lookup->name = lookup->getnameinfo_status == 0 ? name : "";
}

addrinfo* first_of(const os_reverse_lookup* lookup) { return static_cast<addrinfo*>(lookup->addresses.get()); }
}   // namespace

void os_reverse_lookup_host(const std::string& host, os_reverse_lookup* out) {
    *out = os_reverse_lookup{};
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    errno = 0;
    out->getaddrinfo_status = getaddrinfo(host.c_str(), nullptr, &hints, &result);
    out->last_error = errno;
    if (out->getaddrinfo_status != 0 || !result) {
        if (out->getaddrinfo_status == 0) out->getaddrinfo_status = EAI_NONAME;
        return;
    }
    // The list outlives this call: the record's diagnostic pointers refer into it.
    out->addresses.reset(result, [](void* list) { freeaddrinfo(static_cast<addrinfo*>(list)); });
    out->address = result->ai_addr;
    out->address_length = static_cast<int>(result->ai_addrlen);
    out->next = result->ai_next;
    out->first_is_ipv6 = result->ai_family == AF_INET6;
    name_first_address(out, result->ai_addr, result->ai_addrlen);
}

void os_reverse_lookup_as_ipv4(os_reverse_lookup* lookup) {
    addrinfo* first = lookup ? first_of(lookup) : nullptr;
    if (!first || !first->ai_addr) return;
    first->ai_addr->sa_family = AF_INET;
    name_first_address(lookup, first->ai_addr, first->ai_addrlen);
}

os_fqdn_result os_fqdn_from_system(std::wstring& out, int* error) {
    int ignored;
    if (!error) error = &ignored;
    *error = 0;
    std::string host;
    errno = 0;
    if (!os_host_name(host) || host.empty()) {
        *error = errno;
        return OS_FQDN_FAILED;
    }
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) == 0 && result) {
        if (result->ai_canonname && *result->ai_canonname) host = result->ai_canonname;
        freeaddrinfo(result);
    }
    if (!os_to_wide(host, out)) {
        *error = EILSEQ;
        return OS_FQDN_FAILED;
    }
    return OS_FQDN_OK;
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
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                  b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    out = text;
    return true;
}
