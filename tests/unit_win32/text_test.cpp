// Text services where Windows differs: wchar_t is UTF-16, and the narrow code page is ANSI.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "os/text.h"

namespace {
std::wstring format(const wchar_t* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    std::wstring out;
    bool ok = os_format_wide(out, pattern, args);
    va_end(args);
    return ok ? out : L"<failed>";
}
}   // namespace

TEST(Win32Text, Utf8RoundTripsCharactersBeyondTheBasicPlane) {
    const std::string utf8 = "a\xF0\x9F\x98\x80z";   // U+1F600 needs a surrogate pair in UTF-16
    std::wstring wide;
    ASSERT_TRUE(os_wide_from_utf8(utf8, wide));
    EXPECT_EQ(wide, std::wstring(L"a\xD83D\xDE00z"));
    std::string back;
    ASSERT_TRUE(os_utf8_from_wide(wide, back));
    EXPECT_EQ(back, utf8);
}

TEST(Win32Text, RefusesBrokenInput) {
    std::string narrow;
    EXPECT_FALSE(os_utf8_from_wide(std::wstring(1, static_cast<wchar_t>(0xD800)), narrow)) << "a lone surrogate";
    std::wstring wide;
    EXPECT_FALSE(os_wide_from_utf8("\xC0\xAF", wide)) << "an overlong form";
    EXPECT_FALSE(os_wide_from_utf8("ab\xE2\x82", wide)) << "a cut sequence";
}

TEST(Win32Text, NarrowRefusesWhatTheCodePageLacks) {
    std::string narrow = "unchanged";
    // CJK is in no single-byte ANSI code page: a best-fit or '?' would name another file.
    EXPECT_FALSE(os_to_narrow(std::wstring(L"C:\\\x4E2D.txt"), narrow));
    EXPECT_EQ(os_to_narrow_lossy(L"a\x4E2D"), "a?");
    ASSERT_TRUE(os_to_narrow(std::wstring(L"plain.txt"), narrow));
    EXPECT_EQ(narrow, "plain.txt");
    char small[4];
    EXPECT_FALSE(os_to_narrow(L"four", small, sizeof small)) << "no room for the terminator";
    EXPECT_EQ(small[0], '\0');
}

TEST(Win32Text, FormatsNarrowAndWideArgumentsAlike) {
    EXPECT_EQ(format(L"[" OS_NARROW_S L"] [%ls] %d", "narrow", L"wide", 7), L"[narrow] [wide] 7");
    std::wstring long_text(5000, L'x');
    EXPECT_EQ(format(L"%ls", long_text.c_str()), long_text) << "grows past its first buffer";
}
