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
// when the file cannot be read or parsed or lists nothing usable. An element without text, or
// with a digest too long to keep, is an entry with an empty digest, which never verifies.
// Free with free_hash_entries.
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

// Reads "hashes.xml" of the work folder, just extracted from the verified configuration package,
// into the run context, where it stays the one manifest of the run: nothing that arrives
// later can replace it. 1 when a manifest was kept.
int keep_trusted_manifest(run_context* ctx, const wchar_t* work_folder);

// Checks the files that `manifest` lists in the current folder (where the install package was
// just extracted). Listed files that are absent are passed over; a present one whose digest is
// empty or of an unrecognised length fails. 1 exactly when at least one listed file is
// present, every present one matches, and `required` (the file that will be run; may be null)
// is present and verified by verify_listed_file. `on_event` may be null.
int verify_install_files(const hash_entry* manifest, const char* required, run_context* ctx, verify_event_fn on_event);

// 1 when the file `name` of a folder, found at `path`, is listed in `manifest` (names compared
// as a case-blind file system would) and matches every digest listed for it. Logs the reason
// when not.
int verify_listed_file(const hash_entry* manifest, const char* name, const wchar_t* path);

// 1 when both files can be read and have the same SHA-256 digest.
int files_have_same_sha256(const wchar_t* first, const wchar_t* second);
