// UDP requests between network namespaces: the request runs in member 1 (its loop thread is born
// there), a peer written with python3-msgpack answers from member 2, and an isolated namespace
// has nothing but loopback. No datagram leaves these namespaces.
#include "clients/udp/qz_udp_message.h"
#include "clients/udp/qz_udp_request.h"
#include "clients/udp/qz_udp_socket_pool.h"
#include "fixtures/netns.h"
#include "fixtures/netns_suite.h"
#include "fixtures/test_helpers.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr uint16_t peer_port = 18082;

struct reply_record {
    std::string address;
    uint32_t scope_id;
    int kind;
    std::string size;   // the peer's test.size property
    std::string compat_text;
};

// What the handlers saw; handlers run on the loop thread, the test reads after the run.
struct collector {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<reply_record> replies;
    int accept_result = 0;
    bool stop_on_first = false;
    int all_sent_calls = 0;
    int final_status = -1;
    int release_in_final = -1;   // result of releasing the request inside the final handler
    bool release_from_final = false;

    bool wait_final(int timeout_ms) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return final_status != -1; });
    }
    size_t count_from(const std::string& address) {
        size_t n = 0;
        for (const reply_record& reply : replies) n += reply.address == address;
        return n;
    }
};

int on_reply(qz_udp_request*, const qz_udp_reply* reply, void* user_data, int* stop) {
    auto* seen = static_cast<collector*>(user_data);
    reply_record record{reply->address, reply->scope_id, qz_udp_message_get_kind(reply->message), "", ""};
    if (qz_msgbus_message* msgbus = qz_udp_message_msgbus(reply->message)) {
        const char* size = nullptr;
        if (qz_msgbus_message_get_string_property(msgbus, "test.size", &size) == 0) record.size = size;
    } else {
        const uint8_t* bytes = nullptr;
        size_t length = 0;
        if (qz_udp_message_compat_bytes(reply->message, &bytes, &length) == 0)
            record.compat_text.assign(reinterpret_cast<const char*>(bytes), length);
    }
    std::lock_guard<std::mutex> lock(seen->mutex);
    seen->replies.push_back(record);
    if (seen->stop_on_first) *stop = 1;
    return seen->accept_result;
}

void on_all_sent(qz_udp_request*, void* user_data, int*) {
    auto* seen = static_cast<collector*>(user_data);
    std::lock_guard<std::mutex> lock(seen->mutex);
    ++seen->all_sent_calls;
}

void on_final(int status, qz_udp_request* request, void* user_data) {
    auto* seen = static_cast<collector*>(user_data);
    int released = seen->release_from_final ? qz_udp_request_release(request) : -1;
    std::lock_guard<std::mutex> lock(seen->mutex);
    seen->release_in_final = released;
    seen->final_status = status;
    seen->changed.notify_all();
}

qz_udp_message* query(const char* msg_type) {
    qz_msgbus_message* content = qz_msgbus_message_create();
    qz_msgbus_message_set_string_property(content, "prop.key.msg_type", msg_type);
    qz_udp_message* message = qz_udp_message_create_msgbus(content);
    qz_msgbus_message_release(content);
    return message;
}

class UdpRequestTest : public netns_suite<UdpRequestTest> {
protected:
    static void SetUpTestSuite() { start_network({2, 1, true, true}); }

    void TearDown() override {
        worker_.stop();
        peer_.stop();
        worker_.leave();
    }

    const netns_member& client() const { return member(0); }
    const netns_member& peer() const { return member(1); }

    // Moves this thread into the namespace and starts the loop worker there. Nothing is sent
    // unless this succeeds.
    void enter_and_start_worker(const std::string& ns) { worker_.start(ns, &log_.logger, &log_.logger); }

    void start_peer(const std::string& mode) {
        std::string error;
        ASSERT_TRUE(peer_.start(peer().name,
                                {netns_python(), netns_fixture("udp_responder.py"), "--port", std::to_string(peer_port),
                                 "--mode", mode, "--name", "peer-b"},
                                &error))
            << error;
        ASSERT_TRUE(peer_.wait_for_line("ready", 10000)) << "the peer did not start";
    }

