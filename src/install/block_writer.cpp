#include "install/block_writer.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "install/raw_inflate.h"
#include "os/digest.h"
#include "os/unpack.h"

struct block_writer::state {
    std::mutex mutex;
    std::condition_variable changed;
    const unsigned char* pending = nullptr;   // handed over, not yet written
    size_t pending_size = 0;
    bool busy = false;      // the thread is writing a block
    bool closing = false;   // no more blocks will come
    bool failed = false;
    unsigned long crc = 0;
    os_output_file* file = nullptr;
    os_digest_stream* digest = nullptr;
    std::thread thread;

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return pending || closing; });
            if (!pending) return;
            const unsigned char* data = pending;
            size_t size = pending_size;
            pending = nullptr;
            busy = true;
            lock.unlock();
            // The CRC, the digest and the write run here, outside the lock, while the caller
            // inflates.
            unsigned long sum = zip_crc32(crc, data, size);
            bool ok = failed || os_output_file_write(file, data, size);
            if (ok && digest) os_digest_stream_update(digest, data, size);   // a failure spoils only the digest
            lock.lock();
            crc = sum;
            failed = failed || !ok;
            busy = false;
            changed.notify_all();
        }
    }

    void wait_idle(std::unique_lock<std::mutex>& lock) {
        changed.wait(lock, [this] { return !pending && !busy; });
    }
};

block_writer::block_writer() = default;

block_writer::~block_writer() {
    unsigned long ignored;
    if (state_) finish(ignored);
}

bool block_writer::start(os_output_file* file, os_digest_stream* digest) {
    try {
        state_ = std::make_unique<state>();
        state_->file = file;
        state_->digest = digest;
        state_->thread = std::thread([s = state_.get()] { s->run(); });
        return true;
    } catch (const std::exception&) {   // no memory or no thread: the caller writes itself
        state_.reset();
        return false;
    }
}

bool block_writer::submit(const unsigned char* data, size_t size) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->wait_idle(lock);   // the block before is written: its buffer is free again
    if (state_->failed) return false;
    if (size == 0) return true;
    state_->pending = data;
    state_->pending_size = size;
    state_->changed.notify_all();
    return true;
}

bool block_writer::finish(unsigned long& crc) {
    if (!state_) return false;
    {
        std::unique_lock<std::mutex> lock(state_->mutex);
        state_->wait_idle(lock);
        state_->closing = true;
        state_->changed.notify_all();
    }
    state_->thread.join();
    crc = state_->crc;
    bool ok = !state_->failed;
    state_.reset();
    return ok;
}
