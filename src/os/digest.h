// Digests of whole files and of data as it streams by: SHA-1 and SHA-256, the two the server's
// manifests use.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

enum class os_digest_kind { sha1, sha256 };

// Lower-case hex digest of the whole file at `path` (narrow path). False when the file cannot be
// read to its end: a digest of the part that was read could pass for that of a shorter file.
bool os_file_digest(const std::string& path, os_digest_kind kind, std::string& hex);

// A digest fed piece by piece, for data hashed while it is written. One thread at a time.
struct os_digest_stream;
os_digest_stream* os_digest_stream_create(os_digest_kind kind);   // null when the library fails
// False when the data could not be taken; the stream then never gives a digest.
bool os_digest_stream_update(os_digest_stream* stream, const void* data, size_t size);
// The lower-case hex digest of everything fed; false after a failed update. The stream cannot
// be fed afterwards.
bool os_digest_stream_finish(os_digest_stream* stream, std::string& hex);
void os_digest_stream_release(os_digest_stream* stream);   // accepts null

struct os_digest_stream_releaser {
    void operator()(os_digest_stream* stream) const noexcept { os_digest_stream_release(stream); }
};
using os_digest_stream_ptr = std::unique_ptr<os_digest_stream, os_digest_stream_releaser>;
