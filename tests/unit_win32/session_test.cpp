// Facts about the process and its host as the Windows services give them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "os/host.h"
#include "os/network_interfaces.h"
#include "os/paths.h"
#include "os/session.h"

TEST(Win32Session, ArgumentsComeFromTheWideCommandLine) {
    std::vector<os_argument> arguments;
    ASSERT_TRUE(os_get_arguments(arguments));
    ASSERT_FALSE(arguments.empty());
    EXPECT_NE(arguments[0].text.find(L"session_test"), std::wstring::npos);
    for (const auto& argument : arguments) EXPECT_TRUE(argument.converted);
}

TEST(Win32Session, PathsAndNamesOfThisHost) {
    std::wstring temp;
    ASSERT_TRUE(os_temp_folder(temp));
    EXPECT_EQ(temp.back(), L'\\');
    std::string why;
    EXPECT_TRUE(os_check_temp_folder(why)) << why;
    std::wstring self;
    ASSERT_TRUE(os_executable_path(self));
    EXPECT_NE(self.find(L".exe"), std::wstring::npos);
    wchar_t name[16];
    ASSERT_TRUE(os_computer_name(name, 16));
    for (const wchar_t* c = name; *c; ++c) EXPECT_FALSE(iswlower(*c)) << "upper-cased";
    EXPECT_FALSE(os_computer_name(name, 1)) << "does not fit";
    std::string uuid, other;
    ASSERT_TRUE(os_generate_uuid(uuid));
    ASSERT_TRUE(os_generate_uuid(other));
    EXPECT_EQ(uuid.size(), 36u);
    EXPECT_NE(uuid, other);
    for (char c : uuid) EXPECT_FALSE(std::isupper(static_cast<unsigned char>(c)));
    EXPECT_NE(os_user_lcid(), 0u);
    os_version version;
    ASSERT_TRUE(os_get_version(&version));
    EXPECT_GE(version.major, 6u);
}

TEST(Win32Network, LoopbackIsListedWithItsNetmask) {
    std::vector<os_adapter> adapters;
    ASSERT_EQ(os_list_adapters(adapters), OS_ADAPTERS_OK);
    bool found = false;
    for (const os_adapter& adapter : adapters) {
        for (const os_adapter_address& address : adapter.addresses) {
            const unsigned char loopback[4] = {127, 0, 0, 1};
            if (address.family != OS_FAMILY_IPV4 || std::memcmp(address.address, loopback, 4) != 0) continue;
            found = true;
            EXPECT_TRUE(adapter.loopback);
            EXPECT_EQ(address.prefix_length, 8);
            EXPECT_EQ(address.netmask[0], 255);
            EXPECT_EQ(address.netmask[1], 0);
        }
    }
    EXPECT_TRUE(found);
    unsigned char netmask[4] = {};
    EXPECT_EQ(os_find_ipv4_netmask("127.0.0.1", netmask), 1);
    EXPECT_EQ(netmask[0], 255);
    EXPECT_EQ(os_find_ipv4_netmask("192.0.2.77", netmask), 0);
}
