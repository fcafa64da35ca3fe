// The temporary folder and what the installer makes in it: a chain another user could redirect
// (a folder open to others without the sticky bit, another user's folder or link on the way) is
// refused with its path, owner and mode; the installer's own default is made private.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "os/paths.h"
#include "test_support.h"

namespace {
constexpr uid_t nobody = 65534;

std::string mode_text(const std::string& path, unsigned owner, const char* mode, const char* cause) {
    return path + " (owner " + std::to_string(owner) + ", mode " + mode + "): " + cause;
}

class TempFolderTest : public ::testing::Test {
protected:
    scratch_folder root_;

    std::string make(const std::string& name, mode_t mode) {
        std::string path = root_.file(name);
        EXPECT_EQ(mkdir(path.c_str(), 0700), 0) << path;
        EXPECT_EQ(chmod(path.c_str(), mode), 0);
        return path;
    }
    bool check(const std::string& folder, std::string& why, bool make_last = false) {
        why.clear();
        return os_check_folder_chain(folder, make_last, why);
    }
};

TEST(TempFolder, WithoutTmpdirTheBaseIsTheInstallersOwnFolder) {
    for (const char* value : {"", "relative/tmp"}) {
        scoped_env env("TMPDIR", value);
        std::wstring folder;
        ASSERT_TRUE(os_temp_folder(folder));
        EXPECT_EQ(folder, L"/var/lib/quenta-swiftset/") << "TMPDIR=" << value;
    }
    EXPECT_STREQ(os_default_temp_folder, "/var/lib/quenta-swiftset/");
}

TEST_F(TempFolderTest, APrivateChainIsAcceptedAndAMissingLastFolderIsMadePrivate) {
    std::string why;
    EXPECT_TRUE(check(root_.path(), why)) << why;
    std::string own = root_.file("own");
    EXPECT_FALSE(check(own, why)) << "missing and not to be made";
    EXPECT_NE(why.find(own), std::string::npos) << why;
    ASSERT_TRUE(check(own + "/", why, true)) << why;
    struct stat st;
    ASSERT_EQ(lstat(own.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST_F(TempFolderTest, AFolderOthersMayWriteIsRefusedUnlessItIsSticky) {
    std::string open_folder = make("open", 0777);
    std::string why;
    EXPECT_FALSE(check(open_folder, why));
    EXPECT_EQ(why, mode_text(open_folder, geteuid(), "0777", "writable by other users without the sticky bit"));
    // Below it, however private, a child can be renamed away by anyone.
    std::string child = open_folder + "/child";
    ASSERT_EQ(mkdir(child.c_str(), 0700), 0);
    EXPECT_FALSE(check(child, why));
    EXPECT_EQ(why, mode_text(open_folder, geteuid(), "0777", "writable by other users without the sticky bit"));
    std::string group = make("group", 0770);
    EXPECT_FALSE(check(group, why)) << "group members are other users too";

    std::string sticky = make("sticky", 01777);
    EXPECT_TRUE(check(sticky, why)) << why;
    std::string below = sticky + "/below";
    ASSERT_EQ(mkdir(below.c_str(), 0700), 0);
    EXPECT_TRUE(check(below, why)) << why;
}

TEST_F(TempFolderTest, AnotherUsersFolderOrLinkOnTheWayIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
    std::string theirs = make("theirs", 0755);
    ASSERT_EQ(chown(theirs.c_str(), nobody, nobody), 0);
    std::string inside = theirs + "/tmp";
    ASSERT_EQ(mkdir(inside.c_str(), 0700), 0);
    std::string why;
    EXPECT_FALSE(check(inside, why));
    EXPECT_EQ(why, mode_text(theirs, nobody, "0755", "owned by another user"));

    // A link in a sticky folder can be replaced by its owner.
    std::string sticky = make("sticky", 01777);
    std::string target = make("target", 0700);
    std::string link = sticky + "/link";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    EXPECT_TRUE(check(link, why)) << why;
    ASSERT_EQ(lchown(link.c_str(), nobody, nobody), 0);
    EXPECT_FALSE(check(link, why));
    EXPECT_NE(why.find(link + " (owner 65534"), std::string::npos) << why;
    EXPECT_NE(why.find("a link owned by another user"), std::string::npos) << why;
}

TEST_F(TempFolderTest, LinksAreFollowedAndTheirTargetsCheckedToo) {
    std::string good = make("good", 0700);
    std::string open_folder = make("open", 0777);
    std::string to_good = root_.file("to-good");
    std::string to_open = root_.file("to-open");
    std::string relative = root_.file("relative");
    ASSERT_EQ(symlink(good.c_str(), to_good.c_str()), 0);
    ASSERT_EQ(symlink(open_folder.c_str(), to_open.c_str()), 0);
    ASSERT_EQ(symlink("good", relative.c_str()), 0);
    std::string why;
    EXPECT_TRUE(check(to_good, why)) << why;
    EXPECT_TRUE(check(relative + "/", why)) << why;
    EXPECT_FALSE(check(to_open, why));
    EXPECT_EQ(why, mode_text(open_folder, geteuid(), "0777", "writable by other users without the sticky bit"));

    std::string loop = root_.file("loop");
    ASSERT_EQ(symlink("loop", loop.c_str()), 0);
    EXPECT_FALSE(check(loop, why));
    EXPECT_EQ(why, loop + ": a link that cannot be followed");
}

TEST_F(TempFolderTest, WhatIsNotAPlainAbsoluteFolderPathIsRefused) {
    std::string file = root_.file("file");
    write_whole_file(file, "x");
    std::string why;
    EXPECT_FALSE(check(file, why));
    EXPECT_NE(why.find("): not a folder"), std::string::npos) << why;
    EXPECT_FALSE(check(root_.path() + "/../" + root_.path(), why));
    EXPECT_NE(why.find("a '..' component"), std::string::npos) << why;
    EXPECT_FALSE(check("tmp/relative", why));
    EXPECT_EQ(why, "tmp/relative: not an absolute path");
}

TEST_F(TempFolderTest, TheTemporaryFolderCheckUsesTmpdir) {
    std::string open_folder = make("open", 0777);
    std::string why;
    {
        scoped_env env("TMPDIR", open_folder);
        EXPECT_FALSE(os_check_temp_folder(why));
        EXPECT_NE(why.find(open_folder + " (owner"), std::string::npos) << why;
    }
    scoped_env env("TMPDIR", root_.path());
    EXPECT_TRUE(os_check_temp_folder(why)) << why;
}

TEST_F(TempFolderTest, ARefusedPrivateFolderSaysWhatWasFound) {
    std::string why;
    std::string link = root_.file("link");
    ASSERT_EQ(symlink(root_.path().c_str(), link.c_str()), 0);
    EXPECT_EQ(os_make_private_folder(widen(link), &why), os_folder_refused);
    EXPECT_EQ(why, mode_text(link, geteuid(), "0777", "a link"));
    std::string shared = make("shared", 0750);
    ASSERT_EQ(chmod(shared.c_str(), 0770), 0);
    EXPECT_EQ(os_make_private_folder(widen(shared), &why), os_folder_refused);
    EXPECT_EQ(why, mode_text(shared, geteuid(), "0770", "writable by group or others"));
    EXPECT_EQ(os_make_private_folder(widen(root_.file("no/such/parent")), &why), os_folder_failed);
    EXPECT_EQ(why, root_.file("no/such/parent") + ": No such file or directory");
    if (geteuid() == 0) {
        std::string theirs = make("theirs", 0700);
        ASSERT_EQ(chown(theirs.c_str(), nobody, nobody), 0);
        EXPECT_EQ(os_make_private_folder(widen(theirs), &why), os_folder_refused);
        EXPECT_EQ(why, mode_text(theirs, nobody, "0700", "owned by another user"));
    }
}
}   // namespace
