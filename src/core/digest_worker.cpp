#include "core/digest_worker.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {
// Small writes are gathered into blocks of this size; the queue holds at most four of them, so
// a worker costs about 4 MiB however large the file.
constexpr size_t block_capacity = 1 << 20;
constexpr size_t queue_limit = 4 * block_capacity;
// The first bytes are hashed on the feeding thread: for a small file starting and joining a
// thread costs more than hashing it (a road of a thousand small files would pay it a thousand
// times). The thread starts when the data goes beyond this.
constexpr size_t inline_limit = 256 * 1024;

using block = std::vector<unsigned char>;
}   // namespace

struct digest_worker {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<block> queued;
    std::vector<block> spare;   // emptied blocks, kept for reuse
    size_t queued_bytes = 0;    // not counting the block being hashed
    bool closing = false;       // no more data will come
    bool stopping = false;      // drop what is queued
    bool failed = false;
    size_t hashed_inline = 0;   // by the feeding thread, before the thread started
    bool threaded = false;      // the thread runs (or ran); from then on only it touches `stream`
    os_digest_stream* stream = nullptr;
    std::thread thread;

    ~digest_worker() { os_digest_stream_release(stream); }

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return !queued.empty() || closing || stopping; });
            if (stopping || queued.empty()) return;
            block data = std::move(queued.front());
            queued.pop_front();
            queued_bytes -= data.size();
            lock.unlock();
            bool ok = os_digest_stream_update(stream, data.data(), data.size());
            data.clear();
            lock.lock();
            failed = failed || !ok;
            recycle(std::move(data));
            changed.notify_all();
        }
    }

    void recycle(block&& used) {
        try {
            if (spare.size() < 4) spare.push_back(std::move(used));
        } catch (const std::bad_alloc&) {}
    }

    // Appends to the last queued block while it has room, else queues a new one.
    void enqueue(const unsigned char* data, size_t size) {
        if (queued.empty() || queued.back().size() + size > block_capacity) {
            block fresh;
            if (!spare.empty()) {
                fresh = std::move(spare.back());
                spare.pop_back();
            }
            fresh.reserve(size > block_capacity ? size : block_capacity);
            queued.push_back(std::move(fresh));
        }
        queued.back().insert(queued.back().end(), data, data + size);
        queued_bytes += size;
    }
};

digest_worker* digest_worker_start(os_digest_kind kind) {
    std::unique_ptr<digest_worker> worker(new (std::nothrow) digest_worker);
    if (!worker || !(worker->stream = os_digest_stream_create(kind))) return nullptr;
    return worker.release();
}

namespace {
// False when the data was hashed here, on the feeding thread: while the total is small, or when
// no thread can be had (slower, but the digest is still of every byte).
bool hashed_inline(digest_worker* worker, const void* data, size_t size) {
    if (worker->threaded) return false;
    if (worker->hashed_inline + size > inline_limit) {
        try {
            worker->thread = std::thread([worker] { worker->run(); });
            worker->threaded = true;
            return false;
        } catch (const std::exception&) {}
    }
    worker->hashed_inline += size;
    if (!os_digest_stream_update(worker->stream, data, size)) worker->failed = true;
    return true;
}
}   // namespace

bool digest_worker_feed(digest_worker* worker, const void* data, size_t size) {
    if (!worker || worker->closing) return false;
    if (hashed_inline(worker, data, size)) return !worker->failed;
    std::unique_lock<std::mutex> lock(worker->mutex);
    worker->changed.wait(lock, [worker, size] {
        return worker->failed || worker->queued_bytes == 0 || worker->queued_bytes + size <= queue_limit;
    });
    if (worker->failed || worker->closing) return false;
    if (size == 0) return true;
    try {
        worker->enqueue(static_cast<const unsigned char*>(data), size);
    } catch (const std::bad_alloc&) {
        worker->failed = true;
        return false;
    }
    worker->changed.notify_all();
    return true;
}

bool digest_worker_finish(digest_worker* worker, std::string& hex) {
    if (!worker || worker->closing) return false;
    {
        std::lock_guard<std::mutex> lock(worker->mutex);
        worker->closing = true;
        worker->changed.notify_all();
    }
    if (worker->thread.joinable()) worker->thread.join();
    return !worker->failed && os_digest_stream_finish(worker->stream, hex);
}

void digest_worker_release(digest_worker* worker) {
    if (!worker) return;
    if (worker->thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(worker->mutex);
            worker->stopping = true;
            worker->changed.notify_all();
        }
        worker->thread.join();
    }
    delete worker;
}
