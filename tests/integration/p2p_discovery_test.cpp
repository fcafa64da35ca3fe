// P2P content discovery between network namespaces: the lookup runs in member 1 (its loop thread
// is born there) and test peers written with python3-msgpack answer from members 2 and 3. No
// datagram leaves these namespaces: nothing is sent unless this thread is proven inside member 1.
#include "clients/p2p/qz_p2p_client_content_discovery.h"
#include "clients/udp/qz_udp_request.h"
#include "fixtures/netns.h"
#include "fixtures/netns_suite.h"
#include "fixtures/test_helpers.h"
#include "unit/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string hex_of(const std::string& text) {
    std::string hex;
    char two[3];
    for (unsigned char c : text) {
        std::snprintf(two, sizeof two, "%02x", c);
        hex += two;
    }
    return hex;
}

// The request as it must look on the wire for a 64-character hash, built from the layout alone.
std::string expected_request_hex(const std::string& hash) {
    return "92"
           "9e0060000000000000a12000a120a12000a120"
           "82"
           "b5" +
           hex_of("prop.key.content_hash") + "d940" + hex_of(hash) + "b1" + hex_of("prop.key.msg_type") + "d923" +
           hex_of("prop.val.rqst.p2p.content_discovery");
}

// A test peer in a member namespace, with its HTTP port and what it printed.
struct test_peer {
    netns_process process;
    std::string http_port;

    bool start(const std::string& ns, const std::string& folder, const std::vector<std::string>& extra,
               std::string* why) {
        return netns_start_p2p_peer(process, ns, folder, extra, &http_port, why);
    }
    // Its output so far ("asked ...", "answered ...", "served ...").
    std::vector<std::string> lines() { return process.read_lines(300); }
};

class P2pDiscoveryTest : public netns_suite<P2pDiscoveryTest> {
protected:
    static void SetUpTestSuite() { start_network({3, 0, true, true}); }

    void SetUp() override {
        netns_suite::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        write_whole_file(files_.file("one.bin"), content_);
        write_whole_file(files_.file("other.bin"), "a file nobody asks for");
        hash_ = sha256_hex(content_);
    }

    void TearDown() override {
        worker_.stop();
        qz_p2p_client_release(client_);
        worker_.leave();
    }

    // This thread goes into member 1 and the worker starts there; without proof of that,
    // nothing runs that could send.
    void enter_and_start() {
        ASSERT_NO_FATAL_FAILURE(worker_.start(member(0).name, &log_.logger));
        ASSERT_EQ(qz_p2p_client_create(worker_.context(), &client_), 0);
    }

    void start_peer(test_peer& peer, int member_index, const std::vector<std::string>& extra) {
        std::string why;
        ASSERT_TRUE(peer.start(member(member_index).name, files_.path(), extra, &why)) << why;
    }

    // One lookup: its code, and the URL ("" when none).
    int lookup(std::string* url, const std::string& hash) {
        char* found = nullptr;
        int rc = qz_p2p_client_discover_content(client_, 8082, hash.c_str(), &found);
        *url = found ? found : "";
        qz_p2p_client_free_url(found);
        return rc;
    }

    scratch_folder files_;
    const std::string content_ = "install file content held by the peers\n";
    std::string hash_;
    captured_log log_;
    netns_loop_worker worker_;
    qz_p2p_client* client_ = nullptr;
};

TEST_F(P2pDiscoveryTest, Ipv4PeerGivesItsAddressThePortItNamesAndTheHashPath) {
    test_peer peer;
    ASSERT_NO_FATAL_FAILURE(start_peer(peer, 1, {"--families", "4", "--port-text", "8081"}));
    ASSERT_NO_FATAL_FAILURE(enter_and_start());
    std::string url;
    ASSERT_EQ(lookup(&url, hash_), 0);
    EXPECT_EQ(url, "http://" + member(1).ipv4 + ":8081/p2p/" + hash_);

    std::vector<std::string> lines = peer.lines();
    std::string asked = "asked 4 " + member(0).ipv4 + " " + hash_ + " held ";
    ASSERT_EQ(count_prefix(lines, asked), 1) << "one broadcast reached the peer";
    for (const std::string& line : lines) {
        if (line.rfind(asked, 0) == 0) {
            EXPECT_EQ(line.substr(asked.size()), expected_request_hex(hash_));
            EXPECT_EQ(line.size() - asked.size(), 2 * 164u);
        }
    }
    EXPECT_EQ(log_.count("Checking content via discovery... for hash(" + hash_ + ")"), 1);
    EXPECT_EQ(log_.count("p2p content url(" + url + ") for hash(" + hash_ + ")."), 1);
    EXPECT_EQ(log_.count("Stopping the sync udp request."), 1) << "the match ends the lookup";
    EXPECT_EQ(log_.count("sync timer callback is invoked"), 0);
}

