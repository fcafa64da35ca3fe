// Adapters from GetAdaptersAddresses: one record per adapter with its unicast addresses; the
// netmask comes from each address's on-link prefix length.
#include "os/network_interfaces.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>

#include <cstring>
#include <memory>
#include <new>

#include "os/text.h"
#include "os/win32/winsock_win32.h"

namespace {
constexpr ULONG adapter_flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
constexpr int list_attempts = 4;

struct adapter_list {
    std::unique_ptr<unsigned char[]> storage;
    IP_ADAPTER_ADDRESSES* first = nullptr;
};

// The list grows between the size query and the read when adapters come and go: try again.
os_adapters_result query_adapters(adapter_list& list) {
    ULONG size = 16 * 1024;
    for (int attempt = 0; attempt < list_attempts; ++attempt) {
        list.storage.reset(new (std::nothrow) unsigned char[size]);
        if (!list.storage) return OS_ADAPTERS_NO_MEMORY;
        list.first = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(list.storage.get());
        ULONG rc = GetAdaptersAddresses(AF_UNSPEC, adapter_flags, nullptr, list.first, &size);
        if (rc == ERROR_SUCCESS) return OS_ADAPTERS_OK;
        if (rc == ERROR_NO_DATA) {
            list.first = nullptr;
            return OS_ADAPTERS_OK;
        }
        if (rc != ERROR_BUFFER_OVERFLOW) return OS_ADAPTERS_FAILED;
    }
    return OS_ADAPTERS_FAILED;
}

void fill_netmask(int prefix, size_t bytes, unsigned char* mask) {
    for (size_t i = 0; i < bytes; ++i) {
        int bits = prefix - static_cast<int>(i * 8);
        mask[i] = bits >= 8 ? 0xFF : bits <= 0 ? 0 : static_cast<unsigned char>(0xFF << (8 - bits));
    }
}

bool read_address(const IP_ADAPTER_UNICAST_ADDRESS* unicast, os_adapter_address& out) {
    const sockaddr* address = unicast->Address.lpSockaddr;
    if (!address) return false;
    size_t bytes = 0;
    if (address->sa_family == AF_INET) {
        out.family = OS_FAMILY_IPV4;
        std::memcpy(out.address, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, 4);
        bytes = 4;
    } else if (address->sa_family == AF_INET6) {
        out.family = OS_FAMILY_IPV6;
        std::memcpy(out.address, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, 16);
        bytes = 16;
    } else {
        return false;
    }
    int prefix = unicast->OnLinkPrefixLength;
    if (prefix <= static_cast<int>(bytes * 8)) {
        out.prefix_length = prefix;
        fill_netmask(prefix, bytes, out.netmask);
    }
    return true;
}

int kind_of(IFTYPE type) {
    if (type == IF_TYPE_ETHERNET_CSMACD) return OS_ADAPTER_ETHERNET;
    if (type == IF_TYPE_IEEE80211) return OS_ADAPTER_WIRELESS;
    return OS_ADAPTER_OTHER;
}

bool read_adapter(const IP_ADAPTER_ADDRESSES* entry, os_adapter& adapter) {
    if (!entry->FriendlyName || !os_utf8_from_wide(entry->FriendlyName, adapter.name))
        adapter.name = entry->AdapterName;
    if (entry->PhysicalAddressLength >= 6) std::memcpy(adapter.physical_address, entry->PhysicalAddress, 6);
    adapter.ipv4_index = entry->IfIndex;
    adapter.ipv6_index = entry->Ipv6IfIndex;
    adapter.kind = kind_of(entry->IfType);
    adapter.loopback = entry->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
    adapter.down = entry->OperStatus == IfOperStatusDown;
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = entry->FirstUnicastAddress; unicast; unicast = unicast->Next) {
        os_adapter_address address;
        if (read_address(unicast, address)) adapter.addresses.push_back(address);
    }
    return true;
}
}   // namespace

os_adapters_result os_list_adapters(std::vector<os_adapter>& adapters) {
    adapters.clear();
    adapter_list list;
    os_adapters_result result = query_adapters(list);
    if (result != OS_ADAPTERS_OK) return result;
    try {
        for (const IP_ADAPTER_ADDRESSES* entry = list.first; entry; entry = entry->Next) {
            os_adapter adapter;
            read_adapter(entry, adapter);
            adapters.push_back(std::move(adapter));
        }
    } catch (const std::bad_alloc&) {
        adapters.clear();
        return OS_ADAPTERS_NO_MEMORY;
    }
    return OS_ADAPTERS_OK;
}

int os_find_ipv4_netmask(const char* address_text, unsigned char netmask[4]) {
    if (!address_text || !winsock_ready()) return -1;
    std::vector<os_adapter> adapters;
    if (os_list_adapters(adapters) != OS_ADAPTERS_OK) return -1;
    for (const os_adapter& adapter : adapters) {
        for (const os_adapter_address& address : adapter.addresses) {
            if (address.family != OS_FAMILY_IPV4) continue;
            char text[INET_ADDRSTRLEN] = {};
            if (!inet_ntop(AF_INET, address.address, text, sizeof text) || std::strcmp(text, address_text) != 0)
                continue;
            std::memcpy(netmask, address.netmask, 4);
            return 1;
        }
    }
    return 0;
}
