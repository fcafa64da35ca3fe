#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <regex>
#include <vector>

#include "core/identity.h"
#include "core/identity_testing.h"
#include "log_capture.h"
#include "os/registry.h"
#include "test_support.h"

namespace {
class IdentityTest : public ::testing::Test {
protected:
    scratch_folder root_;
    scoped_env env_{"QSW_REGISTRY_ROOT", root_.path()};

    void store(const std::string& value, os_registry_type type, const std::string& data) {
        ASSERT_TRUE(os_registry_write(agent_registry_key, value, type, data));
    }
};

TEST_F(IdentityTest, ANewGuidIs36LowerCaseCharactersAndUnique) {
    wchar_t a[260], b[260];
    ASSERT_EQ(generate_agent_guid(a), 1);
    ASSERT_EQ(generate_agent_guid(b), 1);
    std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    EXPECT_TRUE(std::regex_match(narrow_ascii(a), form)) << narrow_ascii(a);
    EXPECT_NE(narrow_ascii(a), narrow_ascii(b));
}

TEST_F(IdentityTest, NoInstalledAgentMeansNoGuidAndNoTenant) {
    wchar_t guid[260] = L"unchanged";
    size_t capacity = 260;
    EXPECT_EQ(read_agent_guid(guid, &capacity), 0);
    EXPECT_STREQ(guid, L"unchanged");
    char tenant[128] = "header";
    capacity = 128;
    EXPECT_EQ(read_tenant_id(tenant, &capacity), 0);
    EXPECT_STREQ(tenant, "header");
}

TEST_F(IdentityTest, RegistryGuidInBracesIsStrippedAndOtherFormsAreKept) {
    store("AgentGUID", OS_REG_SZ, "{0AB1C2D3-E4F5-4A6B-8C7D-9E0F1A2B3C4D}");
    wchar_t guid[260];
    size_t capacity = 260;
    ASSERT_EQ(read_agent_guid(guid, &capacity), 1);
    EXPECT_EQ(capacity, 39u);
    strip_guid_braces(guid);
    EXPECT_STREQ(guid, L"0AB1C2D3-E4F5-4A6B-8C7D-9E0F1A2B3C4D");

    wchar_t plain[260] = L"0AB1C2D3-E4F5-4A6B-8C7D-9E0F1A2B3C4D";
    strip_guid_braces(plain);
    EXPECT_STREQ(plain, L"0AB1C2D3-E4F5-4A6B-8C7D-9E0F1A2B3C4D");
    wchar_t odd[260] = L"{short}";
    strip_guid_braces(odd);
    EXPECT_STREQ(odd, L"{short}");
}

TEST_F(IdentityTest, KeysAndValueNamesMatchWhateverTheirCase) {
    ASSERT_TRUE(os_registry_write("SOFTWARE/norvasso/LUMACORE/agent", "agentguid", OS_REG_SZ, "abc"));
    wchar_t guid[260];
    size_t capacity = 260;
    ASSERT_EQ(read_agent_guid(guid, &capacity), 1);
    EXPECT_STREQ(guid, L"abc");
}

TEST_F(IdentityTest, AGuidOfAnotherTypeIsAnUpgradeThatKeepsTheNewGuid) {
    store("AgentGUID", OS_REG_MULTI_SZ, std::string("{A}\0{B}\0", 8));
    wchar_t guid[260] = L"new-guid";
    size_t capacity = 260;
    EXPECT_EQ(read_agent_guid(guid, &capacity), 1);
    EXPECT_STREQ(guid, L"new-guid");
}

TEST_F(IdentityTest, AGuidThatDoesNotFitReportsItsSizeOnly) {
    store("AgentGUID", OS_REG_SZ, "0123456789");
    wchar_t guid[8] = L"keep";
    size_t capacity = 8;
    EXPECT_EQ(read_agent_guid(guid, &capacity), 1);
    EXPECT_EQ(capacity, 11u);
    EXPECT_STREQ(guid, L"keep");
}

TEST_F(IdentityTest, TenantFitsUpTo127Bytes) {
    store("TenantId", OS_REG_SZ, std::string(127, 't'));
    char tenant[128] = "header";
    size_t capacity = 128;
    ASSERT_EQ(read_tenant_id(tenant, &capacity), 1);
    EXPECT_EQ(std::string(tenant), std::string(127, 't'));

    store("TenantId", OS_REG_SZ, std::string(128, 'u'));
    char kept[128] = "header";
    capacity = 128;
    EXPECT_EQ(read_tenant_id(kept, &capacity), 1);
    EXPECT_EQ(capacity, 129u);
    EXPECT_STREQ(kept, "header") << "a tenant that does not fit leaves the header's value";
}

TEST_F(IdentityTest, FqdnIsNeverEmpty) {
    wchar_t name[260];
    ASSERT_EQ(get_fqdn(name), 1);
    EXPECT_NE(name[0], L'\0');
}

// What the fake system answers; each test sets what its road needs.
struct fake_system {
    bool has_host_name = true;
    int getaddrinfo_status = 0;
    int getnameinfo_status = EAI_NONAME;
    int last_error = 0;
    bool first_is_ipv6 = false;
    std::string name;
    int retry_status = EAI_NONAME;
    std::string retry_name;
    int retries = 0;
    os_embedded_answer embedded = OS_EMBEDDED_NO;
    os_fqdn_result system_result = OS_FQDN_OK;
    int system_error = 0;
    std::wstring system_name = L"sys.example.test";
};
fake_system fake;
unsigned char fake_address[28];

bool fake_host_name(std::string& out) {
    out = "host";
    return fake.has_host_name;
}
void fake_reverse_lookup(const std::string&, os_reverse_lookup* out) {
    *out = os_reverse_lookup{};
    out->getaddrinfo_status = fake.getaddrinfo_status;
    out->last_error = fake.last_error;
    if (fake.getaddrinfo_status != 0) return;
    out->address = fake_address;
    out->address_length = fake.first_is_ipv6 ? 28 : 16;
    out->first_is_ipv6 = fake.first_is_ipv6;
    out->getnameinfo_status = fake.getnameinfo_status;
    out->name = fake.name;
}
void fake_retry(os_reverse_lookup* lookup) {
    ++fake.retries;
    lookup->getnameinfo_status = fake.retry_status;
    lookup->name = fake.retry_name;
}
os_embedded_answer fake_embedded() { return fake.embedded; }
os_fqdn_result fake_system_name(std::wstring& out, int* error) {
    out = fake.system_name;
    *error = fake.system_error;
    return fake.system_result;
}

class FqdnFallbacks : public ::testing::Test {
protected:
    log_capture log_;
    host_identity_calls calls_{fake_host_name, fake_reverse_lookup, fake_retry, fake_embedded, fake_system_name};

