// Names of this host and new unique identifiers.
#pragma once

#include <cstddef>
#include <string>

// The host name as the resolver knows it (gethostname).
bool os_host_name(std::string& out);

// Outcome of resolving the host name and asking for the name of its first address.
struct os_reverse_lookup {
    int getaddrinfo_status = 0;    // 0 when the host name resolved
    int getnameinfo_status = -1;   // 0 when the address has a name
    int last_error = 0;
    const void* address = nullptr; // first address, for diagnostics only
    int address_length = 0;
    const void* next = nullptr;
    bool first_is_ipv6 = false;
    std::string name;              // the address's name (a name is required, not a number)
};

// When `retry_ipv6_as_ipv4` is set and the first address is IPv6, its family is rewritten to
// IPv4 before the lookup (the embedded-system road).
void os_reverse_lookup_host(const std::string& host, bool retry_ipv6_as_ipv4, os_reverse_lookup* out);

// The fully qualified DNS name the system gives this host; on POSIX the canonical name of the
// host name, else the host name itself.
bool os_fqdn_from_system(std::wstring& out);

// The NetBIOS computer name: first label of the host name, upper-cased; fails when longer than
// 15 characters or when it does not fit `capacity`.
bool os_computer_name(wchar_t* out, size_t capacity);

// A random (version 4) UUID as 36 lower-case characters.
bool os_generate_uuid(std::string& out);
