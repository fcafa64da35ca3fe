#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "core/options.h"
#include "log_capture.h"

namespace {
// The usage box must not wait for a key: give the process no terminal on standard input.
class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_stdin_ = dup(STDIN_FILENO);
        int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        close(null);
        free_options();
    }
    void TearDown() override {
        dup2(saved_stdin_, STDIN_FILENO);
        close(saved_stdin_);
        free_options();
    }

    int parse(std::vector<std::wstring> args) {
        args.insert(args.begin(), L"QuentaSwiftset");
        std::vector<const wchar_t*> argv;
        for (const auto& a : args) argv.push_back(a.c_str());
        return parse_command_line(static_cast<int>(argv.size()), argv.data());
    }

    static std::string slot(int n) {
        const char* text = get_option_utf8(n);
        return text ? text : "<empty>";
    }

    log_capture log_;
    int saved_stdin_ = -1;
};

TEST_F(OptionsTest, NoArgumentsRunsWithDebugAndLogsNothing) {
    EXPECT_EQ(parse({}), 1);
    EXPECT_EQ(slot(OPT_DEBUG_LOG), "1");
    EXPECT_TRUE(log_.messages().empty());
}

TEST_F(OptionsTest, ClustersAndSeparateLettersAreTheSame) {
    ASSERT_EQ(parse({L"-ks"}), 1);
    EXPECT_EQ(slot(OPT_NO_PEER_VERIFICATION), "1");
    EXPECT_EQ(slot(OPT_SILENT), "1");
    EXPECT_TRUE(log_.contains("Proxy information not provided via commandline"));

    ASSERT_EQ(parse({L"-vfD"}), 1);
    EXPECT_EQ(slot(OPT_SILENT), "<empty>") << "a new parse starts from empty slots";
    EXPECT_EQ(slot(OPT_VDI_MODE), " /enableVDIMode");
    EXPECT_EQ(slot(OPT_FORCE_INSTALL), " /ForceInstall");
    EXPECT_EQ(slot(OPT_DELAY_START), " /DelayStart");
}

TEST_F(OptionsTest, ValuesComeFromTheClusterRestOrTheNextArgumentWhateverItIs) {
    ASSERT_EQ(parse({L"-d/opt/data", L"-i", L"/opt/inst dir", L"-c", L"-s"}), 1);
    EXPECT_EQ(slot(OPT_DATA_PATH), "/opt/data");
    EXPECT_EQ(slot(OPT_INSTALL_PATH), "/opt/inst dir");
    EXPECT_EQ(slot(OPT_CONINFO_PATH), "-s") << "-c takes the next argument even when it looks like an option";
    EXPECT_EQ(slot(OPT_SILENT), "<empty>");

    ASSERT_EQ(parse({L"-d", L"", L"-s"}), 1);
    EXPECT_EQ(slot(OPT_DATA_PATH), "<empty>") << "an empty value leaves the slot as it was";
}

TEST_F(OptionsTest, HSetsForceAndKeepGuid) {
    ASSERT_EQ(parse({L"-f", L"-h"}), 1);
    EXPECT_EQ(slot(OPT_FORCE_INSTALL), " /ForceInstall");
    EXPECT_EQ(slot(OPT_KEEP_GUID), " /keepguid");
}

TEST_F(OptionsTest, UnknownLettersAndMissingValuesAreRejected) {
    for (auto args : std::vector<std::vector<std::wstring>>{{L"-x"}, {L"-s", L"-d"}, {L"-:"}}) {
        log_capture fresh;
        EXPECT_EQ(parse(args), 0);
        EXPECT_EQ(fresh.messages(), std::vector<std::string>{"Unsupported command line option"});
    }
}

