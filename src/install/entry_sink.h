// Where the content of one zip entry goes, whichever way it is read: written to its file (and
// hashed) here, or handed to a block writer that does so on a helper thread while the caller
// inflates the next block. Sums the CRC of what is written and drops what goes beyond the size
// the entry declares. One caller thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "install/block_writer.h"

struct os_output_file;
struct os_digest_stream;

enum class copy_failure { none, read, write };

struct entry_copy_result {
    int error = 0;   // 0, or the minizip code (or Z_DATA_ERROR) that ends the extraction
    copy_failure failure = copy_failure::none;
    unsigned long crc = 0;   // CRC-32 of what was written
    uint64_t size = 0;       // bytes written
    bool overrun = false;    // the data held more than the entry declares; the rest was dropped

    bool matches(uint64_t declared_size, unsigned long declared_crc) const {
        return !overrun && size == declared_size && crc == declared_crc;
    }
};

constexpr int error_short_write = -1;

// Half a megabyte: the writer thread reads each block while it is still in the shared cache
// (1 MiB blocks made the hashed extraction a quarter slower).
constexpr size_t entry_block_size = 1 << 19;
// Below this a helper thread costs more than the overlap gains.
constexpr uint64_t pipelined_entry_size = 8 << 20;

class entry_sink {
public:
    // `declared` is the entry's size; `digest` may be null.
    entry_sink(os_output_file* file, os_digest_stream* digest, uint64_t declared, entry_copy_result& result);

    bool start_writer() { return pipelined_ = writer_.start(file_, digest_); }
    bool pipelined() const { return pipelined_; }

    // False after a failed write (the result says so).
    bool put(const unsigned char* data, size_t n);

    // Waits for the helper thread's last block.
    void finish();

private:
    void fail_write();

    os_output_file* file_;
    os_digest_stream* digest_;
    uint64_t declared_;
    entry_copy_result& result_;
    block_writer writer_;
    bool pipelined_ = false;
};