    qz_udp_request* make_request(std::initializer_list<const char*> msg_types, uint64_t timeout_ms,
                                 const qz_net_context* context = nullptr) {
        qz_udp_request* request = nullptr;
        EXPECT_EQ(qz_udp_request_create(context ? context : worker_.context(), &request), 0);
        if (!request) return nullptr;
        qz_udp_request_set_group_address(request, "ff08::2");
        qz_udp_request_set_port(request, peer_port);
        qz_udp_request_set_timeout(request, timeout_ms);
        qz_udp_request_set_reply_handler(request, on_reply);
        qz_udp_request_set_user_data(request, &seen_);
        for (const char* msg_type : msg_types) {
            qz_udp_message* message = query(msg_type);
            EXPECT_EQ(qz_udp_request_add_message(request, message), 0);
            qz_udp_message_release(message);
        }
        return request;
    }

    // The peer's "received <family> <address> <bytes> <kind> <msg_type>" lines so far.
    std::vector<std::string> peer_received() { return peer_.read_lines(300); }

    captured_log log_;
    collector seen_;
    netns_process peer_;
    netns_loop_worker worker_;
};

TEST_F(UdpRequestTest, CollectsRepliesByIpv4BroadcastAndIpv6Multicast) {
    ASSERT_NO_FATAL_FAILURE(start_peer("reply"));
    // A silent listener beside the request: broadcasts always loop back to it, multicasts must not.
    netns_process local;
    std::string error;
    ASSERT_TRUE(local.start(
        client().name,
        {netns_python(), netns_fixture("udp_responder.py"), "--port", std::to_string(peer_port), "--mode", "silent"},
        &error))
        << error;
    ASSERT_TRUE(local.wait_for_line("ready", 10000));
    ASSERT_NO_FATAL_FAILURE(enter_and_start_worker(client().name));
    unsigned scope = if_nametoindex("veth0");
    qz_udp_request* request = make_request({"test.query.one", "test.query.two"}, 1000);
    ASSERT_NE(request, nullptr);

    EXPECT_EQ(qz_udp_request_run_sync(request), 0);
    EXPECT_EQ(qz_udp_request_get_state(request), QZ_UDP_REQUEST_ENDED);

    // One IPv4 and one global IPv6 address, two messages: four publishers.
    EXPECT_EQ(qz_udp_request_publisher_count(request), 4u);
    EXPECT_EQ(log_.count("Created IPv4 broadcast publisher: " + client().broadcast4), 2);
    EXPECT_EQ(log_.count("Created udp multicasting publisher at nic veth0 with scope id " + std::to_string(scope)), 2);
    std::vector<std::string> received = peer_received();
    int v4 = 0, v6 = 0, one = 0, two = 0;
    for (const std::string& line : received) {
        v4 += line.rfind("received 4 " + client().ipv4 + " ", 0) == 0;
        if (line.rfind("received 6 " + client().ipv6 + " ", 0) == 0) {
            ++v6;
            EXPECT_EQ(line.substr(line.rfind(' ') + 1), "128") << "hop limit of the multicast";
        }
        one += line.find(" msgbus test.query.one") != std::string::npos;
        two += line.find(" msgbus test.query.two") != std::string::npos;
    }
    EXPECT_EQ(v4, 2);
    EXPECT_EQ(v6, 2);
    EXPECT_EQ(one, 2);
    EXPECT_EQ(two, 2);
    int local_v4 = 0, local_v6 = 0;
    for (const std::string& line : local.read_lines(300)) {
        local_v4 += line.rfind("received 4 ", 0) == 0;
        local_v6 += line.rfind("received 6 ", 0) == 0;
    }
    EXPECT_EQ(local_v4, 2) << "the local listener hears the broadcasts";
    EXPECT_EQ(local_v6, 0) << "multicast loop-back is off";

    // Each address answered twice (once per message); the handler took the first of each.
    ASSERT_EQ(seen_.replies.size(), 2u);
    ASSERT_EQ(seen_.count_from(peer().ipv4), 1u);
    ASSERT_EQ(seen_.count_from(peer().ipv6), 1u);
    for (const reply_record& reply : seen_.replies) {
        EXPECT_EQ(reply.kind, QZ_UDP_MESSAGE_MSGBUS);
        EXPECT_EQ(reply.size, "small");
        EXPECT_EQ(reply.scope_id, reply.address == peer().ipv6 ? scope : 0u);
    }
    EXPECT_EQ(log_.count("Duplicate response from peer "), 2);
    EXPECT_EQ(log_.count("sync timer callback is invoked"), 1);
    EXPECT_EQ(qz_udp_request_release(request), 0);
}

