// The data of one zip entry, read straight from the archive and inflated into its output file.
// minizip finds the entries and checks their local headers; the data is read here through the
// same file functions. minizip's own reading hands zlib 16 KiB at a time, copies byte by byte
// and sums a CRC of the compressed bytes too; with 1 MiB per call the inflate (raw_inflate.h)
// stays in its fast loop.
// Large entries are written (and hashed) by a helper thread while the next block is inflated.
#pragma once

#include <unzip.h>
#include <memory>

#include "install/entry_sink.h"

struct os_output_file;
struct os_digest_stream;

// Buffers and streams for all entries of one archive. One thread.
class entry_copier {
public:
    entry_copier();
    ~entry_copier();
    entry_copier(const entry_copier&) = delete;
    entry_copier& operator=(const entry_copier&) = delete;

    // Opens the archive a second time for its data and allocates the buffers. False on failure.
    bool open(const zlib_filefunc64_def& functions, const char* archive_path);

    // Copies the archive's current entry, opened raw (unzOpenCurrentFile3 with raw = 1) by the
    // caller; `method` is 0 (stored) or 8 (deflated). `digest` (may be null) is fed what is
    // written, on whichever thread writes it.
    entry_copy_result copy(unzFile archive, const unz_file_info64& info, int method, os_output_file* file,
                           os_digest_stream* digest = nullptr);

private:
    struct parts;
    std::unique_ptr<parts> parts_;
};
