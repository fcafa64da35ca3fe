// Expected digests and their checks: the configuration response's headers and the install
// files' manifest hashes.xml (the digests themselves: core/file_digest.h).
// Runs on the install worker thread.
#pragma once

#include "core/hash_entries.h"

struct run_context;

// Header handler of the configuration request (fits response_header_fn of the transfer layer):
// stores Config-Hash, Install-Hash and Tenant-ID (names compared exactly) in the run context.
// Always 0.
int on_response_header(const wchar_t* name, const wchar_t* value, run_context* ctx);

// The entries of the first `sha256` element of the manifest at `path`, in document order; null
// when the file cannot be read or parsed or lists nothing usable. An element without text, or
// with a digest too long to keep, is an entry with an empty digest, which never verifies.
// Free with free_hash_entries.
hash_entry* read_hash_manifest(const wchar_t* path);

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
