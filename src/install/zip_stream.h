// The install package unpacked while it downloads. The transfer tells how much of the archive
// it has written and flushed; a thread reads that much, walks the local headers from the first
// byte and writes each file entry into the target folder, hashed on the way, under the
// extraction's rules for names and links (entry_output.h).
//
// Nothing here is trusted. After the download the extraction (zip_extract.h) walks the central
// directory as always and takes a file from here only where its entry matches in the place of
// its data, name, method, sizes and CRC; it removes what was written here and matched nothing,
// and extracts the rest itself. So anything unusual (encryption, another method, a data
// descriptor after stored data, a name it will not write, a name given twice) ends the walk or
// spoils the entry, silently: the extraction then does that part, with its own output and log
// lines. Nothing here writes to the log or to standard output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct zip_stream;

// Starts the walk of `archive_path` (narrow), which this process is writing from its first
// byte, into `target_dir`. Entries that would reach a file of `left_alone` directly in the
// folder (compared as names_top_level_file does) are left to the extraction, as is the archive
// itself. Null when it cannot start: nothing is then unpacked ahead.
zip_stream* zip_stream_start(const char* archive_path, const char* target_dir,
                             const std::vector<std::string>& left_alone = {});

// The writer has written and flushed the archive's first `length` bytes. Any thread.
void zip_stream_advance(zip_stream* stream, uint64_t length);

// The archive is complete at `length` bytes; returns at once.
void zip_stream_complete(zip_stream* stream, uint64_t length);

// Waits until the walk has ended: at the central directory, at the end of the complete archive,
// or where it gave up. Call after zip_stream_complete.
void zip_stream_finish(zip_stream* stream);

// A file entry written whole, or found wanting (`usable` false; its file may still be there).
struct streamed_entry {
    uint64_t data_offset = 0;   // of its data in the archive, right after the local header
    std::string stored_name;    // as the local header gives it
    std::string name;           // as written, relative to the target folder, local separators
    int method = 0;             // 0 stored, 8 deflated
    unsigned long crc = 0;      // of what was written
    uint64_t compressed_size = 0;
    uint64_t size = 0;     // bytes written
    std::string digest;    // SHA-256 of what was written, hex; empty when none could be had
    bool usable = false;   // whole, as declared, the only entry of its name, its file still there
};

// The entries written, in archive order; complete once zip_stream_finish has returned.
const std::vector<streamed_entry>& zip_stream_entries(const zip_stream* stream);

// Stops the walk (a file being written is removed) and frees everything; the files written
// stay, for the extraction. Accepts null.
void zip_stream_release(zip_stream* stream);

// Stops the walk and removes every file it wrote, for an archive that will not be extracted
// (its download failed); then frees everything. Accepts null.
void zip_stream_discard(zip_stream* stream);
