// The machine's network adapters and their unicast addresses, as the system reports them.
// No filtering happens here: the peer network decides which adapters and addresses it uses.
#pragma once

#include <string>
#include <vector>

enum os_address_family { OS_FAMILY_IPV4 = 1, OS_FAMILY_IPV6 = 2 };

enum os_adapter_kind { OS_ADAPTER_ETHERNET = 1, OS_ADAPTER_WIRELESS = 2, OS_ADAPTER_OTHER = 3 };

struct os_adapter_address {
    int family = 0;                   // os_address_family
    unsigned char address[16] = {};   // network byte order; IPv4 uses the first 4 bytes
    unsigned char netmask[16] = {};   // same layout
    int prefix_length = -1;           // leading one bits of the netmask; -1 when none is known
};

struct os_adapter {
    std::string name;   // UTF-8
    unsigned char physical_address[6] = {};
    unsigned ipv4_index = 0;   // 0 when IPv4 is off on the adapter
    unsigned ipv6_index = 0;
    int kind = OS_ADAPTER_OTHER;   // os_adapter_kind
    bool loopback = false;
    // Operational status down: administratively down, or its own link lost (an unplugged
    // cable). A link whose lower layer is down (a veth whose peer is down) or that is dormant
    // is not down.
    bool down = false;
    std::vector<os_adapter_address> addresses;   // in the order the system reports them
};

enum os_adapters_result { OS_ADAPTERS_OK = 0, OS_ADAPTERS_FAILED = 1, OS_ADAPTERS_NO_MEMORY = 2 };

// Adapters of the calling thread's network, in the system's order. On failure the vector is
// left empty.
os_adapters_result os_list_adapters(std::vector<os_adapter>& adapters);

// Looks the dotted IPv4 text up among the system's IPv4 addresses (exact text match).
// Returns 1 and the address's netmask, 0 when no address has that text, -1 when the system
// could not be asked.
int os_find_ipv4_netmask(const char* address_text, unsigned char netmask[4]);
