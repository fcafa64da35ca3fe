// Writes the blocks of one output file on a helper thread, in order, and sums their CRC-32 (and,
// when asked, their digest) on the way, while the caller inflates the next block. Used for large entries only: the helper
// thread lives from start() to finish() and touches nothing but the file and the blocks.
// One caller thread per writer.
#pragma once

#include <cstddef>
#include <memory>

struct os_output_file;
struct os_digest_stream;

class block_writer {
public:
    block_writer();
    ~block_writer();   // finishes (and joins) when the caller did not
    block_writer(const block_writer&) = delete;
    block_writer& operator=(const block_writer&) = delete;

    // Starts the helper thread for `file`; `digest` (may be null) is fed every block written,
    // by the helper thread only, until finish() returns. False when no thread can be made:
    // write directly.
    bool start(os_output_file* file, os_digest_stream* digest = nullptr);

    // Hands a block over; it must stay untouched until the next submit() or finish() returns,
    // which wait until it is written. So two buffers used in turn keep the thread busy.
    // False once a write has failed.
    bool submit(const unsigned char* data, size_t size);

    // Waits for the last block and ends the thread. False when any write failed.
    bool finish(unsigned long& crc);

private:
    struct state;
    std::unique_ptr<state> state_;
};
