#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "config/hash_manifest.h"
#include "core/file_digest.h"
#include "core/run_context.h"
#include "log_capture.h"
#include "test_support.h"

namespace {
// Digests of the standard test messages: "" and "abc".
const char sha1_empty[] = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
const char sha256_empty[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const char sha1_abc[] = "a9993e364706816aba3e25717850c26c9cd0d89d";
const char sha256_abc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string python() {
    const char* configured = std::getenv("QSW_PYTHON");
    return configured && *configured ? configured : "python3";
}

// SHA-256 computed by another implementation (Python's hashlib).
std::string reference_sha256(const std::string& path) {
    std::string command =
        python() + " -c \"import hashlib,sys; print(hashlib.sha256(open(sys.argv[1],'rb').read()).hexdigest())\" " +
        path;
    std::string digest;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char line[128] = {};
        if (std::fgets(line, sizeof line, pipe)) digest = line;
        pclose(pipe);
    }
    while (!digest.empty() && (digest.back() == '\n' || digest.back() == '\r')) digest.pop_back();
    return digest;
}

int verify(const std::string& path, const std::string& digest) {
    return verify_file_digest(widen(path).c_str(), digest.c_str());
}

TEST(VerifyFileDigest, LengthChoosesTheAlgorithmAndCaseDoesNotMatter) {
    scratch_folder scratch;
    std::string abc = scratch.file("abc.bin"), empty = scratch.file("empty.bin");
    write_whole_file(abc, "abc");
    write_whole_file(empty, "");

    EXPECT_EQ(verify(abc, sha256_abc), 1);
    EXPECT_EQ(verify(abc, upper(sha256_abc)), 1);
    EXPECT_EQ(verify(abc, sha1_abc), 1);
    EXPECT_EQ(verify(abc, upper(sha1_abc)), 1);
    EXPECT_EQ(verify(empty, sha256_empty), 1);
    EXPECT_EQ(verify(empty, sha1_empty), 1);

    std::string wrong = sha256_abc;
    wrong.back() = wrong.back() == '0' ? '1' : '0';
    EXPECT_EQ(verify(abc, wrong), 0);
    EXPECT_EQ(verify(abc, std::string(sha256_abc).substr(0, 63)), 0);
    EXPECT_EQ(verify(abc, std::string(sha256_abc) + "0"), 0);
    EXPECT_EQ(verify(abc, std::string(sha1_abc).substr(0, 39)), 0);
    EXPECT_EQ(verify(abc, ""), 0);
    EXPECT_EQ(verify(abc, sha256_empty), 0);
}

TEST(VerifyFileDigest, UnreadableFilesNeverVerify) {
    scratch_folder scratch;
    EXPECT_EQ(verify(scratch.file("missing.bin"), sha256_empty), 0);
    // A folder opens but cannot be read: it must not pass for the empty file.
    EXPECT_EQ(verify(scratch.path(), sha256_empty), 0);
    EXPECT_EQ(verify(scratch.path(), sha1_empty), 0);
    EXPECT_EQ(verify_file_digest(nullptr, sha256_empty), 0);
    EXPECT_EQ(verify_file_digest(widen(scratch.path()).c_str(), nullptr), 0);
}

TEST(VerifyFileDigest, FilesLargerThanOneReadBlock) {
    scratch_folder scratch;
    std::string big = scratch.file("big.bin"), copy = scratch.file("copy.bin"), other = scratch.file("other.bin");
    std::string data;
    data.reserve(3 * 1048576 + 7);
    unsigned state = 12345;
    for (size_t i = 0; i < 3 * 1048576 + 7; ++i) {
        state = state * 1103515245u + 12345u;
        data += static_cast<char>(state >> 24);
    }
    write_whole_file(big, data);
    write_whole_file(copy, data);
    data[2 * 1048576 + 3] ^= 1;
    write_whole_file(other, data);

    std::string expected = reference_sha256(big);
    ASSERT_EQ(expected.size(), 64u) << "python3 with hashlib is needed";
    EXPECT_EQ(verify(big, expected), 1);
    EXPECT_EQ(verify(other, expected), 0);
    EXPECT_EQ(files_have_same_sha256(widen(big).c_str(), widen(copy).c_str()), 1);
    EXPECT_EQ(files_have_same_sha256(widen(big).c_str(), widen(other).c_str()), 0);
    EXPECT_EQ(files_have_same_sha256(widen(big).c_str(), widen(scratch.file("missing")).c_str()), 0);
    EXPECT_EQ(files_have_same_sha256(widen(scratch.file("missing")).c_str(), widen(scratch.file("missing")).c_str()),
              0);
}

TEST(OnResponseHeader, StoresTheThreeHeadersByExactName) {
    log_capture log;
    run_context ctx;
    EXPECT_EQ(on_response_header(L"Config-Hash", L"abc", &ctx), 0);
    EXPECT_EQ(on_response_header(L"Install-Hash", L"def", &ctx), 0);
    EXPECT_EQ(on_response_header(L"Tenant-ID", L"tenant-1", &ctx), 0);
    EXPECT_EQ(on_response_header(L"Config-Hash", L"later", &ctx), 0);
    EXPECT_EQ(on_response_header(L"config-hash", L"lower", &ctx), 0);
    EXPECT_EQ(on_response_header(L"CONFIG-HASH", L"upper", &ctx), 0);
    EXPECT_EQ(on_response_header(L"Content-Type", L"application/zip", &ctx), 0);

    EXPECT_STREQ(ctx.config_hash, "later");
    EXPECT_STREQ(ctx.install_hash, "def");
    EXPECT_STREQ(ctx.tenant_id, "tenant-1");
    EXPECT_TRUE(log.contains("Config-Hash :abc"));
    EXPECT_TRUE(log.contains("Install-Hash :def"));
    EXPECT_TRUE(log.contains("Tenant-ID :tenant-1"));
    EXPECT_FALSE(log.contains("config-hash :lower"));
    EXPECT_FALSE(log.contains("Content-Type :application/zip"));
}

TEST(OnResponseHeader, ValueMustFitTheField) {
    log_capture log;
    run_context ctx;
    std::wstring longest(127, L'a'), too_long(128, L'b');
    on_response_header(L"Tenant-ID", longest.c_str(), &ctx);
    EXPECT_EQ(std::string(ctx.tenant_id), std::string(127, 'a'));
    on_response_header(L"Tenant-ID", too_long.c_str(), &ctx);
    EXPECT_STREQ(ctx.tenant_id, "") << "a cut value is not kept";
    EXPECT_EQ(on_response_header(L"Config-Hash", L"x", nullptr), 0);
}

class HashManifest : public ::testing::Test {
protected:
    std::wstring write_manifest(const std::string& text) {
        write_whole_file(scratch_.file("hashes.xml"), text);
        return widen(scratch_.file("hashes.xml"));
    }
    static std::vector<std::pair<std::string, std::string>> entries_of(hash_entry* list) {
        std::vector<std::pair<std::string, std::string>> out;
        for (hash_entry* e = list; e; e = e->next) out.emplace_back(e->file_name, e->digest);
        free_hash_entries(list);
        return out;
    }
    scratch_folder scratch_;
    log_capture log_;
};

TEST_F(HashManifest, ReadsElementChildrenOfTheFirstSha256InOrder) {
    auto path = write_manifest(read_test_data("hash_manifest/mixed_entries.xml"));
    using entry = std::pair<std::string, std::string>;
    // Elements without a digest stay, with an empty one that never verifies.
    EXPECT_EQ(entries_of(read_hash_manifest(path.c_str())),
              (std::vector<entry>{
                  {"Vesinst.exe", "ABCDEF"}, {"empty", ""}, {"nested", ""}, {"a.dll", " spaced "}, {"b.dll", "ff"}}));
    EXPECT_TRUE(log_.contains("Skipping hashes.xml entry ..\\evil.dll: unusable file name or digest"));
}

TEST_F(HashManifest, NothingUsableGivesNoList) {
    const char* const documents[] = {
        "not xml at all",
        "<hashes><sha256><a.dll>1</b.dll></sha256></hashes>",
        "<hashes><sha1><a.dll>1</a.dll></sha1></hashes>",
        "<hashes><sha256>\n <!-- none -->\n</sha256></hashes>",
        "",
    };
    for (const char* document : documents) {
        auto path = write_manifest(document);
        EXPECT_EQ(read_hash_manifest(path.c_str()), nullptr) << document;
    }
    EXPECT_TRUE(log_.contains("No sha256 digests could be read from " + scratch_.file("hashes.xml")));
    EXPECT_EQ(read_hash_manifest(widen(scratch_.file("missing.xml")).c_str()), nullptr);
    EXPECT_EQ(read_hash_manifest(nullptr), nullptr);
}

TEST_F(HashManifest, OverLongDigestKeepsTheEntryWithoutADigest) {
    auto path = write_manifest("<h><sha256><a.dll>" + std::string(300, 'a') + "</a.dll><b.dll>" +
                               std::string(259, 'b') + "</b.dll></sha256></h>");
    using entry = std::pair<std::string, std::string>;
    EXPECT_EQ(entries_of(read_hash_manifest(path.c_str())),
              (std::vector<entry>{{"a.dll", ""}, {"b.dll", std::string(259, 'b')}}));
    EXPECT_TRUE(log_.contains("The digest of a.dll in hashes.xml is too long to be one"));
}

// The install files are checked in the current folder, as the extraction leaves it.
class VerifyInstallFiles : public HashManifest {
protected:
    void SetUp() override {
        char buffer[PATH_MAX];
        ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
        saved_folder_ = buffer;
        ASSERT_EQ(chdir(scratch_.path().c_str()), 0);
        events_.clear();
        write_whole_file(scratch_.file("abc.dll"), "abc");
        write_whole_file(scratch_.file("empty.dll"), "");
        ASSERT_TRUE(make_folder(scratch_.file("folder.dll")));
    }
    void TearDown() override { ASSERT_EQ(chdir(saved_folder_.c_str()), 0); }

