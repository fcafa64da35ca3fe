// Loop worker: refusals, the bounded queue, reassembly of split addresses, the draining stop and
// many concurrent submitters.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "utils/event_loop/qz_loop_worker.h"
#include "utils/event_loop/qz_loop_worker_testing.h"
#include "utils/qz_logger.h"
#include "utils/qz_status.h"

namespace {

using namespace std::chrono_literals;

const char* const refused_line = "cannot submit loop work after(before) loop_worker has been stopped(started)";

struct captured_line {
    int severity;
    std::string module;
    std::string message;
};

class line_capture {
public:
    line_capture() {
        logger_.write = &line_capture::write;
        logger_.context = this;
        logger_.max_severity = QZ_LOG_TRACE;
    }
    const qz_logger* logger() const { return &logger_; }

    std::vector<captured_line> lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    // Lines whose message begins with prefix.
    std::vector<captured_line> starting_with(const std::string& prefix) const {
        std::vector<captured_line> found;
        for (const captured_line& line : lines()) {
            if (line.message.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
        }
        return found;
    }

private:
    static void write(void* context, int severity, const char* module, const char*, int, const char*,
                      const char* message) {
        line_capture* self = static_cast<line_capture*>(context);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->lines_.push_back({severity, module, message});
    }
    qz_logger logger_;
    mutable std::mutex mutex_;
    std::vector<captured_line> lines_;
};

// A gate that a loop callback waits on, so the test can hold the loop thread still.
struct gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool entered = false;
    bool open = false;

    static void hold(void* data) {
        gate* g = static_cast<gate*>(data);
        std::unique_lock<std::mutex> lock(g->mutex);
        g->entered = true;
        g->cv.notify_all();
        g->cv.wait_for(lock, 20s, [g] { return g->open; });
    }
    bool wait_entered() {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, 10s, [this] { return entered; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        cv.notify_all();
    }
};

void count_up(void* data) { static_cast<std::atomic<int>*>(data)->fetch_add(1); }

template <typename Predicate>
bool eventually(Predicate done) {
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Bytes written into the pipe that the loop has not read yet (FIONREAD works on either end).
int unread_bytes(int fd) {
    int count = -1;
    return ioctl(fd, FIONREAD, &count) == 0 ? count : -1;
}

class LoopWorker : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = qz_loop_worker_create();
        ASSERT_NE(host_, nullptr);
        qz_loop_worker_set_logger(host_, capture_.logger());
        worker_ = qz_loop_host_worker(host_);
    }
    void TearDown() override { qz_loop_worker_release(host_); }
    void stop_and_join() {
        qz_loop_worker_stop(host_);
        qz_loop_worker_join(host_);
    }

