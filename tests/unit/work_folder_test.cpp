#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <clocale>

#include "core/work_folder.h"
#include "log_capture.h"
#include "os/text.h"

namespace {
// Sets the C library's locale for the life of the object.
class scoped_locale {
public:
    explicit scoped_locale(const char* name) : old_(std::setlocale(LC_ALL, nullptr)) {
        if (!std::setlocale(LC_ALL, name)) ADD_FAILURE() << "no locale " << name;
    }
    ~scoped_locale() { std::setlocale(LC_ALL, old_.c_str()); }

private:
    std::string old_;
};

TEST(WorkFolder, CreatedOnceWithTwoLinesThenSilentlyReused) {
    log_capture log;
    wchar_t path[path_capacity];
    ASSERT_EQ(get_work_folder(path), 1);
    std::string expected = log.folder().file("HolvenSwiftset");
    EXPECT_EQ(narrow_ascii(path), expected);
    struct stat st;
    ASSERT_EQ(stat(expected.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(log.messages(), (std::vector<std::string>{"CreateDirectory (" + expected + ")",
                                                        "Created Directory (" + expected + ") successfully"}));
    ASSERT_EQ(get_work_folder(path), 1);
    EXPECT_EQ(log.messages().size(), 2u) << "later calls log nothing";
}

TEST(WorkFolder, APlantedLinkOrAFolderOpenToOthersIsRefused) {
    {
        log_capture log;
        scratch_folder target;
        ASSERT_EQ(symlink(target.path().c_str(), log.folder().file("HolvenSwiftset").c_str()), 0);
        wchar_t path[path_capacity];
        EXPECT_EQ(get_work_folder(path), 0);
    }
    {
        log_capture log;
        ASSERT_EQ(mkdir(log.folder().file("HolvenSwiftset").c_str(), 0700), 0);
        chmod(log.folder().file("HolvenSwiftset").c_str(), 0770);
        wchar_t path[path_capacity];
        EXPECT_EQ(get_work_folder(path), 0);
    }
    if (geteuid() == 0) {
        log_capture log;
        std::string folder = log.folder().file("HolvenSwiftset");
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
        wchar_t path[path_capacity];
        EXPECT_EQ(get_work_folder(path), 0) << "a folder owned by another user";
    }
}

TEST(WorkFolder, ARefusedFolderIsLoggedWithItsOwnerAndMode) {
    log_capture log;
    std::string folder = log.folder().file("HolvenSwiftset");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    wchar_t path[path_capacity];
    EXPECT_EQ(get_work_folder(path), 0);
    EXPECT_EQ(log.messages(),
              (std::vector<std::string>{"CreateDirectory (" + folder + ")",
                                        "Work folder refused: " + folder + " (owner " + std::to_string(geteuid()) +
                                            ", mode 0777): writable by group or others"}));
    EXPECT_TRUE(work_folder_refused());
}

TEST(WorkFolder, ModulePathIsThisProgram) {
    wchar_t path[path_capacity];
    ASSERT_EQ(get_module_path(path), 1);
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    EXPECT_EQ(narrow_ascii(path), std::string(self));
}

TEST(DeleteFolderTree, RemovesATreeButOnlyTheLinkToAnOutsideFolder) {
    log_capture log;
    scratch_folder tree, outside;
    write_whole_file(outside.file("precious.txt"), "keep me");
    mkdir(tree.file("a").c_str(), 0700);
    mkdir(tree.file("a/b").c_str(), 0700);
    write_whole_file(tree.file("a/b/file.bin"), "x");
    write_whole_file(tree.file("top.txt"), "y");
    ASSERT_EQ(symlink(outside.path().c_str(), tree.file("a/link").c_str()), 0);
    ASSERT_EQ(symlink(outside.file("precious.txt").c_str(), tree.file("filelink").c_str()), 0);

    EXPECT_EQ(delete_folder_tree(widen(tree.path()).c_str()), 1);
    EXPECT_FALSE(path_exists(tree.path()));
    EXPECT_EQ(read_whole_file(outside.file("precious.txt")), "keep me");
}

// Names are bytes: under a locale that cannot express them they must still be deleted, or a
// work folder survives a successful run.
TEST(DeleteFolderTree, RemovesNamesTheLocaleCannotExpress) {
    log_capture log;
    scoped_locale ascii("C");
    scratch_folder tree;
    const std::string odd_file = "caf\xe9.dat", odd_folder = "\xff\xfe";
    write_whole_file(tree.file(odd_file), "x");
    ASSERT_EQ(mkdir(tree.file(odd_folder).c_str(), 0700), 0);
    write_whole_file(tree.file(odd_folder + "/" + odd_file), "y");
    ASSERT_EQ(mkdir(tree.file(odd_folder + "/plain").c_str(), 0700), 0);
    write_whole_file(tree.file(odd_folder + "/plain/inner.txt"), "z");

    EXPECT_EQ(delete_folder_tree(widen(tree.path()).c_str()), 1);
    EXPECT_FALSE(path_exists(tree.path()));
    EXPECT_TRUE(log.messages().empty());
}

TEST(ShownBytes, OddBytesAreEscapedAndCharactersKept) {
    {
        scoped_locale utf8("C.UTF-8");
        EXPECT_EQ(os_to_wide_shown("caf\xc3\xa9"), L"caf\u00e9");
        EXPECT_EQ(os_to_wide_shown("a\xffz"), L"a\\xffz");
        EXPECT_EQ(os_to_wide_shown("cut\xc3"), L"cut\\xc3") << "a character cut short at the end";
    }
    scoped_locale ascii("C");
    EXPECT_EQ(os_to_wide_shown("caf\xc3\xa9"), L"caf\\xc3\\xa9");
    EXPECT_EQ(os_to_wide_shown(""), L"");
}

TEST(DeleteFolderTree, ALinkGivenAsTheFolderIsNotFollowed) {
    log_capture log;
    scratch_folder outside;
    write_whole_file(outside.file("precious.txt"), "keep me");
    std::string link = log.folder().file("Upgrade");
    ASSERT_EQ(symlink(outside.path().c_str(), link.c_str()), 0);
    EXPECT_EQ(delete_folder_tree(widen(link).c_str()), 0);
    EXPECT_EQ(read_whole_file(outside.file("precious.txt")), "keep me");
    EXPECT_EQ(log.messages(), std::vector<std::string>{"FindFirstFile :" + link + "/*.*"});
}

TEST(DeleteFolderTree, AMissingFolderLogsItsListingFailure) {
    log_capture log;
    std::string missing = log.folder().file("missing");
    EXPECT_EQ(delete_folder_tree(widen(missing).c_str()), 0);
    EXPECT_EQ(log.messages(), std::vector<std::string>{"FindFirstFile :" + missing + "/*.*"});
}
}   // namespace
