// The hand-over onto another file system (a tmpfs that this program mounts in the mount
// namespace CTest starts it in, so the mount ends with the program), and the service account's
// ACL entry on the moved files (the account is created here and removed afterwards; getfacl
// reads the entries). Refuses to mount anything in the machine's own mount namespace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fixtures/test_helpers.h"
#include "install/installer_files.h"
#include "os/registry.h"
#include "unit/log_capture.h"

namespace {
namespace fs = std::filesystem;

const char framework_key[] = "SOFTWARE\\Norvasso\\Vantor\\Shared Components\\Framework";
const char account[] = "qzcmnsvc";

struct pipe_closer {
    void operator()(FILE* f) const noexcept { pclose(f); }
};

// Standard output of a shell command; empty when it fails.
std::string command_output(const std::string& command) {
    std::unique_ptr<FILE, pipe_closer> pipe(popen(command.c_str(), "r"));
    std::string out;
    char block[4096];
    size_t n;
    while (pipe && (n = std::fread(block, 1, sizeof block, pipe.get())) > 0) out.append(block, n);
    return out;
}

int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string shell_quoted(const std::string& path) { return "'" + path + "'"; }

// The ACL entries of a file, one per element, without the comment header.
std::vector<std::string> acl_entries(const std::string& path) {
    std::vector<std::string> entries;
    std::string text = command_output("getfacl --omit-header --absolute-names " + shell_quoted(path) + " 2>/dev/null");
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        if (end > start) entries.push_back(text.substr(start, end - start));
    return entries;
}

bool account_exists() { return run(std::string("id -u ") + account) == 0; }

// Proof that mounts made here go with this program: its mount namespace is not its parent's.
bool in_own_mount_namespace() {
    std::string status = read_whole_file("/proc/self/status");
    size_t at = status.find("\nPPid:\t");
    if (at == std::string::npos) return false;
    std::string parent = "/proc/" + std::to_string(std::atoi(status.c_str() + at + 7)) + "/ns/mnt";
    std::error_code a, b;
    fs::path own = fs::read_symlink("/proc/self/ns/mnt", a);
    fs::path theirs = fs::read_symlink(parent, b);
    return !a && !b && own != theirs;
}

// The test account, removed on every way out of the test that made it; an account that was
// there before is used and left alone.
class test_account {
public:
    test_account() {
        made_ = !account_exists() &&
                run(std::string("useradd --system --no-create-home --shell /usr/sbin/nologin ") + account) == 0;
    }
    ~test_account() {
        if (made_) run(std::string("userdel ") + account);
    }
    bool usable() const { return account_exists(); }

private:
    bool made_ = false;
};

class InstallerFilesMountTest : public ::testing::Test {
protected:
    log_capture log_;
    std::string work_ = log_.folder().file("work");
    std::string data_ = log_.folder().file("agent");
    std::string cache_ = data_ + "/data/InstallerFiles";
    scoped_env registry_env_{"QSW_REGISTRY_ROOT", log_.folder().file("registry")};
    std::string manifest_;
    bool mounted_ = false;

    void SetUp() override {
        fs::create_directories(work_);
        fs::create_directories(data_);
        ASSERT_TRUE(os_registry_write(framework_key, "Data Path", OS_REG_SZ, data_));
        manifest_ = "<?xml version=\"1.0\"?>\n<Hashes><sha256>\n";
    }
    void TearDown() override {
        if (mounted_) run("umount " + shell_quoted(data_));
    }

    // The agent's data folder becomes a tmpfs of `size`; skips where none can be mounted.
    void mount_data_folder(const char* size) {
        if (!in_own_mount_namespace()) GTEST_SKIP() << "not in a mount namespace of its own (CTest runs it in one)";
        if (run(std::string("mount -t tmpfs -o size=") + size + ",mode=0755 qsw-agent-data " + shell_quoted(data_)) !=
            0)
            GTEST_SKIP() << "a tmpfs cannot be mounted here";
        mounted_ = true;
        fs::create_directories(cache_);
    }

    std::string add_file(const std::string& name, const std::string& content) {
        write_whole_file(work_ + "/" + name, content);
        std::string digest = sha256_hex(content);
        manifest_ += "<" + name + ">" + digest + "</" + name + ">\n";
        write_whole_file(work_ + "/hashes.xml", manifest_ + "</sha256></Hashes>\n");
        return cache_ + "/" + digest + "_" + name;
    }

