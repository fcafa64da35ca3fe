// Adapters from getifaddrs. It reports one entry per address (and one link entry per adapter)
// under the adapter's name, or an alias label "eth0:1" for extra IPv4 addresses; entries are
// grouped by the name before the colon, in the order the names first appear. The operational
// state of each link comes from a netlink link dump: getifaddrs has only the flags.
#include "os/network_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <vector>

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

// RFC 2863 operational state "down" (IF_OPER_DOWN of <linux/if.h>, which cannot be included
// beside <net/if.h>): administratively down, or the link's own carrier is lost. A link whose
// lower layer is down, or that is dormant, is in another state.
constexpr unsigned char operational_state_down = 2;

using operational_states = std::map<int, unsigned char>;

class descriptor {
public:
    explicit descriptor(int fd) : fd_(fd) {}
    ~descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

void read_link_message(const nlmsghdr* message, operational_states& states) {
    if (message->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) return;
    const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(message));
    int length = static_cast<int>(IFLA_PAYLOAD(message));
    for (const rtattr* a = IFLA_RTA(info); RTA_OK(a, length); a = RTA_NEXT(a, length)) {
        if (a->rta_type == IFLA_OPERSTATE && RTA_PAYLOAD(a) >= 1)
            states[info->ifi_index] = *static_cast<const unsigned char*>(RTA_DATA(a));
    }
}

bool ask_for_links(int fd, unsigned sequence) {
    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = sequence;
    request.info.ifi_family = AF_UNSPEC;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return sendto(fd, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) ==
           static_cast<ssize_t>(sizeof request);
}

// One datagram of the dump: 1 more to come, 0 done, -1 failed. Only the kernel's answers to
// this request count; anything another process sends to the socket is ignored.
int read_links_datagram(int fd, unsigned sequence, std::vector<char>& buffer, operational_states& states) {
    sockaddr_nl sender{};
    socklen_t sender_length = sizeof sender;
    ssize_t received =
        recvfrom(fd, buffer.data(), buffer.size(), MSG_TRUNC, reinterpret_cast<sockaddr*>(&sender), &sender_length);
    if (received < 0) return errno == EINTR ? 1 : -1;
    if (received == 0 || static_cast<size_t>(received) > buffer.size()) return -1;
    if (sender.nl_pid != 0) return 1;
    int length = static_cast<int>(received);
    for (const auto* m = reinterpret_cast<const nlmsghdr*>(buffer.data()); NLMSG_OK(m, length);
         m = NLMSG_NEXT(m, length)) {
        if (m->nlmsg_seq != sequence) continue;
        if (m->nlmsg_type == NLMSG_DONE) return 0;
        if (m->nlmsg_type == NLMSG_ERROR) return -1;
        if (m->nlmsg_type == RTM_NEWLINK) read_link_message(m, states);
    }
    return 1;
}

// The operational state of every link of the calling thread's network, by interface index.
bool read_operational_states(operational_states& states) {
    descriptor fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    const unsigned sequence = 1;
    if (fd.get() < 0 || !ask_for_links(fd.get(), sequence)) return false;
    std::vector<char> buffer(64 * 1024);
    int more;
    while ((more = read_links_datagram(fd.get(), sequence, buffer, states)) == 1) {}
    return more == 0;
}

os_adapter& adapter_for(std::vector<os_adapter>& adapters, const ifaddrs* entry) {
    std::string name = base_name(entry->ifa_name);
    for (auto& adapter : adapters)
        if (adapter.name == name) return adapter;
    os_adapter& adapter = adapters.emplace_back();
    adapter.name = name;
    adapter.ipv4_index = adapter.ipv6_index = if_nametoindex(name.c_str());
    adapter.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
    adapter.down = !(entry->ifa_flags & IFF_UP);
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
    adapter.down = !(entry->ifa_flags & IFF_UP);
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

void mark_operationally_down(std::vector<os_adapter>& adapters, const operational_states& states) {
    for (os_adapter& adapter : adapters) {
        auto state = states.find(static_cast<int>(adapter.ipv4_index));
        if (state != states.end() && state->second == operational_state_down) adapter.down = true;
    }
}

}   // namespace

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
            if (family == AF_PACKET)
                read_link(adapter, entry);
            else
                read_address(adapter, entry);
        }
        operational_states states;
        if (!read_operational_states(states)) {
            adapters.clear();
            return OS_ADAPTERS_FAILED;
        }
        mark_operationally_down(adapters, states);
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
