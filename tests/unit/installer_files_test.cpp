// The hand-over of the install files to the agent's InstallerFiles folder, with the agent's data
// path in a private registry store and the files in scratch folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "fixtures/test_helpers.h"
#include "install/installer_files.h"
#include "log_capture.h"
#include "os/registry.h"

namespace {
namespace fs = std::filesystem;

const char framework_key[] = "SOFTWARE\\Norvasso\\Vantor\\Shared Components\\Framework";

class InstallerFilesTest : public ::testing::Test {
protected:
    log_capture log_;
    std::string work_ = log_.folder().file("work");
    std::string data_ = log_.folder().file("agent data");
    std::string cache_ = data_ + "/data/InstallerFiles";
    scoped_env registry_env_{"QSW_REGISTRY_ROOT", log_.folder().file("registry")};
    std::vector<std::pair<std::string, std::string>> listed_;   // name, digest

    void SetUp() override {
        fs::create_directories(work_);
        fs::create_directories(cache_);
        set_data_path(data_);
    }

    static void set_data_path(const std::string& path, os_registry_type type = OS_REG_SZ) {
        ASSERT_TRUE(os_registry_write(framework_key, "Data Path", type, path));
    }

    // A file in the work folder, listed in hashes.xml under its SHA-256.
    std::string add_file(const std::string& name, const std::string& content) {
        write_whole_file(work_ + "/" + name, content);
        return list(name, sha256_hex(content));
    }
    std::string list(const std::string& name, const std::string& digest) {
        listed_.emplace_back(name, digest);
        write_manifest();
        return digest;
    }
    void write_manifest() {
        std::string xml = "<?xml version=\"1.0\"?>\n<Hashes><sha256>\n";
        for (const auto& [name, digest] : listed_) xml += "<" + name + ">" + digest + "</" + name + ">\n";
        write_whole_file(work_ + "/hashes.xml", xml + "</sha256></Hashes>\n");
    }