    line_capture capture_;
    qz_loop_host* host_ = nullptr;
    qz_loop_worker* worker_ = nullptr;
};

TEST_F(LoopWorker, RefusesWorkBeforeStartAndAfterStop) {
    std::atomic<int> runs{0};
    EXPECT_EQ(qz_loop_worker_submit_work(nullptr, count_up, &runs), QZ_ERR_MISSING_ARGUMENT);
    EXPECT_EQ(qz_loop_worker_submit_work(worker_, count_up, &runs), QZ_ERR_WRONG_STATE);
    ASSERT_EQ(capture_.starting_with(refused_line).size(), 1u);
    EXPECT_EQ(capture_.starting_with(refused_line)[0].severity, QZ_LOG_REFUSED);
    EXPECT_EQ(capture_.starting_with(refused_line)[0].module, "loop_worker");

    ASSERT_EQ(qz_loop_worker_start(host_), QZ_OK);
    EXPECT_EQ(qz_loop_worker_start(host_), QZ_ERR_WRONG_STATE);   // never restarted
    ASSERT_EQ(qz_loop_worker_submit_work(worker_, count_up, &runs), QZ_OK);
    qz_loop_worker_stop(host_);
    EXPECT_EQ(qz_loop_worker_submit_work(worker_, count_up, &runs), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_loop_worker_submit_work_and_wait(worker_, count_up, &runs), QZ_ERR_WRONG_STATE);
    qz_loop_worker_join(host_);
    EXPECT_EQ(qz_loop_worker_submit_work(worker_, count_up, &runs), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(capture_.starting_with(refused_line).size(), 4u);
}

TEST_F(LoopWorker, RunsWorkOnItsOwnThreadAndLogsItsLife) {
    struct probe {
        std::atomic<bool> on_loop{false};
        std::atomic<int> runs{0};
    } p;
    ASSERT_EQ(qz_loop_worker_start(host_), QZ_OK);
    EXPECT_FALSE(qz_loop_worker_in_loop_thread(worker_));
    static qz_loop_worker* current = nullptr;
    current = worker_;
    ASSERT_EQ(qz_loop_worker_submit_work_and_wait(
                  worker_,
                  [](void* data) {
                      probe* p = static_cast<probe*>(data);
                      p->on_loop = qz_loop_worker_in_loop_thread(current);
                      // A waited submission from the loop thread itself runs at once.
                      EXPECT_EQ(qz_loop_worker_submit_work_and_wait(current, count_up, &p->runs), QZ_OK);
                      p->runs.fetch_add(1);
                  },
                  &p),
              QZ_OK);
    // The waited call returns only after its callback (and the nested one) ran.
    EXPECT_EQ(p.runs.load(), 2);
    EXPECT_TRUE(p.on_loop.load());
    stop_and_join();

    for (const char* text : {"Created name pipe", "Opened named pipe", "Loop worker started",
                             "Loop worker completely stopped", "Loop worker idle close cb", "Loop worker closed"}) {
        auto found = capture_.starting_with(text);
        ASSERT_EQ(found.size(), 1u) << text;
        EXPECT_EQ(found[0].severity, QZ_LOG_INFO) << text;
    }
    // The closing walk lists the pipe stream, already closing.
    std::regex pipe_line(R"(- pipe     0x[0-9a-f]+ \.data=0x[0-9a-f]+\n)");
    bool listed = false;
    for (const captured_line& line : capture_.lines()) {
        listed = listed || std::regex_match(line.message, pipe_line);
    }
    EXPECT_TRUE(listed);
    qz_loop_worker_release(host_);
    host_ = nullptr;
    EXPECT_EQ(capture_.starting_with("Loop worker destroys").size(), 1u);
}

TEST_F(LoopWorker, QueueHoldsAtMost1024ItemsInFlight) {
    gate g;
    std::atomic<int> runs{0};
    ASSERT_EQ(qz_loop_worker_start(host_), QZ_OK);
    ASSERT_EQ(qz_loop_worker_submit_work(worker_, gate::hold, &g), QZ_OK);
    ASSERT_TRUE(g.wait_entered());
    EXPECT_EQ(qz_loop_worker_pending_count(worker_), 0);

    for (int i = 0; i < qz_loop_worker_queue_limit; ++i) {
        ASSERT_EQ(qz_loop_worker_submit_work(worker_, count_up, &runs), QZ_OK) << i;
    }
    EXPECT_EQ(qz_loop_worker_submit_work(worker_, count_up, &runs), QZ_ERR_NO_MEMORY);
    EXPECT_EQ(qz_loop_worker_pending_count(worker_), 1024);
    auto full = capture_.starting_with("loop worker queue is full or write failed");
    ASSERT_EQ(full.size(), 1u);
    EXPECT_EQ(full[0].message, "loop worker queue is full or write failed; # of messages in queue: 1025 of 1024");
    EXPECT_EQ(full[0].severity, QZ_LOG_REFUSED);

    g.release();
    ASSERT_TRUE(eventually([&] { return runs.load() == 1024; }));
    EXPECT_EQ(qz_loop_worker_pending_count(worker_), 0);
    // Room again once the loop has caught up.
    EXPECT_EQ(qz_loop_worker_submit_work(worker_, count_up, &runs), QZ_OK);
    stop_and_join();
    EXPECT_EQ(runs.load(), 1025);
}

TEST_F(LoopWorker, ReassemblesAddressesSplitOverReads) {
    std::atomic<int> first{0};
    std::atomic<int> second{0};
    ASSERT_EQ(qz_loop_worker_start(host_), QZ_OK);
    int fd = qz_loop_worker_test_write_descriptor(worker_);
    ASSERT_GE(fd, 0);

    void* item = qz_loop_worker_test_make_item(worker_, count_up, &first);
    ASSERT_NE(item, nullptr);
    unsigned char bytes[2 * sizeof(void*)];
    std::memcpy(bytes, &item, sizeof item);
    ASSERT_EQ(write(fd, bytes, 3), 3);
    // The loop reads the first part on its own before the rest is written.
    ASSERT_TRUE(eventually([&] { return unread_bytes(fd) == 0; }));
    EXPECT_EQ(first.load(), 0);
    ASSERT_EQ(write(fd, bytes + 3, sizeof item - 3), static_cast<ssize_t>(sizeof item - 3));
    ASSERT_TRUE(eventually([&] { return first.load() == 1; }));

    // Two addresses cut across their boundary: each runs once.
    void* a = qz_loop_worker_test_make_item(worker_, count_up, &first);
    void* b = qz_loop_worker_test_make_item(worker_, count_up, &second);
    std::memcpy(bytes, &a, sizeof a);
    std::memcpy(bytes + sizeof a, &b, sizeof b);
    const size_t cut = sizeof(void*) + 1;
    ASSERT_EQ(write(fd, bytes, cut), static_cast<ssize_t>(cut));
    ASSERT_TRUE(eventually([&] { return first.load() == 2 && unread_bytes(fd) == 0; }));
    EXPECT_EQ(second.load(), 0);
    ASSERT_EQ(write(fd, bytes + cut, sizeof bytes - cut), static_cast<ssize_t>(sizeof bytes - cut));
    ASSERT_TRUE(eventually([&] { return second.load() == 1; }));
    stop_and_join();
    EXPECT_EQ(first.load(), 2);
    EXPECT_EQ(second.load(), 1);
    EXPECT_EQ(qz_loop_worker_pending_count(worker_), 0);
}

TEST_F(LoopWorker, EndOfFileOnThePipeIsLoggedOnceWithItsCode) {
    ASSERT_EQ(qz_loop_worker_start(host_), QZ_OK);
    int fd = qz_loop_worker_test_write_descriptor(worker_);
    ASSERT_GE(fd, 0);
    // Put another pipe's write end in place of the worker's: the last writer of the worker's
    // pipe is gone, so its reader meets end of file. The worker still owns (and later closes) fd.
    int other[2];
    ASSERT_EQ(pipe(other), 0);
    ASSERT_EQ(dup2(other[1], fd), fd);
    close(other[0]);
    close(other[1]);
    const std::string eof_line = "error in read_cb, the other end probably closed the connection";
    ASSERT_TRUE(eventually([&] { return !capture_.starting_with(eof_line).empty(); }));
    stop_and_join();
    auto found = capture_.starting_with(eof_line);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].message, eof_line + " - uv error <" + std::to_string(UV_EOF) + "> <end of file>");
    EXPECT_EQ(found[0].severity, QZ_LOG_FAILURE);
    EXPECT_TRUE(capture_.starting_with("error in read_cb - ").empty()) << "end of file is no read error";
}

