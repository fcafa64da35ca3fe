// File digests with CNG (BCrypt): the system's own SHA-1 and SHA-256.
#include "os/digest.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "os/text.h"

namespace {
// Large reads keep the digest, not the system calls, the bottleneck on big install files.
constexpr DWORD read_block_size = 1 << 20;

struct algorithm_closer {
    void operator()(void* a) const noexcept { BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(a), 0); }
};
struct hash_closer {
    void operator()(void* h) const noexcept { BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(h)); }
};
struct handle_closer {
    void operator()(void* h) const noexcept { CloseHandle(h); }
};

std::string to_hex(const unsigned char* bytes, size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0x0F];
    }
    return hex;
}

bool hash_file(HANDLE file, BCRYPT_HASH_HANDLE hash) {
    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[read_block_size]);
    if (!block) return false;
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file, block.get(), read_block_size, &n, nullptr)) return false;
        if (n == 0) return true;
        if (!BCRYPT_SUCCESS(BCryptHashData(hash, block.get(), n, 0))) return false;
    }
}
}   // namespace

bool os_file_digest(const std::string& path, os_digest_kind kind, std::string& hex) {
    std::wstring wide;
    if (!os_to_wide(path, wide)) return false;
    std::unique_ptr<void, handle_closer> file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return false;
    }
    BCRYPT_ALG_HANDLE algorithm_handle = nullptr;
    LPCWSTR name = kind == os_digest_kind::sha1 ? BCRYPT_SHA1_ALGORITHM : BCRYPT_SHA256_ALGORITHM;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_handle, name, nullptr, 0))) return false;
    std::unique_ptr<void, algorithm_closer> algorithm(algorithm_handle);
    BCRYPT_HASH_HANDLE hash_handle = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm_handle, &hash_handle, nullptr, 0, nullptr, 0, 0))) return false;
    std::unique_ptr<void, hash_closer> hash(hash_handle);
    DWORD length = 0, written = 0;
    if (!BCRYPT_SUCCESS(BCryptGetProperty(algorithm_handle, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                          sizeof length, &written, 0)))
        return false;
    if (!hash_file(file.get(), hash_handle)) return false;
    std::vector<unsigned char> digest(length);
    if (!BCRYPT_SUCCESS(BCryptFinishHash(hash_handle, digest.data(), length, 0))) return false;
    hex = to_hex(digest.data(), digest.size());
    return true;
}

// ---------------------------------------------------------------------------------------------
// Streaming digests

struct os_digest_stream {
    std::unique_ptr<void, algorithm_closer> algorithm;
    std::unique_ptr<void, hash_closer> hash;
    DWORD length = 0;
    bool failed = false;
    bool finished = false;
};

os_digest_stream* os_digest_stream_create(os_digest_kind kind) {
    std::unique_ptr<os_digest_stream> stream(new (std::nothrow) os_digest_stream);
    if (!stream) return nullptr;
    BCRYPT_ALG_HANDLE algorithm_handle = nullptr;
    LPCWSTR name = kind == os_digest_kind::sha1 ? BCRYPT_SHA1_ALGORITHM : BCRYPT_SHA256_ALGORITHM;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_handle, name, nullptr, 0))) return nullptr;
    stream->algorithm.reset(algorithm_handle);
    BCRYPT_HASH_HANDLE hash_handle = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm_handle, &hash_handle, nullptr, 0, nullptr, 0, 0))) return nullptr;
    stream->hash.reset(hash_handle);
    DWORD written = 0;
    if (!BCRYPT_SUCCESS(BCryptGetProperty(algorithm_handle, BCRYPT_HASH_LENGTH,
                                          reinterpret_cast<PUCHAR>(&stream->length), sizeof stream->length, &written,
                                          0)))
        return nullptr;
    return stream.release();
}

bool os_digest_stream_update(os_digest_stream* stream, const void* data, size_t size) {
    if (!stream || stream->failed || stream->finished) return false;
    auto* bytes = static_cast<const unsigned char*>(data);
    // BCryptHashData takes at most 4 GiB - 1 at a time.
    while (size > 0) {
        ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(stream->hash.get()),
                                           const_cast<PUCHAR>(bytes), piece, 0))) {
            stream->failed = true;
            return false;
        }
        bytes += piece;
        size -= piece;
    }
    return true;
}

bool os_digest_stream_finish(os_digest_stream* stream, std::string& hex) {
    if (!stream || stream->failed || stream->finished) return false;
    stream->finished = true;
    std::vector<unsigned char> digest(stream->length);
    if (!BCRYPT_SUCCESS(
            BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(stream->hash.get()), digest.data(), stream->length, 0)))
        return false;
    hex = to_hex(digest.data(), digest.size());
    return true;
}

void os_digest_stream_release(os_digest_stream* stream) { delete stream; }
