// Peer messages: byte-exact encodings, decoding of independently packed bytes, the decoder's
// refusals and the compat/msgbus classification.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "clients/udp/qz_udp_message.h"
#include "utils/qz_status.h"
#include "utils/qz_value.h"

namespace {

using bytes = std::vector<uint8_t>;

bytes from_hex(const std::string& hex) {
    bytes out;
    for (size_t i = 0; i + 1 < hex.size();) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}

bytes text_bytes(const std::string& text) { return bytes(text.begin(), text.end()); }

bytes join(std::initializer_list<bytes> parts) {
    bytes out;
    for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const bytes header19 = from_hex("9e 00 60 00 00 00 00 00 00 a1 20 00 a1 20 a1 20 00 a1 20");

const std::string hash64 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

struct message_ptr {
    qz_udp_message* m = nullptr;
    ~message_ptr() { qz_udp_message_release(m); }
};

// A msgbus message with the given string properties.
qz_udp_message* msgbus_with(std::initializer_list<std::pair<const char*, std::string>> props) {
    qz_msgbus_message* msgbus = qz_msgbus_message_create();
    for (const auto& p : props) {
        EXPECT_EQ(qz_msgbus_message_set_string_property(msgbus, p.first, p.second.c_str()), QZ_OK);
    }
    qz_udp_message* udp = qz_udp_message_create_msgbus(msgbus);
    qz_msgbus_message_release(msgbus);
    return udp;
}

bytes encode(const qz_udp_message* message) {
    uint8_t* data = nullptr;
    size_t length = 0;
    EXPECT_EQ(qz_udp_message_encode(message, &data, &length), QZ_OK);
    bytes out(data, data + length);
    qz_udp_message_free_bytes(data);
    return out;
}

int decode(const bytes& in, message_ptr* out) { return qz_udp_message_decode(in.data(), in.size(), &out->m); }

std::string python_program() {
    const char* python = std::getenv("QSW_PYTHON");
    return python != nullptr ? python : "/usr/bin/python3";
}

// Whether Python's msgpack can be imported here; the tests that need it skip only then.
bool python_msgpack_available() {
    return std::system((python_program() + " -c \"import msgpack\" 2>/dev/null").c_str()) == 0;
}

// Bytes packed by Python's msgpack from a Python expression; empty when packing failed.
bytes python_pack(const std::string& expression) {
    std::string command = python_program() + " -c \"import sys, msgpack; sys.stdout.buffer.write(msgpack.packb(" +
                          expression + ", use_bin_type=True))\"";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    bytes out;
    int c;
    while ((c = std::fgetc(pipe)) != EOF) out.push_back(static_cast<uint8_t>(c));
    return pclose(pipe) == 0 ? out : bytes{};
}

const char* python_header = "[0, 96, 0, 0, 0, 0, 0, 0, ' ', 0, ' ', ' ', 0, ' ']";

TEST(UdpMessageEncoding, HeaderOfEveryMessageIs19FixedBytes) {
    message_ptr msg{msgbus_with({})};
    EXPECT_EQ(encode(msg.m), join({from_hex("92"), header19, from_hex("80")}));
}

TEST(UdpMessageEncoding, RelayDiscoveryRequestIs69Bytes) {
    message_ptr msg{msgbus_with({{"prop.key.msg_type", "prop.val.rqst.relay_discovery"}})};
    bytes expected = join({from_hex("92"), header19, from_hex("81 b1"), text_bytes("prop.key.msg_type"), from_hex("bd"),
                           text_bytes("prop.val.rqst.relay_discovery")});
    ASSERT_EQ(expected.size(), 69u);
    EXPECT_EQ(encode(msg.m), expected);
}

TEST(UdpMessageEncoding, ContentRequestSortsItsKeysAndIs164Bytes) {
    message_ptr msg{
        msgbus_with({{"prop.key.msg_type", "prop.val.rqst.p2p.content_discovery"}, {"prop.key.content_hash", hash64}})};
    bytes expected = join({from_hex("92"), header19, from_hex("82 b5"), text_bytes("prop.key.content_hash"),
                           from_hex("d9 40"), text_bytes(hash64), from_hex("b1"), text_bytes("prop.key.msg_type"),
                           from_hex("d9 23"), text_bytes("prop.val.rqst.p2p.content_discovery")});
    ASSERT_EQ(expected.size(), 164u);
    bytes got = encode(msg.m);
    EXPECT_EQ(got, expected);

    if (!python_msgpack_available()) GTEST_SKIP() << "python3 with msgpack not available";
    bytes independent = python_pack(std::string("[") + python_header + ", {'prop.key.content_hash': '" + hash64 +
                                    "', 'prop.key.msg_type': "
                                    "'prop.val.rqst.p2p.content_discovery'}]");
    ASSERT_FALSE(independent.empty()) << "python3 could not pack the reference message";
    EXPECT_EQ(got, independent);
}

TEST(UdpMessageEncoding, StringsSwitchFromFixstrToStr8At32Bytes) {
    message_ptr s31{msgbus_with({{"k", std::string(31, 'x')}})};
    message_ptr s32{msgbus_with({{"k", std::string(32, 'x')}})};
    message_ptr s256{msgbus_with({{"k", std::string(256, 'x')}})};
    // After 92, the header, 81 and the key a1 6b comes the value's marker.
    const size_t at = 1 + header19.size() + 1 + 2;
    bytes e31 = encode(s31.m), e32 = encode(s32.m), e256 = encode(s256.m);
    EXPECT_EQ(bytes(e31.begin() + at, e31.begin() + at + 1), from_hex("bf"));
    EXPECT_EQ(e31.size(), at + 1 + 31);
    EXPECT_EQ(bytes(e32.begin() + at, e32.begin() + at + 2), from_hex("d9 20"));
    EXPECT_EQ(e32.size(), at + 2 + 32);
    EXPECT_EQ(bytes(e256.begin() + at, e256.begin() + at + 3), from_hex("da 01 00"));
}

TEST(UdpMessageEncoding, PayloadValuesTakeTheirSmallestForms) {
    qz_value* payload = qz_value_create_array();
    auto add = [payload](qz_value* v) {
        ASSERT_EQ(qz_value_array_append(payload, v), QZ_OK);
        qz_value_release(v);
    };
    add(qz_value_create_uint8(127));                  // 7f
    add(qz_value_create_uint16(128));                 // cc 80
    add(qz_value_create_uint32(256));                 // cd 01 00
    add(qz_value_create_uint64(65536));               // ce 00 01 00 00
    add(qz_value_create_uint64(uint64_t{1} << 32));   // cf 00 00 00 01 00 00 00 00
    add(qz_value_create_int8(-32));                   // e0
    add(qz_value_create_int8(-33));                   // d0 df
    add(qz_value_create_int16(-129));                 // d1 ff 7f
    add(qz_value_create_int32(200));                  // cc c8
    add(qz_value_create_int64(-2147483649LL));        // d3 ff ff ff ff 7f ff ff ff
    add(qz_value_create_bool(true));                  // c3
    add(qz_value_create_null());                      // c0
    add(qz_value_create_float(1.0f));                 // ca 3f 80 00 00
    add(qz_value_create_double(-2.0));                // cb c0 00 00 00 00 00 00 00
    add(qz_value_create_raw("\x01\x00\x02", 3));      // c4 03 01 00 02
    ASSERT_EQ(qz_value_array_size(payload), 15u);     // fixarray 9f

    qz_msgbus_message* msgbus = qz_msgbus_message_create();
    ASSERT_EQ(qz_msgbus_message_set_payload(msgbus, payload), QZ_OK);
    qz_value_release(payload);
    message_ptr msg{qz_udp_message_create_msgbus(msgbus)};
    qz_msgbus_message_release(msgbus);

    bytes expected = join({from_hex("93"), header19, from_hex("80 9f"),
                           from_hex("7f cc80 cd0100 ce00010000 cf0000000100000000 e0 d0df d1ff7f "
                                    "ccc8 d3ffffffff7fffffff c3 c0 ca3f800000 cbc000000000000000 "
                                    "c403010002")});
    EXPECT_EQ(encode(msg.m), expected);
}

TEST(UdpMessageEncoding, SixteenItemsLeaveTheFixForms) {
    qz_value* array = qz_value_create_array();
    qz_value* table = qz_value_create_table();
    for (int i = 0; i < 16; ++i) {
        qz_value* v = qz_value_create_uint8(1);
        qz_value_array_append(array, v);
        char key[8];
        std::snprintf(key, sizeof key, "k%02d", i);
        qz_value_table_set(table, key, v);
        qz_value_release(v);
    }
    qz_msgbus_message* msgbus = qz_msgbus_message_create();
    qz_msgbus_message_set_property(msgbus, "a", array);
    qz_msgbus_message_set_property(msgbus, "t", table);
    qz_value_release(array);
    qz_value_release(table);
    message_ptr msg{qz_udp_message_create_msgbus(msgbus)};
    qz_msgbus_message_release(msgbus);
    bytes got = encode(msg.m);
    const size_t at = 1 + header19.size() + 1 + 2;   // the value of "a"
    EXPECT_EQ(bytes(got.begin() + at, got.begin() + at + 3), from_hex("dc 00 10"));
    const size_t table_at = at + 3 + 16 + 2;   // past the array and the key "t"
    EXPECT_EQ(bytes(got.begin() + table_at, got.begin() + table_at + 4), from_hex("de 00 10 a3"));
}

TEST(UdpMessageEncoding, CompatMessagesAreTheirBytesAndEmptyOnesHaveNoContent) {
    const char relay[] = "RELARELAY_RESPONDRELA";
    message_ptr compat{qz_udp_message_create_compat(relay, 21)};
    EXPECT_EQ(encode(compat.m), text_bytes(relay));
    message_ptr empty{qz_udp_message_create_compat(nullptr, 0)};
    uint8_t* data = nullptr;
    size_t length = 0;
    EXPECT_EQ(qz_udp_message_encode(empty.m, &data, &length), QZ_ERR_NO_CONTENT);
    EXPECT_EQ(qz_udp_message_encode(nullptr, &data, &length), QZ_ERR_MISSING_ARGUMENT);
    EXPECT_EQ(data, nullptr);
}

TEST(UdpMessageHeader, FieldsKeepTheirTypes) {
    qz_msgbus_message* msgbus = qz_msgbus_message_create();
    qz_value* v300 = qz_value_create_uint16(300);
    qz_value* v7 = qz_value_create_int64(7);
    qz_value* text = qz_value_create_string("x");
    EXPECT_EQ(qz_msgbus_message_set_header_field(msgbus, 2, v300), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_msgbus_message_set_header_field(msgbus, 7, v300), QZ_OK);
    EXPECT_EQ(qz_msgbus_message_set_header_field(msgbus, 2, v7), QZ_OK);
    EXPECT_EQ(qz_msgbus_message_set_header_field(msgbus, 9, v7), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_msgbus_message_set_header_field(msgbus, 15, text), QZ_ERR_KEY_NOT_FOUND);
    qz_value* field = nullptr;
    ASSERT_EQ(qz_msgbus_message_get_header_field(msgbus, 2, &field), QZ_OK);
    EXPECT_EQ(qz_value_get_type(field), QZ_VALUE_UINT8);   // stored as the field's own type
    qz_value_release(v300);
    qz_value_release(v7);
    qz_value_release(text);
    message_ptr msg{qz_udp_message_create_msgbus(msgbus)};
    qz_msgbus_message_release(msgbus);
    bytes got = encode(msg.m);
    EXPECT_EQ(got[2 + 1], 0x07);                                                         // field 2
    EXPECT_EQ(bytes(got.begin() + 1 + 7, got.begin() + 1 + 10), from_hex("cd 01 2c"));   // field 7
}

TEST(UdpMessageDecoding, ReadsWhatPythonPacked) {
    if (!python_msgpack_available()) GTEST_SKIP() << "python3 with msgpack not available";
    bytes packed = python_pack(
        "[[1, 255, 2, 3, 4294967295, 5, 65535, 7, 'node', 18446744073709551615, '', 'b', 0, "
        "'c'], {'prop.key.msg_type': 'prop.val.rply.p2p.content_discovery', 'RelayServerPort': "
        "'8081', 'n': -5, 'f': 1.5, 'z': None, 'raw': b'\\x00\\x01', 'l': [1, 'two'], "
        "'prop.key.msg_type': 'later'}, {'p': True}]");
    ASSERT_FALSE(packed.empty()) << "python3 could not pack the message";
    message_ptr msg;
    ASSERT_EQ(decode(packed, &msg), QZ_OK);
    ASSERT_EQ(qz_udp_message_get_kind(msg.m), QZ_UDP_MESSAGE_MSGBUS);
    qz_msgbus_message* msgbus = qz_udp_message_msgbus(msg.m);
    ASSERT_NE(msgbus, nullptr);

    qz_value* field = nullptr;
    uint64_t u64 = 0;
    const char* text = nullptr;
    ASSERT_EQ(qz_msgbus_message_get_header_field(msgbus, 10, &field), QZ_OK);
    ASSERT_EQ(qz_value_get_uint64(field, &u64), QZ_OK);
    EXPECT_EQ(u64, UINT64_MAX);
    ASSERT_EQ(qz_msgbus_message_get_header_field(msgbus, 9, &field), QZ_OK);
    ASSERT_EQ(qz_value_get_string(field, &text, nullptr), QZ_OK);
    EXPECT_STREQ(text, "node");   // received text fields are kept as they are
    ASSERT_EQ(qz_msgbus_message_get_header_field(msgbus, 11, &field), QZ_OK);
    ASSERT_EQ(qz_value_get_string(field, &text, nullptr), QZ_OK);
    EXPECT_STREQ(text, "");

    ASSERT_EQ(qz_msgbus_message_get_string_property(msgbus, "RelayServerPort", &text), QZ_OK);
    EXPECT_STREQ(text, "8081");
    // A key repeated in the map: the later value wins.
    ASSERT_EQ(qz_msgbus_message_get_string_property(msgbus, "prop.key.msg_type", &text), QZ_OK);
    EXPECT_STREQ(text, "later");
    EXPECT_EQ(qz_msgbus_message_get_string_property(msgbus, "n", &text), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_msgbus_message_get_string_property(msgbus, "missing", &text), QZ_ERR_KEY_NOT_FOUND);

    qz_value* props = qz_msgbus_message_properties(msgbus);
    qz_value* v = nullptr;
    int8_t i8 = 0;
    double d = 0;
    ASSERT_EQ(qz_value_table_get(props, "n", &v), QZ_OK);
    ASSERT_EQ(qz_value_get_int8(v, &i8), QZ_OK);
    EXPECT_EQ(i8, -5);
    ASSERT_EQ(qz_value_table_get(props, "f", &v), QZ_OK);
    ASSERT_EQ(qz_value_get_double(v, &d), QZ_OK);
    EXPECT_EQ(d, 1.5);
    ASSERT_EQ(qz_value_table_get(props, "z", &v), QZ_OK);
    EXPECT_EQ(qz_value_get_type(v), QZ_VALUE_NULL);
    ASSERT_EQ(qz_value_table_get(props, "raw", &v), QZ_OK);
    EXPECT_EQ(qz_value_get_type(v), QZ_VALUE_RAW);
    ASSERT_EQ(qz_value_table_get(props, "l", &v), QZ_OK);
    EXPECT_EQ(qz_value_array_size(v), 2u);

    qz_value* payload = qz_msgbus_message_payload(msgbus);
    bool flag = false;
    ASSERT_EQ(qz_value_table_get(payload, "p", &v), QZ_OK);
    ASSERT_EQ(qz_value_get_bool(v, &flag), QZ_OK);
    EXPECT_TRUE(flag);
}

TEST(UdpMessageDecoding, RoundTripsItsOwnEncoding) {
    message_ptr original{
        msgbus_with({{"prop.key.msg_type", "prop.val.rqst.p2p.content_discovery"}, {"prop.key.content_hash", hash64}})};
    bytes wire = encode(original.m);
    message_ptr back;
    ASSERT_EQ(decode(wire, &back), QZ_OK);
    EXPECT_EQ(encode(back.m), wire);
    EXPECT_EQ(qz_msgbus_message_payload(qz_udp_message_msgbus(back.m)), nullptr);
}

TEST(UdpMessageDecoding, RefusesMessagesOfTheWrongShape) {
    struct refusal {
        const char* what;
        bytes in;
        int rc;
    };
    const bytes header = header19;
    bytes field2_300 = header;
    field2_300[2] = 0xcd;   // field 2 as cd 01 2c (300)
    field2_300.insert(field2_300.begin() + 3, {0x01, 0x2c});
    bytes thirteen = header;
    thirteen[0] = 0x9d;
    thirteen.resize(thirteen.size() - 2);   // drop field 14
    std::vector<refusal> cases = {
        {"array of 4", join({from_hex("94"), header, from_hex("80 c0 c0")}), QZ_ERR_BAD_SHAPE},
        {"array of 1", join({from_hex("91"), header}), QZ_ERR_BAD_SHAPE},
        {"map at the top", from_hex("81 a1 61 a1 62"), QZ_ERR_BAD_SHAPE},
        {"\"RELARELA\" is a fixint", text_bytes("RELARELA"), QZ_ERR_BAD_SHAPE},
        {"field 2 = 300", join({from_hex("92"), field2_300, from_hex("80")}), QZ_ERR_WRONG_STATE},
        {"13 header fields", join({from_hex("92"), thirteen, from_hex("80")}), QZ_ERR_MISSING_ARGUMENT},
        {"header not an array", from_hex("92 80 80"), QZ_ERR_WRONG_STATE},
        {"properties not a map", join({from_hex("92"), header, from_hex("90")}), QZ_ERR_WRONG_STATE},
        {"text field as a number",
         join({from_hex("92 9e 00 60 00 00 00 00 00 00 00 00 a1 20 a1 "
                        "20 00 a1 20 80")}),
         QZ_ERR_WRONG_STATE},
        {"truncated", bytes(header.begin(), header.begin() + 10), QZ_ERR_UNPACK_CONTINUE},
        {"never-used byte", from_hex("c1"), QZ_ERR_UNPACK_PARSE},
        {"extension value", join({from_hex("92"), header, from_hex("81 a1 65 d4 01 00")}), QZ_ERR_UNPACK_EXTRA},
        {"empty key", join({from_hex("92"), header, from_hex("81 a0 c0")}), QZ_ERR_UNPACK_EXTRA},
        {"key cut to nothing by a NUL", join({from_hex("92"), header, from_hex("81 a2 00 61 c0")}),
         QZ_ERR_UNPACK_EXTRA},
        {"number as key", join({from_hex("92"), header, from_hex("81 01 c0")}), QZ_ERR_UNPACK_EXTRA},
        {"empty raw", join({from_hex("92"), header, from_hex("81 a1 62 c4 00")}), QZ_ERR_UNPACK_EXTRA},
        // Four billion claimed items in five bytes: refused without reserving room for them.
        {"huge array count", from_hex("dd ff ff ff ff"), QZ_ERR_UNPACK_CONTINUE},
        {"huge nested map", join({from_hex("92"), header, from_hex("df 7f ff ff ff a1 61")}), QZ_ERR_UNPACK_CONTINUE},
    };
    for (const refusal& c : cases) {
        message_ptr msg;
        EXPECT_EQ(decode(c.in, &msg), c.rc) << c.what;
        EXPECT_EQ(msg.m, nullptr) << c.what;
    }
    message_ptr msg;
    EXPECT_EQ(qz_udp_message_decode(nullptr, 3, &msg.m), QZ_ERR_MISSING_ARGUMENT);
    EXPECT_EQ(qz_udp_message_decode("x", 0, &msg.m), QZ_ERR_MISSING_ARGUMENT);
}

TEST(UdpMessageDatagrams, CompatNeedsBothRelayTagsAndNineBytes) {
    message_ptr eight;
    EXPECT_EQ(qz_udp_message_classify("RELARELA", 8), QZ_UDP_MESSAGE_MSGBUS);
    EXPECT_EQ(qz_udp_message_from_datagram("RELARELA", 8, &eight.m), QZ_ERR_BAD_SHAPE);
    EXPECT_EQ(eight.m, nullptr);   // dropped

    message_ptr nine;
    ASSERT_EQ(qz_udp_message_from_datagram("RELA8RELA", 9, &nine.m), QZ_OK);
    ASSERT_EQ(qz_udp_message_get_kind(nine.m), QZ_UDP_MESSAGE_COMPAT);
    const uint8_t* content = nullptr;
    size_t length = 0;
    ASSERT_EQ(qz_udp_message_compat_bytes(nine.m, &content, &length), QZ_OK);
    EXPECT_EQ(length, 9u);
    EXPECT_STREQ(reinterpret_cast<const char*>(content), "RELA8RELA");   // NUL after the bytes
    EXPECT_EQ(qz_udp_message_msgbus(nine.m), nullptr);

    EXPECT_EQ(qz_udp_message_classify("RELA8RELB", 9), QZ_UDP_MESSAGE_MSGBUS);
    EXPECT_EQ(qz_udp_message_classify("XELA8RELA", 9), QZ_UDP_MESSAGE_MSGBUS);
    const std::string reply = "RELA,PORT=8081RELA,X=1RELA";
    EXPECT_EQ(qz_udp_message_classify(reply.data(), reply.size()), QZ_UDP_MESSAGE_COMPAT);
    EXPECT_EQ(qz_udp_message_compat_bytes(nullptr, &content, &length), QZ_ERR_MISSING_ARGUMENT);
}

TEST(UdpMessageDatagrams, AgentWakeupTagNeedsOneByteMore) {
    const std::string tag = "<Type=\"AgentWakeup\" Version=\"1.0\"";
    ASSERT_EQ(tag.size(), 33u);
    EXPECT_EQ(qz_udp_message_classify(tag.data(), tag.size()), QZ_UDP_MESSAGE_MSGBUS);
    const std::string wakeup = tag + " />";
    EXPECT_EQ(qz_udp_message_classify(wakeup.data(), wakeup.size()), QZ_UDP_MESSAGE_COMPAT);
    message_ptr msg;
    ASSERT_EQ(qz_udp_message_from_datagram(wakeup.data(), wakeup.size(), &msg.m), QZ_OK);
    EXPECT_EQ(qz_udp_message_get_kind(msg.m), QZ_UDP_MESSAGE_COMPAT);
}

TEST(UdpMessageDatagrams, MsgbusDatagramsAreDecoded) {
    if (!python_msgpack_available()) GTEST_SKIP() << "python3 with msgpack not available";
    bytes packed = python_pack(std::string("[") + python_header + ", {'RelayServerPort': '8081'}]");
    ASSERT_FALSE(packed.empty()) << "python3 could not pack the message";
    message_ptr msg;
    ASSERT_EQ(qz_udp_message_from_datagram(packed.data(), packed.size(), &msg.m), QZ_OK);
    const char* port = nullptr;
    ASSERT_EQ(qz_msgbus_message_get_string_property(qz_udp_message_msgbus(msg.m), "RelayServerPort", &port), QZ_OK);
    EXPECT_STREQ(port, "8081");
    EXPECT_EQ(qz_udp_message_from_datagram(packed.data(), 0, &msg.m), QZ_ERR_MISSING_ARGUMENT);
}

}   // namespace
