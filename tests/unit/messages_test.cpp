#include "core/messages.h"

#include <gtest/gtest.h>

#include <climits>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

const unsigned english = 1033;

// Every locale id that has a table of its own.
const unsigned translated_lcids[] = {1028, 1029, 1030, 1031, 1034, 1035, 1036, 1040, 1041, 1042,
                                     1043, 1044, 1045, 1046, 1049, 1053, 1055, 2052, 2070, 3082};

// The printf conversions of a format text, in order ("ls", "d", ...); "%%" is no conversion.
// A '%' that does not complete a conversion is recorded as "<bad>" so that it never matches.
std::vector<std::wstring> conversions(const std::wstring& text) {
    std::vector<std::wstring> found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%') continue;
        size_t j = i + 1;
        if (j < text.size() && text[j] == L'%') {
            i = j;
            continue;
        }
        while (j < text.size() && std::wcschr(L"-+ #0'", text[j])) ++j;
        while (j < text.size() && (std::iswdigit(text[j]) || text[j] == L'*')) ++j;
        if (j < text.size() && text[j] == L'.') {
            ++j;
            while (j < text.size() && (std::iswdigit(text[j]) || text[j] == L'*')) ++j;
        }
        size_t start = j;
        while (j < text.size() && std::wcschr(L"hlLqjzt", text[j])) ++j;
        if (j < text.size() && std::wcschr(L"diouxXeEfFgGaAcspnCS", text[j])) {
            found.push_back(text.substr(start, j - start + 1));
        } else {
            found.push_back(L"<bad>");
        }
        i = j;
    }
    return found;
}

