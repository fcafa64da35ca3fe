// Relay discovery between network namespaces: the discovery runs in member 1 (its loop thread is
// born there) and test relays (fixtures/relay_agent.py, python3-msgpack) answer from the other
// members. No datagram leaves these namespaces: nothing is sent unless this thread is proven
// inside member 1.
#include "clients/relay/qz_relay_discovery_request.h"
#include "clients/relay/qz_relay_record.h"
#include "clients/udp/qz_udp_request.h"
#include "fixtures/netns.h"
#include "fixtures/netns_suite.h"
#include "fixtures/test_helpers.h"
#include "utils/event_loop/qz_loop_worker.h"
#include "utils/qz_status.h"
#include "utils/qz_value.h"

#include <gtest/gtest.h>
#include <net/if.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint16_t pass_timeout_ms = 1000;

std::string hex_of(const std::string& text) {
    std::string hex;
    char two[3];
    for (unsigned char c : text) {
        std::snprintf(two, sizeof two, "%02x", c);
        hex += two;
    }
    return hex;
}

// The msgbus request as it must look on the wire, from the layout alone: array of 2, the 19-byte
// header, a map of 1.
const std::string msgbus_request_hex =
    "92"
    "9e0060000000000000a12000a120a12000a120"
    "81"
    "b1" +
    hex_of("prop.key.msg_type") + "bd" + hex_of("prop.val.rqst.relay_discovery");

// A relay agent in a member namespace: the port it reports and what it printed.
struct test_relay {
    netns_process process;
    std::string port;

    bool start(const std::string& ns, const std::vector<std::string>& extra, std::string* why) {
        std::vector<std::string> argv = {netns_python(), netns_fixture("relay_agent.py")};
        argv.insert(argv.end(), extra.begin(), extra.end());
        if (!process.start(ns, argv, why)) return false;
        std::string line;
        if (!process.read_line(&line, 10000) || line.rfind("ready ", 0) != 0) {
            *why = "the relay did not start: " + line;
            return false;
        }
        port = line.substr(6, line.find(' ', 6) - 6);
        return true;
    }
    std::vector<std::string> lines() { return process.read_lines(300); }
};

struct completion {
    std::mutex mutex;
    std::condition_variable signal;
    int calls = 0;
    bool on_loop_thread = false;
    qz_loop_worker* worker = nullptr;
};

void on_complete(qz_relay_discovery_request*, void* data) {
    auto* done = static_cast<completion*>(data);
    std::lock_guard<std::mutex> lock(done->mutex);
    ++done->calls;
    done->on_loop_thread = qz_loop_worker_in_loop_thread(done->worker);
    done->signal.notify_all();
}

class RelayDiscoveryTest : public netns_suite<RelayDiscoveryTest> {
protected:
    static void SetUpTestSuite() { start_network({7, 1, true, true}); }

    void TearDown() override {
        qz_relay_discovery_request_release(request_);
        request_ = nullptr;
        worker_.stop();
        worker_.leave();
        for (auto& relay : relays_) relay->process.stop();
    }

    test_relay& start_relay(int member_index, const std::vector<std::string>& extra) {
        relays_.push_back(std::make_unique<test_relay>());
        std::string why;
        EXPECT_TRUE(relays_.back()->start(member(member_index).name, extra, &why)) << why;
        return *relays_.back();
    }

    // This thread goes into member 1 and the worker starts there; without proof of that,
    // nothing runs that could send.
    void enter_and_create(bool synchronous = true, const std::string& ns = "") {
        ASSERT_NO_FATAL_FAILURE(worker_.start(ns.empty() ? member(0).name : ns, &log_.logger));
        ASSERT_EQ(qz_relay_discovery_request_create(worker_.context(), &request_), QZ_OK);
        ASSERT_EQ(qz_relay_discovery_request_set_group_address(request_, qz_relay_group_address), QZ_OK);
        ASSERT_EQ(qz_relay_discovery_request_set_port(request_, qz_relay_msgbus_port), QZ_OK);
        ASSERT_EQ(qz_relay_discovery_request_set_max_relays(request_, qz_relay_max_relays), QZ_OK);
        ASSERT_EQ(qz_relay_discovery_request_set_timeout(request_, pass_timeout_ms), QZ_OK);
        ASSERT_EQ(qz_relay_discovery_request_set_synchronous(request_, synchronous ? 1 : 0), QZ_OK);
    }

