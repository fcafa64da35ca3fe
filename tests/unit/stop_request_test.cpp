// Requests to stop from outside: once watched, SIGTERM and SIGHUP no longer end the process but
// reach the handler on a thread of its own; after the watch they are held back, not fatal.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "os/stop_request.h"

namespace {
std::atomic<int> last_request{0};
std::atomic<int> requests{0};
std::atomic<bool> on_other_thread{false};
std::thread::id main_thread;

void record(int request) {
    on_other_thread.store(std::this_thread::get_id() != main_thread);
    last_request.store(request);
    ++requests;
}

bool wait_for_requests(int count) {
    for (int i = 0; i < 200 && requests.load() < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return requests.load() >= count;
}

TEST(StopRequests, TerminationAndHangUpReachTheHandlerThenAreHeldBack) {
    main_thread = std::this_thread::get_id();
    ASSERT_TRUE(os_watch_stop_requests(record));
    EXPECT_FALSE(os_watch_stop_requests(record)) << "one watch at a time";

    ASSERT_EQ(kill(getpid(), SIGTERM), 0);
    ASSERT_TRUE(wait_for_requests(1));
    EXPECT_EQ(last_request.load(), SIGTERM);
    EXPECT_TRUE(on_other_thread.load());
    ASSERT_EQ(kill(getpid(), SIGHUP), 0);
    ASSERT_TRUE(wait_for_requests(2));
    EXPECT_EQ(last_request.load(), SIGHUP);

    os_unwatch_stop_requests();
    ASSERT_EQ(kill(getpid(), SIGTERM), 0);   // would end this test program if it were not held
    sigset_t pending;
    ASSERT_EQ(sigpending(&pending), 0);
    EXPECT_TRUE(sigismember(&pending, SIGTERM));
    EXPECT_EQ(requests.load(), 2) << "no handler runs after the watch";
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    struct timespec none {};
    EXPECT_EQ(sigtimedwait(&term, nullptr, &none), SIGTERM);
}
}   // namespace
