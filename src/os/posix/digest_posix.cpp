#include "os/digest.h"

#include <openssl/evp.h>
#include <cstdio>
#include <memory>
#include <new>

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

const EVP_MD* digest_method(os_digest_kind kind) { return kind == os_digest_kind::sha1 ? EVP_sha1() : EVP_sha256(); }

bool finish_hex(EVP_MD_CTX* context, std::string& hex) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (EVP_DigestFinal_ex(context, digest, &size) != 1) return false;
    hex = to_hex(digest, size);
    return true;
}
}   // namespace

struct os_digest_stream {
    std::unique_ptr<EVP_MD_CTX, digest_context_deleter> context;
    bool finished = false;
    bool failed = false;   // an update failed: the digest would be of less than was fed
};

os_digest_stream* os_digest_stream_create(os_digest_kind kind) {
    std::unique_ptr<os_digest_stream> stream(new (std::nothrow) os_digest_stream);
    if (!stream) return nullptr;
    stream->context.reset(EVP_MD_CTX_new());
    if (!stream->context || EVP_DigestInit_ex(stream->context.get(), digest_method(kind), nullptr) != 1) return nullptr;
    return stream.release();
}

bool os_digest_stream_update(os_digest_stream* stream, const void* data, size_t size) {
    if (!stream || stream->finished || stream->failed) return false;
    if (size == 0 || EVP_DigestUpdate(stream->context.get(), data, size) == 1) return true;
    stream->failed = true;
    return false;
}

bool os_digest_stream_finish(os_digest_stream* stream, std::string& hex) {
    if (!stream || stream->finished || stream->failed) return false;
    stream->finished = true;
    return finish_hex(stream->context.get(), hex);
}

void os_digest_stream_release(os_digest_stream* stream) { delete stream; }

bool os_file_digest(const std::string& path, os_digest_kind kind, std::string& hex) {
    std::unique_ptr<FILE, file_closer> file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    std::setvbuf(file.get(), nullptr, _IONBF, 0);   // our blocks are the buffer
    std::unique_ptr<EVP_MD_CTX, digest_context_deleter> context(EVP_MD_CTX_new());
    std::unique_ptr<unsigned char[]> block(new unsigned char[read_block_size]);
    if (!context || EVP_DigestInit_ex(context.get(), digest_method(kind), nullptr) != 1) return false;
    for (;;) {
        size_t n = std::fread(block.get(), 1, read_block_size, file.get());
        if (n > 0 && EVP_DigestUpdate(context.get(), block.get(), n) != 1) return false;
        if (n < read_block_size) break;
    }
    if (std::ferror(file.get())) return false;
    return finish_hex(context.get(), hex);
}
