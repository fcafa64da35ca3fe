// Typed values: exact integer reads, strings and raw bytes, arrays, ordered tables, cycles.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "utils/qz_status.h"
#include "utils/qz_value.h"

namespace {

struct value_ptr {
    qz_value* v;
    explicit value_ptr(qz_value* value) : v(value) {}
    ~value_ptr() { qz_value_release(v); }
    value_ptr(const value_ptr&) = delete;
    value_ptr& operator=(const value_ptr&) = delete;
    qz_value* get() const { return v; }
};

// Which of the eight integer reads accept the value, as "i8 i16 i32 i64 u8 u16 u32 u64".
std::string readable_as(const qz_value* v) {
    std::string out;
    int8_t i8;
    int16_t i16;
    int32_t i32;
    int64_t i64;
    uint8_t u8;
    uint16_t u16;
    uint32_t u32;
    uint64_t u64;
    auto add = [&out](const char* name, int rc) {
        if (rc == QZ_OK)
            out += std::string(out.empty() ? "" : " ") + name;
        else
            EXPECT_EQ(rc, QZ_ERR_WRONG_STATE) << name;
    };
    add("i8", qz_value_get_int8(v, &i8));
    add("i16", qz_value_get_int16(v, &i16));
    add("i32", qz_value_get_int32(v, &i32));
    add("i64", qz_value_get_int64(v, &i64));
    add("u8", qz_value_get_uint8(v, &u8));
    add("u16", qz_value_get_uint16(v, &u16));
    add("u32", qz_value_get_uint32(v, &u32));
    add("u64", qz_value_get_uint64(v, &u64));
    return out;
}

TEST(QzValue, IntegersReadOnlyAsTypesThatHoldThemExactly) {
    EXPECT_EQ(readable_as(value_ptr(qz_value_create_uint8(200)).get()), "i16 i32 i64 u8 u16 u32 u64");
    EXPECT_EQ(readable_as(value_ptr(qz_value_create_uint64(127)).get()), "i8 i16 i32 i64 u8 u16 u32 u64");
    EXPECT_EQ(readable_as(value_ptr(qz_value_create_int32(-1)).get()), "i8 i16 i32 i64");
    EXPECT_EQ(readable_as(value_ptr(qz_value_create_int16(-129)).get()), "i16 i32 i64");
    EXPECT_EQ(readable_as(value_ptr(qz_value_create_int64(65536)).get()), "i32 i64 u32 u64");
    EXPECT_EQ(readable_as(value_ptr(qz_value_create_int64(INT64_MIN)).get()), "i64");
    EXPECT_EQ(readable_as(value_ptr(qz_value_create_uint64(UINT64_MAX)).get()), "u64");
    EXPECT_EQ(readable_as(value_ptr(qz_value_create_uint64(uint64_t{1} << 63)).get()), "u64");
    EXPECT_EQ(readable_as(value_ptr(qz_value_create_uint32(UINT32_MAX)).get()), "i64 u32 u64");

    value_ptr v(qz_value_create_uint16(300));
    uint16_t got = 0;
    ASSERT_EQ(qz_value_get_uint16(v.get(), &got), QZ_OK);
    EXPECT_EQ(got, 300);
    int8_t small = 0;
    EXPECT_EQ(qz_value_get_int8(nullptr, &small), QZ_ERR_MISSING_ARGUMENT);
    EXPECT_EQ(qz_value_get_int8(v.get(), nullptr), QZ_ERR_MISSING_ARGUMENT);
}

TEST(QzValue, ReadsOfTheWrongTypeFail) {
    value_ptr flag(qz_value_create_bool(true));
    value_ptr text(qz_value_create_string("12"));
    value_ptr number(qz_value_create_int32(1));
    bool b = false;
    uint32_t u = 0;
    const char* s = nullptr;
    double d = 0;
    EXPECT_EQ(qz_value_get_uint32(flag.get(), &u), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_value_get_uint32(text.get(), &u), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_value_get_bool(number.get(), &b), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_value_get_string(number.get(), &s, nullptr), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_value_get_double(number.get(), &d), QZ_ERR_WRONG_STATE);
    ASSERT_EQ(qz_value_get_bool(flag.get(), &b), QZ_OK);
    EXPECT_TRUE(b);
    EXPECT_EQ(qz_value_get_type(nullptr), QZ_VALUE_NULL);
    EXPECT_EQ(qz_value_get_type(text.get()), QZ_VALUE_STRING);
}

TEST(QzValue, FloatsWidenAndNarrowOnlyExactly) {
    value_ptr f(qz_value_create_float(1.5f));
    value_ptr exact(qz_value_create_double(0.25));
    value_ptr inexact(qz_value_create_double(0.1));
    value_ptr huge(qz_value_create_double(1e300));
    double d = 0;
    float x = 0;
    ASSERT_EQ(qz_value_get_double(f.get(), &d), QZ_OK);
    EXPECT_EQ(d, 1.5);
    ASSERT_EQ(qz_value_get_float(exact.get(), &x), QZ_OK);
    EXPECT_EQ(x, 0.25f);
    EXPECT_EQ(qz_value_get_float(inexact.get(), &x), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_value_get_float(huge.get(), &x), QZ_ERR_WRONG_STATE);
}

TEST(QzValue, StringsStopAtTheFirstNulButRawBytesKeepEverything) {
    const char bytes[] = {'a', 'b', '\0', 'c', 'd'};
    value_ptr text(qz_value_create_string_n(bytes, sizeof bytes));
    const char* s = nullptr;
    size_t length = 99;
    ASSERT_EQ(qz_value_get_string(text.get(), &s, &length), QZ_OK);
    EXPECT_EQ(length, 2u);
    EXPECT_STREQ(s, "ab");

    value_ptr cut(qz_value_create_string_n("abcdef", 3));
    ASSERT_EQ(qz_value_get_string(cut.get(), &s, &length), QZ_OK);
    EXPECT_STREQ(s, "abc");

    value_ptr raw(qz_value_create_raw(bytes, sizeof bytes));
    const uint8_t* got = nullptr;
    uint32_t raw_length = 0;
    ASSERT_EQ(qz_value_get_raw(raw.get(), &got, &raw_length), QZ_OK);
    ASSERT_EQ(raw_length, sizeof bytes);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(got), raw_length), std::string(bytes, sizeof bytes));

    EXPECT_EQ(qz_value_create_string(nullptr), nullptr);
    EXPECT_EQ(qz_value_create_raw(nullptr, 3), nullptr);
    value_ptr empty_raw(qz_value_create_raw(nullptr, 0));
    ASSERT_EQ(qz_value_get_raw(empty_raw.get(), &got, &raw_length), QZ_OK);
    EXPECT_EQ(raw_length, 0u);
}

