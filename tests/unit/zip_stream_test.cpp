// The install package unpacked while it downloads, and its extraction afterwards: the archive
// is written here piece by piece as a transfer would, and the extraction must end with exactly
// what it makes of the archive alone, whatever the local headers claim.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/file_digest.h"
#include "install/zip_extract.h"
#include "install/zip_stream.h"
#include "os/digest.h"
#include "test_support.h"

namespace {
// Archives come from Python's zipfile. `unseekable` writes them through a pipe-like stream, so
// that every entry's sizes follow its data in a descriptor.
const char* const zip_prelude = R"(import io, sys, zipfile
class Unseekable(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
out = open(sys.argv[1], 'wb')
z = zipfile.ZipFile(Unseekable(out) if sys.argv[2] == 'unseekable' else out, 'w')
def add(name, data=b'', stored=False):
    info = zipfile.ZipInfo(name, date_time=(2021, 2, 3, 4, 5, 6))
    info.compress_type = zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED
    info.create_system = 3
    info.external_attr = 0o640 << 16
    z.writestr(info, data)
def text(size, seed):
    words = [b'agent', b'policy', b'handler', b'repository', b'%d' % seed]
    return b' '.join(words[(i * 7 + seed) % 5] for i in range(size // 6))[:size]
)";

std::string python() {
    const char* configured = std::getenv("QSW_PYTHON");
    return configured && *configured ? configured : "python3";
}

std::string sha256_of(const std::string& path) {
    std::string hex;
    return os_file_digest(path, os_digest_kind::sha256, hex) ? hex : "";
}

struct stream_closer {
    void operator()(zip_stream* stream) const noexcept { zip_stream_release(stream); }
};
using stream_ptr = std::unique_ptr<zip_stream, stream_closer>;

class ZipStream : public ::testing::Test {
protected:
    void SetUp() override {
        char buffer[PATH_MAX];
        ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
        saved_folder_ = buffer;
        source_ = scratch_.file("source.zip");
        archive_ = scratch_.file("FrameworkInstall.zip");
        ahead_ = scratch_.file("ahead");
        alone_ = scratch_.file("alone");
        ASSERT_TRUE(make_folder(ahead_));
        ASSERT_TRUE(make_folder(alone_));
        forget_file_digests();
    }
    void TearDown() override {
        forget_file_digests();
        ASSERT_EQ(chdir(saved_folder_.c_str()), 0);
    }

    void make_zip(const std::string& body, bool unseekable = false) {
        std::string script = scratch_.file("make_zip.py");
        write_whole_file(script, std::string(zip_prelude) + body + "\nz.close()\n");
        std::string command = python() + " " + script + " " + source_ + (unseekable ? " unseekable" : " seekable");
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        bytes_ = read_whole_file(source_);
    }

    // Writes the archive as a transfer does, `piece` bytes at a time, telling the stream after
    // each; `cut` stops the "download" there. The stream is complete unless cut.
    stream_ptr download(size_t piece, size_t cut = std::string::npos, const std::vector<std::string>& left_alone = {}) {
        std::FILE* file = std::fopen(archive_.c_str(), "wb");
        EXPECT_NE(file, nullptr);
        stream_ptr stream(zip_stream_start(archive_.c_str(), ahead_.c_str(), left_alone));
        EXPECT_NE(stream, nullptr);
        size_t end = std::min(cut, bytes_.size());
        for (size_t at = 0; at < end; at += piece) {
            size_t n = std::min(piece, end - at);
            EXPECT_EQ(std::fwrite(bytes_.data() + at, 1, n, file), n);
            std::fflush(file);
            zip_stream_advance(stream.get(), at + n);
        }
        std::fclose(file);
        if (cut == std::string::npos) zip_stream_complete(stream.get(), bytes_.size());
        return stream;
    }

    // Extracts the archive into `ahead_` with what the stream unpacked, and into `alone_`
    // without; both must print the same.
    void extract_both(zip_stream* stream, int expected = zip_extracted) {
        testing::internal::CaptureStdout();
        int alone = extract_install_zip(source_.c_str(), alone_.c_str());
        std::string printed_alone = testing::internal::GetCapturedStdout();
        testing::internal::CaptureStdout();
        int ahead = extract_install_zip(archive_.c_str(), ahead_.c_str(), stream);
        std::string printed_ahead = testing::internal::GetCapturedStdout();
        EXPECT_EQ(alone, expected);
        EXPECT_EQ(ahead, expected);
        // The archive's own path is printed first; the rest must be the same lines.
        EXPECT_EQ(printed_ahead.substr(printed_ahead.find('\n')), printed_alone.substr(printed_alone.find('\n')));
    }

    // Every file below both folders, with its digest and mode; the archive itself aside.
    std::set<std::string> tree(const std::string& root) const {
        std::set<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            std::string relative = entry.path().string().substr(root.size() + 1);
            if (relative == "FrameworkInstall.zip") continue;
            struct stat st {};
            lstat(entry.path().c_str(), &st);
            std::string what = entry.is_regular_file() ? sha256_of(entry.path().string()) : "folder";
            files.insert(relative + " " + what + " " + std::to_string(st.st_mode & 07777) + " " +
                         std::to_string(entry.is_regular_file() ? st.st_mtime : 0));
        }
        return files;
    }

    void expect_same_trees() {
        std::set<std::string> ahead = tree(ahead_), alone = tree(alone_);
        EXPECT_EQ(ahead, alone);
    }

    std::string entry_names(const zip_stream* stream) const {
        std::string names;
        for (const streamed_entry& entry : zip_stream_entries(stream)) names += entry.stored_name + ";";
        return names;
    }

    // Replaces the first occurrence of `from` in the archive's bytes (the local header's copy of
    // a name comes before the central directory's).
    void patch_first(const std::string& from, const std::string& to) {
        ASSERT_EQ(from.size(), to.size());
        size_t at = bytes_.find(from);
        ASSERT_NE(at, std::string::npos);
        bytes_.replace(at, from.size(), to);
        write_whole_file(source_, bytes_);
    }

    scratch_folder scratch_;
    std::string saved_folder_, source_, archive_, ahead_, alone_, bytes_;
};

const char* const mixed_package = R"(
add('Vesinst.exe', b'#!/bin/sh\nexit 0\n')
add('agent.dat', text(20 << 20, 1))
add('empty.txt', b'')
add('bin/', b'')
add('bin/tool.so', bytes(range(256)) * 4000, stored=True)
add('deep/er/still/readme.txt', text(70000, 2))
)";

// The walk keeps up with the download in small pieces and large, and what it wrote is taken:
// the extraction's output, files, stamps and modes are those of the extraction alone, and
// no file is written again.
TEST_F(ZipStream, UnpackedFilesAreTakenAsTheExtractionWouldWriteThem) {
    make_zip(mixed_package);
    for (size_t piece : {size_t{4093}, size_t{3} << 20}) {
        stream_ptr stream = download(piece);
        zip_stream_finish(stream.get());
        EXPECT_EQ(entry_names(stream.get()), "Vesinst.exe;agent.dat;empty.txt;bin/tool.so;deep/er/still/readme.txt;")
            << piece;
        for (const streamed_entry& entry : zip_stream_entries(stream.get())) {
            EXPECT_TRUE(entry.usable) << entry.stored_name;
            EXPECT_EQ(entry.digest, sha256_of(ahead_ + "/" + entry.name)) << entry.stored_name;
        }
        // Proof that a taken file is not written again: spoil it, keeping its size.
        std::string spoiled = read_whole_file(ahead_ + "/deep/er/still/readme.txt");
        spoiled[0] = '#';
        write_whole_file(ahead_ + "/deep/er/still/readme.txt", spoiled);
        extract_both(stream.get());
        EXPECT_EQ(read_whole_file(ahead_ + "/deep/er/still/readme.txt"), spoiled);
        write_whole_file(ahead_ + "/deep/er/still/readme.txt", read_whole_file(alone_ + "/deep/er/still/readme.txt"));
        std::filesystem::last_write_time(ahead_ + "/deep/er/still/readme.txt",
                                         std::filesystem::last_write_time(alone_ + "/deep/er/still/readme.txt"));
        // The remembered digest is the stream's: the check reads nothing again.
        uint64_t reads = file_digest_reads();
        EXPECT_EQ(verify_file_digest(widen(ahead_ + "/agent.dat").c_str(), sha256_of(alone_ + "/agent.dat").c_str()),
                  1);
        EXPECT_EQ(file_digest_reads(), reads);
        EXPECT_EQ(chdir(saved_folder_.c_str()), 0);
    }
    expect_same_trees();
}

// Sizes in descriptors after the data: the deflated stream's end tells where the data ends.
TEST_F(ZipStream, EntriesWithDataDescriptorsAreUnpacked) {
    make_zip(R"(
add('one.txt', text(300000, 3))
add('two.txt', text(9 << 20, 4))
add('three.txt', b'x')
)",
             true);
    stream_ptr stream = download(65536);
    zip_stream_finish(stream.get());
    EXPECT_EQ(entry_names(stream.get()), "one.txt;two.txt;three.txt;");
    extract_both(stream.get());
    expect_same_trees();
}