    std::string cached(const std::string& digest, const std::string& name) const {
        return cache_ + "/" + digest + "_" + name;
    }
    std::vector<std::string> cache_listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(cache_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::vector<std::string> sorted(std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    }
    int move() const { return move_installer_files(work_.c_str()); }
};

TEST_F(InstallerFilesTest, ListedFilesMoveUnderTheirDigestNamesAndReplaceOlderOnes) {
    std::string a = add_file("a.zip", "new a");
    std::string b = add_file("Vesinst.exe", "#!/bin/sh\n");
    fs::permissions(work_ + "/Vesinst.exe", fs::perms::owner_all);
    write_whole_file(cached(a, "a.zip"), "an older a.zip of that name");
    std::string manifest = read_whole_file(work_ + "/hashes.xml");

    EXPECT_EQ(move(), 1);
    EXPECT_EQ(read_whole_file(cached(a, "a.zip")), "new a");
    EXPECT_EQ(read_whole_file(cached(b, "Vesinst.exe")), "#!/bin/sh\n");
    EXPECT_EQ(fs::status(cached(b, "Vesinst.exe")).permissions() & fs::perms::all, fs::perms::owner_all)
        << "a moved file keeps its mode";
    EXPECT_EQ(read_whole_file(cache_ + "/hashes.xml"), manifest);
    EXPECT_FALSE(path_exists(work_ + "/a.zip"));
    EXPECT_FALSE(path_exists(work_ + "/hashes.xml"));
    EXPECT_EQ(cache_listing(), sorted({b + "_Vesinst.exe", a + "_a.zip", "hashes.xml"}));
    EXPECT_TRUE(log_.contains("Installer Files folder exists"));
}

TEST_F(InstallerFilesTest, AMissingFileIsSkippedAndTheWalkGoesOn) {
    std::string a = add_file("a.dat", "a");
    list("gone.dat", sha256_hex("gone"));
    std::string c = add_file("c.dat", "c");
    EXPECT_EQ(move(), 1);
    EXPECT_EQ(cache_listing(), sorted({a + "_a.dat", c + "_c.dat", "hashes.xml"}));
}

TEST_F(InstallerFilesTest, TheFirstFailedMoveEndsTheWalkAndHashesXmlStillDecides) {
    std::string a = add_file("a.dat", "a");
    std::string b = add_file("b.dat", "b");
    std::string c = add_file("c.dat", "c");
    fs::create_directories(cached(b, "b.dat") + "/occupied");   // a folder cannot be replaced by a file

    EXPECT_EQ(move(), 1);
    EXPECT_TRUE(path_exists(cached(a, "a.dat")));
    EXPECT_EQ(read_whole_file(work_ + "/b.dat"), "b");
    EXPECT_EQ(read_whole_file(work_ + "/c.dat"), "c") << "the walk stopped before the third file";
    EXPECT_FALSE(path_exists(cached(c, "c.dat")));
    EXPECT_TRUE(path_exists(cache_ + "/hashes.xml"));
    EXPECT_TRUE(log_.contains("MoveFile [" + work_ + "/b.dat] to [" + cached(b, "b.dat") + "] returned 21"));
}

TEST_F(InstallerFilesTest, TheResultIs0WhenHashesXmlCannotBeMoved) {
    std::string a = add_file("a.dat", "a");
    fs::create_directories(cache_ + "/hashes.xml/occupied");
    EXPECT_EQ(move(), 0);
    EXPECT_TRUE(path_exists(cached(a, "a.dat")));
    EXPECT_TRUE(path_exists(work_ + "/hashes.xml"));
}

TEST_F(InstallerFilesTest, AnUnreadableManifestMovesNothingAndGives0) {
    add_file("a.dat", "a");
    for (const char* manifest : {"<Hashes><sha256><a.dat>x</b.dat></sha256>", "<Hashes/>"}) {
        write_whole_file(work_ + "/hashes.xml", manifest);
        EXPECT_EQ(move(), 0) << manifest;
        EXPECT_TRUE(path_exists(work_ + "/a.dat"));
        EXPECT_TRUE(path_exists(work_ + "/hashes.xml"));
    }
    fs::remove(work_ + "/hashes.xml");
    EXPECT_EQ(move(), 0);
    EXPECT_EQ(cache_listing(), std::vector<std::string>{});
}

TEST_F(InstallerFilesTest, WithoutAUsableDataPathNothingIsTouched) {
    add_file("a.dat", "a");
    auto untouched = [&](const char* why) {
        EXPECT_EQ(move(), 1) << why;
        EXPECT_TRUE(path_exists(work_ + "/a.dat")) << why;
        EXPECT_TRUE(path_exists(work_ + "/hashes.xml")) << why;
        EXPECT_FALSE(log_.contains("Installer Files folder exists")) << why;
        EXPECT_FALSE(log_.contains("Installer Files folder does not exist")) << why;
    };
    fs::remove_all(log_.folder().file("registry"));
    untouched("no value");
    set_data_path(data_, OS_REG_EXPAND_SZ);
    untouched("not REG_SZ");
    fs::remove_all(log_.folder().file("registry"));
    set_data_path(data_ + std::string(1, '\0'));
    untouched("a NUL in the text");
    fs::remove_all(log_.folder().file("registry"));
    set_data_path("/" + std::string(259, 'd'));
    untouched("260 bytes");
    EXPECT_EQ(move_installer_files(""), 1) << "no work folder";
}

TEST_F(InstallerFilesTest, WithoutTheInstallerFilesFolderNothingIsTouched) {
    add_file("a.dat", "a");
    fs::remove_all(cache_);
    write_whole_file(cache_, "a file where the folder belongs");
    EXPECT_EQ(move(), 1);
    fs::remove(cache_);
    EXPECT_EQ(move(), 1);
    EXPECT_EQ(log_.messages(), (std::vector<std::string>{"Installer Files folder does not exist",
                                                         "Installer Files folder does not exist"}));
    EXPECT_TRUE(path_exists(work_ + "/a.dat"));
    EXPECT_TRUE(path_exists(work_ + "/hashes.xml"));
}

TEST_F(InstallerFilesTest, AFolderPathTooLongForThePathBuffersCountsAsAbsent) {
    // 259 bytes fit; cut to that length the folder would name another one.
    const size_t data_size = 260 - std::string("/data/InstallerFiles").size();
    std::string data = log_.folder().path() + "/";
    if (data.size() + 1 >= data_size) GTEST_SKIP() << "the temporary folder is too long for this case";
    data += std::string(data_size - data.size(), 'd');
    ASSERT_EQ((data + "/data/InstallerFiles").size(), 260u);
    fs::create_directories(data + "/data/InstallerFiles");
    set_data_path(data);
    add_file("a.dat", "a");
    EXPECT_EQ(move(), 1);
    EXPECT_TRUE(log_.contains("Installer Files folder does not exist"));
    EXPECT_TRUE(path_exists(work_ + "/a.dat"));
}

TEST_F(InstallerFilesTest, ALinkPlantedAtATargetNameIsReplacedNotWrittenThrough) {
    std::string a = add_file("a.dat", "the verified file");
    std::string outside = log_.folder().file("outside.txt");
    write_whole_file(outside, "precious");
    fs::create_symlink(outside, cached(a, "a.dat"));
    fs::create_symlink(outside, cache_ + "/hashes.xml");

    EXPECT_EQ(move(), 1);
    EXPECT_FALSE(fs::is_symlink(cached(a, "a.dat")));
    EXPECT_EQ(read_whole_file(cached(a, "a.dat")), "the verified file");
    EXPECT_FALSE(fs::is_symlink(cache_ + "/hashes.xml"));
    EXPECT_EQ(read_whole_file(outside), "precious");
}

TEST_F(InstallerFilesTest, ADigestThatIsNotHexadecimalNeverBecomesPartOfAName) {
    write_whole_file(work_ + "/a.dat", "a");
    list("a.dat", "../../escaped");
    std::string c = add_file("c.dat", "c");
    EXPECT_EQ(move(), 1);
    EXPECT_TRUE(path_exists(work_ + "/a.dat"));
    EXPECT_FALSE(path_exists(data_ + "/escaped_a.dat"));
    EXPECT_TRUE(path_exists(cached(c, "c.dat"))) << "the walk goes on";
    EXPECT_TRUE(log_.contains("Not moving a.dat: its digest in hashes.xml is not hexadecimal"));
}

TEST_F(InstallerFilesTest, ALinkInTheWorkFolderIsNotMoved) {
    std::string outside = log_.folder().file("outside.txt");
    write_whole_file(outside, "not an install file");
    fs::create_symlink(outside, work_ + "/a.dat");
    list("a.dat", sha256_hex("not an install file"));
    std::string b = add_file("b.dat", "b");
    EXPECT_EQ(move(), 1);
    EXPECT_TRUE(fs::is_symlink(work_ + "/a.dat"));
    EXPECT_EQ(cache_listing(), std::vector<std::string>{"hashes.xml"}) << "a refused move ends the walk";
    EXPECT_EQ(read_whole_file(outside), "not an install file");
}
}   // namespace
