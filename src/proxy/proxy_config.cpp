#include "proxy/proxy_config.h"

#include <openssl/evp.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/options.h"

namespace {
constexpr size_t value_capacity = 259;   // bytes of a value that are copied
constexpr unsigned char scramble_offset = 10;

struct file_closer {
    void operator()(FILE* f) const noexcept { std::fclose(f); }
};

// The option's text when it is at most 259 bytes long; a longer one is written empty.
std::string bounded_option(int slot) {
    const char* text = get_option_utf8(slot);
    if (!text || std::strlen(text) > value_capacity) return {};
    return text;
}

template <typename T>
void wipe(std::vector<T>& bytes) {
    volatile T* p = bytes.data();
    for (size_t i = 0; i < bytes.size(); ++i) p[i] = 0;
}

// Every byte of the password plus 10, base64-encoded into a zero-filled buffer of four
// characters per byte. A password over 259 bytes is not copied and gives an empty value.
std::string scrambled_password() {
    std::string password = bounded_option(OPT_PROXY_PASSWORD);
    size_t length = password.size();
    if (length == 0) return {};
    std::vector<unsigned char> shifted(length);
    for (size_t i = 0; i < length; ++i)
        shifted[i] = static_cast<unsigned char>(static_cast<unsigned char>(password[i]) + scramble_offset);
    std::fill(password.begin(), password.end(), '\0');
    size_t capacity = 4 * length;
    std::vector<char> encoded(capacity + 1, '\0');
    if (base64_encode(shifted.data(), length, encoded.data(), capacity) > capacity)
        console_print(L"Error base64 encode return value more than provided buffer length\n");
    wipe(shifted);
    std::string value(encoded.data());
    wipe(encoded);
    return value;
}
}   // namespace

size_t base64_encode(const unsigned char* data, size_t length, char* out, size_t capacity) {
    size_t needed = 4 * ((length + 2) / 3);
    if (!data || !out || needed > capacity || length > static_cast<size_t>(INT32_MAX / 2)) return needed;
    std::vector<unsigned char> encoded(needed + 1);   // EVP_EncodeBlock adds a terminator
    EVP_EncodeBlock(encoded.data(), data, static_cast<int>(length));
    std::memcpy(out, encoded.data(), needed);
    if (needed < capacity) out[needed] = '\0';
    wipe(encoded);
    return needed;
}

void write_proxy_config_file(const char* work_folder) {
    if (!get_option_utf8(OPT_PROXY_ADDRESS) || !get_option_utf8(OPT_PROXY_PORT)) return;
    // Without a work folder the path would be "//proxy_config.ini", in the root folder.
    if (!work_folder || !*work_folder) return;
    std::string path = std::string(work_folder) + "//proxy_config.ini";
    std::unique_ptr<FILE, file_closer> file(std::fopen(path.c_str(), "w+"));
    if (!file) {
        console_print(L"Error Failed to open proxy_config.ini file in w+ mode!\n");
        return;
    }
    console_print(L"proxy_config.ini file open successfully\n");
    std::fprintf(file.get(), "%s\n", "[ProxyInfo]");
    std::fprintf(file.get(), "%s=%s\n", "Server", bounded_option(OPT_PROXY_ADDRESS).c_str());
    std::fprintf(file.get(), "%s=%s\n", "Port", bounded_option(OPT_PROXY_PORT).c_str());
    if (get_option_utf8(OPT_PROXY_USER))
        std::fprintf(file.get(), "%s=%s\n", "UserName", bounded_option(OPT_PROXY_USER).c_str());
    if (get_option_utf8(OPT_PROXY_PASSWORD)) {
        std::string scrambled = scrambled_password();
        std::fprintf(file.get(), "%s=%s\n", "Password", scrambled.c_str());
        std::fill(scrambled.begin(), scrambled.end(), '\0');
    }
}
