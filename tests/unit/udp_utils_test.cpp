// Interface-list logic that needs no namespace: IPv6 text expansion, merging of addresses and
// interfaces, and subnet arithmetic on loopback.
#include "clients/udp/qz_udp_utils.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <cstring>
#include <string>

namespace {

std::string expand(const char* in) {
    char out[QZ_ADDRESS_TEXT_SIZE];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(expand_ipv6_text(out, in), 0);
    return out;
}

interface_address* make_address(const char* ip, int family) {
    interface_address* address = create_interface_address();
    std::strcpy(address->ip_address, ip);
    address->family = family;
    return address;
}

network_interface* make_interface(uint16_t index, const char* name) {
    network_interface* nic = create_network_interface();
    nic->index = index;
    std::strcpy(nic->name, name);
    return nic;
}

TEST(ExpandIpv6Text, SpellsOutTheGapInEightGroups) {
    EXPECT_EQ(expand("ffff:ffff:ffff:ffff::"), "ffff:ffff:ffff:ffff:0:0:0:0");
    EXPECT_EQ(expand("ffff:ff00::"), "ffff:ff00:0:0:0:0:0:0");
    EXPECT_EQ(expand("::"), "0:0:0:0:0:0:0:0");
    EXPECT_EQ(expand("2001:db8::1"), "2001:db8:0:0:0:0:0:1");
    EXPECT_EQ(expand("ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe"), "ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe");
    EXPECT_EQ(expand("1:2:3:4:5:6::"), "1:2:3:4:5:6:0:0");
    EXPECT_EQ(expand("1:2:3:4:5:6:7::"), "1:2:3:4:5:6:7:0");
    // A leading gap keeps its first group.
    EXPECT_EQ(expand("::1"), "0:0:0:0:0:0:0:1");
    EXPECT_EQ(expand("::ffff:0:0"), "0:0:0:0:0:ffff:0:0");
}

TEST(ExpandIpv6Text, DropsTheScopeOfLinkLocalTextOnly) {
    EXPECT_EQ(expand("fe80::1%12"), "fe80:0:0:0:0:0:0:1");
    EXPECT_EQ(expand("fec0::%eth0"), "fec0:0:0:0:0:0:0:0");
}

TEST(ExpandIpv6Text, BoundsAndMissingArguments) {
    char out[QZ_ADDRESS_TEXT_SIZE];
    EXPECT_EQ(expand_ipv6_text(nullptr, "::"), 1);
    EXPECT_EQ(expand_ipv6_text(out, nullptr), 1);
    std::string longest(300, 'a');
    EXPECT_EQ(expand_ipv6_text(out, longest.c_str()), 0);
    EXPECT_EQ(std::strlen(out), QZ_ADDRESS_TEXT_SIZE - 1u);
    std::string long_gap = std::string(120, 'f') + "::" + std::string(20, '1');
    EXPECT_EQ(expand_ipv6_text(out, long_gap.c_str()), 0);
    EXPECT_LT(std::strlen(out), static_cast<size_t>(QZ_ADDRESS_TEXT_SIZE));
}

TEST(InterfaceList, SameAddressTextIsKeptOnce) {
    network_interface* nic = make_interface(3, "eth0");
    EXPECT_EQ(add_interface_address(nic, make_address("10.0.0.1", 1)), 0);
    EXPECT_EQ(add_interface_address(nic, make_address("10.0.0.1", 1)), 0);
    EXPECT_EQ(add_interface_address(nic, make_address("2001:db8::1", 2)), 0);
    EXPECT_EQ(add_interface_address(nic, make_address("2001:DB8::1", 2)), 0) << "compared case-sensitively";
    EXPECT_EQ(nic->address_count, 3);
    EXPECT_EQ(nic->family_mask, 3u);
    EXPECT_STREQ(nic->first_address->ip_address, "10.0.0.1");
    EXPECT_STREQ(nic->last_address->ip_address, "2001:DB8::1");
    EXPECT_EQ(add_interface_address(nullptr, nullptr), 1);
    free_network_interface(nic);
}

TEST(InterfaceList, SameIndexMergesIntoTheFirstInterface) {
    network_interface_list list{};
    network_interface* first = make_interface(7, "eth0");
    add_interface_address(first, make_address("10.0.0.1", 1));
    network_interface* second = make_interface(9, "eth1");
    add_interface_address(second, make_address("10.0.1.1", 1));
    network_interface* again = make_interface(7, "eth0 again");
    add_interface_address(again, make_address("10.0.0.1", 1));
    add_interface_address(again, make_address("2001:db8::7", 2));

    ASSERT_EQ(add_network_interface(&list, first), 0);
    ASSERT_EQ(add_network_interface(&list, second), 0);
    EXPECT_EQ(list.family_mask, 1u);
    ASSERT_EQ(add_network_interface(&list, again), 0);

    EXPECT_EQ(list.count, 2u);
    EXPECT_EQ(list.first, first);
    EXPECT_EQ(list.last, second);
    EXPECT_EQ(first->address_count, 2);
    EXPECT_STREQ(first->last_address->ip_address, "2001:db8::7");
    EXPECT_EQ(first->family_mask, 3u);
    EXPECT_EQ(list.family_mask, 3u);
    EXPECT_EQ(add_network_interface(&list, nullptr), 1);

    EXPECT_EQ(free_network_interfaces(&list), 0);
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.family_mask, 0u);
    EXPECT_EQ(free_network_interfaces(nullptr), 1);
    EXPECT_EQ(get_network_interfaces(nullptr), 1);
}

// Whether an interface of this machine carries 127.0.0.1, asked of the system directly.
bool has_ipv4_loopback() {
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) return false;
    bool found = false;
    for (ifaddrs* a = all; a && !found; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        found = reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr == htonl(INADDR_LOOPBACK);
    }
    freeifaddrs(all);
    return found;
}

TEST(SubnetInfo, LoopbackAddressOfThisMachine) {
    if (!has_ipv4_loopback()) GTEST_SKIP() << "no 127.0.0.1 on this machine's loopback";
    char mask[QZ_ADDRESS_TEXT_SIZE], subnet[QZ_ADDRESS_TEXT_SIZE], broadcast[QZ_ADDRESS_TEXT_SIZE];
    ASSERT_EQ(get_ipv4_subnet_info("127.0.0.1", mask, subnet, broadcast), 0);
    EXPECT_STREQ(mask, "255.0.0.0");
    EXPECT_STREQ(subnet, "127.0.0.0");
    EXPECT_STREQ(broadcast, "127.255.255.255");
    EXPECT_EQ(get_ipv4_subnet_info("127.0.0.1 ", mask, subnet, broadcast), 11);
    EXPECT_EQ(get_ipv4_subnet_info("192.0.2.254", mask, subnet, broadcast), 11);
}

}   // namespace
