// Checks of whole files against expected digests (SHA-1 or SHA-256, told apart by length), and
// the digests computed while files were written, which spare those checks a second read.
// Runs on the install worker thread; remember_file_digest may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "os/digest.h"

// 1 when the file's digest equals `expected_digest` (40 hex digits: SHA-1, 64: SHA-256, any
// case); 0 otherwise, also for any other length and for a file that cannot be read whole.
// A digest remembered for the file is used instead of reading it, as long as the file is still
// the one that was hashed (same file, size, write and change times).
int verify_file_digest(const wchar_t* path, const char* expected_digest);

// 1 when both files can be read and have the same SHA-256 digest.
int files_have_same_sha256(const wchar_t* first, const wchar_t* second);

// Keeps `hex`, the digest of every byte just written to the file at `path` (narrow), with the
// file's present stamp. Call it after the last write, once the file is closed. False when the
// file cannot be examined (nothing is kept then).
bool remember_file_digest(const std::string& path, os_digest_kind kind, const std::string& hex);

// Forgets every remembered digest.
void forget_file_digests();

// How many times a whole file has been read for its digest in this process (for tests and
// benchmarks: a remembered digest does not count).
uint64_t file_digest_reads();
