#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/digest_worker.h"
#include "core/file_digest.h"
#include "test_support.h"

namespace {
// FIPS 180-2's vectors: "abc", and one million times 'a'.
constexpr char abc_sha256[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr char million_a_sha256[] = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
constexpr char abc_sha1[] = "a9993e364706816aba3e25717850c26c9cd0d89d";

std::string hash_on_worker(const std::string& data, const std::vector<size_t>& pieces) {
    digest_worker_ptr worker(digest_worker_start(os_digest_kind::sha256));
    if (!worker) return "no worker";
    size_t at = 0;
    for (size_t i = 0; at < data.size(); ++i) {
        size_t n = std::min(pieces[i % pieces.size()], data.size() - at);
        if (!digest_worker_feed(worker.get(), data.data() + at, n)) return "feed failed";
        at += n;
    }
    std::string hex;
    return digest_worker_finish(worker.get(), hex) ? hex : "finish failed";
}

class RememberedDigest : public ::testing::Test {
protected:
    void SetUp() override {
        forget_file_digests();
        path_ = scratch_.file("file.bin");
        write_whole_file(path_, "abc");
    }
    void TearDown() override { forget_file_digests(); }
    int verify(const char* digest) { return verify_file_digest(widen(path_).c_str(), digest); }

    scratch_folder scratch_;
    std::string path_;
};
}   // namespace

// Pieces smaller than a block are gathered, larger ones queued whole, empty ones ignored; the
// digest must be of every byte in order whatever the cut.
TEST(DigestWorker, DigestIsOfEveryByteFedInOrder) {
    std::string million(1000000, 'a');
    EXPECT_EQ(hash_on_worker(million, {1, 16384, 0, 7919}), million_a_sha256);
    EXPECT_EQ(hash_on_worker(million, {(1 << 20) + 5}), million_a_sha256);
    EXPECT_EQ(hash_on_worker(million, {999999, 1}), million_a_sha256);
    EXPECT_EQ(hash_on_worker("abc", {1}), abc_sha256);
    EXPECT_EQ(hash_on_worker("", {1}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

// More than the queue holds at once (4 MiB) makes the feeder wait for the hash to catch up.
TEST(DigestWorker, WriterAheadOfTheHashWaitsAndLosesNothing) {
    std::string data(40 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 2654435761u) >> 24);
    std::string whole = hash_on_worker(data, {data.size()});
    EXPECT_EQ(hash_on_worker(data, {524288}), whole);
    EXPECT_EQ(hash_on_worker(data, {3 << 20, 12345}), whole);
}

TEST(DigestWorker, ReleasedMidwayOrFinishedTwice) {
    digest_worker_ptr worker(digest_worker_start(os_digest_kind::sha256));
    ASSERT_TRUE(worker);
    std::string data(8 << 20, 'x');
    EXPECT_TRUE(digest_worker_feed(worker.get(), data.data(), data.size()));
    worker.reset();   // joins with data still queued
    digest_worker_ptr spent(digest_worker_start(os_digest_kind::sha1));
    ASSERT_TRUE(spent);
    ASSERT_TRUE(digest_worker_feed(spent.get(), "abc", 3));
    std::string hex;
    ASSERT_TRUE(digest_worker_finish(spent.get(), hex));
    EXPECT_EQ(hex, abc_sha1);
    EXPECT_FALSE(digest_worker_finish(spent.get(), hex));
    EXPECT_FALSE(digest_worker_feed(spent.get(), "abc", 3));
    EXPECT_FALSE(digest_worker_feed(nullptr, "abc", 3));
}

TEST_F(RememberedDigest, UnchangedFileIsNotReadAgain) {
    ASSERT_TRUE(remember_file_digest(path_, os_digest_kind::sha256, abc_sha256));
    uint64_t reads = file_digest_reads();
    EXPECT_EQ(verify(abc_sha256), 1);
    EXPECT_EQ(verify("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"), 1);
    EXPECT_EQ(verify(million_a_sha256), 0);
    EXPECT_EQ(file_digest_reads(), reads);
    // Named another way it is the same file.
    EXPECT_EQ(verify_file_digest(widen(scratch_.path() + "/./file.bin").c_str(), abc_sha256), 1);
    EXPECT_EQ(file_digest_reads(), reads);
}

// A remembered digest that no longer describes the file must never pass for it: a digest of
// what the transfer wrote, then another content of the same size, or another file put in its
// place with the old time stamps, or a file that grew. The system stamps changes with a clock
// of a few milliseconds' grain, so each change comes a little after the hash, as any later
// change of a file would.
TEST_F(RememberedDigest, FileChangedAfterItWasHashedIsReadAgain) {
    auto later = [] { usleep(20000); };
    ASSERT_TRUE(remember_file_digest(path_, os_digest_kind::sha256, abc_sha256));
    later();
    struct stat before {};
    ASSERT_EQ(stat(path_.c_str(), &before), 0);
    FILE* f = std::fopen(path_.c_str(), "r+b");
    ASSERT_TRUE(f);
    std::fputs("abd", f);
    std::fclose(f);
    struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);   // the old write time again
    uint64_t reads = file_digest_reads();
    EXPECT_EQ(verify(abc_sha256), 0);
    EXPECT_EQ(file_digest_reads(), reads + 1);

    write_whole_file(path_, "abc");
    ASSERT_TRUE(remember_file_digest(path_, os_digest_kind::sha256, abc_sha256));
    later();
    std::string other = scratch_.file("other.bin");
    write_whole_file(other, "xyz");
    ASSERT_EQ(utimensat(AT_FDCWD, other.c_str(), times, 0), 0);
    ASSERT_EQ(std::rename(other.c_str(), path_.c_str()), 0);
    EXPECT_EQ(verify(abc_sha256), 0);

    write_whole_file(path_, "abc");
    ASSERT_TRUE(remember_file_digest(path_, os_digest_kind::sha256, abc_sha256));
    later();
    f = std::fopen(path_.c_str(), "ab");
    ASSERT_TRUE(f);
    std::fputs("d", f);
    std::fclose(f);
    EXPECT_EQ(verify(abc_sha256), 0);
}

// A SHA-1 entry is checked by reading, whatever SHA-256 is remembered; nothing is remembered
// for a file that is not there.
TEST_F(RememberedDigest, OtherKindIsReadAndMissingFilesAreNotRemembered) {
    ASSERT_TRUE(remember_file_digest(path_, os_digest_kind::sha256, abc_sha256));
    uint64_t reads = file_digest_reads();
    EXPECT_EQ(verify(abc_sha1), 1);
    EXPECT_EQ(file_digest_reads(), reads + 1);
    EXPECT_FALSE(remember_file_digest(scratch_.file("absent"), os_digest_kind::sha256, abc_sha256));
    EXPECT_FALSE(remember_file_digest(scratch_.path(), os_digest_kind::sha256, abc_sha256)) << "a folder";
    forget_file_digests();
    EXPECT_EQ(verify(abc_sha256), 1);
    EXPECT_EQ(file_digest_reads(), reads + 2);
}
