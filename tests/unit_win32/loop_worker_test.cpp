// The loop worker on Windows: items handed over through its named pipe from many threads, each
// run once on the loop thread. Their addresses come from the heap, so over a few thousand
// items every byte value appears in them, the line feed that a text-mode pipe would rewrite too.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "utils/event_loop/qz_loop_worker.h"
#include "utils/qz_status.h"

namespace {
struct work_item {
    std::atomic<int>* runs;
    std::atomic<int>* wrong_thread;
    qz_loop_worker* worker;
};

void run_item(void* data) {
    std::unique_ptr<work_item> item(static_cast<work_item*>(data));
    if (!qz_loop_worker_in_loop_thread(item->worker)) item->wrong_thread->fetch_add(1);
    item->runs->fetch_add(1);
}

void count_once(void* data) { static_cast<std::atomic<int>*>(data)->fetch_add(1); }
}   // namespace

TEST(Win32LoopWorker, ItemsFromManyThreadsEachRunOnceOnTheLoopThread) {
    qz_loop_host* host = qz_loop_worker_create();
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(qz_loop_worker_start(host), QZ_OK);
    qz_loop_worker* worker = qz_loop_host_worker(host);
    std::atomic<int> runs{0}, wrong_thread{0}, submitted{0};
    constexpr int threads = 4, per_thread = 1500;
    std::vector<std::thread> submitters;
    for (int t = 0; t < threads; ++t) {
        submitters.emplace_back([&] {
            for (int i = 0; i < per_thread; ++i) {
                auto* item = new work_item{&runs, &wrong_thread, worker};
                if (qz_loop_worker_submit_work(worker, run_item, item) == QZ_OK)
                    submitted.fetch_add(1);
                else
                    delete item;   // a full queue refuses; the item was never handed over
            }
        });
    }
    for (auto& s : submitters) s.join();
    std::atomic<int> waited{0};
    ASSERT_EQ(qz_loop_worker_submit_work_and_wait(worker, count_once, &waited), QZ_OK);
    EXPECT_EQ(waited.load(), 1);
    qz_loop_worker_stop(host);
    qz_loop_worker_join(host);
    qz_loop_worker_release(host);
    EXPECT_GT(submitted.load(), 0);
    EXPECT_EQ(runs.load(), submitted.load()) << "every item handed over ran exactly once";
    EXPECT_EQ(wrong_thread.load(), 0);
}
