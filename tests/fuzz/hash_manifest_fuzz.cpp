// Fuzz target for hashes.xml (the install files' manifest): any document is read or refused
// cleanly, and every entry taken names a file that stays inside the folder it is joined to:
// the names become paths for downloads, digests and moves.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/hash_manifest.h"
#include "fuzz_support.h"
#include "unit/test_support.h"

namespace {
// Checked by joining, not by the reader's own rule: both separators, as the packages are also
// made for Windows.
bool lands_inside(const char* name) {
    std::string portable = name;
    for (char& c : portable)
        if (c == '\\') c = '/';
    std::filesystem::path folder = "/folder";
    std::filesystem::path joined = (folder / portable).lexically_normal();
    auto mismatch = std::mismatch(folder.begin(), folder.end(), joined.begin(), joined.end());
    return !std::filesystem::path(portable).is_absolute() && mismatch.first == folder.end();
}
}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_begin_input();
    std::wstring path = widen(fuzz_write_input("hashes.xml", data, size));
    hash_entries_ptr entries(read_hash_manifest(path.c_str()));
    for (const hash_entry* e = entries.get(); e; e = e->next) {
        fuzz_require(strnlen(e->file_name, hash_entry_capacity) < hash_entry_capacity, "file name overran");
        fuzz_require(strnlen(e->digest, hash_entry_capacity) < hash_entry_capacity, "digest overran");
        fuzz_require(lands_inside(e->file_name), "a listed name leads outside its folder");
    }
    return 0;
}
