// A thread that hashes the bytes a transfer writes, so that the digest costs the second core
// and not the transfer. The writer hands over copies (the writer's buffer is only lent to it);
// the queue is bounded, and a writer that runs ahead waits for the hash to catch up. The first
// 256 KiB are hashed on the feeding thread, so a small file costs no thread at all.
// One feeding thread per worker.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "os/digest.h"

struct digest_worker;

// A worker whose thread starts once the data outgrows hashing in line. Null when no memory or
// digest can be had: hash afterwards instead.
digest_worker* digest_worker_start(os_digest_kind kind);

// Queues a copy of `data`. False once the worker cannot go on (the digest is then lost).
bool digest_worker_feed(digest_worker* worker, const void* data, size_t size);

// Waits for everything fed and gives the digest of it; the worker is spent afterwards.
bool digest_worker_finish(digest_worker* worker, std::string& hex);

// Stops the thread (dropping what is queued) and frees everything. Accepts null.
void digest_worker_release(digest_worker* worker);

struct digest_worker_releaser {
    void operator()(digest_worker* worker) const noexcept { digest_worker_release(worker); }
};
using digest_worker_ptr = std::unique_ptr<digest_worker, digest_worker_releaser>;