// A local header may name another file than the central directory does, or hide an entry the
// directory does not list: what was written under such a name goes, and the directory's
// entries are extracted as usual.
TEST_F(ZipStream, FilesNamedByLocalHeadersAloneAreRemoved) {
    make_zip(R"(
add('keep.txt', text(5000, 5))
add('real.txt', text(5000, 6))
add('also.txt', text(5000, 7))
)");
    patch_first("real.txt", "fake.txt");
    stream_ptr stream = download(1000);
    zip_stream_finish(stream.get());
    EXPECT_EQ(entry_names(stream.get()), "keep.txt;fake.txt;also.txt;");
    extract_both(stream.get());
    EXPECT_FALSE(path_exists(ahead_ + "/fake.txt"));
    expect_same_trees();
}

// A name given twice ends the walk; the extraction then says which content stays.
TEST_F(ZipStream, NameGivenTwiceIsLeftToTheExtraction) {
    make_zip(R"(
add('first.txt', b'1')
add('Twice.txt', b'old content')
add('twice.TXT', b'new content!')
add('after.txt', b'2')
)");
    stream_ptr stream = download(100);
    zip_stream_finish(stream.get());
    EXPECT_EQ(entry_names(stream.get()), "first.txt;Twice.txt;");
    EXPECT_FALSE(zip_stream_entries(stream.get())[1].usable);
    extract_both(stream.get());
    expect_same_trees();
}