TEST_F(LoopWorker, ReadErrorsAndEndOfFileAreLoggedOnceEachAndWorkGoesOn) {
    std::atomic<int> runs{0};
    ASSERT_EQ(qz_loop_worker_start(host_), QZ_OK);
    static qz_loop_worker* current = nullptr;
    current = worker_;
    ASSERT_EQ(qz_loop_worker_submit_work_and_wait(
                  worker_,
                  [](void*) {
                      for (long nread : {long{UV_EIO}, long{UV_ECONNRESET}, long{UV_EOF}, long{UV_EOF}, 0L})
                          qz_loop_worker_test_read_result(current, nread);
                  },
                  nullptr),
              QZ_OK);
    ASSERT_EQ(qz_loop_worker_submit_work_and_wait(worker_, count_up, &runs), QZ_OK);
    stop_and_join();
    EXPECT_EQ(runs.load(), 1);
    auto errors = capture_.starting_with("error in read_cb - ");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message, "error in read_cb - uv error <" + std::to_string(UV_EIO) + "> <i/o error>");
    EXPECT_EQ(errors[0].severity, QZ_LOG_FAILURE);
    EXPECT_EQ(capture_.starting_with("error in read_cb, the other end probably closed").size(), 1u);
    EXPECT_FALSE(capture_.starting_with("No Data").empty()) << "0 bytes are no error";
}

TEST_F(LoopWorker, StopRunsEverythingStillQueued) {
    gate g;
    std::atomic<int> runs{0};
    ASSERT_EQ(qz_loop_worker_start(host_), QZ_OK);
    ASSERT_EQ(qz_loop_worker_submit_work(worker_, gate::hold, &g), QZ_OK);
    ASSERT_TRUE(g.wait_entered());
    const int queued = 1000;
    for (int i = 0; i < queued; ++i) {
        ASSERT_EQ(qz_loop_worker_submit_work(worker_, count_up, &runs), QZ_OK);
    }
    qz_loop_worker_stop(host_);
    g.release();
    qz_loop_worker_join(host_);
    EXPECT_EQ(runs.load(), queued);
    EXPECT_EQ(qz_loop_worker_pending_count(worker_), 0);

    // The drain reported what was left on each turn, counting down.
    auto waiting = capture_.starting_with("# of pending messages are <");
    ASSERT_FALSE(waiting.empty());
    int previous = queued + 1;
    for (const captured_line& line : waiting) {
        int left = std::stoi(line.message.substr(std::strlen("# of pending messages are <")));
        EXPECT_GT(left, 0);
        EXPECT_LE(left, previous);
        previous = left;
    }
    EXPECT_EQ(capture_.starting_with("Loop worker completely stopped").size(), 1u);
}

