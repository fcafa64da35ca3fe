// The logged-on user's proxy settings as Windows keeps them, read with that user's token (here
// this test's own process stands in for the desktop shell), and process lookups by image name.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "os/processes.h"
#include "os/user_proxy.h"

namespace {
const wchar_t connections_key[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

void append_dword(std::vector<BYTE>& out, DWORD value) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

void append_text(std::vector<BYTE>& out, const char* text) {
    append_dword(out, static_cast<DWORD>(std::strlen(text)));
    out.insert(out.end(), text, text + std::strlen(text));
}

// The user's connection settings in the layout the settings dialog stores: a version, a
// counter, the flags (direct 1, manual proxy 2, script 4, detection 8), then the proxy list,
// the bypass list and the script address, each with its length in front.
void store_user_settings(DWORD flags, const char* proxy, const char* bypass, const char* script) {
    std::vector<BYTE> blob;
    append_dword(blob, 0x46);
    append_dword(blob, 1);
    append_dword(blob, flags);
    append_text(blob, proxy);
    append_text(blob, bypass);
    append_text(blob, script);
    blob.resize(blob.size() + 32, 0);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, connections_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExW(key, L"DefaultConnectionSettings", 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size())),
        ERROR_SUCCESS);
    RegCloseKey(key);
}

std::wstring own_image() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full(path);
    return full.substr(full.find_last_of(L"\\/") + 1);
}
}   // namespace

TEST(Win32UserProxy, ReadsTheUsersManualProxyAsThatUser) {
    ASSERT_NO_FATAL_FAILURE(store_user_settings(1 | 2 | 4, "proxy.test:3128", "<local>", "http://wpad.test/proxy.pac"));
    os_desktop_user* user = os_open_process_user(static_cast<int>(GetCurrentProcessId()));
    ASSERT_NE(user, nullptr);
    os_user_proxy_config config;
    ASSERT_TRUE(os_read_user_proxy_config(user, &config));
    EXPECT_EQ(config.proxy, L"proxy.test:3128");
    EXPECT_EQ(config.bypass, L"<local>");
    EXPECT_EQ(config.auto_config_url, L"http://wpad.test/proxy.pac");
    EXPECT_FALSE(config.auto_detect);
    os_close_desktop_user(user);
}

TEST(Win32UserProxy, AProcessThatIsGoneHasNoUser) {
    EXPECT_EQ(os_open_process_user(0x7FFFFFF0), nullptr);
    EXPECT_EQ(os_default_shell_images(), std::vector<std::wstring>{L"Explorer.exe"});
}

TEST(Win32Processes, FindsARunningProgramByItsImageNameInAnyCase) {
    std::wstring image = own_image();
    for (wchar_t& c : image) c = static_cast<wchar_t>(towupper(c));
    int pid = 0;
    ASSERT_TRUE(os_find_process_by_image(image, &pid));
    EXPECT_EQ(pid, static_cast<int>(GetCurrentProcessId()));
    EXPECT_FALSE(os_find_process_by_image(L"no-such-program.exe", &pid));
    EXPECT_FALSE(os_is_32bit_process_on_64bit_system()) << "a 64-bit build";
}