// An IPv4 datagram sent to the port of an IPv6 publisher never reaches it: the peer is heard
// under its own two addresses only, never as "::ffff:<IPv4>".
TEST_F(UdpRequestTest, Ipv6PublishersHearNoIpv4) {
    std::string error;
    ASSERT_TRUE(peer_.start(peer().name,
                            {netns_python(), netns_fixture("udp_responder.py"), "--port", std::to_string(peer_port),
                             "--mode", "cross", "--cross-v4", client().ipv4},
                            &error))
        << error;
    ASSERT_TRUE(peer_.wait_for_line("ready", 10000));
    ASSERT_NO_FATAL_FAILURE(enter_and_start_worker(client().name));
    seen_.accept_result = 1;   // every datagram that arrives reaches the handler
    qz_udp_request* request = make_request({"test.query.one"}, 1000);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(qz_udp_request_run_sync(request), 0);
    EXPECT_EQ(seen_.count_from(peer().ipv4), 1u);
    EXPECT_EQ(seen_.count_from(peer().ipv6), 1u);
    for (const reply_record& reply : seen_.replies) {
        EXPECT_EQ(reply.address.find("::ffff:"), std::string::npos) << reply.address;
        EXPECT_NE(reply.size, "cross") << "the IPv4 datagram reached an IPv6 publisher";
    }
    EXPECT_EQ(seen_.replies.size(), 2u);
    int sent_cross = 0;
    for (const std::string& line : peer_received()) sent_cross += line.rfind("received 6 ", 0) == 0;
    EXPECT_EQ(sent_cross, 1) << "the peer heard the multicast and sent the IPv4 datagram";
    EXPECT_EQ(qz_udp_request_release(request), 0);
}

TEST_F(UdpRequestTest, RepeatedAnswersReachTheHandlerOnceUnlessRefused) {
    ASSERT_NO_FATAL_FAILURE(start_peer("twice"));
    ASSERT_NO_FATAL_FAILURE(enter_and_start_worker(client().name));
    qz_udp_request* request = make_request({"test.query.one"}, 800);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(qz_udp_request_run_sync(request), 0);
    EXPECT_EQ(seen_.count_from(peer().ipv4), 1u);
    EXPECT_EQ(seen_.count_from(peer().ipv6), 1u);
    EXPECT_EQ(log_.count("Duplicate response from peer " + peer().ipv4 + ", so ignoring it"), 1);
    EXPECT_EQ(qz_udp_request_release(request), 0);

    // A handler that does not take a reply hears that peer again.
    seen_.replies.clear();
    seen_.accept_result = 1;
    request = make_request({"test.query.one"}, 800);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(qz_udp_request_run_sync(request), 0);
    EXPECT_EQ(seen_.count_from(peer().ipv4), 2u);
    EXPECT_EQ(seen_.count_from(peer().ipv6), 2u);
    EXPECT_EQ(qz_udp_request_release(request), 0);
}

TEST_F(UdpRequestTest, StopFlagEndsTheRunEarly) {
    ASSERT_NO_FATAL_FAILURE(start_peer("reply"));
    ASSERT_NO_FATAL_FAILURE(enter_and_start_worker(client().name));
    seen_.stop_on_first = true;

    qz_udp_request* request = make_request({"test.query.one"}, 30000);
    ASSERT_NE(request, nullptr);
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(qz_udp_request_run_sync(request), 0);
    auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_LT(elapsed, std::chrono::seconds(15)) << "ended by the stop flag, not the 30 s time-out";
    EXPECT_EQ(seen_.replies.size(), 1u) << "nothing is delivered after the stop";
    EXPECT_EQ(qz_udp_request_stop_requested(request), 1);
    EXPECT_EQ(log_.count("Stopping the sync udp request."), 1);
    EXPECT_EQ(qz_udp_request_release(request), 0);

    seen_.replies.clear();
    request = make_request({"test.query.one"}, 30000);
    ASSERT_NE(request, nullptr);
    ASSERT_EQ(qz_udp_request_run_async(request, on_final), 0);
    ASSERT_TRUE(seen_.wait_final(15000));
    EXPECT_EQ(seen_.final_status, 2602);
    EXPECT_EQ(seen_.replies.size(), 1u);
    EXPECT_EQ(qz_udp_request_release(request), 0);
}

