// Named kernel objects: the single-instance check, the log mutex and the cancel event.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "os/event.h"
#include "os/named_lock.h"
#include "os/process.h"

namespace {
std::string unique_name(const char* what) {
    return std::string("QSW_TEST_") + what + "_" + std::to_string(GetCurrentProcessId());
}

// The test program itself, run again as a child that waits `milliseconds` (see
// Win32ChildProcess.WaitsWhenAsked).
std::wstring waiting_child_line() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return L"\"" + std::wstring(self) + L"\" --gtest_filter=Win32ChildProcess.WaitsWhenAsked";
}
}   // namespace

TEST(Win32NamedLock, ASecondOpenOfTheInstanceLockIsRefused) {
    std::string name = unique_name("instance");
    os_named_lock_ptr first(os_named_lock_open(name.c_str()));
    ASSERT_TRUE(first);
    EXPECT_EQ(os_named_lock_try(first.get()), 1);
    os_named_lock_ptr second(os_named_lock_open(name.c_str()));
    ASSERT_TRUE(second);
    EXPECT_EQ(os_named_lock_try(second.get()), 0);
    second.reset();
    first.reset();
    os_named_lock_ptr later(os_named_lock_open(name.c_str()));
    EXPECT_EQ(os_named_lock_try(later.get()), 1) << "a closed lock leaves nothing behind";
}

TEST(Win32NamedLock, AProgramThatInheritedTheLockKeepsItHeld) {
    std::string name = unique_name("inherited");
    os_named_lock_ptr lock(os_named_lock_open(name.c_str()));
    ASSERT_EQ(os_named_lock_try(lock.get()), 1);
    SetEnvironmentVariableW(L"QSW_CHILD_WAIT_MS", L"3000");
    int error = 0;
    os_process* child = os_start_process(waiting_child_line(), &error, lock.get());
    SetEnvironmentVariableW(L"QSW_CHILD_WAIT_MS", nullptr);
    ASSERT_NE(child, nullptr) << error;
    lock.reset();   // this process lets go; the child still has the mutex open
    os_named_lock_ptr while_child_runs(os_named_lock_open(name.c_str()));
    EXPECT_EQ(os_named_lock_try(while_child_runs.get()), 0);
    while_child_runs.reset();
    os_exit exit = os_wait_process(child);
    EXPECT_TRUE(exit.read);
    EXPECT_EQ(exit.code, 0);
    // The system drops the child's handles as it tears the process down, which may end a
    // little after the wait returns; a handle leaked by this process would never go.
    int taken = 0;
    for (int attempt = 0; attempt < 50 && !taken; ++attempt) {
        os_named_lock_ptr after(os_named_lock_open(name.c_str()));
        taken = os_named_lock_try(after.get());
        if (!taken) Sleep(100);
    }
    EXPECT_EQ(taken, 1) << "the lock is still held after the program ended";
}

TEST(Win32NamedLock, WaitersOfTheLogMutexTakeTurns) {
    std::string name = unique_name("log");
    os_named_lock_ptr mine(os_named_lock_open(name.c_str()));
    ASSERT_EQ(os_named_lock_wait(mine.get()), 1);
    std::atomic<bool> other_holds{false};
    std::thread other([&] {
        os_named_lock_ptr theirs(os_named_lock_open(name.c_str()));
        if (os_named_lock_wait(theirs.get()) == 1) other_holds = true;
        os_named_lock_release(theirs.get());
    });
    Sleep(200);
    EXPECT_FALSE(other_holds.load()) << "the other thread got in while the lock was held";
    os_named_lock_release(mine.get());
    other.join();
    EXPECT_TRUE(other_holds.load());
    EXPECT_EQ(os_named_lock_wait(mine.get()), 1) << "released by the other thread, free again";
    os_named_lock_release(mine.get());
}

TEST(Win32Event, IsTheNamedEventOtherProcessesOpen) {
    std::string name = unique_name("cancel");
    std::wstring wide(name.begin(), name.end());
    os_event* event = os_event_create(name.c_str());
    ASSERT_NE(event, nullptr);
    EXPECT_FALSE(os_event_is_set(event));
    HANDLE outside = OpenEventW(EVENT_MODIFY_STATE, FALSE, wide.c_str());
    ASSERT_NE(outside, nullptr);
    SetEvent(outside);
    EXPECT_TRUE(os_event_is_set(event));
    EXPECT_TRUE(os_event_is_set(event)) << "manual reset: it stays set";
    os_event_close(event);
    // Still open outside and still set: a new run must not start cancelled.
    os_event* next = os_event_create(name.c_str());
    EXPECT_FALSE(os_event_is_set(next));
    os_event_close(next);
    CloseHandle(outside);
}

TEST(Win32ChildProcess, WaitsWhenAsked) {
    wchar_t value[16] = {};
    if (GetEnvironmentVariableW(L"QSW_CHILD_WAIT_MS", value, 16) == 0) GTEST_SKIP() << "run as a child only";
    Sleep(static_cast<DWORD>(_wtoi(value)));
}

TEST(Win32ChildProcess, ExitCodeAndQuotedArgumentsArrive) {
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    int error = 0;
    os_process* child = os_start_process(L"\"" + std::wstring(system) + L"\\cmd.exe\" /c exit 7", &error);
    ASSERT_NE(child, nullptr) << error;
    os_exit exit = os_wait_process(child);
    EXPECT_TRUE(exit.read);
    EXPECT_EQ(exit.code, 7);
    EXPECT_EQ(os_start_process(L"\"C:\\no\\such\\program.exe\" /x", &error), nullptr);
    EXPECT_NE(error, 0);
}
