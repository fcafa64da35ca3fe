// Expected digests and their checks: the configuration response's headers, the install files'
// manifest hashes.xml, and SHA-1 / SHA-256 digests of files.
// Runs on the install worker thread.
#pragma once

#include <cstddef>
#include <memory>

struct run_context;

constexpr size_t hash_entry_capacity = 260;

// One listed file: its name relative to the manifest's folder and its expected hex digest.
struct hash_entry {
    char file_name[hash_entry_capacity];
    char digest[hash_entry_capacity];
    hash_entry* next;
};

// Header handler of the configuration request (fits response_header_fn of the transfer layer):
// stores Config-Hash, Install-Hash and Tenant-ID (names compared exactly) in the run context.
// Always 0.
int on_response_header(const wchar_t* name, const wchar_t* value, run_context* ctx);

// The entries of the first `sha256` element of the manifest at `path`, in document order; null
// when the file cannot be read or parsed or lists nothing usable. Free with free_hash_entries.
hash_entry* read_hash_manifest(const wchar_t* path);
void free_hash_entries(hash_entry* entries);   // accepts nullptr

struct hash_entries_releaser {
    void operator()(hash_entry* entries) const noexcept { free_hash_entries(entries); }
};
using hash_entries_ptr = std::unique_ptr<hash_entry, hash_entries_releaser>;

// 1 when the file's digest equals `expected_digest` (40 hex digits: SHA-1, 64: SHA-256, any
// case); 0 otherwise, also for any other length and for a file that cannot be read whole.
int verify_file_digest(const wchar_t* path, const char* expected_digest);

// Download events reported while the install files are checked; the install sequence passes
// its download event handler.
constexpr int verify_event_succeeded = 3;
constexpr int verify_event_failed = 4;
constexpr int verify_event_verifying = 5;
using verify_event_fn = int (*)(const wchar_t* text, int event, run_context* ctx);

// Checks the files listed in "hashes.xml" of the current folder (where the install package was
// just extracted). Listed files that are absent are passed over; 1 exactly when at least one
// listed file is present and every present one matches. `on_event` may be null.
int verify_install_files(run_context* ctx, verify_event_fn on_event);

// 1 when both files can be read and have the same SHA-256 digest.
int files_have_same_sha256(const wchar_t* first, const wchar_t* second);
