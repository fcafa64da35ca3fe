// Digests of whole files: SHA-1 and SHA-256, the two the server's manifests use.
#pragma once

#include <string>

enum class os_digest_kind { sha1, sha256 };

// Lower-case hex digest of the whole file at `path` (narrow path). False when the file cannot be
// read to its end: a digest of the part that was read could pass for that of a shorter file.
bool os_file_digest(const std::string& path, os_digest_kind kind, std::string& hex);