std::vector<std::wstring> lines_of(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

size_t count_of(const std::wstring& text, const std::wstring& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::wstring text_for(unsigned lcid, int id) {
    select_language_for_lcid(lcid);
    return get_message_text(id);
}

// The active catalogue is process-wide: every test starts and ends in English.
class Messages : public ::testing::Test {
protected:
    void SetUp() override { select_language_for_lcid(english); }
    void TearDown() override { select_language_for_lcid(english); }
};

TEST_F(Messages, ExactLocaleIdPicksTheLanguage) {
    EXPECT_EQ(text_for(1031, MSG_NEXT), L"Weiter");
    EXPECT_EQ(text_for(1031, MSG_BUTTON_CANCEL), L"Abbre&chen");
    EXPECT_EQ(text_for(1036, MSG_NEXT), L"Suivant");

    // Regional variants without a table of their own, and unknown ids, get English.
    for (unsigned lcid : {3079u, 2055u, 1033u, 2057u, 0u, 0xFFFFu, UINT_MAX}) {
        SCOPED_TRACE(lcid);
        EXPECT_EQ(text_for(lcid, MSG_STARTING), L"Starting installation ");
        EXPECT_EQ(text_for(lcid, MSG_BUTTON_CANCEL), L"Ca&ncel");
    }
}

TEST_F(Messages, BothSpanishLocaleIdsShareOneTable) {
    for (int id = 0; id <= 53; ++id) {
        SCOPED_TRACE(id);
        const wchar_t* traditional_sort = (select_language_for_lcid(1034), get_message_text(id));
        const wchar_t* modern_sort = (select_language_for_lcid(3082), get_message_text(id));
        EXPECT_STREQ(traditional_sort, modern_sort);
    }
    EXPECT_EQ(text_for(3082, MSG_NEXT), L"Siguiente");
}

TEST_F(Messages, OsMessageIsEnglishOnlyAndIdsOutOfRangeHaveNoText) {
    EXPECT_EQ(text_for(english, MSG_OS_NOT_SUPPORTED), L"OS not supported");
    for (unsigned lcid : translated_lcids) {
        SCOPED_TRACE(lcid);
        EXPECT_EQ(text_for(lcid, MSG_OS_NOT_SUPPORTED), L"???");
    }
    for (unsigned lcid : {english, 1031u, 1041u}) {
        for (int id : {54, 55, -1, INT_MIN, INT_MAX}) {
            SCOPED_TRACE(testing::Message() << lcid << " id " << id);
            EXPECT_EQ(text_for(lcid, id), L"???");
        }
    }
}

TEST_F(Messages, EveryTranslationIsCompleteAndKeepsThePlaceholders) {
    const std::wstring names[] = {L"Quenta Swiftset", L"Quenta Agent", L"QuentaSwiftset", L"Lumacore"};
    for (unsigned lcid : translated_lcids) {
        for (int id = 0; id <= 52; ++id) {
            SCOPED_TRACE(testing::Message() << "lcid " << lcid << " id " << id);
            std::wstring source = text_for(english, id);
            std::wstring translated = text_for(lcid, id);
            ASSERT_FALSE(translated.empty());
            ASSERT_NE(translated, L"???");
            EXPECT_EQ(conversions(translated), conversions(source));
            for (const auto& name : names) {
                EXPECT_EQ(count_of(translated, name), count_of(source, name)) << "name";
            }
            // A text that ends a line in English ends one in every language.
            EXPECT_EQ(translated.back() == L'\n', source.back() == L'\n');
        }
        // The Cancel button keeps exactly one accelerator marker, on a character of its own.
        std::wstring cancel = text_for(lcid, MSG_BUTTON_CANCEL);
        SCOPED_TRACE(lcid);
        EXPECT_EQ(count_of(cancel, L"&"), 1u);
        EXPECT_NE(cancel.back(), L'&');
    }
}

TEST_F(Messages, ConversionParserSeesWhatPrintfSees) {
    // The completeness test above is only as good as this parser.
    EXPECT_EQ(conversions(L"from %ls to %d"), (std::vector<std::wstring>{L"ls", L"d"}));
    EXPECT_EQ(conversions(L"100%% %-10.3ls %lu"), (std::vector<std::wstring>{L"ls", L"lu"}));
    EXPECT_EQ(conversions(L"half %"), (std::vector<std::wstring>{L"<bad>"}));
    EXPECT_EQ(conversions(L"% of"), (std::vector<std::wstring>{L"o"}));
    EXPECT_TRUE(conversions(L"no conversions").empty());
}

TEST_F(Messages, EnglishHelpTextHasItsExactLayout) {
    const std::wstring expected_lines[] = {
        L"Options:-",
        L"QuentaSwiftset.exe -d <DataPath>",
        L"QuentaSwiftset.exe -i <InstallPath>",
        L"QuentaSwiftset.exe -g <Debug log>",
        L"QuentaSwiftset.exe -a <Proxy address>",
        L"QuentaSwiftset.exe -p <Proxy port>",
        L"QuentaSwiftset.exe -u <Proxy username>",
        L"QuentaSwiftset.exe -w <Proxy password>",
        L"QuentaSwiftset.exe -k <Disable HTTPS peer verification>",
        L"QuentaSwiftset.exe -s <Silent installation>",
        L"QuentaSwiftset.exe -v <Make the agent aware of a VDI environment>",
        L"QuentaSwiftset.exe -f <Force installation option for agent deployment>",
        L"QuentaSwiftset.exe -h <Force installation with keepGUID option for agent deployment>",
        L"QuentaSwiftset.exe -? <Help>",
    };
    std::wstring expected = L"\n";
    for (const auto& line : expected_lines) {
        expected += line;
        if (&line != &expected_lines[13]) expected += L"\t\t\t\n";
    }
    EXPECT_EQ(text_for(english, MSG_HELP_TEXT), expected);
    EXPECT_EQ(text_for(english, MSG_HELP_TITLE), L"Quenta Swiftset help");
    EXPECT_EQ(text_for(english, 49).rfind(L"Usage:- ./QuentaSwiftset.sh <options>", 0), 0u);
    EXPECT_NE(text_for(english, 36).find(L"QuentaSwiftset.sh -g <Debug log>"), std::wstring::npos);
}

TEST_F(Messages, EveryHelpTextKeepsTheLayoutAndTheCommandLines) {
    const wchar_t letters[] = L"digapuwksvfh?";
    for (unsigned lcid : translated_lcids) {
        SCOPED_TRACE(lcid);
        std::wstring help = text_for(lcid, MSG_HELP_TEXT);
        ASSERT_EQ(help.front(), L'\n');
        std::vector<std::wstring> lines = lines_of(help.substr(1));
        ASSERT_EQ(lines.size(), 14u);
        for (size_t k = 0; k < lines.size(); ++k) {
            SCOPED_TRACE(k);
            const std::wstring& line = lines[k];
            bool last = k + 1 == lines.size();
            std::wstring tail = last ? L">" : L">\t\t\t";
            if (k == 0) tail = L":-\t\t\t";
            ASSERT_GE(line.size(), tail.size());
            EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
            if (k == 0) continue;
            std::wstring command = std::wstring(L"QuentaSwiftset.exe -") + letters[k - 1] + L" <";
            EXPECT_EQ(line.rfind(command, 0), 0u) << narrow_ascii(command);
            EXPECT_EQ(count_of(line, L"\t"), last ? 0u : 3u);
        }
    }
}

TEST_F(Messages, SelectLanguageFollowsTheLocaleEnvironment) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows takes the language from the user's UI language, not the environment";
#endif
    const std::wstring german = text_for(1031, MSG_NEXT);
    const std::wstring spanish = text_for(3082, MSG_NEXT);
    const std::wstring japanese = text_for(1041, MSG_NEXT);
    const std::wstring english_next = text_for(english, MSG_NEXT);
    struct {
        const char* locale;
        const std::wstring& next;
    } cases[] = {
        {"de_DE.UTF-8", german},   {"de_DE", german},       {"es_ES.UTF-8@euro", spanish}, {"ja_JP.UTF-8", japanese},
        {"C", english_next},       {"POSIX", english_next}, {"de_AT.UTF-8", english_next}, {"xx_YY", english_next},
        {"C.UTF-8", english_next}, {"xx", english_next},    {"e", english_next},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        scoped_env locale("LC_ALL", c.locale);
        // Start from a language other than the expected one.
        select_language_for_lcid(c.next == english_next ? 1031 : english);
        EXPECT_EQ(select_language(), 1);
        EXPECT_EQ(get_message_text(MSG_NEXT), c.next);
    }
}

TEST_F(Messages, ABareLanguageGetsItsPrimarySublanguageAndEveryNorwegianFormNorwegian) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows takes the language from the user's UI language, not the environment";
#endif
    // Texts where the two tables of a language differ: the right one must be picked.
    const std::wstring brazil = text_for(1046, MSG_STARTING);
    const std::wstring portugal = text_for(2070, MSG_STARTING);
    const std::wstring traditional = text_for(1028, MSG_STARTING);
    ASSERT_NE(brazil, portugal);
    ASSERT_NE(traditional, text_for(2052, MSG_STARTING));
    const std::wstring norwegian = text_for(1044, MSG_STARTING);
    struct {
        const char* locale;
        std::wstring expected;
    } cases[] = {
        {"de", text_for(1031, MSG_STARTING)},
        {"fr.UTF-8", text_for(1036, MSG_STARTING)},
        {"es", text_for(1034, MSG_STARTING)},
        {"pt", brazil},
        {"pt_PT.UTF-8", portugal},
        {"zh", traditional},
        {"nb_NO.UTF-8", norwegian},
        {"no_NO", norwegian},
        {"nn_NO.UTF-8", norwegian},
        {"nb", norwegian},
        {"nn", norwegian},
        {"no", norwegian},
        {"en", text_for(english, MSG_STARTING)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        scoped_env locale("LC_ALL", c.locale);
        select_language_for_lcid(c.expected == text_for(english, MSG_STARTING) ? 1031 : english);
        select_language();
        EXPECT_EQ(get_message_text(MSG_STARTING), c.expected);
    }
}

}   // namespace
