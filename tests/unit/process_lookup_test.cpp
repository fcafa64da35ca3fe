#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <filesystem>
#include <string>

#include "install/process_lookup.h"
#include "os/processes.h"
#include "test_support.h"

extern char** environ;

namespace {
int lookup(const std::string& output, const wchar_t* image) {
    int pid = -1;
    return find_image_in_task_list(output, image, &pid) ? pid : -1;
}

TEST(TaskListTest, TheFirstMatchingLineWinsWithoutRegardToCase) {
    std::string output =
        "\r\n"
        "\"System Idle Process\",\"0\",\"Services\",\"0\",\"8 K\"\r\n"
        "\"explorer.exe\",\"4242\",\"Console\",\"1\",\"98,304 K\"\r\n"
        "\"EXPLORER.EXE\",\"5151\",\"Console\",\"2\",\"1,024 K\"\r\n";
    EXPECT_EQ(lookup(output, L"Explorer.exe"), 4242);
    EXPECT_EQ(lookup(output, L"System Idle Process"), 0);
    EXPECT_EQ(lookup(output, L"notepad.exe"), -1);
    EXPECT_EQ(lookup("", L"explorer.exe"), -1);
}

TEST(TaskListTest, LinesNotStartingWithAQuoteAreSkipped) {
    std::string output =
        "INFO: No tasks are running which match the specified criteria.\n"
        "explorer.exe,\"1\"\n"
        "\"explorer.exe\",\"77\"\n";
    EXPECT_EQ(lookup(output, L"explorer.exe"), 77);
}

TEST(TaskListTest, AMatchWithoutAProcessIdEndsTheSearch) {
    EXPECT_EQ(lookup("\"explorer.exe\"\n\"explorer.exe\",\"9\"\n", L"explorer.exe"), -1);
    EXPECT_EQ(lookup("\"explorer.exe\",,\"\"\n", L"explorer.exe"), -1);
}

TEST(TaskListTest, AMatchBeyondTheFirst4096BytesIsNotSeen) {
    std::string line = "\"svchost.exe\",\"1000\",\"Services\",\"0\",\"10,000 K\"\r\n";
    std::string output;
    while (output.size() + line.size() <= task_list_capacity) output += line;
    std::string match = "\"explorer.exe\",\"4242\",\"Console\",\"1\",\"98,304 K\"\r\n";
    ASSERT_EQ(lookup(output + match, L"explorer.exe"), 4242) << "whole output: found";
    // What the lookup reads of it: the first 4,096 bytes, which end in the middle of the match.
    EXPECT_EQ(lookup((output + match).substr(0, task_list_capacity), L"explorer.exe"), -1);
    // A last line without its line end counts when the output ended there...
    EXPECT_EQ(lookup("\"explorer.exe\",\"12\"", L"explorer.exe"), 12);
    // ... but not when the output was cut at the capacity: "12" may have been "1234".
    std::string cut = std::string(task_list_capacity - 19, '\n') + "\"explorer.exe\",\"12\"";
    ASSERT_EQ(cut.size(), task_list_capacity);
    EXPECT_EQ(lookup(cut, L"explorer.exe"), -1);
}

// A running copy of a harmless program under a name of the test's own.
class named_process {
public:
    explicit named_process(const std::string& name) {
        path_ = folder_.file(name);
        std::filesystem::copy_file("/bin/sleep", path_);
        char* argv[] = {const_cast<char*>(path_.c_str()), const_cast<char*>("60"), nullptr};
        if (posix_spawn(&pid_, path_.c_str(), nullptr, nullptr, argv, environ) != 0) pid_ = -1;
    }
    ~named_process() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }

private:
    scratch_folder folder_;
    std::string path_;
    pid_t pid_ = -1;
};

TEST(ProcessListTest, ARunningProgramIsFoundByItsFileNameWithoutRegardToCase) {
    std::string name = "qsw-Lookup-" + std::to_string(getpid());
    named_process process(name);
    ASSERT_GT(process.pid(), 0);
    std::wstring upper = widen("QSW-LOOKUP-" + std::to_string(getpid()));
    int found = 0;
    // The name is the executable's, even before the new program has set its own comm name.
    for (int i = 0; i < 100 && !os_find_process_by_image(upper, &found); ++i) usleep(10000);
    EXPECT_EQ(found, process.pid());
    int via_lookup = 0;
    EXPECT_EQ(find_process_id_by_image(upper.c_str(), &via_lookup, 1), 1);
    EXPECT_EQ(via_lookup, process.pid());
    EXPECT_FALSE(os_find_process_by_image(upper + L"-none", &found));
    EXPECT_EQ(find_process_id_by_image((upper + L"-none").c_str(), &via_lookup, 0), 0);
    EXPECT_FALSE(os_find_process_by_image(L"", &found));
}
}   // namespace
