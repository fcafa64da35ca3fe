// The content-discovery reply handler, fed replies directly (the lookups themselves run between
// network namespaces in integration/p2p_discovery_test.cpp), and the lookup's argument checks,
// none of which can reach a socket.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "clients/p2p/qz_p2p_client_content_discovery.h"
#include "clients/udp/qz_udp_message.h"
#include "clients/udp/qz_udp_request.h"
#include "utils/event_loop/qz_loop_worker.h"
#include "utils/qz_logger.h"

namespace {

const std::string hash = "54dc11377fc26e1b85d8342c73d356b8bc0ed53bba246ccc271133c0529d54dd";

struct captured {
    std::vector<std::string> lines;
    qz_logger logger;
    captured() {
        logger.write = [](void* context, int, const char* module, const char*, int, const char*, const char* message) {
            EXPECT_STREQ(module, "p2p_client");
            static_cast<captured*>(context)->lines.push_back(message);
        };
        logger.context = this;
    }
    bool has(const std::string& line) const {
        for (const std::string& l : lines)
            if (l == line) return true;
        return false;
    }
};

struct reply_holder {
    qz_udp_reply reply{};
    ~reply_holder() { qz_udp_message_release(reply.message); }
};

// A reply from `address` carrying these string properties (nullptr values are left out).
void make_reply(reply_holder& holder, const char* address, uint32_t scope, const char* type, const char* reply_hash,
                const char* port) {
    qz_msgbus_message* content = qz_msgbus_message_create();
    if (type) qz_msgbus_message_set_string_property(content, "prop.key.msg_type", type);
    if (reply_hash) qz_msgbus_message_set_string_property(content, "prop.key.content_hash", reply_hash);
    if (port) qz_msgbus_message_set_string_property(content, "prop.key.content_url.port", port);
    holder.reply.message = qz_udp_message_create_msgbus(content);
    qz_msgbus_message_release(content);
    std::snprintf(holder.reply.address, sizeof holder.reply.address, "%s", address);
    holder.reply.scope_id = scope;
}

class P2pDiscoveryCallback : public ::testing::Test {
protected:
    void SetUp() override {
        context_ = {&log_.logger, nullptr, nullptr};
        ASSERT_EQ(qz_p2p_client_create(&context_, &client_), 0);
        lookup_.hash = hash;
        lookup_.client = client_;
    }
    void TearDown() override { qz_p2p_client_release(client_); }

    // The handler's result; stop_ and lookup_.url tell the rest.
    int deliver(const char* address, uint32_t scope, const char* type, const char* reply_hash, const char* port) {
        reply_holder holder;
        make_reply(holder, address, scope, type, reply_hash, port);
        stop_ = 0;
        return p2p_discovery_cb(nullptr, &holder.reply, &lookup_, &stop_);
    }
    int deliver_port(const char* address, uint32_t scope, const char* port) {
        return deliver(address, scope, "prop.val.rply.p2p.content_discovery", hash.c_str(), port);
    }

