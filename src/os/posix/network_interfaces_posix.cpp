// Adapters from getifaddrs. It reports one entry per address (and one link entry per adapter)
// under the adapter's name, or an alias label "eth0:1" for extra IPv4 addresses; entries are
// grouped by the name before the colon, in the order the names first appear.
#include "os/network_interfaces.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <memory>
#include <net/if.h>
#include <net/if_arp.h>
#include <netpacket/packet.h>
#include <netinet/in.h>
#include <new>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct ifaddrs_deleter {
    void operator()(ifaddrs* list) const noexcept { freeifaddrs(list); }
};
using ifaddrs_ptr = std::unique_ptr<ifaddrs, ifaddrs_deleter>;

ifaddrs_ptr query_ifaddrs() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return nullptr;
    return ifaddrs_ptr(list);
}

std::string base_name(const char* label) {
    const char* colon = std::strchr(label, ':');
    return colon ? std::string(label, colon - label) : std::string(label);
}

int count_prefix_bits(const unsigned char* mask, size_t bytes) {
    int bits = 0;
    for (size_t i = 0; i < bytes; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            if (!(mask[i] & (1u << bit))) return bits;
            ++bits;
        }
    }
    return bits;
}

// Wireless extensions answer SIOCGIWNAME only for 802.11 devices (cfg80211 keeps it working).
// Its number comes from <linux/wireless.h>, which cannot be included beside <net/if.h>; the
// request starts with the interface name like ifreq and the answer fits ifreq's union.
constexpr unsigned long wireless_get_name = 0x8B01;

bool is_wireless(const std::string& name) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq request{};
    std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
    bool wireless = ioctl(fd, wireless_get_name, &request) == 0;
    close(fd);
    return wireless;
}

os_adapter& adapter_for(std::vector<os_adapter>& adapters, const ifaddrs* entry) {
    std::string name = base_name(entry->ifa_name);
    for (auto& adapter : adapters)
        if (adapter.name == name) return adapter;
    os_adapter& adapter = adapters.emplace_back();
    adapter.name = name;
    adapter.ipv4_index = adapter.ipv6_index = if_nametoindex(name.c_str());
    adapter.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
    adapter.down = !(entry->ifa_flags & IFF_UP) || !(entry->ifa_flags & IFF_RUNNING);
    return adapter;
}

void read_link(os_adapter& adapter, const ifaddrs* entry) {
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    size_t length = link->sll_halen < 6 ? link->sll_halen : 6;
    std::memcpy(adapter.physical_address, link->sll_addr, length);
    if (link->sll_hatype == ARPHRD_ETHER)
        adapter.kind = is_wireless(adapter.name) ? OS_ADAPTER_WIRELESS : OS_ADAPTER_ETHERNET;
    // The link entry carries the adapter's own flags; an alias label may have come first.
    adapter.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
    adapter.down = !(entry->ifa_flags & IFF_UP) || !(entry->ifa_flags & IFF_RUNNING);
}

void read_address(os_adapter& adapter, const ifaddrs* entry) {
    os_adapter_address address;
    if (entry->ifa_addr->sa_family == AF_INET) {
        address.family = OS_FAMILY_IPV4;
        std::memcpy(address.address, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, 4);
        if (entry->ifa_netmask) {
            std::memcpy(address.netmask, &reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr, 4);
            address.prefix_length = count_prefix_bits(address.netmask, 4);
        }
    } else {
        address.family = OS_FAMILY_IPV6;
        std::memcpy(address.address, &reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr, 16);
        if (entry->ifa_netmask) {
            std::memcpy(address.netmask, &reinterpret_cast<const sockaddr_in6*>(entry->ifa_netmask)->sin6_addr, 16);
            address.prefix_length = count_prefix_bits(address.netmask, 16);
        }
    }
    adapter.addresses.push_back(address);
}

}  // namespace

os_adapters_result os_list_adapters(std::vector<os_adapter>& adapters) {
    adapters.clear();
    ifaddrs_ptr list = query_ifaddrs();
    if (!list) return errno == ENOMEM ? OS_ADAPTERS_NO_MEMORY : OS_ADAPTERS_FAILED;
    try {
        for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
            if (!entry->ifa_name || !entry->ifa_addr) continue;
            int family = entry->ifa_addr->sa_family;
            if (family != AF_PACKET && family != AF_INET && family != AF_INET6) continue;
            os_adapter& adapter = adapter_for(adapters, entry);
            if (family == AF_PACKET) read_link(adapter, entry);
            else read_address(adapter, entry);
        }
    } catch (const std::bad_alloc&) {
        adapters.clear();
        return OS_ADAPTERS_NO_MEMORY;
    }
    return OS_ADAPTERS_OK;
}

int os_find_ipv4_netmask(const char* address_text, unsigned char netmask[4]) {
    if (!address_text || !netmask) return 0;
    ifaddrs_ptr list = query_ifaddrs();
    if (!list) return -1;
    for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN];
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (!inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) continue;
        if (std::strcmp(text, address_text) != 0) continue;
        std::memset(netmask, 0, 4);
        if (entry->ifa_netmask)
            std::memcpy(netmask, &reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr, 4);
        return 1;
    }
    return 0;
}
