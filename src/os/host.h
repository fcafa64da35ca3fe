// Names of this host and new unique identifiers.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

// The host name as the resolver knows it (gethostname).
bool os_host_name(std::string& out);

// Outcome of resolving the host name and asking for the name of its first address.
struct os_reverse_lookup {
    int getaddrinfo_status = 0;    // 0 when the host name resolved
    int getnameinfo_status = -1;   // 0 when the address has a name
    int last_error = 0;
    // The first address and the one after it, for diagnostics. They point into `addresses`
    // and stay valid as long as this record or a copy of it lives.
    const void* address = nullptr;
    int address_length = 0;
    const void* next = nullptr;
    bool first_is_ipv6 = false;
    std::string name;   // the address's name (a name is required, not a number)
    std::shared_ptr<void> addresses;
};

void os_reverse_lookup_host(const std::string& host, os_reverse_lookup* out);

// The embedded-system retry on a record whose host name resolved: the first address's family
// field is rewritten to IPv4 in place and its name asked again with the same length; the
// status, error and name are replaced. Does nothing for a record without an address.
void os_reverse_lookup_as_ipv4(os_reverse_lookup* lookup);

enum os_fqdn_result {
    OS_FQDN_OK = 0,
    OS_FQDN_FAILED = 1,       // the system could not give the name; `error` tells why
    OS_FQDN_UNEXPECTED = 2,   // the system could not even say how long the name is
};

// The fully qualified DNS name the system gives this host; on POSIX the canonical name of the
// host name, else the host name itself. An empty name is a failure.
os_fqdn_result os_fqdn_from_system(std::wstring& out, int* error);

// The NetBIOS computer name: first label of the host name, upper-cased; fails when longer than
// 15 characters or when it does not fit `capacity`.
bool os_computer_name(wchar_t* out, size_t capacity);

// A random (version 4) UUID as 36 lower-case characters.
bool os_generate_uuid(std::string& out);