TEST_F(LoopWorker, ManySubmittersLoseAndDuplicateNothing) {
    constexpr int threads = 6;
    constexpr int per_thread = 3000;
    struct record {
        std::vector<int> seen = std::vector<int>(threads * per_thread, 0);
        std::vector<int> last = std::vector<int>(threads, -1);
        int out_of_order = 0;
    } rec;   // touched only on the loop thread until the join
    struct ticket {
        record* rec;
        int thread;
        int seq;
    };
    std::vector<ticket> tickets;
    tickets.reserve(threads * per_thread);
    for (int t = 0; t < threads; ++t) {
        for (int s = 0; s < per_thread; ++s) tickets.push_back({&rec, t, s});
    }
    auto note = [](void* data) {
        ticket* k = static_cast<ticket*>(data);
        k->rec->seen[k->thread * per_thread + k->seq] += 1;
        // One submitter's items keep their order through the pipe.
        if (k->seq <= k->rec->last[k->thread]) k->rec->out_of_order += 1;
        k->rec->last[k->thread] = k->seq;
    };

    qz_loop_worker_set_logger(host_, nullptr);   // per-item trace lines would only slow this down
    ASSERT_EQ(qz_loop_worker_start(host_), QZ_OK);
    std::atomic<int> refused{0};
    std::vector<std::thread> submitters;
    for (int t = 0; t < threads; ++t) {
        submitters.emplace_back([&, t] {
            for (int s = 0; s < per_thread; ++s) {
                int rc;
                while ((rc = qz_loop_worker_submit_work(worker_, note, &tickets[t * per_thread + s])) ==
                       QZ_ERR_NO_MEMORY) {
                    std::this_thread::yield();   // queue full: the loop catches up
                }
                if (rc != QZ_OK) refused.fetch_add(1);
            }
        });
    }
    for (std::thread& th : submitters) th.join();
    stop_and_join();
    EXPECT_EQ(refused.load(), 0);
    int missing = 0;
    int duplicated = 0;
    for (int count : rec.seen) {
        missing += count == 0;
        duplicated += count > 1;
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(duplicated, 0);
    EXPECT_EQ(rec.out_of_order, 0);
}

TEST_F(LoopWorker, StopAndReleaseWithoutAStartDoNotWait) {
    std::atomic<int> runs{0};
    qz_loop_worker_stop(host_);
    qz_loop_worker_join(host_);
    EXPECT_EQ(qz_loop_worker_submit_work(worker_, count_up, &runs), QZ_ERR_WRONG_STATE);
    qz_loop_worker_release(nullptr);
}

// Lowers the open-file limit to the descriptors already open, for the life of the object.
class no_free_descriptors {
public:
    no_free_descriptors() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        int lowest_free = dup(0);
        close(lowest_free);
        rlimit tight = saved_;
        tight.rlim_cur = static_cast<rlim_t>(lowest_free);
        applied_ = lowest_free > 0 && setrlimit(RLIMIT_NOFILE, &tight) == 0;
    }
    ~no_free_descriptors() { setrlimit(RLIMIT_NOFILE, &saved_); }
    bool applied() const { return applied_; }

private:
    rlimit saved_{};
    bool applied_ = false;
};

TEST_F(LoopWorker, WithoutAPipeEverySubmissionIsRefusedAndNothingWaits) {
    {
        no_free_descriptors limit;
        if (!limit.applied()) GTEST_SKIP() << "cannot lower the open-file limit";
        ASSERT_EQ(qz_loop_worker_start(host_), QZ_OK);   // the set-up has failed by now
    }
    std::atomic<int> runs{0};
    EXPECT_EQ(qz_loop_worker_submit_work(worker_, count_up, &runs), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_loop_worker_submit_work_and_wait(worker_, count_up, &runs), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_loop_worker_test_write_descriptor(worker_), -1);
    auto failures = capture_.starting_with("Loop worker start Failed - uv error <");
    auto pipe_failures = capture_.starting_with("Loop worker setup pipe Failed, rc = <501>");
    EXPECT_EQ(failures.size() + pipe_failures.size(), 1u);
    stop_and_join();   // the loop had nothing to run and has ended: this returns
    EXPECT_EQ(runs.load(), 0);
    EXPECT_TRUE(capture_.starting_with("Loop worker started").empty());
}

TEST(LoopWorkerRelease, ReleaseOfARunningWorkerStopsItFirst) {
    qz_loop_host* host = qz_loop_worker_create();
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(qz_loop_worker_start(host), QZ_OK);
    std::atomic<int> runs{0};
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(qz_loop_worker_submit_work(qz_loop_host_worker(host), count_up, &runs), QZ_OK);
    }
    qz_loop_worker_release(host);   // returns: the queued work ran and the thread ended
    EXPECT_EQ(runs.load(), 100);
}

}   // namespace