TEST(QzValue, ArraysAreIndexedFromOne) {
    value_ptr array(qz_value_create_array());
    for (int i = 1; i <= 3; ++i) {
        value_ptr item(qz_value_create_int32(i * 10));
        ASSERT_EQ(qz_value_array_append(array.get(), item.get()), QZ_OK);
    }
    ASSERT_EQ(qz_value_array_size(array.get()), 3u);
    qz_value* item = nullptr;
    int32_t n = 0;
    ASSERT_EQ(qz_value_array_get(array.get(), 1, &item), QZ_OK);
    ASSERT_EQ(qz_value_get_int32(item, &n), QZ_OK);
    EXPECT_EQ(n, 10);
    ASSERT_EQ(qz_value_array_get(array.get(), 3, &item), QZ_OK);
    ASSERT_EQ(qz_value_get_int32(item, &n), QZ_OK);
    EXPECT_EQ(n, 30);
    EXPECT_EQ(qz_value_array_get(array.get(), 0, &item), QZ_ERR_KEY_NOT_FOUND);
    EXPECT_EQ(qz_value_array_get(array.get(), 4, &item), QZ_ERR_KEY_NOT_FOUND);
    value_ptr table(qz_value_create_table());
    EXPECT_EQ(qz_value_array_append(table.get(), array.get()), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_value_array_size(table.get()), 0u);
}

