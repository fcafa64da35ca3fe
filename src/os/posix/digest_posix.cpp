#include "os/digest.h"

#include <openssl/evp.h>
#include <cstdio>
#include <memory>

namespace {
// Large reads keep the digest, not the system calls, the bottleneck on big install files.
constexpr size_t read_block_size = 1 << 20;

struct digest_context_deleter {
    void operator()(EVP_MD_CTX* c) const noexcept { EVP_MD_CTX_free(c); }
};

struct file_closer {
    void operator()(FILE* f) const noexcept { std::fclose(f); }
};

std::string to_hex(const unsigned char* bytes, unsigned size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (unsigned i = 0; i < size; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0x0F];
    }
    return hex;
}
}   // namespace

bool os_file_digest(const std::string& path, os_digest_kind kind, std::string& hex) {
    std::unique_ptr<FILE, file_closer> file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    std::setvbuf(file.get(), nullptr, _IONBF, 0);   // our blocks are the buffer
    std::unique_ptr<EVP_MD_CTX, digest_context_deleter> context(EVP_MD_CTX_new());
    std::unique_ptr<unsigned char[]> block(new unsigned char[read_block_size]);
    const EVP_MD* method = kind == os_digest_kind::sha1 ? EVP_sha1() : EVP_sha256();
    if (!context || EVP_DigestInit_ex(context.get(), method, nullptr) != 1) return false;
    for (;;) {
        size_t n = std::fread(block.get(), 1, read_block_size, file.get());
        if (n > 0 && EVP_DigestUpdate(context.get(), block.get(), n) != 1) return false;
        if (n < read_block_size) break;
    }
    if (std::ferror(file.get())) return false;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &size) != 1) return false;
    hex = to_hex(digest, size);
    return true;
}
