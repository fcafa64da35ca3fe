// The system calls behind the host-name fallbacks, replaceable by tests so that every road
// (no address, no name, embedded or not, the IPv6 retry, the system's own name) can be taken on
// any machine. Not for product code.
#pragma once

#include <string>

#include "os/host.h"
#include "os/session.h"

struct host_identity_calls {
    bool (*host_name)(std::string& out);
    void (*reverse_lookup)(const std::string& host, os_reverse_lookup* out);
    void (*reverse_lookup_as_ipv4)(os_reverse_lookup* lookup);
    os_embedded_answer (*embedded_system)();
    os_fqdn_result (*fqdn_from_system)(std::wstring& out, int* error);
};

// Every call must be given. nullptr restores the system's calls. Set it while no lookup runs.
void set_host_identity_calls(const host_identity_calls* calls);
