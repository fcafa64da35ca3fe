// File services of the Windows edition: digests through CNG, moves, private folders, the log
// file, and output files of an archive.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "os/digest.h"
#include "os/file_move.h"
#include "os/files.h"
#include "os/log_file.h"
#include "os/paths.h"
#include "os/process.h"
#include "os/unpack.h"
#include "test_support.h"

namespace {
std::string windows_path(const scratch_folder& folder, const std::string& name) {
    std::string path = folder.file(name);
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}
}   // namespace

TEST(Win32Digest, KnownValuesAndUnreadableFiles) {
    scratch_folder folder;
    write_whole_file(folder.file("abc"), "abc");
    write_whole_file(folder.file("empty"), "");
    std::string hex;
    ASSERT_TRUE(os_file_digest(folder.file("abc"), os_digest_kind::sha256, hex));
    EXPECT_EQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    ASSERT_TRUE(os_file_digest(folder.file("abc"), os_digest_kind::sha1, hex));
    EXPECT_EQ(hex, "a9993e364706816aba3e25717850c26c9cd0d89d");
    ASSERT_TRUE(os_file_digest(folder.file("empty"), os_digest_kind::sha256, hex));
    EXPECT_EQ(hex, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    // Larger than one read block, so the digest spans several reads.
    write_whole_file(folder.file("big"), std::string((1 << 20) + 3, 'a'));
    ASSERT_TRUE(os_file_digest(folder.file("big"), os_digest_kind::sha1, hex));
    EXPECT_EQ(hex.size(), 40u);
    EXPECT_NE(hex, "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_FALSE(os_file_digest(folder.file("missing"), os_digest_kind::sha256, hex));
}

TEST(Win32Digest, AStreamPiecewiseGivesTheWholeFilesDigestOnce) {
    os_digest_stream* stream = os_digest_stream_create(os_digest_kind::sha256);
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(os_digest_stream_update(stream, "a", 1));
    EXPECT_TRUE(os_digest_stream_update(stream, "bc", 2));
    std::string hex;
    ASSERT_TRUE(os_digest_stream_finish(stream, hex));
    EXPECT_EQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_FALSE(os_digest_stream_update(stream, "d", 1));   // finished streams take nothing more
    EXPECT_FALSE(os_digest_stream_finish(stream, hex));
    os_digest_stream_release(stream);
}

// A remembered digest is trusted only while the stamp holds: a rewrite of the same size, or a
// file put in its place, must show.
TEST(Win32FileStamp, RewritesAndReplacementsChangeTheStamp) {
    scratch_folder folder;
    std::string path = windows_path(folder, "file");
    write_whole_file(path, "first");
    os_file_stamp before, again, rewritten, replaced;
    ASSERT_TRUE(os_file_stamp_of(path, before));
    ASSERT_TRUE(os_file_stamp_of(path, again));
    EXPECT_TRUE(before == again);
    EXPECT_EQ(before.size, 5u);
    Sleep(20);
    write_whole_file(path, "other");
    ASSERT_TRUE(os_file_stamp_of(path, rewritten));
    EXPECT_FALSE(rewritten == before);
    std::string other = windows_path(folder, "new");
    write_whole_file(other, "other");
    std::wstring from(other.begin(), other.end()), to(path.begin(), path.end());   // ASCII paths
    ASSERT_TRUE(MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(os_file_stamp_of(path, replaced));
    EXPECT_FALSE(replaced == rewritten);
    os_file_stamp none;
    EXPECT_FALSE(os_file_stamp_of(windows_path(folder, "missing"), none));
    EXPECT_FALSE(os_file_stamp_of(folder.path(), none));   // a folder has no stamp
}

TEST(Win32FileMove, ReplacesTheTargetAndRefusesFolders) {
    scratch_folder folder;
    write_whole_file(folder.file("new"), "new content");
    write_whole_file(folder.file("target"), "old");
    int error = -1;
    ASSERT_TRUE(os_move_file_replacing(folder.file("new"), folder.file("target"), &error)) << error;
    EXPECT_EQ(read_whole_file(folder.file("target")), "new content");
    EXPECT_FALSE(path_exists(folder.file("new")));
    ASSERT_TRUE(make_folder(folder.file("a folder")));
    EXPECT_FALSE(os_move_file_replacing(folder.file("a folder"), folder.file("target"), &error));
    EXPECT_EQ(read_whole_file(folder.file("target")), "new content") << "the target is unchanged";
    EXPECT_FALSE(os_move_file_replacing(folder.file("missing"), folder.file("target"), &error));
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

TEST(Win32Folders, PrivateFolderIsMadeOnceAndAFileInItsPlaceIsRefused) {
    scratch_folder folder;
    std::wstring path = widen(windows_path(folder, "private"));
    EXPECT_EQ(os_make_private_folder(path), os_folder_created);
    EXPECT_EQ(os_make_private_folder(path + L"\\"), os_folder_existed);
    write_whole_file(folder.file("plain"), "x");
    std::string why;
    EXPECT_EQ(os_make_private_folder(widen(windows_path(folder, "plain")), &why), os_folder_refused);
    EXPECT_NE(why.find("not a folder"), std::string::npos) << why;
}

TEST(Win32Folders, WalkListsAndDeletesEntries) {
    scratch_folder folder;
    ASSERT_TRUE(make_folder(folder.file("sub")));
    write_whole_file(folder.file("sub/inner.txt"), "x");
    write_whole_file(folder.file("file.txt"), "y");
    SetFileAttributesW(widen(windows_path(folder, "file.txt")).c_str(), FILE_ATTRIBUTE_READONLY);
    os_folder* root = os_open_folder(widen(windows_path(folder, "")));
    ASSERT_NE(root, nullptr);
    std::vector<os_folder_entry> entries;
    ASSERT_TRUE(os_read_folder(root, entries));
    ASSERT_EQ(entries.size(), 2u);
    for (const auto& entry : entries) EXPECT_EQ(entry.is_folder, entry.name == L"sub");
    EXPECT_TRUE(os_delete_in_folder(root, L"file.txt")) << "a read-only file is deleted as well";
    EXPECT_FALSE(os_delete_in_folder(root, L"sub")) << "a folder is not a file";
    EXPECT_FALSE(os_open_subfolder(root, L"..")) << "never above the walk";
    os_folder* sub = os_open_subfolder(root, L"sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(os_delete_in_folder(sub, L"inner.txt"));
    os_close_folder(sub);
    EXPECT_TRUE(os_remove_subfolder(root, L"sub"));
    ASSERT_TRUE(os_read_folder(root, entries));
    EXPECT_TRUE(entries.empty());
    os_close_folder(root);
    EXPECT_EQ(os_delete_file_status(widen(windows_path(folder, "gone"))), OS_DELETE_NOT_FOUND);
}

TEST(Win32LogFile, AppendsFromEveryOpenerAndRotatesBySize) {
    scratch_folder folder;
    std::string path = folder.file("log.txt"), backup = folder.file("log.bak");
    os_log_file_ptr first(os_log_file_open(path));
    os_log_file_ptr second(os_log_file_open(path));
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(os_log_file_append(first.get(), "one\n"));
    ASSERT_TRUE(os_log_file_append(second.get(), "two\n"));
    ASSERT_TRUE(os_log_file_append(first.get(), "three\n"));
    first.reset();
    second.reset();
    EXPECT_EQ(read_whole_file(path), "one\ntwo\nthree\n") << "no writer overwrites another";
    EXPECT_EQ(os_rotate_log_file(path, backup, 1000), 14);
    EXPECT_EQ(os_rotate_log_file(path, backup, 10), 0);
    EXPECT_FALSE(path_exists(path));
    EXPECT_EQ(read_whole_file(backup), "one\ntwo\nthree\n");
}

TEST(Win32Unpack, OutputFilesStayInsideTheirFolder) {
    scratch_folder folder;
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(os_change_directory(windows_path(folder, "").c_str()));
    os_output_folder* out = os_output_folder_open();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(os_output_make_folder(out, "a"), os_mkdir_made);
    EXPECT_EQ(os_output_make_folder(out, "a\\"), os_mkdir_exists);
    EXPECT_EQ(os_output_make_folder(out, "missing\\b"), os_mkdir_no_parent);
    int error = -1;
    os_output_file* file = os_output_file_create(out, "a\\data.bin", &error);
    ASSERT_NE(file, nullptr) << error;
    EXPECT_TRUE(os_output_file_write(file, "\x0A\x0D\x1A", 3));
    std::tm stamp{};
    stamp.tm_year = 2001 - 1900;
    stamp.tm_mon = 1;
    stamp.tm_mday = 3;
    stamp.tm_hour = 4;
    EXPECT_TRUE(os_output_file_set_time(file, stamp));
    os_output_file_close(file);
    EXPECT_EQ(read_whole_file(folder.file("a/data.bin")), "\x0A\x0D\x1A");
    EXPECT_EQ(os_output_file_create(out, "..\\escape.txt", &error), nullptr);
    EXPECT_EQ(os_output_file_create(out, "a\\..", &error), nullptr);
    EXPECT_EQ(os_output_file_create(out, "a\\stream:hidden", &error), nullptr) << "no alternate data streams";
    write_whole_file(folder.file("plain"), "x");
    EXPECT_EQ(os_output_file_create(out, "plain\\inner.txt", &error), nullptr) << "a file is no folder";
    EXPECT_TRUE(os_output_remove_file(out, "a\\data.bin"));
    os_output_folder_close(out);
    SetCurrentDirectoryW(previous);
    EXPECT_FALSE(path_exists(folder.file("escape.txt")));
}

TEST(Win32Folders, TheCurrentFolderCanBeRemoved) {
    scratch_folder folder;
    ASSERT_TRUE(make_folder(folder.file("work")));
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    // As after unpacking into the work folder and running the agent installer there: the
    // process stands in it, and so did a program that has just ended.
    ASSERT_TRUE(SetCurrentDirectoryW(widen(windows_path(folder, "work")).c_str()));
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    int error = 0;
    os_process* child = os_start_process(L"\"" + std::wstring(system) + L"\\cmd.exe\" /c exit 0", &error);
    ASSERT_NE(child, nullptr) << error;
    os_wait_process(child);
    EXPECT_TRUE(os_remove_folder(widen(windows_path(folder, "work"))));
    EXPECT_FALSE(path_exists(folder.file("work")));
    SetCurrentDirectoryW(previous);
}