TEST_F(UdpRequestTest, TimeOutEndsAnAsyncRunWith2601AndReleaseWaitsForTheEnd) {
    ASSERT_NO_FATAL_FAILURE(start_peer("silent"));
    ASSERT_NO_FATAL_FAILURE(enter_and_start_worker(client().name));
    qz_udp_request* request = make_request({"test.query.one"}, 300);
    ASSERT_NE(request, nullptr);
    ASSERT_EQ(qz_udp_request_run_async(request, on_final), 0);
    EXPECT_EQ(qz_udp_request_release(request), 2605);
    EXPECT_EQ(log_.count("Failed to destroy the udp request, still active."), 1);
    ASSERT_TRUE(seen_.wait_final(10000));
    EXPECT_EQ(seen_.final_status, 2601);
    EXPECT_TRUE(seen_.replies.empty());
    EXPECT_EQ(log_.count("async timer callback is invoked"), 1);
    EXPECT_EQ(qz_udp_request_release(request), 0);
    EXPECT_EQ(peer_received().size(), 2u) << "the silent peer still heard both families";

    // The final handler may release the request itself, as the relay discovery does.
    seen_.final_status = -1;
    seen_.release_from_final = true;
    request = make_request({"test.query.one"}, 100);
    ASSERT_NE(request, nullptr);
    ASSERT_EQ(qz_udp_request_run_async(request, on_final), 0);
    ASSERT_TRUE(seen_.wait_final(10000));
    EXPECT_EQ(seen_.release_in_final, 0);
}

TEST_F(UdpRequestTest, NoInterfaceEndsTheRunAtOnce) {
    ASSERT_NO_FATAL_FAILURE(enter_and_start_worker(network().isolated()[0].name));
    qz_udp_request* request = make_request({"test.query.one"}, 30000);
    ASSERT_NE(request, nullptr);
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(qz_udp_request_run_sync(request), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_EQ(log_.count("Failed to create udp message publisher."), 1);
    EXPECT_EQ(qz_udp_request_publisher_count(request), 0u);
    EXPECT_TRUE(seen_.replies.empty());
    EXPECT_EQ(qz_udp_request_release(request), 0);
}

TEST_F(UdpRequestTest, OversizedAndUnreadableDatagramsAreDropped) {
    ASSERT_NO_FATAL_FAILURE(start_peer("big-small"));
    ASSERT_NO_FATAL_FAILURE(enter_and_start_worker(client().name));
    qz_udp_request* request = make_request({"test.query.one"}, 800);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(qz_udp_request_run_sync(request), 0);
    // The small reply came last; had the big one been read it would have been taken first.
    ASSERT_EQ(seen_.count_from(peer().ipv4), 1u);
    ASSERT_EQ(seen_.count_from(peer().ipv6), 1u);
    for (const reply_record& reply : seen_.replies) EXPECT_EQ(reply.size, "small");
    EXPECT_EQ(log_.count("Failed to form the udp message."), 2);
    EXPECT_EQ(qz_udp_request_release(request), 0);
}

TEST_F(UdpRequestTest, CompatRepliesAreDeliveredAsCompatMessages) {
    ASSERT_NO_FATAL_FAILURE(start_peer("compat"));
    ASSERT_NO_FATAL_FAILURE(enter_and_start_worker(client().name));
    qz_udp_request* request = make_request({"test.query.one"}, 800);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(qz_udp_request_run_sync(request), 0);
    ASSERT_EQ(seen_.replies.size(), 2u);
    for (const reply_record& reply : seen_.replies) {
        EXPECT_EQ(reply.kind, QZ_UDP_MESSAGE_COMPAT);
        EXPECT_EQ(reply.compat_text, "RELAPORT=8081RELA");
    }
    EXPECT_EQ(qz_udp_request_release(request), 0);
}

TEST_F(UdpRequestTest, WithoutReplyHandlerTheRequestEndsOnceAllIsSent) {
    ASSERT_NO_FATAL_FAILURE(start_peer("reply"));
    ASSERT_NO_FATAL_FAILURE(enter_and_start_worker(client().name));
    qz_udp_request* request = make_request({"test.query.one", "test.query.two"}, 30000);
    ASSERT_NE(request, nullptr);
    qz_udp_request_set_reply_handler(request, nullptr);
    qz_udp_request_set_all_sent_handler(request, on_all_sent);
    ASSERT_EQ(qz_udp_request_run_async(request, on_final), 0);
    ASSERT_TRUE(seen_.wait_final(15000));
    EXPECT_EQ(seen_.final_status, 2602);
    EXPECT_EQ(seen_.all_sent_calls, 1);
    EXPECT_EQ(log_.count("Data is sent from udp handle"), 4);
    EXPECT_EQ(qz_udp_request_release(request), 0);
}

}   // namespace