    std::vector<std::string> cache_listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(cache_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

std::string random_bytes(size_t size) {
    std::string data(size, '\0');
    unsigned state = 12345;
    for (char& c : data) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 16);
    return data;
}

TEST_F(InstallerFilesMountTest, AcrossFileSystemsTheFileArrivesWholeUnderItsName) {
    mount_data_folder("16m");
    if (HasFatalFailure() || IsSkipped()) return;
    std::string big = random_bytes(3 * 1024 * 1024 + 17);   // more than one copy block
    std::string big_target = add_file("agent.dat", big);
    std::string installer_target = add_file("Vesinst.exe", "#!/bin/sh\nexit 0\n");
    fs::permissions(work_ + "/Vesinst.exe", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    write_whole_file(big_target, "an older copy");
    std::string outside = log_.folder().file("outside.txt");
    write_whole_file(outside, "precious");
    fs::create_symlink(outside, installer_target);

    EXPECT_EQ(move_installer_files(work_.c_str()), 1);
    EXPECT_EQ(read_whole_file(big_target), big);
    EXPECT_FALSE(fs::is_symlink(installer_target));
    EXPECT_EQ(read_whole_file(installer_target), "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(fs::status(installer_target).permissions() & fs::perms::all,
              fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(read_whole_file(outside), "precious");
    EXPECT_EQ(cache_listing().size(), 3u) << "no temporary file is left";
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(work_), fs::directory_iterator()), std::vector<fs::path>{})
        << "the sources are gone";
}

TEST_F(InstallerFilesMountTest, ACopyThatDoesNotFitLeavesTheOldFileAndNoTemporaryOne) {
    mount_data_folder("1m");
    if (HasFatalFailure() || IsSkipped()) return;
    std::string target = add_file("agent.dat", random_bytes(2 * 1024 * 1024));
    write_whole_file(target, "the copy the agent serves today");

    EXPECT_EQ(move_installer_files(work_.c_str()), 1) << "hashes.xml still moves";
    EXPECT_EQ(read_whole_file(target), "the copy the agent serves today");
    EXPECT_EQ(cache_listing().size(), 2u) << "no temporary file is left";
    EXPECT_TRUE(fs::exists(work_ + "/agent.dat"));
    EXPECT_TRUE(log_.contains("MoveFile [" + work_ + "/agent.dat] to [" + target + "] returned 28"));
}

TEST_F(InstallerFilesMountTest, TheServiceAccountGetsReadAndWriteOnEveryMovedFile) {
    test_account made;
    if (!made.usable()) GTEST_SKIP() << "the account cannot be created here";
    std::string a = add_file("a.dat", "a");
    std::string b = add_file("Vesinst.exe", "b");
    fs::create_directories(cache_);
    ASSERT_EQ(move_installer_files(work_.c_str()), 1);
    for (const std::string& file : {a, b, cache_ + "/hashes.xml"}) {
        std::vector<std::string> entries = acl_entries(file);
        if (entries.empty()) GTEST_SKIP() << "getfacl reads nothing here";
        EXPECT_NE(std::find(entries.begin(), entries.end(), std::string("user:") + account + ":rw-"), entries.end())
            << file << ": " << ::testing::PrintToString(entries);
        EXPECT_NE(std::find(entries.begin(), entries.end(), "mask::rw-"), entries.end()) << file;
    }
}

TEST_F(InstallerFilesMountTest, TheEntryComesAlongOnACopyAcrossFileSystems) {
    mount_data_folder("4m");
    if (HasFatalFailure() || IsSkipped()) return;
    test_account made;
    if (!made.usable()) GTEST_SKIP() << "the account cannot be created here";
    std::string a = add_file("a.dat", "a");
    ASSERT_EQ(move_installer_files(work_.c_str()), 1);
    std::vector<std::string> entries = acl_entries(a);
    EXPECT_NE(std::find(entries.begin(), entries.end(), std::string("user:") + account + ":rw-"), entries.end())
        << ::testing::PrintToString(entries);
}

TEST_F(InstallerFilesMountTest, WithoutTheAccountTheFilesMoveWithTheirModeAlone) {
    if (account_exists()) GTEST_SKIP() << "an account " << account << " exists on this machine";
    std::string a = add_file("a.dat", "a");
    fs::permissions(work_ + "/a.dat", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_directories(cache_);
    ASSERT_EQ(move_installer_files(work_.c_str()), 1);
    EXPECT_EQ(read_whole_file(a), "a");
    EXPECT_EQ(acl_entries(a), (std::vector<std::string>{"user::rw-", "group::r--", "other::---"}));
}
}   // namespace
