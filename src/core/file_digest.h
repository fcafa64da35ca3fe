// Checks of whole files against expected digests (SHA-1 or SHA-256, told apart by length).
// Runs on the install worker thread.
#pragma once

// 1 when the file's digest equals `expected_digest` (40 hex digits: SHA-1, 64: SHA-256, any
// case); 0 otherwise, also for any other length and for a file that cannot be read whole.
int verify_file_digest(const wchar_t* path, const char* expected_digest);

// 1 when both files can be read and have the same SHA-256 digest.
int files_have_same_sha256(const wchar_t* first, const wchar_t* second);
