// UDP request records without any traffic: the loop worker is never started, so every run is
// refused before a socket exists. Runs that send are in tests/integration/udp_request_test.cpp.
#include "clients/udp/qz_udp_message.h"
#include "clients/udp/qz_udp_request.h"
#include "utils/event_loop/qz_loop_worker.h"

#include <gtest/gtest.h>

namespace {

class UdpRequestRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = qz_loop_worker_create();
        ASSERT_NE(host_, nullptr);
        context_ = {nullptr, qz_loop_host_loop(host_), qz_loop_host_worker(host_)};
        ASSERT_EQ(qz_udp_request_create(&context_, &request_), 0);
    }
    void TearDown() override {
        if (request_) {
            EXPECT_EQ(qz_udp_request_release(request_), 0);
        }
        qz_loop_worker_release(host_);
    }
    void add_query() {
        qz_msgbus_message* content = qz_msgbus_message_create();
        qz_msgbus_message_set_string_property(content, "prop.key.msg_type", "test.query");
        qz_udp_message* message = qz_udp_message_create_msgbus(content);
        ASSERT_EQ(qz_udp_request_add_message(request_, message), 0);
        qz_udp_message_release(message);
        qz_msgbus_message_release(content);
    }

    qz_loop_host* host_ = nullptr;
    qz_net_context context_{};
    qz_udp_request* request_ = nullptr;
};

TEST_F(UdpRequestRecordTest, CreateNeedsAContextWithLoopAndWorker) {
    qz_udp_request* other = nullptr;
    EXPECT_EQ(qz_udp_request_create(nullptr, &other), 1);
    EXPECT_EQ(qz_udp_request_create(&context_, nullptr), 1);
    qz_net_context no_worker = {nullptr, context_.loop, nullptr};
    EXPECT_EQ(qz_udp_request_create(&no_worker, &other), 2);
    qz_net_context no_loop = {nullptr, nullptr, context_.worker};
    EXPECT_EQ(qz_udp_request_create(&no_loop, &other), 2);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(qz_udp_request_get_state(request_), QZ_UDP_REQUEST_IDLE);
}

TEST_F(UdpRequestRecordTest, OnlyEncodableMessagesAreAdded) {
    EXPECT_EQ(qz_udp_request_run_sync(request_), 1) << "no message yet";
    EXPECT_EQ(qz_udp_request_run_async(request_, nullptr), 1);
    qz_udp_message* empty = qz_udp_message_create_compat(nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(qz_udp_request_add_message(request_, empty), 3);
    qz_udp_message_release(empty);
    EXPECT_EQ(qz_udp_request_add_message(request_, nullptr), 1);
    EXPECT_EQ(qz_udp_request_run_sync(request_), 1) << "the unencodable message was not added";
    EXPECT_EQ(qz_udp_request_get_state(request_), QZ_UDP_REQUEST_IDLE);
}

TEST_F(UdpRequestRecordTest, RefusedSubmissionEndsTheRequest) {
    ASSERT_NO_FATAL_FAILURE(add_query());
    EXPECT_EQ(qz_udp_request_run_sync(request_), 2) << "the worker was never started";
    EXPECT_EQ(qz_udp_request_get_state(request_), QZ_UDP_REQUEST_ENDED);
    EXPECT_EQ(qz_udp_request_run_sync(request_), 1) << "a request runs once";
    EXPECT_EQ(qz_udp_request_set_port(request_, 1), 2) << "settings only before the run";
    EXPECT_EQ(qz_udp_request_publisher_count(request_), 0u);

    qz_udp_request* other = nullptr;
    ASSERT_EQ(qz_udp_request_create(&context_, &other), 0);
    qz_udp_message* compat = qz_udp_message_create_compat("RELA1RELA", 9);
    ASSERT_EQ(qz_udp_request_add_message(other, compat), 0);
    qz_udp_message_release(compat);
    EXPECT_EQ(qz_udp_request_run_async(other, nullptr), 2);
    EXPECT_EQ(qz_udp_request_get_state(other), QZ_UDP_REQUEST_ENDED);
    EXPECT_EQ(qz_udp_request_release(other), 0);
}

TEST_F(UdpRequestRecordTest, EndingAnIdleRequestTouchesNoLoop) {
    EXPECT_EQ(qz_udp_request_end_early(request_), 0);
    EXPECT_EQ(qz_udp_request_stop_requested(request_), 1);
    EXPECT_EQ(qz_udp_request_get_state(request_), QZ_UDP_REQUEST_ENDED);
    EXPECT_EQ(qz_udp_request_stop(request_), 0);
    EXPECT_EQ(qz_udp_request_end_early(nullptr), 1);
    EXPECT_EQ(qz_udp_request_stop(nullptr), 1);
    EXPECT_EQ(qz_udp_request_release(nullptr), 1);
    EXPECT_EQ(qz_udp_request_get_state(nullptr), -1);
}

}   // namespace
