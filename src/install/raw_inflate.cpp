#include "install/raw_inflate.h"

#include <climits>
#include <cstdint>
#include <new>

#if defined(QSW_INFLATE_ISAL)
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#else
#include <zlib.h>
#endif

namespace {
// Both engines count in 32-bit sizes.
unsigned clamp32(size_t size) { return size > UINT_MAX ? UINT_MAX : static_cast<unsigned>(size); }
}   // namespace

#if defined(QSW_INFLATE_ISAL)

struct raw_inflater::state {
    inflate_state stream;   // about 80 KiB with its history window: on the heap with us
};

raw_inflater::raw_inflater() : state_(new (std::nothrow) state) {
    if (state_) isal_inflate_init(&state_->stream);   // raw deflate, no checksum
}

void raw_inflater::reset() { isal_inflate_reset(&state_->stream); }

void raw_inflater::give(const unsigned char* input, size_t size) {
    state_->stream.next_in = const_cast<unsigned char*>(input);
    state_->stream.avail_in = clamp32(size);
}

// At the stream's end, whole bytes read ahead into the bit buffer are not the stream's: they are
// what follows it (a data descriptor, the next header).
size_t raw_inflater::input_left() const {
    const inflate_state& s = state_->stream;
    size_t read_ahead = s.block_state == ISAL_BLOCK_FINISH && s.read_in_length > 0 ? s.read_in_length / 8 : 0;
    return s.avail_in + read_ahead;
}

inflate_step raw_inflater::run(unsigned char* out, size_t capacity, size_t* written) {
    inflate_state& s = state_->stream;
    uint32_t in_before = s.avail_in;
    s.next_out = out;
    s.avail_out = clamp32(capacity);
    int rc = isal_inflate(&s);
    *written = clamp32(capacity) - s.avail_out;
    if (rc < 0 || rc == ISAL_NEED_DICT) return inflate_step::failed;
    if (s.block_state == ISAL_BLOCK_FINISH) return inflate_step::end;
    return *written == 0 && s.avail_in == in_before ? inflate_step::stalled : inflate_step::progress;
}

namespace {
unsigned long crc_piece(unsigned long crc, const unsigned char* data, unsigned size) {
    return crc32_gzip_refl(static_cast<uint32_t>(crc), data, size);
}
}   // namespace

#else

struct raw_inflater::state {
    z_stream stream{};
    bool initialised = false;
    ~state() {
        if (initialised) inflateEnd(&stream);
    }
};

raw_inflater::raw_inflater() : state_(new (std::nothrow) state) {
    if (state_ && inflateInit2(&state_->stream, -MAX_WBITS) == Z_OK) state_->initialised = true;
    if (state_ && !state_->initialised) state_.reset();
}

void raw_inflater::reset() { inflateReset(&state_->stream); }

void raw_inflater::give(const unsigned char* input, size_t size) {
    state_->stream.next_in = const_cast<unsigned char*>(input);
    state_->stream.avail_in = clamp32(size);
}

size_t raw_inflater::input_left() const { return state_->stream.avail_in; }

inflate_step raw_inflater::run(unsigned char* out, size_t capacity, size_t* written) {
    z_stream& z = state_->stream;
    z.next_out = out;
    z.avail_out = clamp32(capacity);
    int rc = inflate(&z, Z_NO_FLUSH);
    *written = clamp32(capacity) - z.avail_out;
    if (rc == Z_STREAM_END) return inflate_step::end;
    if (rc == Z_BUF_ERROR) return inflate_step::stalled;
    return rc == Z_OK ? inflate_step::progress : inflate_step::failed;
}

namespace {
unsigned long crc_piece(unsigned long crc, const unsigned char* data, unsigned size) { return crc32(crc, data, size); }
}   // namespace

#endif

unsigned long zip_crc32(unsigned long crc, const unsigned char* data, size_t size) {
    for (size_t done = 0; done < size;) {
        unsigned n = clamp32(size - done);
        crc = crc_piece(crc, data + done, n);
        done += n;
    }
    return crc;
}

raw_inflater::~raw_inflater() = default;

bool raw_inflater::ready() const { return state_ != nullptr; }
