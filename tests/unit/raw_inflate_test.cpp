// The extraction's inflate and CRC against zlib's own deflate and crc32, whichever engine the
// build carries: output handed out in alternating blocks (as the extraction does while the other
// block is being written), input in pieces, damaged and cut streams.
#include "install/raw_inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Text with long-distance repeats, so that matches reach back across output blocks.
std::string sample(size_t size) {
    std::mt19937 random(7);
    std::string words[64];
    for (std::string& word : words)
        for (int i = 0; i < 3 + static_cast<int>(random() % 9); ++i) word += static_cast<char>('a' + random() % 26);
    std::string text;
    while (text.size() < size) {
        text += words[random() % 64];
        text += random() % 13 == 0 ? '\n' : ' ';
    }
    text.resize(size);
    return text;
}

std::vector<unsigned char> raw_deflate(const std::string& data) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<unsigned char> out(deflateBound(&z, data.size()));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct outcome {
    std::string output;
    inflate_step last = inflate_step::progress;
};

// Feeds `input` in pieces of `in_piece` bytes and takes the output in blocks of `out_block`,
// using two buffers in turn and spoiling the one handed back, as a writer thread would reuse it.
outcome inflate_all(raw_inflater& inflater, const std::vector<unsigned char>& input, size_t in_piece,
                    size_t out_block) {
    outcome result;
    std::vector<unsigned char> blocks[2] = {std::vector<unsigned char>(out_block),
                                            std::vector<unsigned char>(out_block)};
    size_t offset = 0;
    int turn = 0;
    inflater.reset();
    inflater.give(input.data(), 0);
    for (int guard = 0; guard < 1000000; ++guard) {
        bool input_done = offset == input.size();
        if (inflater.input_left() == 0 && !input_done) {
            size_t n = std::min(in_piece, input.size() - offset);
            inflater.give(input.data() + offset, n);
            offset += n;
        }
        size_t written = 0;
        result.last = inflater.run(blocks[turn].data(), out_block, &written);
        result.output.append(reinterpret_cast<const char*>(blocks[turn].data()), written);
        std::memset(blocks[turn].data(), 0xA5, out_block);
        turn ^= 1;
        if (result.last == inflate_step::end || result.last == inflate_step::failed) return result;
        if (result.last == inflate_step::stalled && input_done) return result;
    }
    ADD_FAILURE() << "the inflate never ended";
    return result;
}

TEST(RawInflate, RoundTripsWhateverThePiecesAndBlocks) {
    raw_inflater inflater;
    ASSERT_TRUE(inflater.ready());
    const std::string data = sample(3 << 20);
    const std::vector<unsigned char> packed = raw_deflate(data);
    const size_t shapes[][2] = {{1 << 20, 1 << 19}, {4096, 1 << 19}, {1 << 20, 1000}, {7, 65536}, {1 << 22, 1 << 22}};
    for (const auto& shape : shapes) {
        outcome got = inflate_all(inflater, packed, shape[0], shape[1]);
        EXPECT_EQ(got.last, inflate_step::end) << shape[0] << "/" << shape[1];
        EXPECT_TRUE(got.output == data) << "input pieces " << shape[0] << ", output blocks " << shape[1];
    }
    // The same inflater serves the next entry after a reset, an empty stream included.
    outcome empty = inflate_all(inflater, raw_deflate(""), 1 << 20, 1 << 19);
    EXPECT_EQ(empty.last, inflate_step::end);
    EXPECT_EQ(empty.output, "");
}

TEST(RawInflate, ACutStreamStallsAndDamageFails) {
    raw_inflater inflater;
    ASSERT_TRUE(inflater.ready());
    const std::string data = sample(1 << 20);
    std::vector<unsigned char> packed = raw_deflate(data);

    std::vector<unsigned char> cut(packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2));
    outcome short_read = inflate_all(inflater, cut, 65536, 1 << 19);
    EXPECT_EQ(short_read.last, inflate_step::stalled);
    EXPECT_LT(short_read.output.size(), data.size());
    EXPECT_EQ(short_read.output, data.substr(0, short_read.output.size())) << "what came out is still right";

    // Block type 3 does not exist in deflate.
    std::vector<unsigned char> reserved = {0x07, 0x00, 0x00, 0x00};
    EXPECT_EQ(inflate_all(inflater, reserved, 4, 4096).last, inflate_step::failed);

    // And the inflater is sound again after a failure.
    outcome again = inflate_all(inflater, packed, 1 << 20, 1 << 19);
    EXPECT_EQ(again.last, inflate_step::end);
    EXPECT_TRUE(again.output == data);
}

// What follows a stream (a data descriptor, the next header) is left as input, to the byte,
// whatever the engine read ahead: the unpacking during a download finds the next header so.
TEST(RawInflate, InputAfterTheStreamIsLeftOver) {
    raw_inflater inflater;
    ASSERT_TRUE(inflater.ready());
    const std::string trailer = "PK\x07\x08 descriptor and the next header";
    for (size_t size : {size_t{0}, size_t{1}, size_t{100}, size_t{1} << 20}) {
        const std::string data = sample(size);
        std::vector<unsigned char> input = raw_deflate(data);
        size_t stream_size = input.size();
        input.insert(input.end(), trailer.begin(), trailer.end());
        for (size_t piece : {input.size(), stream_size + 3, size_t{4096}}) {
            inflater.reset();
            inflater.give(input.data(), 0);
            std::vector<unsigned char> out(1 << 21);
            size_t given = 0, written = 0, total = 0;
            inflate_step step = inflate_step::progress;
            while (step != inflate_step::end && step != inflate_step::failed) {
                if (inflater.input_left() == 0) {
                    size_t n = std::min(piece, input.size() - given);
                    inflater.give(input.data() + given, n);
                    given += n;
                }
                step = inflater.run(out.data() + total, out.size() - total, &written);
                total += written;
                ASSERT_NE(step, inflate_step::stalled) << size << "/" << piece;
            }
            EXPECT_EQ(step, inflate_step::end);
            EXPECT_EQ(total, data.size());
            EXPECT_EQ(given - inflater.input_left(), stream_size) << "stream of " << size << ", pieces of " << piece;
        }
    }
}

TEST(RawInflate, CrcMatchesZlibAcrossPieces) {
    const std::string data = sample(1 << 20);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    unsigned long expected = crc32(0L, bytes, static_cast<uInt>(data.size()));
    EXPECT_EQ(zip_crc32(0, bytes, data.size()), expected);
    unsigned long pieced = 0;
    for (size_t at = 0, n = 1; at < data.size(); at += n, n = n * 3 + 1)
        pieced = zip_crc32(pieced, bytes + at, std::min(n, data.size() - at));
    EXPECT_EQ(pieced, expected);
    EXPECT_EQ(zip_crc32(0, bytes, 0), 0u);
}

}   // namespace