TEST_F(P2pDiscoveryTest, GlobalIpv6PeerGivesTheBracketedForm) {
    test_peer peer;
    ASSERT_NO_FATAL_FAILURE(start_peer(peer, 1, {"--families", "6"}));
    ASSERT_NO_FATAL_FAILURE(enter_and_start());
    std::string url;
    ASSERT_EQ(lookup(&url, hash_), 0);
    EXPECT_EQ(url, "http://[" + member(1).ipv6 + "]:" + peer.http_port + "/p2p/" + hash_);
    EXPECT_EQ(count_prefix(peer.lines(), "asked 6 " + member(0).ipv6 + " " + hash_ + " held"), 1);
}

TEST_F(P2pDiscoveryTest, AnswersThatDoNotMatchAreIgnoredUntilTheTimeOut) {
    struct mode_case {
        const char* mode;
        std::string line;   // what the handler logs for it ("" for nothing)
    };
    std::string upper = hash_;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    const mode_case cases[] = {
        {"other-hash", "Failed to match received hash("},
        {"upper-hash", "Failed to match received hash(" + upper + ")."},
        {"other-type", "Not a valid response(prop.val.rqst.p2p.content_discovery)."},
        {"no-port", ""},
    };
    ASSERT_NO_FATAL_FAILURE(enter_and_start());
    for (const mode_case& c : cases) {
        SCOPED_TRACE(c.mode);
        test_peer peer;
        ASSERT_NO_FATAL_FAILURE(start_peer(peer, 1, {"--answer", c.mode}));
        int timeouts = log_.count("sync timer callback is invoked");
        int ignored = c.line.empty() ? 0 : log_.count(c.line);
        std::string url = "untouched";
        EXPECT_EQ(lookup(&url, hash_), 2501);
        EXPECT_EQ(url, "");
        EXPECT_EQ(log_.count("sync timer callback is invoked"), timeouts + 1) << "only the time-out ended it";
        if (!c.line.empty()) {
            EXPECT_EQ(log_.count(c.line), ignored + 2) << "both families' answers were read";
        }
        EXPECT_EQ(count_prefix(peer.lines(), "answered "), 2);
    }
    EXPECT_EQ(log_.count("Couldn't discover content for hash(" + hash_ + "), (2501)."), 4);
}

TEST_F(P2pDiscoveryTest, FirstMatchingAnswerWinsAndIgnoredOnesDoNotEndTheLookup) {
    ASSERT_NO_FATAL_FAILURE(enter_and_start());
    {
        test_peer slow, quick;
        ASSERT_NO_FATAL_FAILURE(start_peer(slow, 1, {"--families", "4", "--delay-ms", "700"}));
        ASSERT_NO_FATAL_FAILURE(start_peer(quick, 2, {"--families", "4"}));
        std::string url;
        ASSERT_EQ(lookup(&url, hash_), 0);
        EXPECT_EQ(url, "http://" + member(2).ipv4 + ":" + quick.http_port + "/p2p/" + hash_);
        EXPECT_EQ(log_.count("received response from " + member(1).ipv4), 0) << "the later answer is not examined";
    }
    {
        // A wrong answer at once, the right one later: the lookup keeps listening for it.
        test_peer wrong, right;
        ASSERT_NO_FATAL_FAILURE(start_peer(wrong, 2, {"--families", "4", "--answer", "other-hash"}));
        ASSERT_NO_FATAL_FAILURE(start_peer(right, 1, {"--families", "4", "--delay-ms", "400"}));
        std::string url;
        ASSERT_EQ(lookup(&url, hash_), 0);
        EXPECT_EQ(url, "http://" + member(1).ipv4 + ":" + right.http_port + "/p2p/" + hash_);
        EXPECT_EQ(log_.count("Failed to match received hash("), 1);
    }
}

