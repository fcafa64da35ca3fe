#include "install/entry_sink.h"

#include "install/raw_inflate.h"
#include "os/digest.h"
#include "os/unpack.h"

entry_sink::entry_sink(os_output_file* file, os_digest_stream* digest, uint64_t declared, entry_copy_result& result)
    : file_(file), digest_(digest), declared_(declared), result_(result) {
    result_.crc = 0;
}

bool entry_sink::put(const unsigned char* data, size_t n) {
    if (n > declared_ - result_.size) {
        result_.overrun = true;
        n = static_cast<size_t>(declared_ - result_.size);
    }
    result_.size += n;
    bool ok;
    if (pipelined_) {
        ok = writer_.submit(data, n);
    } else {
        result_.crc = zip_crc32(result_.crc, data, n);
        ok = n == 0 || os_output_file_write(file_, data, n);
        if (ok && digest_) os_digest_stream_update(digest_, data, n);   // a failure spoils only the digest
    }
    if (!ok) fail_write();
    return ok;
}

void entry_sink::finish() {
    if (!pipelined_) return;
    pipelined_ = false;
    if (!writer_.finish(result_.crc) && result_.failure == copy_failure::none) fail_write();
}

void entry_sink::fail_write() {
    result_.error = error_short_write;
    result_.failure = copy_failure::write;
}
