// The interface list as the system reports it, read inside a namespace whose adapters the test
// made: a veth with IPv4 /24, an alias address and a global IPv6 /64 (plus its link-local), a
// second veth with a /20, a /128 and a global address that has "fe80" in a later group (its
// peer has only a link-local address), a veth without carrier because its peer is down, a tap
// device that is up but has lost its own carrier (no program holds it), and a veth that is down.
#include "clients/udp/qz_udp_utils.h"
#include "fixtures/netns.h"
#include "fixtures/netns_suite.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <string>
#include <vector>

namespace {

struct listed_address {
    std::string ip, mask, subnet, broadcast;
    uint32_t scope;
    int family;
};

struct listed_interface {
    std::string name;
    uint16_t index;
    uint32_t family_mask;
    std::vector<listed_address> addresses;
};

std::vector<listed_interface> snapshot(const network_interface_list& list) {
    std::vector<listed_interface> out;
    for (const network_interface* nic = list.first; nic; nic = nic->next) {
        listed_interface copy{nic->name, nic->index, nic->family_mask, {}};
        for (const interface_address* a = nic->first_address; a; a = a->next)
            copy.addresses.push_back(
                {a->ip_address, a->subnet_mask, a->subnet_address, a->broadcast_address, a->scope_id, a->family});
        EXPECT_EQ(nic->address_count, static_cast<int32_t>(copy.addresses.size()));
        out.push_back(copy);
    }
    return out;
}

const listed_interface* find(const std::vector<listed_interface>& nics, const std::string& name) {
    for (const auto& nic : nics)
        if (nic.name == name) return &nic;
    return nullptr;
}

class NetworkInterfacesTest : public netns_suite<NetworkInterfacesTest> {
protected:
    static void SetUpTestSuite() {
        if (!start_network({1, 1, true, true})) return;
        const std::string& ns = member(0).name;
        std::vector<std::vector<std::string>> setup = {
            {"ip", "addr", "add", "10.77.0.50/24", "dev", "veth0", "label", "veth0:1"},
            {"ip", "link", "add", "ex0", "type", "veth", "peer", "name", "ex1"},
            {"ip", "addr", "add", "172.16.3.4/20", "dev", "ex0"},
            {"ip", "addr", "add", "2001:db8:9::9/128", "dev", "ex0", "nodad"},
            {"ip", "addr", "add", "2001:db8:5:fe80::1/64", "dev", "ex0", "nodad"},
            {"ip", "link", "set", "ex0", "up"},
            {"ip", "link", "set", "ex1", "up"},
            // Up without carrier because its peer stays down: lower layer down, still usable.
            {"ip", "link", "add", "dn0", "type", "veth", "peer", "name", "dn1"},
            {"ip", "addr", "add", "192.168.7.7/24", "dev", "dn0"},
            {"ip", "link", "set", "dn0", "up"},
            // Up with its own carrier lost, like an unplugged cable: operational status down.
            {"ip", "tuntap", "add", "tp0", "mode", "tap"},
            {"ip", "addr", "add", "192.168.8.8/24", "dev", "tp0"},
            {"ip", "link", "set", "tp0", "up"},
            // Administratively down.
            {"ip", "link", "add", "off0", "type", "veth", "peer", "name", "off1"},
            {"ip", "addr", "add", "192.168.9.9/24", "dev", "off0"},
        };
        for (const auto& command : setup) {
            if (netns_run(ns, command) != 0) {
                fail_suite("cannot configure the namespace: " + command[1] + " " + command[2] + " " + command[3]);
                return;
            }
        }
    }
};

TEST_F(NetworkInterfacesTest, ListsUsableAdaptersWithMasksAndScopes) {
    const netns_member& member = network().members()[0];
    netns_scope inside(member.name);
    ASSERT_TRUE(inside.entered());
    unsigned veth_index = if_nametoindex("veth0");
    unsigned extra_index = if_nametoindex("ex0");
    ASSERT_NE(veth_index, 0u);

    network_interface_list list{};
    ASSERT_EQ(get_network_interfaces(&list), 0);
    std::vector<listed_interface> nics = snapshot(list);
    EXPECT_EQ(list.count, nics.size());
    EXPECT_EQ(list.family_mask, 3u);
    free_network_interfaces(&list);

    // Loopback, the adapters whose operational status is down and the one with only a
    // link-local address are left out; the alias label joins its adapter.
    ASSERT_EQ(nics.size(), 3u);
    EXPECT_EQ(find(nics, "tp0"), nullptr) << "own carrier lost";
    EXPECT_EQ(find(nics, "off0"), nullptr) << "administratively down";
    const listed_interface* lower_down = find(nics, "dn0");
    ASSERT_NE(lower_down, nullptr) << "up, without carrier only because its peer is down";
    ASSERT_EQ(lower_down->addresses.size(), 1u);
    EXPECT_EQ(lower_down->addresses[0].ip, "192.168.7.7");
    EXPECT_EQ(lower_down->addresses[0].broadcast, "192.168.7.255");
    const listed_interface* veth = find(nics, "veth0");
    ASSERT_NE(veth, nullptr);
    EXPECT_EQ(veth->index, veth_index);
    EXPECT_EQ(veth->family_mask, 3u);
    ASSERT_EQ(veth->addresses.size(), 3u);   // no fe80:: link-local
    const listed_address& v4 = veth->addresses[0];
    EXPECT_EQ(v4.ip, member.ipv4);
    EXPECT_EQ(v4.mask, "255.255.255.0");
    EXPECT_EQ(v4.subnet, "10.77.0.0");
    EXPECT_EQ(v4.broadcast, "10.77.0.255");
    EXPECT_EQ(v4.scope, 0u);
    EXPECT_EQ(v4.family, 1);
    EXPECT_EQ(veth->addresses[1].ip, "10.77.0.50");
    const listed_address& v6 = veth->addresses[2];
    EXPECT_EQ(v6.ip, member.ipv6);
    EXPECT_EQ(v6.mask, "ffff:ffff:ffff:ffff:0:0:0:0");
    EXPECT_EQ(v6.subnet, "N/A");
    EXPECT_EQ(v6.broadcast, "N/A");
    EXPECT_EQ(v6.scope, veth_index);
    EXPECT_EQ(v6.family, 2);

    const listed_interface* extra = find(nics, "ex0");
    ASSERT_NE(extra, nullptr);
    ASSERT_EQ(extra->addresses.size(), 2u) << "2001:db8:5:fe80::1 holds \"fe80\" and is dropped";
    EXPECT_EQ(extra->addresses[0].ip, "172.16.3.4");
    EXPECT_EQ(extra->addresses[0].mask, "255.255.240.0");
    EXPECT_EQ(extra->addresses[0].subnet, "172.16.0.0");
    EXPECT_EQ(extra->addresses[0].broadcast, "172.16.15.255");
    EXPECT_EQ(extra->addresses[1].ip, "2001:db8:9::9");
    EXPECT_EQ(extra->addresses[1].mask, "N/A") << "a /128 has no prefix mask";
    EXPECT_EQ(extra->addresses[1].scope, extra_index);
}

TEST_F(NetworkInterfacesTest, SubnetInfoLooksTheAddressUp) {
    netns_scope inside(member(0).name);
    ASSERT_TRUE(inside.entered());
    char mask[QZ_ADDRESS_TEXT_SIZE], subnet[QZ_ADDRESS_TEXT_SIZE], broadcast[QZ_ADDRESS_TEXT_SIZE];
    ASSERT_EQ(get_ipv4_subnet_info("172.16.3.4", mask, subnet, broadcast), 0);
    EXPECT_STREQ(mask, "255.255.240.0");
    EXPECT_STREQ(subnet, "172.16.0.0");
    EXPECT_STREQ(broadcast, "172.16.15.255");
    EXPECT_EQ(get_ipv4_subnet_info("10.77.0.99", mask, subnet, broadcast), 11);
    EXPECT_EQ(get_ipv4_subnet_info("010.77.0.1", mask, subnet, broadcast), 11) << "exact text only";
}

TEST_F(NetworkInterfacesTest, OnlyLoopbackGivesAnEmptyList) {
    netns_scope inside(network().isolated()[0].name);
    ASSERT_TRUE(inside.entered());
    network_interface_list list{};
    ASSERT_EQ(get_network_interfaces(&list), 0);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.family_mask, 0u);
}

}   // namespace