    std::vector<qz_relay_record> found() {
        std::vector<qz_relay_record> out;
        qz_value* list = qz_relay_discovery_request_relays(request_);
        for (size_t i = 1; i <= qz_value_array_size(list); ++i) {
            qz_value* item = nullptr;
            qz_relay_record record;
            if (qz_value_array_get(list, i, &item) == QZ_OK && qz_relay_record_from_table(item, &record) == QZ_OK)
                out.push_back(record);
        }
        qz_value_release(list);
        return out;
    }

    captured_log log_;
    netns_loop_worker worker_;
    qz_relay_discovery_request* request_ = nullptr;
    std::vector<std::unique_ptr<test_relay>> relays_;
};

TEST_F(RelayDiscoveryTest, FifthRelayEndsTheDiscoveryWithoutACompatPass) {
    for (int i = 1; i <= 6; ++i) start_relay(i, {"--families", "4"});
    ASSERT_FALSE(HasFailure());
    ASSERT_NO_FATAL_FAILURE(enter_and_create());
    ASSERT_EQ(qz_relay_discovery_request_send(request_), QZ_OK);

    std::vector<qz_relay_record> relays = found();
    ASSERT_EQ(relays.size(), 5u);
    for (const qz_relay_record& relay : relays) {
        EXPECT_EQ(relay.server.rfind("10.", 0), 0u) << relay.server;
        EXPECT_EQ(relay.nic_scope_id, 0u);
    }
    EXPECT_EQ(log_.count("Stopping relay discovery, as max discovery limit reached."), 1);
    EXPECT_EQ(log_.count("Stopping the sync udp request."), 1) << "the fifth relay ended the pass";
    EXPECT_EQ(log_.count("sync timer callback is invoked"), 0);
    EXPECT_EQ(log_.count("Created relay discovery message in \"compat\" format."), 0);
    EXPECT_EQ(log_.count("Relay discovered in the network 5."), 1);
    for (auto& relay : relays_) {
        std::vector<std::string> lines = relay->lines();
        EXPECT_EQ(count_prefix(lines, "asked compat"), 0);
        // Every relay heard the same 69 bytes, whether or not its answer came in time.
        std::string asked = "asked msgbus 4 " + member(0).ipv4 + " 69 ";
        ASSERT_EQ(count_prefix(lines, asked), 1);
        for (const std::string& line : lines) {
            if (line.rfind(asked, 0) == 0) {
                EXPECT_EQ(line.substr(asked.size()), msgbus_request_hex);
            }
        }
    }
}

TEST_F(RelayDiscoveryTest, RelaysAnsweringOnlyTheCompatPassAreFoundThere) {
    test_relay& first = start_relay(1, {"--families", "4", "--formats", "compat"});
    test_relay& second = start_relay(2, {"--families", "4", "--formats", "compat", "--delay-ms", "200"});
    ASSERT_FALSE(HasFailure());
    ASSERT_NO_FATAL_FAILURE(enter_and_create());
    ASSERT_EQ(qz_relay_discovery_request_send(request_), QZ_OK);

    std::vector<qz_relay_record> relays = found();
    ASSERT_EQ(relays.size(), 2u);
    EXPECT_EQ(relays[0].server, member(1).ipv4);
    EXPECT_EQ(relays[0].server_port, std::stoi(first.port));
    EXPECT_EQ(relays[1].server, member(2).ipv4);
    EXPECT_EQ(relays[1].server_port, std::stoi(second.port));
    EXPECT_EQ(log_.count("Relay discovery response in format \"msgbus\" received."), 0);
    EXPECT_EQ(log_.count("Relay discovery response in format \"compat\" received."), 2);
    EXPECT_EQ(log_.count("sync timer callback is invoked"), 2) << "both passes ran to their time-out";
    std::string asked = "asked compat 4 " + member(0).ipv4 + " 21 " + hex_of("RELARELAY_RESPONDRELA");
    EXPECT_EQ(count_prefix(first.lines(), asked), 1);
}

