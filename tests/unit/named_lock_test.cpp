// The named lock lives in a folder nobody else can write, and refuses (promptly, with a reason)
// every place or file that another user could have prepared.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <string>

#include "os/named_lock.h"
#include "test_support.h"

namespace {
constexpr char lock_name[] = "Global\\QSW_TEST_LOCK";
constexpr char lock_file[] = "Global_QSW_TEST_LOCK.lock";

struct lock_closer {
    void operator()(os_named_lock* l) const { os_named_lock_close(l); }
};
using lock_ptr = std::unique_ptr<os_named_lock, lock_closer>;

class NamedLockTest : public ::testing::Test {
protected:
    scratch_folder root_;
    std::string folder_ = root_.file("locks");
    scoped_env env_{"QSW_LOCK_DIR", folder_};
};

TEST_F(NamedLockTest, MakesAPrivateFolderAndExcludesASecondHolder) {
    lock_ptr first(os_named_lock_open(lock_name));
    ASSERT_TRUE(first);
    struct stat st;
    ASSERT_EQ(lstat(folder_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    lock_ptr second(os_named_lock_open(lock_name));
    ASSERT_TRUE(second);
    EXPECT_EQ(os_named_lock_try(first.get()), 1);
    EXPECT_EQ(os_named_lock_try(second.get()), 0);
    os_named_lock_release(first.get());
    EXPECT_EQ(os_named_lock_try(second.get()), 1);
}

TEST_F(NamedLockTest, RefusesAFolderOthersCanWrite) {
    ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
    ASSERT_EQ(chmod(folder_.c_str(), 01777), 0);
    std::string why;
    EXPECT_FALSE(lock_ptr(os_named_lock_open(lock_name, &why)));
    EXPECT_NE(why.find("not private"), std::string::npos) << why;
    EXPECT_NE(why.find("mode 1777"), std::string::npos) << why;
}

TEST_F(NamedLockTest, RefusesAFolderThatIsALink) {
    std::string real = root_.file("elsewhere");
    ASSERT_EQ(mkdir(real.c_str(), 0700), 0);
    ASSERT_EQ(symlink(real.c_str(), folder_.c_str()), 0);
    std::string why;
    EXPECT_FALSE(lock_ptr(os_named_lock_open(lock_name, &why)));
    EXPECT_FALSE(why.empty());
}

// A FIFO would block a plain open for ever, and a link would lead the lock somewhere else.
TEST_F(NamedLockTest, RefusesAFifoOrALinkUnderTheLockName) {
    ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
    std::string path = folder_ + "/" + lock_file;
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    std::string why;
    EXPECT_FALSE(lock_ptr(os_named_lock_open(lock_name, &why)));
    EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;

    ASSERT_EQ(unlink(path.c_str()), 0);
    std::string target = root_.file("target");
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    EXPECT_FALSE(lock_ptr(os_named_lock_open(lock_name)));
    EXPECT_NE(access(target.c_str(), F_OK), 0) << "the link must not have been followed";
}

TEST_F(NamedLockTest, ALockHeldByAnotherProcessIsSeenAndDroppedWithIt) {
    lock_ptr mine(os_named_lock_open(lock_name));
    ASSERT_TRUE(mine);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    if (child == 0) {
        int fd = open((folder_ + "/" + lock_file).c_str(), O_RDONLY);
        flock(fd, LOCK_EX);
        char one = 1;
        (void)!write(ready[1], &one, 1);
        pause();
        _exit(0);
    }
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(os_named_lock_try(mine.get()), 0);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(os_named_lock_wait(mine.get()), 1);
    close(ready[0]);
    close(ready[1]);
}
}   // namespace
