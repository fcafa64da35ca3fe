#include <gtest/gtest.h>

#include <cwctype>
#include <regex>

#include "bootstrap/identity.h"
#include "os/registry.h"
#include "test_support.h"

namespace {
class identity_test : public ::testing::Test {
protected:
    scratch_folder root_;
    scoped_env env_{"QSW_REGISTRY_ROOT", root_.path()};

    void store(const std::string& value, os_registry_type type, const std::string& data) {
        ASSERT_TRUE(os_registry_write(agent_registry_key, value, type, data));
    }
};

TEST_F(identity_test, a_new_guid_is_36_lower_case_characters_and_unique) {
    wchar_t a[260], b[260];
    ASSERT_EQ(generate_agent_guid(a), 1);
    ASSERT_EQ(generate_agent_guid(b), 1);
    std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    EXPECT_TRUE(std::regex_match(narrow_ascii(a), form)) << narrow_ascii(a);
    EXPECT_NE(narrow_ascii(a), narrow_ascii(b));
}

TEST_F(identity_test, no_installed_agent_means_no_guid_and_no_tenant) {
    wchar_t guid[260] = L"unchanged";
    size_t capacity = 260;
    EXPECT_EQ(read_agent_guid(guid, &capacity), 0);
    EXPECT_STREQ(guid, L"unchanged");
    char tenant[128] = "header";
    capacity = 128;
    EXPECT_EQ(read_tenant_id(tenant, &capacity), 0);
    EXPECT_STREQ(tenant, "header");
}

TEST_F(identity_test, registry_guid_in_braces_is_stripped_and_other_forms_are_kept) {
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

TEST_F(identity_test, keys_and_value_names_match_whatever_their_case) {
    ASSERT_TRUE(os_registry_write("SOFTWARE/norvasso/LUMACORE/agent", "agentguid", OS_REG_SZ, "abc"));
    wchar_t guid[260];
    size_t capacity = 260;
    ASSERT_EQ(read_agent_guid(guid, &capacity), 1);
    EXPECT_STREQ(guid, L"abc");
}

TEST_F(identity_test, a_guid_of_another_type_is_an_upgrade_that_keeps_the_new_guid) {
    store("AgentGUID", OS_REG_MULTI_SZ, std::string("{A}\0{B}\0", 8));
    wchar_t guid[260] = L"new-guid";
    size_t capacity = 260;
    EXPECT_EQ(read_agent_guid(guid, &capacity), 1);
    EXPECT_STREQ(guid, L"new-guid");
}

TEST_F(identity_test, a_guid_that_does_not_fit_reports_its_size_only) {
    store("AgentGUID", OS_REG_SZ, "0123456789");
    wchar_t guid[8] = L"keep";
    size_t capacity = 8;
    EXPECT_EQ(read_agent_guid(guid, &capacity), 1);
    EXPECT_EQ(capacity, 11u);
    EXPECT_STREQ(guid, L"keep");
}

TEST_F(identity_test, tenant_fits_up_to_127_bytes) {
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

TEST_F(identity_test, fqdn_is_never_empty) {
    wchar_t name[260];
    ASSERT_EQ(get_fqdn(name), 1);
    EXPECT_NE(name[0], L'\0');
}
}  // namespace
