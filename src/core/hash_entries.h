// The entries of a hash manifest: a file name and its expected hex digest each, in document
// order. The run context keeps the run's trusted manifest in this form.
#pragma once

#include <cstddef>
#include <memory>

constexpr size_t hash_entry_capacity = 260;

// One listed file: its name relative to the manifest's folder and its expected hex digest.
struct hash_entry {
    char file_name[hash_entry_capacity];
    char digest[hash_entry_capacity];
    hash_entry* next;
};

void free_hash_entries(hash_entry* entries);   // accepts nullptr

struct hash_entries_releaser {
    void operator()(hash_entry* entries) const noexcept { free_hash_entries(entries); }
};
using hash_entries_ptr = std::unique_ptr<hash_entry, hash_entries_releaser>;