TEST_F(RelayDiscoveryTest, ARelayHeardInBothPassesIsOneRelay) {
    test_relay& relay = start_relay(1, {"--families", "4"});
    ASSERT_FALSE(HasFailure());
    ASSERT_NO_FATAL_FAILURE(enter_and_create());
    ASSERT_EQ(qz_relay_discovery_request_send(request_), QZ_OK);
    std::vector<qz_relay_record> relays = found();
    ASSERT_EQ(relays.size(), 1u);
    EXPECT_EQ(relays[0].server_port, std::stoi(relay.port));
    EXPECT_EQ(log_.count("Relay is already discovered"), 1);
    std::vector<std::string> lines = relay.lines();
    EXPECT_EQ(count_prefix(lines, "answered msgbus"), 1);
    EXPECT_EQ(count_prefix(lines, "answered compat"), 1);
}

TEST_F(RelayDiscoveryTest, Ipv6RelayIsBracketedAndKeepsTheInterfaceScope) {
    start_relay(3, {"--families", "6"});
    ASSERT_FALSE(HasFailure());
    ASSERT_NO_FATAL_FAILURE(enter_and_create());
    ASSERT_EQ(qz_relay_discovery_request_send(request_), QZ_OK);
    std::vector<qz_relay_record> relays = found();
    ASSERT_EQ(relays.size(), 1u);
    EXPECT_EQ(relays[0].server, "[" + member(3).ipv6 + "]");
    unsigned scope = if_nametoindex(member(0).ifname.c_str());   // this thread is in member 1
    ASSERT_NE(scope, 0u);
    EXPECT_EQ(relays[0].nic_scope_id, scope);
}

TEST_F(RelayDiscoveryTest, MalformedAnswersAreSkippedAndTheirSenderHeardAgain) {
    start_relay(1, {"--families", "4", "--port-text", "70000"});
    start_relay(2, {"--families", "4", "--no-port-text", "--formats", "msgbus"});
    test_relay& good = start_relay(3, {"--families", "4", "--delay-ms", "100"});
    ASSERT_FALSE(HasFailure());
    ASSERT_NO_FATAL_FAILURE(enter_and_create());
    ASSERT_EQ(qz_relay_discovery_request_send(request_), QZ_OK);
    std::vector<qz_relay_record> relays = found();
    // Relay 1's compat answer names its real port: the sender was not marked by its bad answer.
    ASSERT_EQ(relays.size(), 2u);
    EXPECT_EQ(relays[0].server, member(3).ipv4);
    EXPECT_EQ(relays[0].server_port, std::stoi(good.port));
    EXPECT_EQ(relays[1].server, member(1).ipv4);
    EXPECT_EQ(log_.count("malformed relay discovery response."), 2);
}

TEST_F(RelayDiscoveryTest, NoRelayLeavesNoListAfterBothTimeOuts) {
    ASSERT_NO_FATAL_FAILURE(enter_and_create());
    ASSERT_EQ(qz_relay_discovery_request_send(request_), QZ_OK);
    EXPECT_EQ(qz_relay_discovery_request_relays(request_), nullptr);
    EXPECT_EQ(log_.count("sync timer callback is invoked"), 2);
    EXPECT_EQ(log_.count("Relay discovered in the network 0."), 1);
}

