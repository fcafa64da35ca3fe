// Relay discovery without traffic: the request messages byte for byte, replies fed straight to
// the reply handler inside a session, the session's end, and sends whose passes are refused
// because the loop worker never starts (so no socket is ever made here). Discovery between
// network namespaces is in integration/relay_discovery_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "clients/relay/qz_relay_discovery_internal.h"
#include "clients/relay/qz_relay_discovery_request.h"
#include "clients/relay/qz_relay_record.h"
#include "clients/relay/qz_relay_reply.h"
#include "clients/udp/qz_udp_message.h"
#include "utils/event_loop/qz_loop_worker.h"
#include "utils/qz_status.h"
#include "utils/qz_value.h"

namespace {

using bytes = std::vector<uint8_t>;

bytes text_bytes(const std::string& text) { return bytes(text.begin(), text.end()); }

bytes encoded(qz_udp_message* message) {
    uint8_t* data = nullptr;
    size_t length = 0;
    EXPECT_EQ(qz_udp_message_encode(message, &data, &length), QZ_OK);
    bytes out(data, data + length);
    qz_udp_message_free_bytes(data);
    qz_udp_message_release(message);
    return out;
}

struct captured {
    std::vector<std::string> lines;
    std::vector<int> severities;
    qz_logger logger;
    captured() {
        logger.write = [](void* context, int severity, const char* module, const char*, int, const char*,
                          const char* message) {
            // The UDP requests of the passes share the logger; only this module's lines count here.
            if (std::strcmp(module, "relay_client") != 0) return;
            auto* self = static_cast<captured*>(context);
            self->lines.push_back(message);
            self->severities.push_back(severity);
        };
        logger.context = this;
    }
    int count(const std::string& line) const {
        int n = 0;
        for (const std::string& l : lines) n += l == line;
        return n;
    }
    int severity_of(const std::string& line) const {
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == line) return severities[i];
        return -1;
    }
};

struct reply_holder {
    qz_udp_reply reply{};
    ~reply_holder() { qz_udp_message_release(reply.message); }
    void from(const char* address, uint32_t scope) {
        std::snprintf(reply.address, sizeof reply.address, "%s", address);
        reply.scope_id = scope;
    }
};

// The records of a relay list, read back.
std::vector<qz_relay_record> records_of(qz_value* list) {
    std::vector<qz_relay_record> out;
    for (size_t i = 1; i <= qz_value_array_size(list); ++i) {
        qz_value* item = nullptr;
        EXPECT_EQ(qz_value_array_get(list, i, &item), QZ_OK);
        qz_relay_record record;
        EXPECT_EQ(qz_relay_record_from_table(item, &record), QZ_OK);
        out.push_back(record);
    }
    return out;
}

// A request on a loop worker that is never started: replies are fed by hand, and any pass that
// would send is refused before a socket exists.
class RelayDiscovery : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = qz_loop_worker_create();
        ASSERT_NE(host_, nullptr);
        context_ = {&log_.logger, qz_loop_host_loop(host_), qz_loop_host_worker(host_)};
        ASSERT_EQ(qz_relay_discovery_request_create(&context_, &request_), QZ_OK);
        ASSERT_EQ(qz_relay_discovery_request_set_max_relays(request_, qz_relay_max_relays), QZ_OK);
    }
    void TearDown() override {
        if (relay_session_of(request_)) relay_session_clean_up(request_);
        qz_relay_discovery_request_release(request_);
        qz_loop_worker_release(host_);
    }

    void begin() { ASSERT_EQ(relay_session_begin(request_), QZ_OK); }
    qz_relay_session* session() { return relay_session_of(request_); }

    int deliver(reply_holder& holder) {
        stop_ = 0;
        return relay_discovery_response_cb(nullptr, &holder.reply, request_, &stop_);
    }
    // A msgbus reply; a null port leaves "RelayServerPort" out.
    int msgbus_reply(const char* address, const char* port, uint32_t scope = 0) {
        reply_holder holder;
        qz_msgbus_message* content = qz_msgbus_message_create();
        qz_msgbus_message_set_string_property(content, "prop.key.msg_type", "prop.val.rply.relay_discovery");
        if (port) qz_msgbus_message_set_string_property(content, "RelayServerPort", port);
        holder.reply.message = qz_udp_message_create_msgbus(content);
        qz_msgbus_message_release(content);
        holder.from(address, scope);
        return deliver(holder);
    }
    int compat_reply(const char* address, const std::string& text, uint32_t scope = 0) {
        reply_holder holder;
        holder.reply.message = qz_udp_message_create_compat(text.data(), text.size());
        holder.from(address, scope);
        return deliver(holder);
    }
    std::vector<qz_relay_record> session_relays() { return records_of(session()->relays); }

    captured log_;
    qz_loop_host* host_ = nullptr;
    qz_net_context context_{};
    qz_relay_discovery_request* request_ = nullptr;
    int stop_ = 0;
};

