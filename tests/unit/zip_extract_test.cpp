#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/file_digest.h"
#include "install/zip_extract.h"
#include "log_capture.h"
#include "test_support.h"

namespace {
// Archives are made at test time by Python's zipfile, which writes any name it is given,
// the hostile ones included. `body` holds calls of add(name, data, mode, date, stored, system).
const char* const zip_prelude = R"(import sys, zipfile
z = zipfile.ZipFile(sys.argv[1], 'w')
def add(name, data=b'', mode=None, date=(2020, 1, 1, 0, 0, 0), stored=False, system=3):
    info = zipfile.ZipInfo(name, date_time=date)
    info.compress_type = zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED
    info.create_system = system
    if mode is not None:
        info.external_attr = mode << 16
    z.writestr(info, data)
)";

std::string python() {
    const char* configured = std::getenv("QSW_PYTHON");
    return configured && *configured ? configured : "python3";
}

void make_zip(const scratch_folder& scratch, const std::string& archive, const std::string& body) {
    std::string script = scratch.file("make_zip.py");
    write_whole_file(script, std::string(zip_prelude) + body + "\nz.close()\n");
    std::string command = python() + " " + script + " " + archive;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::string current_folder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

std::string real_path(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? buffer : "";
}

struct stat stat_of(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st;
}

class ZipExtract : public ::testing::Test {
protected:
    void SetUp() override {
        saved_folder_ = current_folder();
        target_ = scratch_.file("out");
        ASSERT_EQ(mkdir(target_.c_str(), 0700), 0);
        archive_ = scratch_.file("package.zip");
    }
    void TearDown() override { ASSERT_EQ(chdir(saved_folder_.c_str()), 0); }

    // Runs the extraction and returns what it printed.
    std::string extract(const char* archive, const char* target, int* result = nullptr) {
        testing::internal::CaptureStdout();
        int rc = extract_zip(archive, target);
        std::string printed = testing::internal::GetCapturedStdout();
        if (result) *result = rc;
        return printed;
    }
    std::string extract_archive(int* result = nullptr) { return extract(archive_.c_str(), target_.c_str(), result); }
    std::string extract_install_archive(int* result) {
        testing::internal::CaptureStdout();
        *result = extract_install_zip(archive_.c_str(), target_.c_str());
        return testing::internal::GetCapturedStdout();
    }
    // Regular files below the target, as find lists them.
    std::string files_in_target() const {
        std::string listing = scratch_.file("listing.txt");
        std::system(("cd " + target_ + " && find . -type f | sort > " + listing).c_str());
        return read_whole_file(listing);
    }
    std::string out(const std::string& name) const { return target_ + "/" + name; }

    scratch_folder scratch_;
    std::string saved_folder_, target_, archive_;
};

TEST_F(ZipExtract, EmptyArchiveOpensAndLeavesTheCurrentFolderAtTheTarget) {
    make_zip(scratch_, archive_, "");
    int rc = -1;
    EXPECT_EQ(extract_archive(&rc), archive_ + " opened\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(real_path(current_folder()), real_path(target_));
}

TEST_F(ZipExtract, StoredFoldersAreCreated) {
    make_zip(scratch_, archive_,
             "add('a/b/file.txt', b'nested')\n"
             "add('d/')\n"
             "add('e/f/')\n"
             "add('win\\\\sub\\\\x.txt', b'backslashes')\n"
             "add('top.txt', b'top', stored=True)\n");
    int rc = -1;
    std::string printed = extract_archive(&rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(printed, archive_ +
                           " opened\n"
                           " extracting: a/b/file.txt\n"
                           "creating directory: d/\n"
                           "creating directory: e/f/\n"
                           " extracting: win\\sub\\x.txt\n"
                           " extracting: top.txt\n");
    EXPECT_EQ(read_whole_file(out("a/b/file.txt")), "nested");
    EXPECT_TRUE(S_ISDIR(stat_of(out("d")).st_mode));
    // A directory entry creates that one folder only, not its missing parents.
    EXPECT_FALSE(path_exists(out("e")));
    EXPECT_EQ(read_whole_file(out("win/sub/x.txt")), "backslashes");
    EXPECT_EQ(read_whole_file(out("top.txt")), "top");
}

TEST_F(ZipExtract, OverwritesAndStampsTheStoredLocalTime) {
    scoped_env zone("TZ", "QST-3");   // three hours east of UTC, no summer time
    tzset();
    write_whole_file(out("over.txt"), "an older and much longer content");
    struct timespec old_access[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, out("over.txt").c_str(), old_access, 0), 0);
    make_zip(scratch_, archive_, "add('over.txt', b'new', date=(2019, 6, 15, 13, 45, 30))\n");

    extract_archive();

    struct stat st = stat_of(out("over.txt"));   // before reading it changes the access time
    EXPECT_EQ(read_whole_file(out("over.txt")), "new");
    std::tm local{};
    local.tm_year = 119;
    local.tm_mon = 5;
    local.tm_mday = 15;
    local.tm_hour = 13;
    local.tm_min = 45;
    local.tm_sec = 30;
    local.tm_isdst = -1;
    EXPECT_EQ(st.st_mtime, std::mktime(&local));
    EXPECT_EQ(st.st_mtime, timegm(&local) - 3 * 3600);
    EXPECT_EQ(st.st_atime, 1000000000) << "the last-access time is kept";
}

TEST_F(ZipExtract, ArchiveThatCannotBeOpenedYieldsOneAndStaysPut) {
    std::string not_zip = scratch_.file("not.zip");
    write_whole_file(not_zip, "this is no zip archive");
    std::string before = current_folder();
    for (const std::string& path : {not_zip, scratch_.file("missing.zip")}) {
        int rc = -1;
        EXPECT_EQ(extract(path.c_str(), target_.c_str(), &rc), "Cannot open " + path + " or " + path + ".zip\n");
        EXPECT_EQ(rc, 1);
        EXPECT_EQ(current_folder(), before);
    }
    int rc = -1;
    EXPECT_EQ(extract(nullptr, target_.c_str(), &rc), "");
    EXPECT_EQ(rc, 0);
}

TEST_F(ZipExtract, MissingTargetFolderExtractsNothing) {
    make_zip(scratch_, archive_, "add('file.txt', b'x')\n");
    std::string missing = scratch_.file("no/such/folder");
    std::string before = current_folder();
    int rc = -1;
    EXPECT_EQ(extract(archive_.c_str(), missing.c_str(), &rc),
              archive_ + " opened\nError changing into " + missing + ", aborting\n");
    EXPECT_EQ(rc, zip_incomplete) << "nothing extracted is no success";
    EXPECT_EQ(current_folder(), before);
    EXPECT_FALSE(path_exists(scratch_.file("no")));
}

TEST_F(ZipExtract, NamesLeadingOutsideAreRefusedAndTheRestExtracted) {
    make_zip(scratch_, archive_,
             "add('first.txt', b'1')\n"
             "add('../escape1.txt', b'bad')\n"
             "add('a/../../escape2.txt', b'bad')\n"
             "add('..\\\\escape3.txt', b'bad')\n"
             "add('" +
                 scratch_.file("escape4.txt") +
                 "', b'bad')\n"
                 "add('\\\\escape5.txt', b'bad')\n"
                 "add('C:/escape6.txt', b'bad')\n"
                 "add('c:escape7.txt', b'bad')\n"
                 "add('../evil/', b'')\n"
                 "add('dots..ok/..name.txt', b'fine')\n"
                 "add('last/ok.txt', b'2')\n");
    int rc = -1;
    std::string printed = extract_archive(&rc);
    EXPECT_EQ(rc, 0);
    for (int i = 1; i <= 7; ++i) {
        std::string name = "escape" + std::to_string(i) + ".txt";
        EXPECT_FALSE(path_exists(scratch_.file(name))) << name;
        EXPECT_EQ(printed.find(" extracting: " + name), std::string::npos) << name;
    }
    EXPECT_FALSE(path_exists(scratch_.file("evil")));
    // Some of these would land outside the scratch folder (\escape5.txt at the root): the
    // refusal line is what tells each one was stopped.
    for (const std::string& name :
         {std::string("../escape1.txt"), std::string("a/../../escape2.txt"), std::string("..\\escape3.txt"),
          scratch_.file("escape4.txt"), std::string("\\escape5.txt"), std::string("C:/escape6.txt"),
          std::string("c:escape7.txt"), std::string("../evil/")}) {
        EXPECT_NE(printed.find("refusing " + name + ": the name leads outside the target folder\n"), std::string::npos)
            << name;
    }
    EXPECT_EQ(read_whole_file(out("first.txt")), "1");
    EXPECT_EQ(read_whole_file(out("dots..ok/..name.txt")), "fine");
    EXPECT_EQ(read_whole_file(out("last/ok.txt")), "2");
    // Nothing but the three good files and their folders was written.
    EXPECT_EQ(std::system(("test $(find " + target_ + " -type f | wc -l) -eq 3").c_str()), 0);
}

// minizip leaves a name that fills the 256-byte buffer without its terminator; the name is
// cut to 255 bytes, checked and written as cut, and the walk goes on.
TEST_F(ZipExtract, NameLongerThanTheBufferIsCutTo255Bytes) {
    make_zip(scratch_, archive_,
             "add('n' * 300, b'long')\n"
             "add('../' + 'e' * 300, b'bad')\n"
             "add('next.txt', b'2')\n");
    int rc = -1;
    std::string printed = extract_archive(&rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(read_whole_file(out(std::string(255, 'n'))), "long");
    EXPECT_NE(printed.find("refusing ../" + std::string(252, 'e') + ": the name leads outside"), std::string::npos);
    EXPECT_EQ(read_whole_file(out("next.txt")), "2");
    std::set<std::string> written;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(target_))
        written.insert(entry.path().lexically_relative(target_).string());
    EXPECT_EQ(written, (std::set<std::string>{std::string(255, 'n'), "next.txt"}));
}

TEST_F(ZipExtract, UnixPermissionBitsAreKeptWithoutSetId) {
    make_zip(scratch_, archive_,
             "add('Vesinst.exe', b'#!/bin/sh\\n', mode=0o100755)\n"
             "add('private.key', b'k', mode=0o100600)\n"
             "add('setid', b's', mode=0o106755)\n"
             "add('from_windows.txt', b'w', mode=0o100777, system=0)\n");
    extract_archive();
    EXPECT_EQ(stat_of(out("Vesinst.exe")).st_mode & 07777, 0755u);
    EXPECT_EQ(stat_of(out("private.key")).st_mode & 07777, 0600u);
    EXPECT_EQ(stat_of(out("setid")).st_mode & 07777, 0755u);
    mode_t mask = umask(0);
    umask(mask);
    // Attributes of an entry made on Windows are no Unix bits: the file gets the default ones.
    EXPECT_EQ(stat_of(out("from_windows.txt")).st_mode & 0777, 0666u & ~mask);
}

TEST_F(ZipExtract, LinksAreNeverCreatedNorFollowed) {
    std::string outside_file = scratch_.file("outside.txt");
    std::string outside_folder = scratch_.file("elsewhere");
    write_whole_file(outside_file, "keep");
    ASSERT_EQ(mkdir(outside_folder.c_str(), 0700), 0);
    ASSERT_EQ(symlink(outside_file.c_str(), out("victim.txt").c_str()), 0);
    ASSERT_EQ(symlink(outside_folder.c_str(), out("sub").c_str()), 0);
    make_zip(scratch_, archive_,
             "add('victim.txt', b'new')\n"
             "add('link', b'/etc/passwd', mode=0o120777)\n"
             "add('sub/x.txt', b'bad')\n"
             "add('after.txt', b'still extracted')\n");

    std::string printed = extract_archive();

    EXPECT_EQ(read_whole_file(outside_file), "keep");
    EXPECT_TRUE(S_ISREG(stat_of(out("victim.txt")).st_mode));
    EXPECT_EQ(read_whole_file(out("victim.txt")), "new");
    struct stat link = stat_of(out("link"));
    EXPECT_TRUE(S_ISREG(link.st_mode));
    EXPECT_NE(link.st_mode & 0777, 0777u);
    EXPECT_EQ(read_whole_file(out("link")), "/etc/passwd");
    EXPECT_FALSE(path_exists(outside_folder + "/x.txt"));
    EXPECT_NE(printed.find("error opening sub/x.txt\n"), std::string::npos);
    EXPECT_EQ(read_whole_file(out("after.txt")), "still extracted");
}

TEST_F(ZipExtract, LargeEntriesAreWrittenWhole) {
    // Large enough that its blocks are written by the helper thread, in order.
    std::string expected = scratch_.file("expected.bin");
    make_zip(scratch_, archive_,
             "import random\n"
             "rng = random.Random(3)\n"
             "words = [bytes(rng.choices(b'abcdefgh', k=rng.randint(1, 9))) for _ in range(500)]\n"
             "data = b' '.join(rng.choices(words, k=4000000))[:20 * 1048576 + 12345]\n"
             "open('" +
                 expected +
                 "', 'wb').write(data)\n"
                 "add('big/member.bin', data)\n"
                 "add('big/stored.bin', data[:3 * 1048576 + 1], stored=True)\n");
    int rc = -1;
    std::string printed = extract_archive(&rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(printed.find("error"), std::string::npos) << printed;
    std::string data = read_whole_file(expected);
    ASSERT_GT(data.size(), 20u * 1048576);
    EXPECT_TRUE(read_whole_file(out("big/member.bin")) == data);
    EXPECT_TRUE(read_whole_file(out("big/stored.bin")) == data.substr(0, 3 * 1048576 + 1));
}

TEST_F(ZipExtract, FailedWriteStopsTheExtraction) {
    // A file size limit makes writes past 1 MiB fail (EFBIG instead of a signal).
    struct rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    for (const char* size : {"2", "12"}) {   // written directly, and by the helper thread
        make_zip(scratch_, archive_,
                 std::string("add('big.bin', b'x' * (") + size + " * 1048576))\nadd('later.txt', b'later')\n");
        struct rlimit limit = old_limit;
        limit.rlim_cur = 1048576;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        log_capture log;
        int rc = -1;
        std::string printed = extract_archive(&rc);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old_limit), 0);
        EXPECT_EQ(rc, zip_incomplete);
        EXPECT_NE(printed.find(" extracting: big.bin\nerror in writing extracted file\n"), std::string::npos)
            << printed;
        EXPECT_FALSE(path_exists(out("later.txt"))) << size;
        // The error and the path are logged, and the partial file does not hold on to the space.
        EXPECT_TRUE(
            log.contains("Writing " + target_ + "/big.bin failed: File too large; the partial file was removed"))
            << log.raw();
        EXPECT_FALSE(path_exists(out("big.bin"))) << size;
        ASSERT_EQ(chdir(saved_folder_.c_str()), 0);
    }
    signal(SIGXFSZ, old_handler);
}

TEST_F(ZipExtract, DamagedEntryStopsTheExtraction) {
    make_zip(scratch_, archive_,
             "add('good.txt', b'good')\n"
             "add('damaged.bin', b'PAYLOAD-ORIGINAL', stored=True)\n"
             "add('later.txt', b'later')\n"
             "z.close()\n"
             "data = open(sys.argv[1], 'rb').read()\n"
             "open(sys.argv[1], 'wb').write(data.replace(b'PAYLOAD-ORIGINAL', b'PAYLOAD-CHANGED!'))\n");
    int rc = -1;
    std::string printed = extract_archive(&rc);
    EXPECT_EQ(rc, zip_incomplete) << "the later entries are missing";
    EXPECT_NE(printed.find("error -105 with zipfile in unzCloseCurrentFile\n"), std::string::npos) << printed;
    EXPECT_EQ(read_whole_file(out("good.txt")), "good");
    EXPECT_EQ(read_whole_file(out("damaged.bin")), "PAYLOAD-CHANGED!");   // a partly good file stays
    EXPECT_FALSE(path_exists(out("later.txt")));
}

TEST_F(ZipExtract, EntryLongerThanDeclaredStopsTheExtraction) {
    // The headers of long.bin declare only its first 8 bytes, with their CRC: a reader that
    // stops at the declared size would take the entry as sound.
    make_zip(
        scratch_, archive_,
        "add('first.txt', b'first')\n"
        "add('long.bin', b'DECLARED and more than that', stored=True)\n"
        "add('later.txt', b'later')\n"
        "z.close()\n"
        "import struct, zlib\n"
        "data = bytearray(open(sys.argv[1], 'rb').read())\n"
        "crc = zlib.crc32(b'DECLARED')\n"
        "local = zipfile.ZipFile(sys.argv[1]).getinfo('long.bin').header_offset\n"
        "struct.pack_into('<I', data, local + 14, crc)\n"
        "struct.pack_into('<I', data, local + 22, 8)\n"
        "central = data.index(b'PK\\x01\\x02')\n"
        "while data[central + 46:central + 54] != b'long.bin': central = data.index(b'PK\\x01\\x02', central + 4)\n"
        "struct.pack_into('<I', data, central + 16, crc)\n"
        "struct.pack_into('<I', data, central + 24, 8)\n"
        "open(sys.argv[1], 'wb').write(data)\n");
    int rc = -1;
    std::string printed = extract_archive(&rc);
    EXPECT_EQ(rc, zip_incomplete);
    EXPECT_NE(printed.find(" extracting: long.bin\nerror -105 with zipfile in unzCloseCurrentFile\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(read_whole_file(out("first.txt")), "first");
    EXPECT_EQ(read_whole_file(out("long.bin")), "DECLARED") << "the declared bytes stay, the rest is not written";
    EXPECT_FALSE(path_exists(out("later.txt")));
}
}   // namespace

namespace {
TEST_F(ZipExtract, NamesWithControlCharactersAreRefusedAndShownEscaped) {
    log_capture log;
    make_zip(scratch_, archive_,
             "add('forged.txt\\nThu Jan  1 00:00:00 2026\\tI\\tAgent was installed successfully', b'x')\n"
             "add('\\x1b[2Jclear.txt', b'x')\n"
             "add('csi\\u009b31m.txt', b'x')\n"
             "add('sub/tab\\tname.txt', b'x')\n"
             "add('del\\x7f.txt', b'x')\n"
             "add('caf\\u00e9.txt', b'fine')\n");
    int rc = -1;
    std::string printed = extract_archive(&rc);
    EXPECT_EQ(rc, zip_extracted) << "refused entries are not failures";

    for (const char* shown : {"forged.txt\\x0aThu Jan  1 00:00:00 2026\\x09I\\x09Agent was installed successfully",
                              "\\x1b[2Jclear.txt", "csi\\xc2\\x9b31m.txt", "sub/tab\\x09name.txt", "del\\x7f.txt"}) {
        std::string reason = std::string(shown) + ": the name holds control characters";
        EXPECT_NE(printed.find("refusing " + reason + "\n"), std::string::npos) << shown;
        EXPECT_TRUE(log.contains("Refused to extract " + std::string(shown) + " from " + archive_ + " into " + target_ +
                                 ": the name holds control characters"))
            << shown;
    }
    // Nothing raw reached the screen or the log: no forged line, no escape sequence.
    for (const std::string& text : {printed, log.raw()}) {
        EXPECT_EQ(text.find('\x1b'), std::string::npos);
        EXPECT_EQ(text.find('\x7f'), std::string::npos);
        EXPECT_EQ(text.find("\xc2\x9b"), std::string::npos);
    }
    for (const std::string& message : log.messages()) EXPECT_NE(message, "Agent was installed successfully");
    EXPECT_EQ(files_in_target(), "./caf\xc3\xa9.txt\n");
}

TEST_F(ZipExtract, InstallPackageNeverWritesTheConfigurationFiles) {
    log_capture log;
    for (const char* name : {"hashes.xml", "sitelist.xml", "PackageInfo.xml"}) write_whole_file(out(name), "trusted");
    const char* const hostile[] = {"hashes.xml",    "HASHES.XML",       "./sitelist.xml",     ".\\\\PackageInfo.xml",
                                   "hashes.xml.",   "sitelist.xml  ",   "hashes.xml::$DATA",  "PACKAG~1.XML",
                                   "SiteList.Xml/", "ha\\u017fhes.xml", "s\\u0131telist.xml", "packageinfo.XML"};
    std::string body;
    for (const char* name : hostile) body += std::string("add('") + name + "', b'forged')\n";
    body += "add('Vesinst.exe', b'installer')\nadd('sub/hashes.xml', b'not the manifest')\n";
    make_zip(scratch_, archive_, body);

    int rc = -1;
    std::string printed = extract_install_archive(&rc);
    EXPECT_EQ(rc, zip_extracted);
    for (const char* name : {"hashes.xml", "sitelist.xml", "PackageInfo.xml"})
        EXPECT_EQ(read_whole_file(out(name)), "trusted");
    EXPECT_EQ(files_in_target(), "./PackageInfo.xml\n./Vesinst.exe\n./hashes.xml\n./sitelist.xml\n./sub/hashes.xml\n");
    EXPECT_EQ(log.messages().size(), sizeof hostile / sizeof hostile[0]) << log.raw();
    EXPECT_NE(printed.find("refusing .\\PackageInfo.xml: the name is that of a configuration file\n"),
              std::string::npos)
        << printed;
    EXPECT_TRUE(log.contains("Refused to extract PACKAG~1.XML from " + archive_ + " into " + target_ +
                             ": the name is that of a configuration file"));

    // The configuration package itself brings these files.
    make_zip(scratch_, archive_, "add('hashes.xml', b'manifest')\n");
    EXPECT_EQ(extract_archive(&rc), archive_ + " opened\n extracting: hashes.xml\n");
    EXPECT_EQ(read_whole_file(out("hashes.xml")), "manifest");
}
}   // namespace

// The install package's files are hashed while they are written (large ones by the writer
// thread, small and stored ones by the extracting thread), so their checks read nothing; a
// plain extraction hashes nothing.
TEST_F(ZipExtract, InstallFilesAreHashedAsTheyAreWritten) {
    std::string digests = scratch_.file("digests.txt");
    make_zip(scratch_, archive_,
             "import hashlib, random\n"
             "rng = random.Random(5)\n"
             "big = bytes(rng.choices(b'abcdefgh ', k=12 * 1048576 + 77))\n"
             "files = {'Vesinst.exe': big, 'small.dll': b'small' * 1000, 'sub/stored.bin': big[:70000]}\n"
             "out = open('" +
                 digests +
                 "', 'w')\n"
                 "for name, data in files.items():\n"
                 "    add(name, data, stored=name.endswith('.bin'))\n"
                 "    out.write(name + ' ' + hashlib.sha256(data).hexdigest() + '\\n')\n"
                 "out.close()\n");
    std::vector<std::pair<std::string, std::string>> expected;
    std::istringstream lines(read_whole_file(digests));
    for (std::string name, hex; lines >> name >> hex;) expected.emplace_back(name, hex);
    ASSERT_EQ(expected.size(), 3u);

    forget_file_digests();
    int rc = -1;
    extract_install_archive(&rc);
    ASSERT_EQ(rc, 0);
    uint64_t reads = file_digest_reads();
    for (const auto& [name, hex] : expected) EXPECT_EQ(verify_file_digest(widen(out(name)).c_str(), hex.c_str()), 1);
    EXPECT_EQ(file_digest_reads(), reads) << "no install file is read again";

    forget_file_digests();
    extract_archive(&rc);
    ASSERT_EQ(rc, 0);
    for (const auto& [name, hex] : expected) EXPECT_EQ(verify_file_digest(widen(out(name)).c_str(), hex.c_str()), 1);
    EXPECT_EQ(file_digest_reads(), reads + 3);
    forget_file_digests();
}

// A large member that does not deflate (stored blocks inside the deflate stream) goes through the
// writer thread like any other: written whole, and a stored CRC that is off by one bit fails it.
TEST_F(ZipExtract, LargeIncompressibleEntriesAreCheckedWhole) {
    std::string expected = scratch_.file("random.bin");
    make_zip(scratch_, archive_,
             "import os, struct, zlib\n"
             "data = os.urandom(9 * 1048576 + 333)\n"
             "open('" +
                 expected +
                 "', 'wb').write(data)\n"
                 "add('random.bin', data)\n");
    int rc = -1;
    std::string printed = extract_archive(&rc);
    EXPECT_EQ(rc, 0) << printed;
    EXPECT_TRUE(read_whole_file(out("random.bin")) == read_whole_file(expected));

    std::string damaged = scratch_.file("damaged.zip");
    make_zip(scratch_, damaged,
             "import struct, zlib\n"
             "data = open('" +
                 expected +
                 "', 'rb').read()\n"
                 "add('random.bin', data)\n"
                 "z.close()\n"
                 "crc = struct.pack('<I', zlib.crc32(data))\n"
                 "raw = open(sys.argv[1], 'rb').read()\n"
                 "assert raw.count(crc) == 2\n"
                 "open(sys.argv[1], 'wb').write(raw.replace(crc, struct.pack('<I', zlib.crc32(data) ^ 1)))\n");
    printed = extract(damaged.c_str(), target_.c_str(), &rc);
    EXPECT_EQ(rc, zip_incomplete);
    EXPECT_NE(printed.find("error -105 with zipfile in unzCloseCurrentFile\n"), std::string::npos) << printed;
}