TEST_F(RelayDiscoveryTest, AsynchronousSessionEndsOnTheLoopThread) {
    start_relay(1, {"--families", "4"});
    start_relay(2, {"--families", "4", "--formats", "compat"});
    ASSERT_FALSE(HasFailure());
    ASSERT_NO_FATAL_FAILURE(enter_and_create(false));
    completion done;
    done.worker = qz_loop_host_worker(worker_.host());
    ASSERT_EQ(qz_relay_discovery_request_set_completion_handler(request_, on_complete, &done), QZ_OK);
    ASSERT_EQ(qz_relay_discovery_request_send(request_), QZ_OK);
    EXPECT_EQ(qz_relay_discovery_request_send(request_), QZ_ERR_RELAY_ACTIVE);
    {
        std::unique_lock<std::mutex> lock(done.mutex);
        ASSERT_TRUE(done.signal.wait_for(lock, std::chrono::seconds(30), [&] { return done.calls == 1; }));
        EXPECT_TRUE(done.on_loop_thread);
    }
    // Both passes run at once here, so either relay may answer first.
    std::vector<std::string> servers;
    for (const qz_relay_record& relay : found()) servers.push_back(relay.server);
    std::sort(servers.begin(), servers.end());
    EXPECT_EQ(servers, (std::vector<std::string>{member(1).ipv4, member(2).ipv4}));
    EXPECT_EQ(log_.count("Relay discovery final cb."), 1);
    EXPECT_EQ(log_.count("Compat relay discovery final cb."), 1);
    EXPECT_EQ(log_.count("Relay discovery over, cleaning up session."), 1);
    EXPECT_EQ(log_.count("Relay discovery session is over."), 1);
}

TEST_F(RelayDiscoveryTest, AsynchronousSessionOutlivesTheCallersReference) {
    start_relay(1, {"--families", "4", "--formats", "compat"});
    ASSERT_FALSE(HasFailure());
    ASSERT_NO_FATAL_FAILURE(enter_and_create(false));
    completion done;
    done.worker = qz_loop_host_worker(worker_.host());
    ASSERT_EQ(qz_relay_discovery_request_set_completion_handler(request_, on_complete, &done), QZ_OK);
    ASSERT_EQ(qz_relay_discovery_request_send(request_), QZ_OK);
    qz_relay_discovery_request_release(request_);
    request_ = nullptr;
    EXPECT_EQ(log_.count("Destroying relay discovery request."), 0) << "the passes still hold it";
    {
        std::unique_lock<std::mutex> lock(done.mutex);
        ASSERT_TRUE(done.signal.wait_for(lock, std::chrono::seconds(30), [&] { return done.calls == 1; }));
    }
    // The last pass drops its reference right after the completion handler returns.
    for (int i = 0; i < 100 && log_.count("Destroying relay discovery request.") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(log_.count("Destroying relay discovery request."), 1);
    EXPECT_EQ(log_.count("Relay discovered in the network 1."), 1);
}

// Without any interface each pass ends on the loop thread at once, often before the sender has
// even returned from queuing it: the session must still end exactly once, and only after both.
TEST_F(RelayDiscoveryTest, AsynchronousPassesThatEndAtOnceEndTheSessionOnce) {
    ASSERT_NO_FATAL_FAILURE(enter_and_create(false, network().isolated()[0].name));
    completion done;
    done.worker = qz_loop_host_worker(worker_.host());
    ASSERT_EQ(qz_relay_discovery_request_set_completion_handler(request_, on_complete, &done), QZ_OK);
    for (int round = 1; round <= 50; ++round) {
        ASSERT_EQ(qz_relay_discovery_request_send(request_), QZ_OK) << "both passes were queued";
        std::unique_lock<std::mutex> lock(done.mutex);
        ASSERT_TRUE(done.signal.wait_for(lock, std::chrono::seconds(10), [&] { return done.calls == round; }))
            << "round " << round;
    }
    EXPECT_EQ(log_.count("Relay discovery session is over."), 50);
    EXPECT_EQ(log_.count("Relay discovery final cb."), 50);
    EXPECT_EQ(log_.count("Compat relay discovery final cb."), 50);
    EXPECT_EQ(qz_relay_discovery_request_relays(request_), nullptr);
}

}   // namespace
