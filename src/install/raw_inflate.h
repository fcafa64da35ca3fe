// Raw deflate streams (zip method 8) inflated block by block, and the entries' CRC. Where ISA-L is built in, its
// inflate does the work (two to three times zlib's speed on the install packages' data, and the
// extraction is the largest part of a mechanism [1] run); elsewhere zlib's. One thread.
#pragma once

#include <cstddef>
#include <memory>

enum class inflate_step {
    progress,   // output written or input taken; call again
    end,        // the stream ended; trailing input is not read
    stalled,    // no progress: the input ran out before the stream's end
    failed      // the data is no deflate stream
};

// The CRC-32 of zip entries, continued from `crc` (0 to start); ISA-L's where it is built in.
unsigned long zip_crc32(unsigned long crc, const unsigned char* data, size_t size);

class raw_inflater {
public:
    raw_inflater();
    ~raw_inflater();
    raw_inflater(const raw_inflater&) = delete;
    raw_inflater& operator=(const raw_inflater&) = delete;

    bool ready() const;   // false when its state could not be had (no memory)
    void reset();         // for the next stream

    void give(const unsigned char* input, size_t size);
    size_t input_left() const;   // after the end: what follows the stream

    // Inflates into `out` (capacity bytes); *written is what it wrote.
    inflate_step run(unsigned char* out, size_t capacity, size_t* written);

private:
    struct state;
    std::unique_ptr<state> state_;
};