// Two names that reach one file: the later entry writes over the earlier one's file, so
// neither may be taken, whatever order the central directory gives them in; otherwise the file
// would keep one content while the other's digest was remembered for it. Names that fold alike
// are caught by their text; names the file system alone joins (here two links to one file, as a
// case-blind system would join names the text rule misses) by the file they reach.
TEST_F(ZipStream, NamesReachingOneFileAreLeftToTheExtraction) {
    for (const char* later : {"./b.txt", "B.TXT", "linked.txt"}) {
        make_zip(std::string("add('b.txt', b'first')\nadd('") + later +
                 "', b'later')\nadd('c.txt', b'c')\nz.filelist.reverse()\n");
        if (std::string(later) == "linked.txt") {
            write_whole_file(ahead_ + "/b.txt", "");
            ASSERT_EQ(link((ahead_ + "/b.txt").c_str(), (ahead_ + "/linked.txt").c_str()), 0);
        }
        stream_ptr stream = download(64);
        zip_stream_finish(stream.get());
        EXPECT_EQ(entry_names(stream.get()), "b.txt;") << later;
        EXPECT_FALSE(zip_stream_entries(stream.get())[0].usable) << later;
        extract_both(stream.get());
        for (const char* name : {"/b.txt", "/linked.txt"}) {
            if (!path_exists(ahead_ + name)) continue;
            EXPECT_EQ(verify_file_digest(widen(ahead_ + name).c_str(), sha256_of(ahead_ + name).c_str()), 1) << later;
        }
        expect_same_trees();
        EXPECT_EQ(chdir(saved_folder_.c_str()), 0);
        for (const std::string& folder : {ahead_, alone_}) {
            std::filesystem::remove_all(folder);
            ASSERT_TRUE(make_folder(folder));
        }
        forget_file_digests();
    }
}