    void SetUp() override {
        fake = fake_system{};
        set_host_identity_calls(&calls_);
    }
    void TearDown() override { set_host_identity_calls(nullptr); }

    std::string fqdn(int expected_result = 1) {
        wchar_t out[260] = L"untouched";
        EXPECT_EQ(get_fqdn(out), expected_result);
        return narrow_ascii(out);
    }
    // The lines of the lookup, from the first host-name line on, without the prefixes of the
    // diagnostic pointers.
    std::vector<std::string> lines() const {
        std::vector<std::string> found;
        std::regex pointers("0x[0-9a-f]+");
        for (const auto& m : log_.messages()) {
            if (m.find("getnameinfo") == 0 || m.find("get_is_embedded") == 0 || m.find("getaddrinfo") == 0 ||
                m.find("GetComputerNameEx") == 0 || m.find("DNS fully-qualified") == 0 || m.find("Unable") == 0)
                found.push_back(std::regex_replace(m, pointers, "P"));
        }
        return found;
    }
    static std::vector<std::string> system_name_lines() {
        return {"DNS fully-qualified: sys.example.test", "DNS fully-qualified - output: sys.example.test"};
    }
    static std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
};

TEST_F(FqdnFallbacks, ANameFromTheReverseLookupIsTakenAsItIs) {
    fake.getnameinfo_status = 0;
    fake.name = "host.example.test";
    EXPECT_EQ(fqdn(), "host.example.test");
    EXPECT_TRUE(lines().empty());
    fake.name = std::string(300, 'n');
    EXPECT_EQ(fqdn(), std::string(259, 'n')) << "cut to 259 characters";
}

TEST_F(FqdnFallbacks, ThisSystemAnswersNotEmbeddedAndSaysSoBeforeTheFailedLookup) {
    calls_.embedded_system = os_embedded_system;   // the real answer of this platform
    fake.last_error = 11;
    EXPECT_EQ(fqdn(), "sys.example.test");
    std::vector<std::string> expected = {
        "get_is_embedded, returning FALSE",
        "getnameinfo(res->ai_addr=P, res->ai_addrlen=16, res->ai_next=P) returned -2 last error=11"};
    EXPECT_EQ(lines(), joined(expected, system_name_lines()));
    EXPECT_EQ(fake.retries, 0);
}

TEST_F(FqdnFallbacks, ASystemThatCannotTellLogsOnlyTheFailedLookup) {
    fake.embedded = OS_EMBEDDED_UNKNOWN;
    fake.first_is_ipv6 = true;
    EXPECT_EQ(fqdn(), "sys.example.test");
    std::vector<std::string> expected = {
        "getnameinfo(res->ai_addr=P, res->ai_addrlen=28, res->ai_next=P) returned -2 last error=0"};
    EXPECT_EQ(lines(), joined(expected, system_name_lines()));
    EXPECT_EQ(fake.retries, 0);
}

TEST_F(FqdnFallbacks, AnEmbeddedSystemRetriesOnlyAnIpv6AddressAsIpv4) {
    fake.embedded = OS_EMBEDDED_YES;
    EXPECT_EQ(fqdn(), "sys.example.test");
    EXPECT_EQ(lines(), joined({"get_is_embedded, returning TRUE"}, system_name_lines()));
    EXPECT_EQ(fake.retries, 0) << "an IPv4 address is not asked again";

    fake.first_is_ipv6 = true;
    fake.retry_status = 0;
    fake.retry_name = "v4.example.test";
    EXPECT_EQ(fqdn(), "v4.example.test");
    EXPECT_EQ(fake.retries, 1);
}

TEST_F(FqdnFallbacks, AnIpv6RetryWithoutANameLogsHowItEndedAndFallsBack) {
    fake.embedded = OS_EMBEDDED_YES;
    fake.first_is_ipv6 = true;
    fake.retry_status = 0;   // answered, but with an empty name
    EXPECT_EQ(fqdn(), "sys.example.test");
    fake.retry_status = EAI_AGAIN;
    fake.retry_name = "ignored: the call failed";
    EXPECT_EQ(fqdn(), "sys.example.test");
    std::vector<std::string> expected = {
        "get_is_embedded, returning TRUE",
        "getnameinfo2(res->ai_addr=P, res->ai_addrlen=28, res->ai_next=P) returned 0 last error=0 addr is empty"};
    expected = joined(expected, system_name_lines());
    expected =
        joined(expected, {"get_is_embedded, returning TRUE",
                          "getnameinfo3(res->ai_addr=P, res->ai_addrlen=28, res->ai_next=P) returned -3 last error=0"});
    EXPECT_EQ(lines(), joined(expected, system_name_lines()));
}

TEST_F(FqdnFallbacks, NoAddressNoHostNameOrAnEmptyNameFallBackToTheSystem) {
    fake.getaddrinfo_status = EAI_NONAME;
    fake.last_error = 2;
    EXPECT_EQ(fqdn(), "sys.example.test");
    fake.getaddrinfo_status = 0;
    fake.getnameinfo_status = 0;   // a name that is empty
    EXPECT_EQ(fqdn(), "sys.example.test");
    fake.has_host_name = false;
    EXPECT_EQ(fqdn(), "sys.example.test");
    std::vector<std::string> expected = joined({"getaddrinfo returned -2 last error=2"}, system_name_lines());
    expected = joined(expected, {"getnameinfo1(res->ai_addr=P, res->ai_addrlen=16, res->ai_next=P) returned 0 "
                                 "last error=2 addr is empty"});
    expected = joined(expected, system_name_lines());
    expected = joined(expected, {"Unable to retreive hostname"});
    EXPECT_EQ(lines(), joined(expected, system_name_lines()));
}

TEST_F(FqdnFallbacks, TheSystemNameFailuresAreToldApart) {
    fake.getaddrinfo_status = EAI_NONAME;
    fake.system_result = OS_FQDN_FAILED;
    fake.system_error = 5;
    EXPECT_EQ(fqdn(0), "");
    fake.system_result = OS_FQDN_OK;
    fake.system_error = 0;
    fake.system_name.clear();
    EXPECT_EQ(fqdn(0), "");
    fake.system_result = OS_FQDN_UNEXPECTED;
    EXPECT_EQ(fqdn(0), "");
    std::vector<std::string> expected = {
        "getaddrinfo returned -2 last error=0", "GetComputerNameEx failed 5",
        "getaddrinfo returned -2 last error=0", "GetComputerNameEx failed 0",
        "getaddrinfo returned -2 last error=0", "GetComputerNameEx - unexpected error code"};
    EXPECT_EQ(lines(), expected);
}

// Fills freed heap blocks of the sizes an address list uses with a pattern, so that a record
// pointing into a freed list would read the pattern instead of its address.
void reuse_freed_blocks() {
    std::vector<void*> blocks;
    for (int round = 0; round < 64; ++round) {
        for (size_t size = 16; size <= 256; size += 8) {
            void* block = std::malloc(size);
            std::memset(block, 0xA5, size);
            blocks.push_back(block);
        }
    }
    for (void* block : blocks) std::free(block);
}

TEST(ReverseLookup, TheFirstAddressStaysReadableWhileTheRecordLives) {
    os_reverse_lookup copy;
    {
        os_reverse_lookup lookup;
        os_reverse_lookup_host("127.0.0.1", &lookup);
        ASSERT_EQ(lookup.getaddrinfo_status, 0);
        copy = lookup;
    }
    reuse_freed_blocks();
    ASSERT_NE(copy.address, nullptr);
    ASSERT_EQ(copy.address_length, static_cast<int>(sizeof(sockaddr_in)));
    EXPECT_FALSE(copy.first_is_ipv6);
    const auto* address = static_cast<const sockaddr_in*>(copy.address);
    EXPECT_EQ(address->sin_family, AF_INET);
    EXPECT_EQ(address->sin_addr.s_addr, htonl(INADDR_LOOPBACK));
}

// The retry asks the resolver about an address that is in no hosts file: it runs in a child
// process with a network namespace of its own, so the question cannot leave the machine.
TEST(ReverseLookup, TheIpv4RetryRewritesTheFamilyOfTheSameAddress) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNET) != 0) _exit(77);
        os_reverse_lookup lookup;
        os_reverse_lookup_host("::1", &lookup);
        if (lookup.getaddrinfo_status != 0 || !lookup.first_is_ipv6 || lookup.address_length != 28) _exit(1);
        const void* before = lookup.address;
        os_reverse_lookup_as_ipv4(&lookup);
        const auto* address = static_cast<const sockaddr*>(lookup.address);
        if (lookup.address != before || lookup.address_length != 28) _exit(2);
        if (address->sa_family != AF_INET) _exit(3);
        // The IPv6 bytes read as IPv4 give 0.0.0.0, which has no name.
        if (lookup.getnameinfo_status == 0 || !lookup.name.empty()) _exit(4);
        os_reverse_lookup empty;
        os_reverse_lookup_as_ipv4(&empty);   // nothing resolved: nothing to retry
        _exit(empty.getnameinfo_status == -1 ? 0 : 5);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot make a network namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "step that failed";
}
}   // namespace