TEST(RelayDiscoveryMessages, RequestsAreByteExact) {
    bytes msgbus = encoded(relay_discovery_message_create(false));
    bytes expected = {0x92, 0x9e, 0x00, 0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xa1,
                      0x20, 0x00, 0xa1, 0x20, 0xa1, 0x20, 0x00, 0xa1, 0x20, 0x81, 0xb1};
    for (uint8_t b : text_bytes("prop.key.msg_type")) expected.push_back(b);
    expected.push_back(0xbd);
    for (uint8_t b : text_bytes("prop.val.rqst.relay_discovery")) expected.push_back(b);
    ASSERT_EQ(expected.size(), 69u);
    EXPECT_EQ(msgbus, expected);

    qz_udp_message* compat = relay_discovery_message_create(true);
    ASSERT_NE(compat, nullptr);
    EXPECT_EQ(qz_udp_message_get_kind(compat), QZ_UDP_MESSAGE_COMPAT);
    EXPECT_EQ(encoded(compat), text_bytes("RELARELAY_RESPONDRELA")) << "21 bytes, no terminator";
}

TEST_F(RelayDiscovery, MsgbusReplyPortIsItsLeadingDigitsFrom1To65535) {
    ASSERT_NO_FATAL_FAILURE(begin());
    EXPECT_EQ(msgbus_reply("10.0.0.5", "8081"), QZ_OK);
    EXPECT_EQ(msgbus_reply("10.0.0.6", "8082/http"), QZ_OK);
    EXPECT_EQ(msgbus_reply("10.0.0.7", "65535"), QZ_OK);
    for (const char* bad : {"0", "70000", "65536", "", "port", "-8081", "4294975377"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(msgbus_reply("10.0.0.8", bad), QZ_ERR_RELAY_MALFORMED);
    }
    EXPECT_EQ(msgbus_reply("10.0.0.8", nullptr), QZ_ERR_RELAY_MALFORMED);
    EXPECT_EQ(log_.count("malformed relay discovery response."), 8);
    EXPECT_EQ(log_.severity_of("malformed relay discovery response."), QZ_LOG_FAILURE);
    EXPECT_EQ(log_.count("Relay discovery response in format \"msgbus\" received."), 11);

    auto relays = session_relays();
    ASSERT_EQ(relays.size(), 3u);
    EXPECT_EQ(relays[0].server, "10.0.0.5");
    EXPECT_EQ(relays[0].server_port, 8081);
    EXPECT_EQ(relays[1].server_port, 8082);
    EXPECT_EQ(relays[2].server_port, 65535);
    EXPECT_EQ(session()->relays_found, 3u);
    EXPECT_EQ(stop_, 0);
}

TEST_F(RelayDiscovery, MsgbusPortMustBeText) {
    ASSERT_NO_FATAL_FAILURE(begin());
    reply_holder holder;
    qz_msgbus_message* content = qz_msgbus_message_create();
    qz_value* number = qz_value_create_int32(8081);
    qz_msgbus_message_set_property(content, "RelayServerPort", number);
    qz_value_release(number);
    holder.reply.message = qz_udp_message_create_msgbus(content);
    qz_msgbus_message_release(content);
    holder.from("10.0.0.5", 0);
    EXPECT_EQ(deliver(holder), QZ_ERR_RELAY_MALFORMED);
    EXPECT_EQ(session()->relays_found, 0u);
}

TEST_F(RelayDiscovery, CompatReplyTakesTheFirstQualifyingPortItem) {
    ASSERT_NO_FATAL_FAILURE(begin());
    EXPECT_EQ(compat_reply("10.0.0.1", "RELAY_RESPOND,PORT=8081RELA"), QZ_OK) << "second item";
    EXPECT_EQ(compat_reply("10.0.0.2", "RELA,PORT=0RELA,PORTS=1RELA,PORT=7000RELA,PORT=9000RELA"), QZ_OK);
    EXPECT_EQ(compat_reply("10.0.0.3", "RELA,PORT=8085RELA=9,x=RELA"), QZ_OK) << "value ends at the next '='";
    auto relays = session_relays();
    ASSERT_EQ(relays.size(), 3u);
    EXPECT_EQ(relays[0].server_port, 8081);
    EXPECT_EQ(relays[1].server_port, 7000);
    EXPECT_EQ(relays[2].server_port, 8085);

    // A port item whose value has no "RELA", a key that only begins with PORT, a port out of range.
    for (const char* bad : {"RELA,PORT=8081,RELA", "RELA,PORT8081RELA", "RELA,XPORT=8081RELA", "RELA,PORT=70000RELA",
                            "RELA,PORT=RELA", "RELA,port=8081RELA"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(compat_reply("10.0.0.9", bad), QZ_ERR_RELAY_MALFORMED);
    }
    EXPECT_EQ(log_.count("malformed compat relay discovery response."), 6);
    EXPECT_EQ(log_.count("Relay discovery response in format \"compat\" received."), 9);
    EXPECT_EQ(session()->relays_found, 3u);
}

TEST_F(RelayDiscovery, ReplyTextEndsAtAnEmbeddedNul) {
    ASSERT_NO_FATAL_FAILURE(begin());
    std::string text("RELA,PORT=80", 12);
    text += std::string(1, '\0') + "81RELA";
    EXPECT_EQ(compat_reply("10.0.0.1", text), QZ_ERR_RELAY_MALFORMED);
    EXPECT_EQ(session()->relays_found, 0u);
}

TEST_F(RelayDiscovery, KnownAddressIsAWholeEntry) {
    ASSERT_NO_FATAL_FAILURE(begin());
    // Each address after the first is a part of an earlier one's text, or has one as its part.
    EXPECT_EQ(msgbus_reply("0.0.0.1", "8081"), QZ_OK);
    EXPECT_EQ(msgbus_reply("10.0.0.1", "8081"), QZ_OK) << "ends with the first address's text";
    EXPECT_EQ(msgbus_reply("10.0.0.2", "8081"), QZ_OK);
    EXPECT_EQ(msgbus_reply("0.0.0.2", "8081"), QZ_OK) << "the tail of an earlier address";
    EXPECT_EQ(log_.count("Relay is already discovered"), 0);
    EXPECT_EQ(session()->discovered, "0.0.0.1;10.0.0.1;10.0.0.2;0.0.0.2;");

    EXPECT_EQ(compat_reply("10.0.0.1", "RELA,PORT=9000RELA"), QZ_OK) << "the compat pass hears it again";
    EXPECT_EQ(msgbus_reply("0.0.0.1", "9001"), QZ_OK);
    EXPECT_EQ(log_.count("Relay is already discovered"), 2);
    auto relays = session_relays();
    ASSERT_EQ(relays.size(), 4u);
    EXPECT_EQ(relays[1].server_port, 8081) << "the first answer stands";
    EXPECT_EQ(log_.count("Received relay discovery response, relay info, [addr:10.0.0.1 port:9000 scoped id:0]"), 1);
}

TEST_F(RelayDiscovery, FifthRelaySetsTheLimitAndLaterRepliesAreIgnored) {
    ASSERT_NO_FATAL_FAILURE(begin());
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(msgbus_reply(("10.0.0." + std::to_string(i)).c_str(), "8081"), QZ_OK);
        EXPECT_EQ(stop_, 0);
    }
    EXPECT_FALSE(session()->limit_reached);
    EXPECT_EQ(compat_reply("10.0.0.5", "RELA,PORT=8081RELA"), QZ_OK);
    EXPECT_EQ(stop_, 1);
    EXPECT_TRUE(session()->limit_reached);
    EXPECT_EQ(log_.count("Stopping relay discovery, as max discovery limit reached."), 1);

    size_t lines = log_.lines.size();
    EXPECT_EQ(msgbus_reply("10.0.0.6", "8081"), QZ_OK);
    EXPECT_EQ(stop_, 1) << "the pass is asked to stop again";
    EXPECT_EQ(log_.lines.size(), lines) << "the sixth reply is not even read";
    EXPECT_EQ(session_relays().size(), 5u);
}

TEST_F(RelayDiscovery, LimitCountsOnlyNewRelays) {
    ASSERT_NO_FATAL_FAILURE(begin());
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(msgbus_reply(("10.0.0." + std::to_string(i)).c_str(), "8081"), QZ_OK);
    EXPECT_EQ(msgbus_reply("10.0.0.4", "8081"), QZ_OK);
    EXPECT_EQ(msgbus_reply("10.0.0.4", "0"), QZ_ERR_RELAY_MALFORMED);
    EXPECT_FALSE(session()->limit_reached);
    EXPECT_EQ(stop_, 0);
}

TEST_F(RelayDiscovery, Ipv6RelaysAreBracketedAndKeepTheirScope) {
    ASSERT_NO_FATAL_FAILURE(begin());
    EXPECT_EQ(msgbus_reply("fe80::1", "8081", 7), QZ_OK);
    const char* longest = "2001:db8a:1111:2222:3333:4444:5555:6666";
    EXPECT_EQ(compat_reply(longest, "RELA,PORT=3128RELA", 3), QZ_OK);
    EXPECT_EQ(msgbus_reply("10.1.2.3", "8081", 0), QZ_OK);
    auto relays = session_relays();
    ASSERT_EQ(relays.size(), 3u);
    EXPECT_EQ(relays[0].server, "[fe80::1]");
    EXPECT_EQ(relays[0].nic_scope_id, 7u);
    EXPECT_EQ(relays[1].server, std::string("[") + longest + "]") << "41 characters, kept whole";
    EXPECT_EQ(relays[1].nic_scope_id, 3u);
    EXPECT_EQ(relays[2].server, "10.1.2.3");
    for (const auto& r : relays) {
        EXPECT_FALSE(r.has_user_name);
        EXPECT_FALSE(r.has_user_passwd);
        EXPECT_FALSE(r.is_auth_rqued);
        EXPECT_EQ(r.type, 0);
        EXPECT_EQ(r.flag, 0);
    }
    EXPECT_EQ(log_.count("Received relay discovery response, relay info, [addr:fe80::1 port:8081 scoped id:7]"), 1);
}

TEST_F(RelayDiscovery, RepliesOutsideASessionAreRefused) {
    EXPECT_EQ(msgbus_reply("10.0.0.1", "8081"), QZ_ERR_MISSING_ARGUMENT);
    ASSERT_NO_FATAL_FAILURE(begin());
    EXPECT_EQ(relay_discovery_response_cb(nullptr, nullptr, request_, &stop_), QZ_ERR_MISSING_ARGUMENT);
    reply_holder empty;
    empty.from("10.0.0.1", 0);
    EXPECT_EQ(deliver(empty), QZ_ERR_MISSING_ARGUMENT);
}

int completions = 0;
void count_completion(qz_relay_discovery_request*, void* data) {
    ++completions;
    *static_cast<qz_relay_discovery_request**>(data) = nullptr;
}

TEST_F(RelayDiscovery, SessionEndKeepsOnlyAListThatFoundRelays) {
    qz_relay_discovery_request* seen = request_;
    completions = 0;
    ASSERT_EQ(qz_relay_discovery_request_set_completion_handler(request_, count_completion, &seen), QZ_OK);
    ASSERT_NO_FATAL_FAILURE(begin());
    EXPECT_EQ(msgbus_reply("10.0.0.1", "8081"), QZ_OK);
    EXPECT_EQ(msgbus_reply("10.0.0.2", "8082"), QZ_OK);
    relay_session_clean_up(request_);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(seen, nullptr);
    EXPECT_EQ(relay_session_of(request_), nullptr);
    EXPECT_EQ(log_.count("Relay discovery session is over."), 1);
    EXPECT_EQ(log_.count("Relay discovered in the network 2."), 1);

    qz_value* kept = qz_relay_discovery_request_relays(request_);
    ASSERT_EQ(qz_value_array_size(kept), 2u);
    EXPECT_EQ(records_of(kept)[1].server, "10.0.0.2");

    // The caller's reference outlives the next session, which finds nobody and keeps nothing.
    ASSERT_NO_FATAL_FAILURE(begin());
    EXPECT_EQ(msgbus_reply("10.0.0.3", "0"), QZ_ERR_RELAY_MALFORMED);
    relay_session_clean_up(request_);
    EXPECT_EQ(log_.count("Relay discovered in the network 0."), 1);
    EXPECT_EQ(qz_relay_discovery_request_relays(request_), nullptr);
    EXPECT_EQ(qz_value_array_size(kept), 2u);
    qz_value_release(kept);
    EXPECT_EQ(completions, 2);
}

TEST_F(RelayDiscovery, SendChecksItsArgumentsAndRefusesASecondSession) {
    EXPECT_EQ(qz_relay_discovery_request_send(nullptr), QZ_ERR_MISSING_ARGUMENT);
    EXPECT_EQ(qz_relay_discovery_request_send(request_), QZ_ERR_WRONG_STATE) << "no group, no port";
    ASSERT_EQ(qz_relay_discovery_request_set_group_address(request_, "ff08::2"), QZ_OK);
    EXPECT_EQ(qz_relay_discovery_request_send(request_), QZ_ERR_WRONG_STATE) << "no port";
    ASSERT_EQ(qz_relay_discovery_request_set_port(request_, 8082), QZ_OK);
    EXPECT_EQ(qz_relay_discovery_request_set_group_address(request_, nullptr), QZ_ERR_MISSING_ARGUMENT);

    ASSERT_NO_FATAL_FAILURE(begin());
    EXPECT_EQ(qz_relay_discovery_request_send(request_), QZ_ERR_RELAY_ACTIVE);
    EXPECT_EQ(log_.count("Relay discovery already active."), 1);
    EXPECT_EQ(log_.severity_of("Relay discovery already active."), QZ_LOG_INFO);
    EXPECT_EQ(qz_relay_discovery_request_set_port(request_, 1), QZ_ERR_RELAY_ACTIVE);
    EXPECT_EQ(qz_relay_discovery_request_set_max_relays(request_, 1), QZ_ERR_RELAY_ACTIVE);
    EXPECT_EQ(qz_relay_discovery_request_set_synchronous(request_, 0), QZ_ERR_RELAY_ACTIVE);
    EXPECT_EQ(relay_session_begin(request_), QZ_ERR_RELAY_ACTIVE);
}

TEST_F(RelayDiscovery, RefusedPassesSendNothingSynchronously) {
    ASSERT_EQ(qz_relay_discovery_request_set_group_address(request_, "ff08::2"), QZ_OK);
    ASSERT_EQ(qz_relay_discovery_request_set_port(request_, 8082), QZ_OK);
    EXPECT_EQ(qz_relay_discovery_request_send(request_), QZ_ERR_RELAY_NOTHING_SENT);
    const std::vector<std::string> expected = {
        "Created relay discovery message in \"msgbus\" format.",
        "Sending relay discovery message via sync way.",
        "Relay discovery in sync way failed, error = 2.",
        "Failed in the relay discovery, rc = <2703>",
        "Created relay discovery message in \"compat\" format.",
        "Sending relay discovery message via sync way.",
        "Relay discovery in sync way failed, error = 2.",
        "Failed in the compat relay discovery, rc = <2703>",
        "Relay discovery session is over.",
        "Relay discovered in the network 0.",
    };
    EXPECT_EQ(log_.lines, expected);
    EXPECT_EQ(relay_session_of(request_), nullptr);
    EXPECT_EQ(qz_relay_discovery_request_relays(request_), nullptr);
}

TEST_F(RelayDiscovery, RefusedAsynchronousPassesEndTheSessionAndHoldNoReference) {
    qz_relay_discovery_request* seen = request_;
    completions = 0;
    ASSERT_EQ(qz_relay_discovery_request_set_group_address(request_, "ff08::2"), QZ_OK);
    ASSERT_EQ(qz_relay_discovery_request_set_port(request_, 8082), QZ_OK);
    ASSERT_EQ(qz_relay_discovery_request_set_synchronous(request_, 0), QZ_OK);
    ASSERT_EQ(qz_relay_discovery_request_set_completion_handler(request_, count_completion, &seen), QZ_OK);
    EXPECT_EQ(qz_relay_discovery_request_send(request_), QZ_ERR_RELAY_NOTHING_SENT);
    EXPECT_EQ(log_.count("Sending relay discovery message via async way."), 2);
    EXPECT_EQ(log_.count("Relay discovery in async way failed, error = 2."), 2);
    EXPECT_EQ(log_.count("Relay discovery session is over."), 1);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(relay_session_of(request_), nullptr);
    EXPECT_EQ(request_->references.load(), 1) << "failed passes gave their references back";

    // Released by the test's own reference: the request goes now, not later.
    qz_relay_discovery_request_release(request_);
    request_ = nullptr;
    EXPECT_EQ(log_.count("Destroying relay discovery request."), 1);
}

TEST(RelayRecord, TableRoundTripLeavesAbsentTextsOut) {
    qz_relay_record record;
    record.server = "[fe80::1]";
    record.server_port = 8081;
    record.nic_scope_id = 4000000000u;
    qz_value* table = nullptr;
    ASSERT_EQ(qz_relay_record_to_table(&record, &table), QZ_OK);
    EXPECT_EQ(qz_value_table_size(table), 6u);
    const char* text = nullptr;
    EXPECT_EQ(qz_value_table_get_string(table, "user_name", &text), QZ_ERR_KEY_NOT_FOUND);

    qz_relay_record back;
    back.user_name = "untouched";
    ASSERT_EQ(qz_relay_record_from_table(table, &back), QZ_OK);
    EXPECT_EQ(back.server, "[fe80::1]");
    EXPECT_EQ(back.server_port, 8081);
    EXPECT_EQ(back.nic_scope_id, 4000000000u);
    EXPECT_FALSE(back.has_user_name);
    EXPECT_EQ(back.user_name, "untouched");

    record.has_user_name = record.has_user_passwd = true;
    record.user_name = "relay-user";
    qz_value* full = nullptr;
    ASSERT_EQ(qz_relay_record_to_table(&record, &full), QZ_OK);
    EXPECT_EQ(qz_value_table_size(full), 8u);
    ASSERT_EQ(qz_relay_record_from_table(full, &back), QZ_OK);
    EXPECT_TRUE(back.has_user_name && back.has_user_passwd);
    EXPECT_EQ(back.user_name, "relay-user");

    qz_value_table_set_string(full, "server_port", "8081");
    EXPECT_EQ(qz_relay_record_from_table(full, &back), QZ_ERR_WRONG_STATE) << "a port that is text";
    qz_value* array = qz_value_create_array();
    EXPECT_EQ(qz_relay_record_from_table(array, &back), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_relay_record_to_table(nullptr, &table), QZ_ERR_MISSING_ARGUMENT);
    qz_value_release(array);
    qz_value_release(full);
    qz_value_release(table);
}

TEST(RelayReply, DiscoveredEntriesAreCutAndCounted) {
    std::string long_address(80, 'a');
    std::string entry = qz_relay_discovered_entry(long_address.c_str());
    EXPECT_EQ(entry, std::string(66, 'a') + ";");
    EXPECT_EQ(qz_relay_discovered_count("a;b;c;"), 3);
    EXPECT_FALSE(qz_relay_discovered_holds("", "a;"));
    EXPECT_TRUE(qz_relay_discovered_holds("ba;a;", "a;")) << "a later whole entry after a partial match";
    EXPECT_EQ(qz_relay_server_text("[::1]"), "[::1]");
    EXPECT_EQ(qz_relay_server_text(nullptr), "");
    EXPECT_EQ(qz_relay_compat_reply_port(nullptr), 0);
    EXPECT_EQ(qz_relay_msgbus_reply_port(nullptr), 0);
}

}   // namespace