TEST_F(OptionsTest, ProxyCombinations) {
    struct combination {
        std::vector<std::wstring> args;
        int result;
        unsigned bits;
        const char* line;
    };
    const combination cases[] = {
        {{L"-a", L"proxy.example", L"-p", L"8080"}, 1, 3, "Proxy IP address and Proxy port provided via commandline"},
        {{L"-u", L"alice", L"-w", L"secret"}, 1, 12, "Proxy Username and password provided via commandline"},
        {{L"-a", L"p", L"-p", L"1", L"-u", L"a", L"-w", L"b"},
         1,
         15,
         "Proxy IP address ,port , Username and password provided via commandline"},
        {{L"-a", L"p"}, 0, 1, "Incorrect Proxy information provided via commandline"},
        {{L"-p", L"1", L"-w", L"b"}, 0, 10, "Incorrect Proxy information provided via commandline"},
    };
    for (const auto& c : cases) {
        log_capture fresh;
        EXPECT_EQ(parse(c.args), c.result) << c.line;
        EXPECT_EQ(get_proxy_presence_bits(), c.bits);
        EXPECT_EQ(fresh.messages(), std::vector<std::string>{c.line});
    }
}

TEST_F(OptionsTest, LeftoverArgumentsAreLoggedOneByOne) {
    EXPECT_EQ(parse({L"-s", L"word", L"another"}), 0);
    EXPECT_EQ(log_.messages(), (std::vector<std::string>{"Proxy information not provided via commandline",
                                                         "Invalid option word ", "Invalid option another "}));
    EXPECT_EQ(slot(OPT_SILENT), "1");
}

TEST_F(OptionsTest, DoubleDashEndsTheOptions) {
    EXPECT_EQ(parse({L"-s", L"--"}), 1);
    {
        log_capture fresh;
        EXPECT_EQ(parse({L"-s", L"--", L"-k"}), 0);
        EXPECT_TRUE(fresh.contains("Invalid option -k "));
        EXPECT_EQ(slot(OPT_NO_PEER_VERIFICATION), "<empty>");
    }
    {
        log_capture fresh;
        EXPECT_EQ(parse({L"-", L"-s"}), 0) << "a lone dash ends the options without being consumed";
        EXPECT_TRUE(fresh.contains("Invalid option - "));
    }
}

TEST_F(OptionsTest, HelpShowsUsageAndLogsNothing) {
    EXPECT_EQ(parse({L"-?"}), 0);
    EXPECT_TRUE(log_.messages().empty());
}

TEST_F(OptionsTest, GetOptionCapacityContract) {
    size_t capacity = 0;
    EXPECT_EQ(get_option(OPT_DATA_PATH, nullptr, &capacity), 0) << "empty slot";
    EXPECT_EQ(get_option(OPT_DATA_PATH, nullptr, nullptr), 0);

    ASSERT_EQ(set_option(OPT_DATA_PATH, L"C:\\Daten\\\u00e4"), 1);
    EXPECT_STREQ(get_option_utf8(OPT_DATA_PATH), "C:\\Daten\\\xc3\xa4");

    wchar_t small[4] = {L'x', L'x', L'x', L'\0'};
    capacity = 4;
    EXPECT_EQ(get_option(OPT_DATA_PATH, small, &capacity), 1);
    EXPECT_EQ(capacity, 11u);
    EXPECT_STREQ(small, L"xxx") << "too small a buffer is left untouched";

    wchar_t exact[11];
    capacity = 11;
    EXPECT_EQ(get_option(OPT_DATA_PATH, exact, &capacity), 1);
    EXPECT_STREQ(exact, L"C:\\Daten\\\u00e4");

    EXPECT_EQ(set_option(OPT_DATA_PATH, L""), 0);
    EXPECT_EQ(set_option(OPT_DATA_PATH, nullptr), 0);
    EXPECT_EQ(set_option(16, L"x"), 0);
    EXPECT_STREQ(get_option_utf8(OPT_DATA_PATH), "C:\\Daten\\\xc3\xa4") << "ignored texts keep the old value";
}
}   // namespace
