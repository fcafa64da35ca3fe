// Hand-over cost of the loop worker against a plain mutex + condition variable queue served by
// one thread, in one run: items per second from another thread, and the median time from
// submission to the start of the callback. Prints figures; nothing fails on a time.
//   loop_worker_bench [items [pairs]]
// Both queues are measured in every pair, in alternating order; the ratios are medians of the
// per-pair ratios.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "utils/event_loop/qz_loop_worker.h"
#include "utils/qz_status.h"

namespace {

using clock_type = std::chrono::steady_clock;
using work_fn = void (*)(void*);

// The baseline: the usual hand-off, bounded like the worker's queue.
class cv_queue {
public:
    cv_queue() : consumer_([this] { serve(); }) {}
    ~cv_queue() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_one();
        consumer_.join();
    }
    bool submit(work_fn fn, void* data) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (items_.size() >= static_cast<size_t>(qz_loop_worker_queue_limit)) return false;
            items_.push_back({fn, data});
        }
        cv_.notify_one();
        return true;
    }

private:
    struct item {
        work_fn fn;
        void* data;
    };
    void serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            cv_.wait(lock, [this] { return done_ || !items_.empty(); });
            if (items_.empty()) return;
            item next = items_.front();
            items_.pop_front();
            lock.unlock();
            next.fn(next.data);
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<item> items_;
    bool done_ = false;
    std::thread consumer_;
};

struct counter {
    std::atomic<long> runs{0};
};

void count(void* data) { static_cast<counter*>(data)->runs.fetch_add(1, std::memory_order_relaxed); }

struct ping {
    clock_type::time_point sent;
    std::atomic<long long> latency_ns{-1};
};

void pong(void* data) {
    ping* p = static_cast<ping*>(data);
    p->latency_ns.store(std::chrono::duration_cast<std::chrono::nanoseconds>(clock_type::now() - p->sent).count());
}

template <typename Submit>
double items_per_second(long items, Submit submit) {
    counter c;
    auto start = clock_type::now();
    for (long i = 0; i < items; ++i) {
        while (!submit(count, &c)) std::this_thread::yield();   // full: let the consumer run
    }
    while (c.runs.load() < items) std::this_thread::yield();
    double seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    return items / seconds;
}

// One item in flight at a time: the cost of a single hand-over, not of a queue.
template <typename Submit>
double median_latency_us(int rounds, Submit submit) {
    std::vector<long long> samples;
    samples.reserve(rounds);
    for (int i = 0; i < rounds; ++i) {
        ping p;
        p.sent = clock_type::now();
        while (!submit(pong, &p)) std::this_thread::yield();
        while (p.latency_ns.load() < 0) std::this_thread::yield();
        samples.push_back(p.latency_ns.load());
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2] / 1000.0;
}

}   // namespace

struct pair_figures {
    double worker_rate, cv_rate, worker_latency, cv_latency;
};

double median_of(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void print_ratio(const char* what, const std::vector<double>& ratios) {
    std::printf("ratio worker/baseline, %s: median %.2f (min %.2f, max %.2f over %zu pairs)\n", what, median_of(ratios),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                ratios.size());
}

int main(int argc, char** argv) {
    long items = argc > 1 ? std::atol(argv[1]) : 300000;
    int pairs = argc > 2 ? std::atoi(argv[2]) : 7;
    const int rounds = 20000;
    if (items <= 0 || pairs <= 0) {
        std::fprintf(stderr, "usage: loop_worker_bench [items [pairs]]\n");
        return 2;
    }

    qz_loop_host* host = qz_loop_worker_create();
    if (host == nullptr || qz_loop_worker_start(host) != QZ_OK) {
        std::fprintf(stderr, "loop worker could not start\n");
        return 1;
    }
    qz_loop_worker* worker = qz_loop_host_worker(host);
    auto worker_submit = [worker](work_fn fn, void* data) {
        int rc = qz_loop_worker_submit_work(worker, fn, data);
        if (rc != QZ_OK && rc != QZ_ERR_NO_MEMORY) {
            std::fprintf(stderr, "submission refused: %s\n", qz_status_name(rc));
            std::exit(1);
        }
        return rc == QZ_OK;
    };
    std::vector<pair_figures> figures;
    {
        cv_queue queue;
        auto cv_submit = [&queue](work_fn fn, void* data) { return queue.submit(fn, data); };
        // Both queues run in every pair, which goes first alternating, so that a change of load
        // on the machine meets both alike.
        for (int i = 0; i < pairs; ++i) {
            pair_figures f{};
            if (i % 2 == 0) {
                f.worker_rate = items_per_second(items, worker_submit);
                f.cv_rate = items_per_second(items, cv_submit);
                f.worker_latency = median_latency_us(rounds, worker_submit);
                f.cv_latency = median_latency_us(rounds, cv_submit);
            } else {
                f.cv_rate = items_per_second(items, cv_submit);
                f.worker_rate = items_per_second(items, worker_submit);
                f.cv_latency = median_latency_us(rounds, cv_submit);
                f.worker_latency = median_latency_us(rounds, worker_submit);
            }
            figures.push_back(f);
        }
    }
    qz_loop_worker_stop(host);
    qz_loop_worker_join(host);
    qz_loop_worker_release(host);

    std::vector<double> worker_rate, cv_rate, worker_latency, cv_latency, rate_ratio, latency_ratio;
    for (const pair_figures& f : figures) {
        worker_rate.push_back(f.worker_rate);
        cv_rate.push_back(f.cv_rate);
        worker_latency.push_back(f.worker_latency);
        cv_latency.push_back(f.cv_latency);
        rate_ratio.push_back(f.worker_rate / f.cv_rate);
        latency_ratio.push_back(f.worker_latency / f.cv_latency);
    }
    std::printf("loop worker hand-over, %ld items from another thread, %d single round trips, %d pairs (medians)\n",
                items, rounds, pairs);
    std::printf("%-28s %14s %18s\n", "", "items/s", "median latency us");
    std::printf("%-28s %14.0f %18.2f\n", "qz_loop_worker (pipe)", median_of(worker_rate), median_of(worker_latency));
    std::printf("%-28s %14.0f %18.2f\n", "mutex + condition variable", median_of(cv_rate), median_of(cv_latency));
    print_ratio("throughput", rate_ratio);
    print_ratio("latency", latency_ratio);
    return 0;
}