    static int record(const wchar_t* text, int event, run_context*) {
        events_.emplace_back(event, narrow_ascii(text));
        return 0;
    }
    // The manifest as the configuration package left it in the current folder.
    int run(const char* required = nullptr) {
        hash_entries_ptr manifest(read_hash_manifest(L"hashes.xml"));
        return verify_install_files(manifest.get(), required, &ctx_, record);
    }

    static std::vector<std::pair<int, std::string>> events_;
    run_context ctx_;
    std::string saved_folder_;
};
std::vector<std::pair<int, std::string>> VerifyInstallFiles::events_;
using event = std::pair<int, std::string>;

TEST_F(VerifyInstallFiles, PresentFilesDecideAbsentOnesArePassedOver) {
    write_manifest(std::string("<h><sha256><abc.dll>") + upper(sha256_abc) + "</abc.dll><gone.dll>" + sha256_abc +
                   "</gone.dll><folder.dll>" + sha256_empty + "</folder.dll><empty.dll>" + sha1_empty +
                   "</empty.dll></sha256></h>");
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(events_, (std::vector<event>{{5, "abc.dll"}, {3, "abc.dll"}, {5, "empty.dll"}, {3, "empty.dll"}}));
    EXPECT_TRUE(log_.contains("abc.dll :" + upper(sha256_abc)));
    EXPECT_FALSE(log_.contains(std::string("gone.dll :") + sha256_abc));
}

TEST_F(VerifyInstallFiles, FirstMismatchFailsAndStops) {
    write_manifest(std::string("<h><sha256><empty.dll>") + sha256_empty + "</empty.dll><abc.dll>" + sha256_empty +
                   "</abc.dll><later.dll>" + sha256_empty + "</later.dll></sha256></h>");
    write_whole_file(scratch_.file("later.dll"), "");
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(events_, (std::vector<event>{{5, "empty.dll"}, {3, "empty.dll"}, {5, "abc.dll"}, {4, "abc.dll"}}));
}

TEST_F(VerifyInstallFiles, NoPresentFileOrNoManifestFails) {
    write_manifest(std::string("<h><sha256><gone.dll>") + sha256_abc + "</gone.dll><folder.dll>" + sha256_empty +
                   "</folder.dll></sha256></h>");
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(events_.empty());
    ASSERT_EQ(std::remove(scratch_.file("hashes.xml").c_str()), 0);
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(events_.empty());
}
TEST_F(VerifyInstallFiles, PresentFileWithoutAUsableDigestFails) {
    for (const std::string& digest :
         {std::string(), std::string(sha256_abc).substr(0, 63), std::string(300, 'a'), std::string(sha1_abc) + "0"}) {
        write_manifest("<h><sha256><gone.dll/><abc.dll>" + digest + "</abc.dll></sha256></h>");
        events_.clear();
        EXPECT_EQ(run(), 0) << digest;
        EXPECT_EQ(events_, (std::vector<event>{{5, "abc.dll"}, {4, "abc.dll"}})) << digest;
    }
    EXPECT_TRUE(log_.contains("The digest of abc.dll in hashes.xml is empty or of an unrecognised length"));
    // An absent file with an empty digest is passed over like any absent file.
    write_manifest(std::string("<h><sha256><gone.dll/><abc.dll>") + sha256_abc + "</abc.dll></sha256></h>");
    EXPECT_EQ(run(), 1);
}

// The program that will run must be listed, present and matching, whatever else is.
TEST_F(VerifyInstallFiles, RequiredFileMustBeListedAndMatch) {
    write_whole_file(scratch_.file("Vesinst.exe"), "abc");
    write_manifest(std::string("<h><sha256><abc.dll>") + sha256_abc + "</abc.dll></sha256></h>");
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(run("Vesinst.exe"), 0);
    EXPECT_TRUE(log_.contains("Vesinst.exe is not listed in hashes.xml: it is not trusted"));

    write_manifest(std::string("<h><sha256><abc.dll>") + sha256_abc + "</abc.dll><VESINST.EXE>" + sha256_abc +
                   "</VESINST.EXE></sha256></h>");
    EXPECT_EQ(run("Vesinst.exe"), 1) << "listed under the name a case-blind system gives the same file";

    for (const std::string& digest : {std::string(), std::string(sha256_empty), std::string(63, 'a')}) {
        write_manifest(std::string("<h><sha256><abc.dll>") + sha256_abc + "</abc.dll><Vesinst.exe>" + digest +
                       "</Vesinst.exe></sha256></h>");
        EXPECT_EQ(run("Vesinst.exe"), 0) << digest;
    }
    // Two digests listed for it: both must hold.
    write_manifest(std::string("<h><sha256><Vesinst.exe>") + sha256_abc + "</Vesinst.exe><vesinst.exe>" + sha1_empty +
                   "</vesinst.exe></sha256></h>");
    EXPECT_EQ(run("Vesinst.exe"), 0);

    write_manifest(std::string("<h><sha256><abc.dll>") + sha256_abc + "</abc.dll><Vesinst.exe>" + sha256_abc +
                   "</Vesinst.exe></sha256></h>");
    EXPECT_EQ(run("Vesinst.exe"), 1);
    ASSERT_EQ(std::remove(scratch_.file("Vesinst.exe").c_str()), 0);
    EXPECT_EQ(run("Vesinst.exe"), 0) << "absent, it cannot match";
}

// The manifest kept from the configuration package decides, not what lies in the folder later.
TEST_F(VerifyInstallFiles, KeptManifestOutlivesTheFileOnDisk) {
    write_manifest(std::string("<h><sha256><abc.dll>") + sha256_abc + "</abc.dll></sha256></h>");
    ASSERT_EQ(keep_trusted_manifest(&ctx_, widen(scratch_.path()).c_str()), 1);
    write_whole_file(scratch_.file("abc.dll"), "");
    write_manifest(std::string("<h><sha256><abc.dll>") + sha256_empty + "</abc.dll></sha256></h>");
    EXPECT_EQ(verify_install_files(ctx_.manifest.get(), nullptr, &ctx_, record), 0);
    EXPECT_EQ(run(), 1) << "the replaced manifest would have passed it";

    ASSERT_EQ(std::remove(scratch_.file("hashes.xml").c_str()), 0);
    EXPECT_EQ(keep_trusted_manifest(&ctx_, widen(scratch_.path()).c_str()), 0);
    EXPECT_EQ(ctx_.manifest, nullptr) << "no manifest of an earlier package stays";
    EXPECT_EQ(verify_install_files(nullptr, nullptr, &ctx_, record), 0);
}
}   // namespace
