// The platform's part of the zip archive reader (shared/zip_archive_reader.cpp): one open
// regular file read at offsets.
#pragma once

#include <cstddef>
#include <cstdint>

struct archive_source;

// Null unless `path` (narrow) opens as a regular file; `size` is its length. `beside_writer`:
// the file is open for writing elsewhere in this process, and stays so.
archive_source* archive_source_open(const char* path, uint64_t& size, bool beside_writer = false);
// Reads up to `size` bytes at `offset`; fewer only at the end of the file. False on an error.
bool archive_source_read_at(archive_source* source, unsigned char* out, size_t size, uint64_t offset, size_t& got);
void archive_source_close(archive_source* source);   // accepts null