    captured log_;
    qz_net_context context_{};
    qz_p2p_client* client_ = nullptr;
    qz_p2p_discovery_context lookup_;
    int stop_ = 0;
};

TEST_F(P2pDiscoveryCallback, BuildsTheUrlForEachAddressFormAndStops) {
    struct form {
        const char* address;
        uint32_t scope;
        std::string url;
    };
    const form forms[] = {
        {"192.168.1.20", 0, "http://192.168.1.20:8081/p2p/" + hash},
        {"2001:db8::5", 3, "http://[2001:db8::5]:8081/p2p/" + hash},
        {"fe80::5", 12, "http://[fe80::5%12]:8081/p2p/" + hash},
        {"FE80::A", 7, "http://[FE80::A%7]:8081/p2p/" + hash},
        {"2001:fe80::1", 7, "http://[2001:fe80::1]:8081/p2p/" + hash},   // fe80 not at the start
    };
    for (const form& f : forms) {
        SCOPED_TRACE(f.address);
        lookup_.url.clear();
        EXPECT_EQ(deliver_port(f.address, f.scope, "8081"), 0);
        EXPECT_EQ(lookup_.url, f.url);
        EXPECT_EQ(stop_, 1);
    }
}

TEST_F(P2pDiscoveryCallback, PortIsTheLeadingDigitsAndAnUnusablePortIsLikeNone) {
    EXPECT_EQ(deliver_port("10.0.0.2", 0, "8081/tcp"), 0);
    EXPECT_EQ(lookup_.url, "http://10.0.0.2:8081/p2p/" + hash);
    for (const char* port : {"", "http", "0", "65536", "99999999999999999999", "-1"}) {
        SCOPED_TRACE(port);
        lookup_.url.clear();
        EXPECT_EQ(deliver_port("10.0.0.2", 0, port), 0);
        EXPECT_EQ(lookup_.url, "");
        EXPECT_EQ(stop_, 0) << "the lookup listens on";
    }
    EXPECT_EQ(deliver_port("10.0.0.2", 0, "65535"), 0);
    EXPECT_EQ(lookup_.url, "http://10.0.0.2:65535/p2p/" + hash);

    lookup_.url.clear();
    EXPECT_EQ(deliver_port("10.0.0.2", 0, nullptr), 0);
    EXPECT_EQ(lookup_.url, "");
    EXPECT_EQ(stop_, 0);
}

// An answer about another hash is not taken (1): on a road's reused socket it may be a late
// answer to the previous lookup, and its sender's answer to this one must still be heard.
TEST_F(P2pDiscoveryCallback, WrongTypeOrHashIsLoggedAndIgnored) {
    std::string upper = hash;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(deliver("10.0.0.2", 0, "prop.val.rply.p2p.content_discovery", upper.c_str(), "8081"), 1);
    EXPECT_TRUE(log_.has("Failed to match received hash(" + upper + ")."));
    EXPECT_EQ(deliver("10.0.0.2", 0, "prop.val.rply.p2p.content_discovery", (hash + "0").c_str(), "8081"), 1);
    EXPECT_EQ(deliver("10.0.0.2", 0, "prop.val.rply.p2p.content_discovery", nullptr, "8081"), 1);
    EXPECT_TRUE(log_.has("Failed to match received hash()."));
    EXPECT_EQ(deliver("10.0.0.2", 0, "prop.val.rqst.p2p.content_discovery", hash.c_str(), "8081"), 0);
    EXPECT_TRUE(log_.has("Not a valid response(prop.val.rqst.p2p.content_discovery)."));
    EXPECT_EQ(deliver("10.0.0.2", 0, nullptr, hash.c_str(), "8081"), 0);
    EXPECT_TRUE(log_.has("Not a valid response()."));
    EXPECT_EQ(lookup_.url, "");
    EXPECT_EQ(stop_, 0);
}

TEST_F(P2pDiscoveryCallback, CompatRepliesMissingPartsAndLaterMatches) {
    reply_holder compat;
    compat.reply.message = qz_udp_message_create_compat("RELAPORT=8081RELA", 17);
    std::snprintf(compat.reply.address, sizeof compat.reply.address, "10.0.0.9");
    EXPECT_EQ(p2p_discovery_cb(nullptr, &compat.reply, &lookup_, &stop_), 0);
    EXPECT_EQ(lookup_.url, "");
    EXPECT_EQ(p2p_discovery_cb(nullptr, nullptr, &lookup_, &stop_), 1);
    EXPECT_EQ(p2p_discovery_cb(nullptr, &compat.reply, nullptr, &stop_), 1);

    ASSERT_EQ(deliver_port("10.0.0.2", 0, "8081"), 0);
    EXPECT_EQ(deliver_port("10.0.0.3", 0, "9090"), 0);
    EXPECT_EQ(lookup_.url, "http://10.0.0.2:8081/p2p/" + hash) << "the first match stays";
    EXPECT_EQ(stop_, 1);
}

TEST(P2pDiscoverContent, RefusesMissingArgumentsAndAContextWithoutLoop) {
    captured log;
    qz_net_context no_loop = {&log.logger, nullptr, nullptr};
    EXPECT_EQ(qz_p2p_client_create(nullptr, nullptr), 1);
    qz_p2p_client* client = nullptr;
    EXPECT_EQ(qz_p2p_client_create(&no_loop, nullptr), 1);
    ASSERT_EQ(qz_p2p_client_create(&no_loop, &client), 0);

    char* url = reinterpret_cast<char*>(&log);   // must stay untouched
    char* const before = url;
    EXPECT_EQ(qz_p2p_client_discover_content(nullptr, 8082, hash.c_str(), &url), 1);
    EXPECT_EQ(qz_p2p_client_discover_content(client, 0, hash.c_str(), &url), 1);
    EXPECT_EQ(qz_p2p_client_discover_content(client, 8082, nullptr, &url), 1);
    EXPECT_EQ(qz_p2p_client_discover_content(client, 8082, "", &url), 1);
    EXPECT_EQ(qz_p2p_client_discover_content(client, 8082, hash.c_str(), nullptr), 1);
    EXPECT_TRUE(log.lines.empty()) << "refused before anything is logged";

    // No loop, no worker: the UDP request cannot even be made.
    EXPECT_EQ(qz_p2p_client_discover_content(client, 8082, hash.c_str(), &url), 2);
    EXPECT_EQ(url, before);
    EXPECT_TRUE(log.has("Checking content via discovery... for hash(" + hash + ")"));
    EXPECT_TRUE(log.has("Failed to create udp request message, <rc = 2>."));
    EXPECT_TRUE(log.has("Couldn't discover content for hash(" + hash + "), (2)."));
    qz_p2p_client_release(client);
    qz_p2p_client_release(nullptr);
    qz_p2p_client_free_url(nullptr);
}

// A road that has ended cancels its client: a lookup asked for afterwards (the one ahead, when
// its thread comes late) fails at once, sending nothing, instead of waiting out its 2 s.
TEST(P2pDiscoverContent, CancelledClientRefusesLookupsWithoutSending) {
    qz_loop_host* host = qz_loop_worker_create();
    ASSERT_NE(host, nullptr);
    qz_net_context context = {nullptr, qz_loop_host_loop(host), qz_loop_host_worker(host)};
    qz_p2p_client* client = nullptr;
    ASSERT_EQ(qz_p2p_client_create(&context, &client), 0);
    EXPECT_EQ(qz_p2p_client_cancel(nullptr), 1);
    EXPECT_EQ(qz_p2p_client_cancel(client), 0);
    char* url = nullptr;
    EXPECT_EQ(qz_p2p_client_discover_content(client, 8082, hash.c_str(), &url), 2602);
    EXPECT_EQ(url, nullptr);
    qz_p2p_client_release(client);
    qz_loop_worker_release(host);   // never started: nothing ran on it
}

}   // namespace