TEST_F(P2pDiscoveryTest, UnheldHashOrStoppedWorkerFindNothing) {
    test_peer peer;
    ASSERT_NO_FATAL_FAILURE(start_peer(peer, 1, {}));
    ASSERT_NO_FATAL_FAILURE(enter_and_start());
    std::string unheld = sha256_hex("not in any cache");
    std::string url;
    EXPECT_EQ(lookup(&url, unheld), 2501);
    std::vector<std::string> lines = peer.lines();
    EXPECT_EQ(count_prefix(lines, "asked 4 " + member(0).ipv4 + " " + unheld + " unheld"), 1);
    EXPECT_EQ(count_prefix(lines, "asked 6 " + member(0).ipv6 + " " + unheld + " unheld"), 1);
    EXPECT_EQ(count_prefix(lines, "answered "), 0);

    // A worker that no longer takes work: the run is refused, nothing is sent.
    qz_loop_worker_stop(worker_.host());
    EXPECT_EQ(lookup(&url, hash_), 2);
    EXPECT_EQ(log_.count("Failed to send udp request, <rc = 2>."), 1);
    EXPECT_EQ(log_.count("Couldn't discover content for hash(" + hash_ + "), (2)."), 1);
    EXPECT_TRUE(peer.lines().empty());
}

}   // namespace

namespace {

// What an asynchronous lookup reported, on the loop thread.
struct async_report {
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    int rc = -1;
    std::string url;
    std::thread::id thread;

    static void found(int rc, const char* url, void* data) {
        auto* self = static_cast<async_report*>(data);
        std::lock_guard<std::mutex> lock(self->mutex);
        ++self->calls;
        self->rc = rc;
        self->url = url ? url : "";
        self->thread = std::this_thread::get_id();
        self->changed.notify_all();
    }
    bool wait(int ms) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return calls > 0; });
    }
};

// The asynchronous lookup reports once, on the loop thread, what the blocking one returns; one
// at a time; a cancel ends a lookup no peer answers at once (its report has come when the cancel
// returns), and the client refuses every later lookup.
TEST_F(P2pDiscoveryTest, AsynchronousLookupsReportOnTheLoopAndEndOnCancel) {
    test_peer peer;
    ASSERT_NO_FATAL_FAILURE(start_peer(peer, 1, {"--families", "4"}));
    ASSERT_NO_FATAL_FAILURE(enter_and_start());

    async_report held;
    ASSERT_EQ(qz_p2p_client_discover_content_async(client_, 8082, hash_.c_str(), async_report::found, &held), 0);
    ASSERT_TRUE(held.wait(3000));
    EXPECT_EQ(held.rc, 0);
    EXPECT_EQ(held.url, "http://" + member(1).ipv4 + ":" + peer.http_port + "/p2p/" + hash_);
    EXPECT_NE(held.thread, std::this_thread::get_id());
    EXPECT_EQ(log_.count("p2p content url(" + held.url + ") for hash(" + hash_ + ")."), 1);

    async_report unheld;
    std::string nobody = sha256_hex("not in any cache");
    ASSERT_EQ(qz_p2p_client_discover_content_async(client_, 8082, nobody.c_str(), async_report::found, &unheld), 0);
    async_report second;
    EXPECT_EQ(qz_p2p_client_discover_content_async(client_, 8082, hash_.c_str(), async_report::found, &second), 2)
        << "one asynchronous lookup at a time";
    auto asked = std::chrono::steady_clock::now();
    ASSERT_EQ(qz_p2p_client_cancel(client_), 0);
    {
        std::lock_guard<std::mutex> lock(unheld.mutex);
        EXPECT_EQ(unheld.calls, 1) << "reported before the cancel returned";
        EXPECT_EQ(unheld.rc, 2501);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(1500)) << "not its time-out";
    EXPECT_EQ(qz_p2p_client_discover_content_async(client_, 8082, hash_.c_str(), async_report::found, &second), 2602);
    EXPECT_EQ(second.calls, 0);
    EXPECT_EQ(held.calls, 1);
}

}   // namespace
