// The registry service against Wine's real registry: values round-trip in every type, text as
// UTF-8, and they live in the 32-bit view where the 32-bit agent records itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "os/registry.h"

namespace {
// A key of this test run alone.
std::string test_key(const char* name) {
    return "Software\\QuentaSwiftsetTests\\" + std::to_string(GetCurrentProcessId()) + "\\" + name;
}

bool exists_in_view(const std::string& key, REGSAM view) {
    std::wstring wide(key.begin(), key.end());
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}
}   // namespace

TEST(Win32Registry, ValuesRoundTripInEveryType) {
    std::string key = test_key("Types");
    const std::string text =
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE4\xB8\xAD";   // non-ASCII, beyond the code page
    const std::string multi("one\0two", 7);
    const std::string dword("\x2A\x00\x00\x00", 4);
    const std::string binary("\x00\x01\x0A\xFF", 4);
    ASSERT_TRUE(os_registry_write(key, "Text", OS_REG_SZ, text));
    ASSERT_TRUE(os_registry_write(key, "Multi", OS_REG_MULTI_SZ, multi));
    ASSERT_TRUE(os_registry_write(key, "Number", OS_REG_DWORD, dword));
    ASSERT_TRUE(os_registry_write(key, "Bytes", OS_REG_BINARY, binary));
    struct expected {
        const char* name;
        os_registry_type type;
        std::string data;
    };
    for (const expected& e : {expected{"text", OS_REG_SZ, text}, expected{"MULTI", OS_REG_MULTI_SZ, multi},
                              expected{"Number", OS_REG_DWORD, dword}, expected{"Bytes", OS_REG_BINARY, binary}}) {
        os_registry_type type = OS_REG_OTHER;
        std::string data;
        ASSERT_EQ(os_registry_read(key, e.name, &type, &data), OS_REG_FOUND) << e.name;
        EXPECT_EQ(type, e.type) << e.name;
        EXPECT_EQ(data, e.data) << e.name;
    }
}

TEST(Win32Registry, TellsAMissingKeyFromAMissingValue) {
    std::string key = test_key("Missing");
    std::string data;
    EXPECT_EQ(os_registry_read(key, "AgentGUID", nullptr, &data), OS_REG_NO_KEY);
    ASSERT_TRUE(os_registry_write(key, "Other", OS_REG_SZ, "x"));
    EXPECT_EQ(os_registry_read(key, "AgentGUID", nullptr, &data), OS_REG_NO_VALUE);
    EXPECT_EQ(os_registry_read(key + "/", "Other", nullptr, &data), OS_REG_FOUND) << "'/' separates as '\\' does";
}

TEST(Win32Registry, LivesInTheThirtyTwoBitView) {
    std::string key = test_key("View");
    ASSERT_TRUE(os_registry_write(key, "AgentGUID", OS_REG_SZ, "{guid}"));
    EXPECT_TRUE(exists_in_view(key, KEY_WOW64_32KEY));
    EXPECT_FALSE(exists_in_view(key, KEY_WOW64_64KEY)) << "a 64-bit view read would miss the 32-bit agent";
}

TEST(Win32Registry, TextEndsAtItsTerminator) {
    std::string key = test_key("Terminator");
    std::wstring wide = key.empty() ? L"" : std::wstring(key.begin(), key.end());
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr,
                              &created, nullptr),
              ERROR_SUCCESS);
    // Stored with a terminator and trailing garbage after it, as some writers leave it.
    const wchar_t stored[] = L"tenant\0junk";
    ASSERT_EQ(RegSetValueExW(created, L"TenantId", 0, REG_SZ, reinterpret_cast<const BYTE*>(stored), sizeof stored),
              ERROR_SUCCESS);
    RegCloseKey(created);
    std::string data;
    ASSERT_EQ(os_registry_read(key, "TenantId", nullptr, &data), OS_REG_FOUND);
    EXPECT_EQ(data, "tenant");
}
