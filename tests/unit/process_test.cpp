// Starting the agent installer: it inherits the single-instance lock on purpose (and nothing
// else of ours), so a second run cannot start while it works even when the run that started
// it was killed; and it starts with default signal handling whatever the installer blocks.
#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "os/named_lock.h"
#include "os/process.h"
#include "test_support.h"

namespace {
constexpr char lock_name[] = "Global\\QSW_PROCESS_TEST";

class ProcessTest : public ::testing::Test {
protected:
    scratch_folder root_;
    std::string locks_ = root_.file("locks");
    scoped_env env_{"QSW_LOCK_DIR", locks_};

    // A shell script as the program, started the way the agent installer is.
    std::string script(const std::string& name, const std::string& body) {
        std::string path = root_.file(name);
        write_whole_file(path, "#!/bin/sh\n" + body + "\n");
        chmod(path.c_str(), 0700);
        return path;
    }
    static os_exit run(const std::string& program, os_named_lock* keep_held = nullptr) {
        int error = 0;
        os_process* process = os_start_process(L"\"" + widen(program) + L"\"", &error, keep_held);
        EXPECT_NE(process, nullptr) << "start error " << error;
        return os_wait_process(process);
    }
};

TEST_F(ProcessTest, OnlyTheLockHandedOnIsInherited) {
    os_named_lock* lock = os_named_lock_open(lock_name);
    ASSERT_NE(lock, nullptr);
    ASSERT_EQ(os_named_lock_try(lock), 1);
    std::string listing = root_.file("fds.txt");
    std::string program = script("list-fds", "ls -l /proc/$$/fd > '" + listing + "'");
    const std::string lock_file = locks_ + "/Global_QSW_PROCESS_TEST.lock";

    EXPECT_EQ(run(program).code, 0);
    EXPECT_EQ(read_whole_file(listing).find(lock_file), std::string::npos) << read_whole_file(listing);
    EXPECT_EQ(run(program, lock).code, 0);
    EXPECT_NE(read_whole_file(listing).find(lock_file), std::string::npos) << read_whole_file(listing);
    os_named_lock_close(lock);
}

// The run that started the program dies without letting go of anything (as under SIGKILL):
// the lock stays held until the program ends.
TEST_F(ProcessTest, TheLockOutlivesAKilledStarterUntilTheProgramEnds) {
    std::string release = root_.file("release");
    std::string started = root_.file("started");
    std::string program = script("installer", "touch '" + started +
                                                  "'\n"
                                                  "i=0; while [ ! -e '" +
                                                  release +
                                                  "' ] && [ $i -lt 300 ]; do "
                                                  "sleep 0.1; i=$((i+1)); done");
    pid_t starter = fork();
    ASSERT_GE(starter, 0);
    if (starter == 0) {
        os_named_lock* lock = os_named_lock_open(lock_name);
        int error = 0;
        bool ok = lock && os_named_lock_try(lock) == 1 &&
                  os_start_process(L"\"" + widen(program) + L"\"", &error, lock) != nullptr;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(starter, &status, 0), starter);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    os_named_lock* second = os_named_lock_open(lock_name);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(os_named_lock_try(second), 0) << "the program still runs: a second run must not start";
    write_whole_file(release, "");
    bool taken = false;
    for (int i = 0; i < 200 && !taken; ++i) {
        taken = os_named_lock_try(second) == 1;
        if (!taken) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(taken) << "the lock is free once the program has ended";
    EXPECT_TRUE(path_exists(started));
    os_named_lock_close(second);
}

TEST_F(ProcessTest, TheProgramStartsWithNoSignalBlocked) {
    sigset_t term, old;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigaddset(&term, SIGHUP);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &old), 0);
    // Not a shell script: the shell clears the mask itself and would hide the fault.
    std::string status = root_.file("status.txt"), program = root_.file("status.py");
    write_whole_file(program,
                     "#!/usr/bin/python3\n"
                     "lines = open('/proc/self/status').read().splitlines()\n"
                     "open('" +
                         status + "', 'w').write([l for l in lines if l.startswith('SigBlk')][0])\n");
    chmod(program.c_str(), 0700);
    EXPECT_EQ(run(program).code, 0);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    EXPECT_EQ(read_whole_file(status), "SigBlk:\t0000000000000000");
}
}   // namespace