TEST(QzValue, TablesKeepKeysInUnsignedByteOrderAndReplaceOnSet) {
    value_ptr table(qz_value_create_table());
    for (const char* key : {"b", "\xc3\xa9", "a", "B", "ab"}) {
        ASSERT_EQ(qz_value_table_set_string(table.get(), key, key), QZ_OK);
    }
    ASSERT_EQ(qz_value_table_set_string(table.get(), "a", "second"), QZ_OK);
    ASSERT_EQ(qz_value_table_size(table.get()), 5u);
    std::vector<std::string> keys;
    for (size_t i = 1; i <= qz_value_table_size(table.get()); ++i) {
        const char* key = nullptr;
        qz_value* value = nullptr;
        ASSERT_EQ(qz_value_table_entry(table.get(), i, &key, &value), QZ_OK);
        keys.push_back(key);
    }
    // 0xc3 sorts after every ASCII byte: the comparison is unsigned.
    EXPECT_EQ(keys, (std::vector<std::string>{"B", "a", "ab", "b", "\xc3\xa9"}));

    const char* text = nullptr;
    ASSERT_EQ(qz_value_table_get_string(table.get(), "a", &text), QZ_OK);
    EXPECT_STREQ(text, "second");
    EXPECT_EQ(qz_value_table_get_string(table.get(), "zz", &text), QZ_ERR_KEY_NOT_FOUND);
    value_ptr number(qz_value_create_uint8(1));
    ASSERT_EQ(qz_value_table_set(table.get(), "n", number.get()), QZ_OK);
    EXPECT_EQ(qz_value_table_get_string(table.get(), "n", &text), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_value_table_set(table.get(), "", number.get()), QZ_ERR_MISSING_ARGUMENT);
    EXPECT_EQ(qz_value_table_set(table.get(), "x", nullptr), QZ_ERR_MISSING_ARGUMENT);
    EXPECT_EQ(qz_value_table_set(number.get(), "x", table.get()), QZ_ERR_WRONG_STATE);

    EXPECT_EQ(qz_value_table_remove(table.get(), "b"), QZ_OK);
    EXPECT_EQ(qz_value_table_remove(table.get(), "b"), QZ_ERR_KEY_NOT_FOUND);
    EXPECT_EQ(qz_value_table_size(table.get()), 5u);
    const char* key = nullptr;
    qz_value* value = nullptr;
    EXPECT_EQ(qz_value_table_entry(table.get(), 6, &key, &value), QZ_ERR_KEY_NOT_FOUND);
}

TEST(QzValue, ContainersNeverHoldThemselves) {
    value_ptr table(qz_value_create_table());
    value_ptr array(qz_value_create_array());
    value_ptr inner(qz_value_create_table());
    EXPECT_EQ(qz_value_table_set(table.get(), "self", table.get()), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_value_array_append(array.get(), array.get()), QZ_ERR_WRONG_STATE);

    ASSERT_EQ(qz_value_table_set(table.get(), "inner", inner.get()), QZ_OK);
    ASSERT_EQ(qz_value_array_append(array.get(), table.get()), QZ_OK);
    // inner -> array -> table -> inner would be a cycle, however deep.
    EXPECT_EQ(qz_value_table_set(inner.get(), "loop", array.get()), QZ_ERR_WRONG_STATE);
    EXPECT_EQ(qz_value_table_size(inner.get()), 0u);

    // The same value twice is sharing, not a cycle.
    ASSERT_EQ(qz_value_table_set(table.get(), "again", inner.get()), QZ_OK);
    ASSERT_EQ(qz_value_array_append(array.get(), inner.get()), QZ_OK);
}

TEST(QzValue, ContainersKeepWhatTheyHoldAlive) {
    qz_value* table = qz_value_create_table();
    qz_value* text = qz_value_create_string("kept");
    ASSERT_EQ(qz_value_table_set(table, "k", text), QZ_OK);
    qz_value_release(text);   // the table's own reference remains
    const char* got = nullptr;
    ASSERT_EQ(qz_value_table_get_string(table, "k", &got), QZ_OK);
    EXPECT_STREQ(got, "kept");

    EXPECT_EQ(qz_value_retain(table), table);
    qz_value_release(table);
    ASSERT_EQ(qz_value_table_get_string(table, "k", &got), QZ_OK);   // one reference left
    qz_value_release(table);
    qz_value_release(nullptr);
    EXPECT_EQ(qz_value_retain(nullptr), nullptr);

    // Releasing a deep nest needs no deep stack.
    qz_value* outer = qz_value_create_array();
    qz_value* cursor = outer;
    for (int i = 0; i < 200000; ++i) {
        qz_value* next = qz_value_create_array();
        ASSERT_EQ(qz_value_array_append(cursor, next), QZ_OK);
        qz_value_release(next);
        cursor = next;
    }
    qz_value_release(outer);
}

}   // namespace
