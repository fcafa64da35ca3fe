#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "log_capture.h"

namespace {
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

TEST(LogFile, LineFormatAndSeverityTags) {
    log_capture log;
    log_message(SEV_INFO, L"info %d", 1);
    log_message(SEV_WARNING, L"warning %ls", L"w\u00e4de");
    log_message(SEV_ERROR, L"error");
    log_message(SEV_DEBUG, L"debug");
    auto lines = lines_of(log.raw());
    ASSERT_EQ(lines.size(), 4u);
    std::regex layout(
        R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}\t([IWED])\t(.*))");
    const char* tags = "IWED";
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, layout)) << lines[i];
        EXPECT_EQ(m[3].str(), std::string(1, tags[i]));
    }
    EXPECT_EQ(log.messages()[0], "info 1");
}

TEST(LogFile, DebugLinesNeedTheDebugMask) {
    log_capture log;
    set_severity_mask(log_default_mask);
    EXPECT_EQ(log_message(SEV_DEBUG, L"hidden"), 0);
    EXPECT_EQ(log_message(SEV_INFO, L"shown"), 1);
    set_severity_mask(log_debug_mask);
    EXPECT_EQ(log_message(SEV_DEBUG, L"now shown"), 1);
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"shown", "now shown"}));
}

TEST(LogFile, AFormatWithALineBreakGetsNoSecondOne) {
    log_capture log;
    log_message(SEV_INFO, L"Agent Guid:%ls\n", L"abc");
    log_message(SEV_INFO, L"next");
    auto lines = lines_of(log.raw());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"Agent Guid:abc", "next"}));
}

TEST(LogFile, LineBreaksInValuesCannotForgeLines) {
    log_capture log;
    log_message(SEV_INFO, L"Discovered p2p path:%ls",
                L"http://peer/x\r\nWed Dec  9 01:00:00 2026\tI\tAgent was installed");
    log_message(SEV_INFO, L"name %ls|%ls|%ls", L"a\u2028b", L"tab\tkept", L"bell\x07");
    log_message(SEV_INFO, L"Agent Guid:%ls\n", L"g\n");
    auto lines = lines_of(log.raw());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(log.messages()[0],
              "Discovered p2p path:http://peer/x\\x0d\\x0aWed Dec  9 01:00:00 2026\tI\tAgent was installed");
    EXPECT_EQ(log.messages()[1], "name a\\u2028b|tab\tkept|bell\\x07");
    EXPECT_EQ(log.messages()[2], "Agent Guid:g\\x0a");
}

TEST(LogFile, EachRunAfterTheFirstStartsAfterABlankLine) {
    log_capture log;
    EXPECT_EQ(log.raw(), "") << "a new log gets no blank line";
    log_message(SEV_INFO, L"first run");
    open_log();
    log_message(SEV_INFO, L"second run");
    auto lines = lines_of(log.raw());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "");
}

TEST(LogFile, RotatesAtFiveMebibytesAndNotOneByteBefore) {
    const size_t five_mebibytes = 5242880;   // not log_rotate_size: that value is under test
    log_capture log;
    close_log();
    std::string backup = log.folder().file("HolvenLogs/HolvenSwiftset_backup.log");

    write_whole_file(log.log_path(), std::string(five_mebibytes - 1, 'x'));
    open_log();
    EXPECT_FALSE(path_exists(backup));
    EXPECT_EQ(read_whole_file(log.log_path()).size(), five_mebibytes) << "blank line appended";
    close_log();

    write_whole_file(backup, "old backup");
    write_whole_file(log.log_path(), std::string(five_mebibytes, 'y'));
    open_log();
    EXPECT_EQ(read_whole_file(backup), std::string(five_mebibytes, 'y')) << "the old backup is replaced";
    EXPECT_EQ(log.raw(), "") << "the new log starts empty, without a blank line";
}

TEST(LogFile, LinesStayWholeAcrossThreadsAndProcesses) {
    log_capture log;
    log_message(SEV_INFO, L"start");   // so that the child's open adds its blank line first
    const int per_writer = 400;
    std::string payload(300, 'p');
    auto writer = [&](int id) {
        for (int i = 0; i < per_writer; ++i) log_message(SEV_INFO, L"writer %d line %d %s", id, i, payload.c_str());
    };
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // A process of its own opens its own log and lock, as a second installer would.
        open_log();
        set_severity_mask(log_debug_mask);
        writer(9);
        _exit(0);
    }
    std::thread a(writer, 1), b(writer, 2);
    a.join();
    b.join();
    int status = 0;
    waitpid(child, &status, 0);

    std::regex whole(R"(writer ([129]) line (\d+) p{300})");
    std::set<std::string> seen;
    auto messages = log.messages();
    messages.erase(messages.begin());
    ASSERT_EQ(messages.size(), 3u * per_writer);
    for (const auto& m : messages) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(m, match, whole)) << "torn line: " << m.substr(0, 80);
        seen.insert(match[1].str() + "/" + match[2].str());
    }
    EXPECT_EQ(seen.size(), 3u * per_writer) << "no line lost or doubled";
}

TEST(LogFile, ALogFolderThatIsALinkTurnsLoggingOff) {
    scratch_folder tmp, elsewhere;
    scoped_env env("TMPDIR", tmp.path());
    ASSERT_EQ(symlink(elsewhere.path().c_str(), tmp.file("HolvenLogs").c_str()), 0);
    EXPECT_EQ(open_log(), 1) << "the run goes on";
    EXPECT_EQ(log_message(SEV_INFO, L"nowhere"), 0);
    close_log();
    EXPECT_FALSE(path_exists(elsewhere.file("HolvenSwiftset.log")));
}

TEST(LogFile, ALogFolderOpenToOthersTurnsLoggingOff) {
    scratch_folder tmp;
    scoped_env env("TMPDIR", tmp.path());
    ASSERT_EQ(mkdir(tmp.file("HolvenLogs").c_str(), 0777), 0);
    chmod(tmp.file("HolvenLogs").c_str(), 0777);
    open_log();
    EXPECT_EQ(log_message(SEV_INFO, L"nowhere"), 0);
    close_log();
    EXPECT_FALSE(path_exists(tmp.file("HolvenLogs/HolvenSwiftset.log")));
}
}   // namespace
