#include "install/zip_entry_copy.h"

#include <new>

#include "install/raw_inflate.h"
#include "os/digest.h"
#include "os/unpack.h"

namespace {
constexpr unsigned input_buffer_size = 1 << 20;
constexpr int method_stored = 0;
}   // namespace

struct entry_copier::parts {
    zlib_filefunc64_def functions{};
    voidpf stream = nullptr;
    ZPOS64_T remaining = 0;   // data of the current entry not yet read
    std::unique_ptr<unsigned char[]> input;
    std::unique_ptr<unsigned char[]> output[2];   // used in turn when a helper thread writes
    raw_inflater inflater;

    ~parts() {
        if (stream) functions.zclose_file(functions.opaque, stream);
    }

    // Reads the next block into the input buffer: its size, 0 at the end, or UNZ_ERRNO.
    int read_block(entry_copy_result& result) {
        if (remaining == 0) return 0;
        uLong want = remaining < input_buffer_size ? static_cast<uLong>(remaining) : input_buffer_size;
        if (functions.zread_file(functions.opaque, stream, input.get(), want) != want) {
            result.error = UNZ_ERRNO;
            result.failure = copy_failure::read;
            return UNZ_ERRNO;
        }
        remaining -= want;
        return static_cast<int>(want);
    }

    void copy_stored(entry_sink& sink, entry_copy_result& result) {
        for (;;) {
            int n = read_block(result);
            if (n <= 0 || !sink.put(input.get(), static_cast<size_t>(n)) || result.overrun) return;
        }
    }

    void copy_deflated(entry_sink& sink, entry_copy_result& result) {
        inflater.reset();
        inflater.give(input.get(), 0);
        bool input_done = false;
        int turn = 0;
        for (;;) {
            if (inflater.input_left() == 0 && !input_done) {
                int n = read_block(result);
                if (n < 0) return;
                input_done = n == 0;
                inflater.give(input.get(), static_cast<size_t>(n));
            }
            unsigned char* out = output[turn].get();
            size_t written = 0;
            inflate_step step = inflater.run(out, entry_block_size, &written);
            if (!sink.put(out, written)) return;
            if (sink.pipelined()) turn ^= 1;   // the writer holds the other buffer
            if (step == inflate_step::end || result.overrun) return;
            // Data that ends before the stream does: the size check of the caller reports it.
            if (step == inflate_step::stalled && input_done) return;
            if (step == inflate_step::failed) {
                result.error = Z_DATA_ERROR;
                result.failure = copy_failure::read;
                return;
            }
        }
    }
};

entry_copier::entry_copier() = default;
entry_copier::~entry_copier() = default;

bool entry_copier::open(const zlib_filefunc64_def& functions, const char* archive_path) {
    parts_.reset(new (std::nothrow) parts);
    if (!parts_) return false;
    parts& p = *parts_;
    p.functions = functions;
    p.stream =
        functions.zopen64_file(functions.opaque, archive_path, ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
    p.input.reset(new (std::nothrow) unsigned char[input_buffer_size]);
    for (auto& buffer : p.output) buffer.reset(new (std::nothrow) unsigned char[entry_block_size]);
    return p.stream && p.input && p.output[0] && p.output[1] && p.inflater.ready();
}

entry_copy_result entry_copier::copy(unzFile archive, const unz_file_info64& info, int method, os_output_file* file,
                                     os_digest_stream* digest) {
    entry_copy_result result;
    parts& p = *parts_;
    p.remaining = info.compressed_size;
    if (p.functions.zseek64_file(p.functions.opaque, p.stream, unzGetCurrentFileZStreamPos64(archive),
                                 ZLIB_FILEFUNC_SEEK_SET) != 0) {
        result.error = UNZ_ERRNO;
        result.failure = copy_failure::read;
        return result;
    }
    entry_sink sink(file, digest, info.uncompressed_size, result);
    if (method == method_stored) {
        p.copy_stored(sink, result);
    } else {
        if (info.uncompressed_size >= pipelined_entry_size) sink.start_writer();
        p.copy_deflated(sink, result);
    }
    sink.finish();
    return result;
}