// The requests of one road take turns on the same two sockets (one broadcast, one multicast):
// made by the first, lent to the others, closed only when the pool goes. Each request still
// hears its own replies, and a late datagram between requests is dropped, not delivered.
TEST_F(UdpRequestTest, APoolLendsItsSocketsToEachRequestInTurn) {
    ASSERT_NO_FATAL_FAILURE(start_peer("reply"));
    ASSERT_NO_FATAL_FAILURE(enter_and_start_worker(client().name));
    qz_udp_socket_pool* pool = nullptr;
    ASSERT_EQ(qz_udp_socket_pool_create(worker_.context()->worker, &pool), 0);
    qz_net_context road = *worker_.context();
    road.sockets = pool;

    for (int round = 0; round < 3; ++round) {
        seen_.replies.clear();
        qz_udp_request* request = make_request({"test.query.one"}, 500, &road);
        ASSERT_NE(request, nullptr);
        EXPECT_EQ(qz_udp_request_run_sync(request), 0);
        EXPECT_EQ(qz_udp_request_publisher_count(request), 2u);
        EXPECT_EQ(seen_.count_from(peer().ipv4), 1u) << "round " << round;
        EXPECT_EQ(seen_.count_from(peer().ipv6), 1u) << "round " << round;
        EXPECT_EQ(qz_udp_request_release(request), 0);
    }
    EXPECT_EQ(log_.count("Created IPv4 broadcast publisher: " + client().broadcast4), 1);
    EXPECT_EQ(log_.count("Created udp multicasting publisher at nic veth0"), 1);
    EXPECT_EQ(log_.count("Reusing udp publisher <"), 4);
    EXPECT_EQ(log_.count("udp handle <"), 0) << "no socket closed while the road goes on";
    EXPECT_EQ(qz_udp_socket_pool_size(pool), 2u);

    // Two requests at once: the second finds every socket lent and makes its own, which the pool
    // then keeps as well.
    qz_udp_request* first = make_request({"test.query.one"}, 300, &road);
    qz_udp_request* second = make_request({"test.query.two"}, 300, &road);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(qz_udp_request_run_async(first, on_final), 0);
    EXPECT_EQ(qz_udp_request_run_sync(second), 0);
    ASSERT_TRUE(seen_.wait_final(3000));
    EXPECT_EQ(log_.count("Created IPv4 broadcast publisher: " + client().broadcast4), 2);
    EXPECT_EQ(qz_udp_socket_pool_size(pool), 4u);
    EXPECT_EQ(qz_udp_request_release(first), 0);
    EXPECT_EQ(qz_udp_request_release(second), 0);

    qz_udp_socket_pool_release(pool);
    worker_.stop();   // the close callbacks run on the loop's next turns
    EXPECT_EQ(log_.count("udp handle <"), 4) << "the pool closes what it kept";
}