// Names the extraction refuses are never written ahead, nor is the archive itself, nor a name
// left to the extraction (at the top level only).
TEST_F(ZipStream, RefusedNamesAndTheArchiveItselfAreNotWritten) {
    make_zip(R"(
add('../escape.txt', b'out')
add('hashes.xml', b'<forged/>')
add('sub/../SITELIST.XML', b'<forged/>')
add('line\nfeed.txt', b'x')
add('FrameworkInstall.zip', b'overwrites the download')
add('FRAMEW~1.ZIP', b'an alias of it')
add('./CLEANUP.EXE', b'removed before the extraction')
add('sub/cleanup.exe', b'fine')
add('fine.txt', b'fine')
)");
    stream_ptr stream = download(50, std::string::npos, {"cleanup.exe"});
    zip_stream_finish(stream.get());
    EXPECT_EQ(entry_names(stream.get()), "sub/cleanup.exe;fine.txt;");
    EXPECT_EQ(read_whole_file(archive_), bytes_) << "the download stayed whole";
    EXPECT_FALSE(path_exists(scratch_.file("escape.txt")));
    EXPECT_FALSE(path_exists(ahead_ + "/hashes.xml"));
}

// A download that fails takes back everything its walk wrote; a walk that ends inside an entry
// (the archive is cut, or its data is damaged) leaves no partial file to be taken.
TEST_F(ZipStream, FailedDownloadsAndDamagedDataLeaveNothing) {
    make_zip(mixed_package);
    size_t data_start = bytes_.find("agent.dat") + 9;   // its data: 20 MiB deflated to about 60 KiB
    size_t inside_agent = data_start + 30000;
    {
        stream_ptr stream = download(8192, inside_agent);
        zip_stream_discard(stream.release());
    }
    EXPECT_TRUE(tree(ahead_).empty());

    {   // complete at the cut: the walk ends inside agent.dat
        stream_ptr stream = download(8192, inside_agent);
        zip_stream_complete(stream.get(), inside_agent);
        zip_stream_finish(stream.get());
        EXPECT_EQ(entry_names(stream.get()), "Vesinst.exe;");
        EXPECT_FALSE(path_exists(ahead_ + "/agent.dat"));
    }

    std::mt19937 generator(9);
    for (size_t i = 0; i < 64; ++i) bytes_[data_start + 1000 + i] = static_cast<char>(generator());
    write_whole_file(source_, bytes_);
    stream_ptr stream = download(1 << 20);
    zip_stream_finish(stream.get());
    EXPECT_EQ(entry_names(stream.get()), "Vesinst.exe;");
    EXPECT_FALSE(path_exists(ahead_ + "/agent.dat"));
}

// Releasing a stream that waits for data that will never come ends it at once.
TEST_F(ZipStream, ReleaseEndsAWaitingWalk) {
    make_zip(mixed_package);
    // Inside agent.dat's data, so that the walk waits in the middle of the file.
    stream_ptr stream = download(4096, bytes_.find("agent.dat") + 9 + 30000);
    stream.reset();
    EXPECT_FALSE(path_exists(ahead_ + "/agent.dat"));
}
}   // namespace
