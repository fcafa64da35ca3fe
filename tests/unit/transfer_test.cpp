// The transfer layer against real servers on loopback: nginx (ranges, 206, 416), a server that
// ignores ranges, the agent-handler stand-in over HTTPS, and a proxy that records credentials.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/file_digest.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_context.h"
#include "download/transfer.h"
#include "download/url_host.h"
#include "fixtures/test_servers.h"
#include "test_support.h"

namespace {
constexpr size_t package_size = 3 * 1024 * 1024 + 123;
constexpr long long mebibyte = 1048576;

std::string random_bytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string data(size, '\0');
    for (auto& c : data) c = static_cast<char>(generator() & 0xFF);
    return data;
}

int never_cancel(run_context*, double, double) { return 0; }

// A file of `size` bytes that takes no disk space.
void make_sparse_file(const std::string& path, long long size) {
    { std::ofstream create(path, std::ios::binary); }
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
}

class TransferTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new scratch_folder;
        log_env_ = new scoped_env("TMPDIR", root_->path());
        set_severity_mask(log_debug_mask);
        open_log();
        std::filesystem::create_directory(root_->file("www"));
        package_ = new std::string(random_bytes(package_size, 7));
        write_whole_file(root_->file("www/package.zip"), *package_);
        write_whole_file(root_->file("www/small.bin"), random_bytes(1000, 8));
        nginx_ = new qsw_test::fixture_server("nginx_server.py", {"--root", root_->file("www")});
    }

    static void TearDownTestSuite() {
        delete nginx_;
        close_log();
        delete log_env_;
        delete package_;
        delete root_;
    }

    void SetUp() override {
        QSW_REQUIRE_SERVER(*nginx_);
        handle_.reset(create_transfer_handle(never_cancel, &context_, nullptr, nullptr));
        ASSERT_NE(handle_, nullptr);
        log_start_ = read_whole_file(log_path()).size();
    }

    void TearDown() override { free_options(); }

    static std::string log_path() { return root_->file("HolvenLogs/HolvenSwiftset.log"); }
    // What this test wrote to the log.
    std::string new_log() const { return read_whole_file(log_path()).substr(log_start_); }
    std::string url(const std::string& path) const { return nginx_->field("url") + path; }
    std::string out(const std::string& name) const { return work_.file(name); }

    // The last request nginx logged: waits for `count` entries in all.
    std::string nginx_entry(size_t count) const {
        auto lines = qsw_test::wait_for_lines(nginx_->field("access_log"), count);
        return lines.size() >= count ? lines[count - 1] : std::string();
    }
    size_t nginx_count() const { return qsw_test::read_lines(nginx_->field("access_log")).size(); }

    static scratch_folder* root_;
    static scoped_env* log_env_;
    static std::string* package_;
    static qsw_test::fixture_server* nginx_;
    scratch_folder work_;
    run_context context_;
    transfer_handle_ptr handle_;
    size_t log_start_ = 0;
};

scratch_folder* TransferTest::root_ = nullptr;
scoped_env* TransferTest::log_env_ = nullptr;
std::string* TransferTest::package_ = nullptr;
qsw_test::fixture_server* TransferTest::nginx_ = nullptr;

TEST_F(TransferTest, ResumeAppendsTheRestFromTheFileSize) {
    std::string target = out("package.zip");
    write_whole_file(target, package_->substr(0, mebibyte));
    size_t before = nginx_count();
    long code = 0;
    EXPECT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), target.c_str(), 0, "", &code, 1), 0);
    EXPECT_EQ(code, 206);
    EXPECT_TRUE(read_whole_file(target) == *package_);
    EXPECT_NE(new_log().find("Resume the file downloaded from 1.00 MB ( 1048576 Bytes ): " + target),
              std::string::npos);
    std::string entry = nginx_entry(before + 1);
    EXPECT_EQ(qsw_test::json_field(entry, "range"), "bytes=1048576-");
    EXPECT_EQ(qsw_test::json_field(entry, "body_bytes_sent"), std::to_string(package_size - mebibyte));
}

TEST_F(TransferTest, EmptyOrMissingFileIsFetchedWhole) {
    std::string target = out("package.zip");
    write_whole_file(target, "");
    long code = 0;
    EXPECT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), target.c_str(), 0, "", &code, 1), 0);
    EXPECT_EQ(code, 200);
    EXPECT_TRUE(read_whole_file(target) == *package_);
    EXPECT_NE(new_log().find("Partial download file is empty. Fresh file will be downloaded at: " + target),
              std::string::npos);

    std::string missing = out("missing.zip");
    EXPECT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), missing.c_str(), 0, "", &code, 1), 0);
    EXPECT_TRUE(read_whole_file(missing) == *package_);
    EXPECT_NE(new_log().find("Fresh file will be downloaded at: " + missing), std::string::npos);
}

// A handle that resumed once must not ask a later fresh download for a tail only.
TEST_F(TransferTest, FreshDownloadAfterResumeOnTheSameHandleIsWhole) {
    std::string partial = out("partial.zip");
    write_whole_file(partial, package_->substr(0, 2 * mebibyte));
    long code = 0;
    ASSERT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), partial.c_str(), 0, "", &code, 1), 0);
    ASSERT_EQ(code, 206);

    std::string fresh = out("fresh.zip");
    write_whole_file(fresh, std::string(5000, 'x'));
    size_t before = nginx_count();
    EXPECT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), fresh.c_str(), 0, "", &code, 0), 0);
    EXPECT_EQ(code, 200);
    EXPECT_TRUE(read_whole_file(fresh) == *package_);
    EXPECT_EQ(qsw_test::json_field(nginx_entry(before + 1), "range"), "");
}

TEST_F(TransferTest, CompleteFileEndsWith416AndStaysUntouched) {
    std::string target = out("package.zip");
    write_whole_file(target, *package_);
    long code = 0;
    EXPECT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), target.c_str(), 0, "", &code, 1), 22);
    EXPECT_EQ(code, 416);
    EXPECT_TRUE(read_whole_file(target) == *package_);
}

// Resuming fails on HTTP errors; a fresh transfer hands the code to the caller to judge.
TEST_F(TransferTest, HttpErrorsFailOnlyWhenResuming) {
    std::string target = out("nothing.zip");
    long code = 0;
    EXPECT_EQ(transfer_file(handle_.get(), url("/nothing.zip").c_str(), target.c_str(), 0, "", &code, 1), 22);
    EXPECT_EQ(code, 404);
    code = 0;
    EXPECT_EQ(transfer_file(handle_.get(), url("/nothing.zip").c_str(), target.c_str(), 0, "", &code, 0), 0);
    EXPECT_EQ(code, 404);
}

// Resume offsets past 2 GiB: a sparse file on both sides, only the last mebibyte travels.
TEST_F(TransferTest, ResumeBeyondTwoGibibytes) {
    const long long size = 5LL * 1024 * mebibyte / 2;   // 2.5 GiB
    std::string served = root_->file("www/large.bin");
    make_sparse_file(served, size);
    std::string target = out("large.bin");
    make_sparse_file(target, size - mebibyte);
    size_t before = nginx_count();
    long code = 0;
    EXPECT_EQ(transfer_file(handle_.get(), url("/large.bin").c_str(), target.c_str(), 0, "", &code, 1), 0);
    EXPECT_EQ(code, 206);
    EXPECT_EQ(static_cast<long long>(std::filesystem::file_size(target)), size);
    EXPECT_EQ(qsw_test::json_field(nginx_entry(before + 1), "range"), "bytes=" + std::to_string(size - mebibyte) + "-");
    EXPECT_NE(new_log().find("( " + std::to_string(size - mebibyte) + " Bytes )"), std::string::npos);
    std::filesystem::remove(served);
}

TEST_F(TransferTest, ServerIgnoringRangesGetsOneFreshAttempt) {
    qsw_test::fixture_server plain("static_server.py", {"--root", root_->file("www")});
    QSW_REQUIRE_SERVER(plain);
    std::string target = out("package.zip");
    write_whole_file(target, std::string(mebibyte, 'z'));   // wrong bytes: must not survive
    long code = 0;
    EXPECT_EQ(
        transfer_file(handle_.get(), (plain.field("url") + "/package.zip").c_str(), target.c_str(), 0, "", &code, 1),
        0);
    EXPECT_EQ(code, 200);
    EXPECT_TRUE(read_whole_file(target) == *package_);
    EXPECT_NE(new_log().find("The server doesn't honor the range request. Downloading fresh file."), std::string::npos);
}

// A handle that hashes while it writes leaves a digest of exactly the file on disk: from the
// first byte only (a resumed file is read when checked), and after a server that ignored the
// range, of the fresh attempt alone.
TEST_F(TransferTest, FilesWrittenFromTheFirstByteAreHashedOnTheWay) {
    std::string expected;
    ASSERT_TRUE(os_file_digest(root_->file("www/package.zip"), os_digest_kind::sha256, expected));
    qsw_test::fixture_server plain("static_server.py", {"--root", root_->file("www")});
    QSW_REQUIRE_SERVER(plain);
    forget_file_digests();
    set_transfer_digest(handle_.get(), true);
    long code = 0;
    std::string fresh = out("fresh.zip"), resumed = out("resumed.zip"), ignored = out("ignored.zip");
    ASSERT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), fresh.c_str(), 0, "", &code, 0), 0);
    write_whole_file(resumed, package_->substr(0, mebibyte));
    ASSERT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), resumed.c_str(), 0, "", &code, 1), 0);
    write_whole_file(ignored, std::string(mebibyte, 'z'));
    ASSERT_EQ(
        transfer_file(handle_.get(), (plain.field("url") + "/package.zip").c_str(), ignored.c_str(), 0, "", &code, 1),
        0);
    uint64_t reads = file_digest_reads();
    EXPECT_EQ(verify_file_digest(widen(fresh).c_str(), expected.c_str()), 1);
    EXPECT_EQ(verify_file_digest(widen(ignored).c_str(), expected.c_str()), 1);
    EXPECT_EQ(file_digest_reads(), reads) << "hashed on the way";
    EXPECT_EQ(verify_file_digest(widen(resumed).c_str(), expected.c_str()), 1);
    EXPECT_EQ(file_digest_reads(), reads + 1) << "a resumed file is read whole";

    set_transfer_digest(handle_.get(), false);
    std::string plain_file = out("plain.zip");
    ASSERT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), plain_file.c_str(), 0, "", &code, 0), 0);
    EXPECT_EQ(verify_file_digest(widen(plain_file).c_str(), expected.c_str()), 1);
    EXPECT_EQ(file_digest_reads(), reads + 2);
    forget_file_digests();
}

// What a follower was told, and whether the file on disk held at least as much each time.
struct recording_follower : transfer_follower {
    std::string path;
    std::vector<std::string> calls;
    bool behind_the_file = true;
    void started(const char* file) override {
        path = file;
        calls.push_back("started");
    }
    void flushed(uint64_t length) override {
        std::error_code error;
        if (std::filesystem::file_size(path, error) < length) behind_the_file = false;
        if (calls.back().rfind("flushed", 0) != 0) calls.push_back("flushed");
    }
    void ended(bool whole, uint64_t length) override {
        calls.push_back(std::string(whole ? "whole " : "cut ") + std::to_string(length));
    }
};

// Only files written from the first byte are followed: a fresh download, the fresh attempt after
// a server ignored the range; never a resumed one. Flushes run ahead of the follower, and every
// start ends once, whole or not.
TEST_F(TransferTest, FollowerSeesFilesWrittenFromTheFirstByte) {
    qsw_test::fixture_server plain("static_server.py", {"--root", root_->file("www")});
    QSW_REQUIRE_SERVER(plain);
    recording_follower follower;
    set_transfer_follower(handle_.get(), &follower);
    long code = 0;
    std::string fresh = out("fresh.zip"), resumed = out("resumed.zip"), ignored = out("ignored.zip");
    ASSERT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), fresh.c_str(), 0, "", &code, 0), 0);
    std::string whole = "whole " + std::to_string(package_size);
    EXPECT_EQ(follower.calls, (std::vector<std::string>{"started", "flushed", whole}));
    EXPECT_TRUE(follower.behind_the_file);

    follower.calls.clear();
    write_whole_file(resumed, package_->substr(0, mebibyte));
    ASSERT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), resumed.c_str(), 0, "", &code, 1), 0);
    EXPECT_TRUE(follower.calls.empty());

    write_whole_file(ignored, std::string(mebibyte, 'z'));
    ASSERT_EQ(
        transfer_file(handle_.get(), (plain.field("url") + "/package.zip").c_str(), ignored.c_str(), 0, "", &code, 1),
        0);
    EXPECT_EQ(follower.calls, (std::vector<std::string>{"started", "flushed", whole}));
    EXPECT_EQ(follower.path, ignored);

    follower.calls.clear();
    ASSERT_NE(
        transfer_file(handle_.get(), "http://127.0.0.1:1/package.zip", out("refused.zip").c_str(), 0, "", &code, 0), 0);
    EXPECT_EQ(follower.calls, (std::vector<std::string>{"started", "cut 0"}));
    set_transfer_follower(handle_.get(), nullptr);
}

struct cancel_probe {
    double largest_total = 0;
    double cancel_after = 0;
};
cancel_probe* active_probe = nullptr;

int cancel_when_started(run_context* ctx, double total, double now) {
    active_probe->largest_total = std::max(active_probe->largest_total, total);
    if (now >= active_probe->cancel_after) ctx->cancel_flag = 1;
    return ctx->cancel_flag.load();
}

TEST_F(TransferTest, ProgressFunctionCancelsTheTransfer) {
    cancel_probe probe;
    probe.cancel_after = 64 * 1024;
    active_probe = &probe;
    run_context ctx;
    transfer_handle_ptr handle(create_transfer_handle(cancel_when_started, &ctx, nullptr, nullptr));
    std::string target = out("package.zip");
    long code = 0;
    // /slow/ sends 256 KiB per second: the whole file would take 12 seconds.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(transfer_file(handle.get(), url("/slow/package.zip").c_str(), target.c_str(), 0, "", &code, 0), 42);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(code, 200);
    EXPECT_EQ(probe.largest_total, static_cast<double>(package_size));
    EXPECT_LT(std::filesystem::file_size(target), package_size);
    active_probe = nullptr;
}

TEST_F(TransferTest, ArgumentAndFileFailures) {
    long code = 7;
    std::string target = out("x.zip");
    EXPECT_EQ(transfer_file(nullptr, url("/small.bin").c_str(), target.c_str(), 0, "", &code, 0), 2);
    EXPECT_EQ(transfer_file(handle_.get(), url("/small.bin").c_str(), target.c_str(), 0, "", nullptr, 0), 2);
    EXPECT_EQ(transfer_file(handle_.get(), url("/small.bin").c_str(), out("no/such/folder/x").c_str(), 0, "", &code, 0),
              2);
    EXPECT_EQ(code, 7);   // untouched when nothing was transferred
    EXPECT_EQ(apply_route(nullptr, nullptr), 2);
}

// A transfer that never started has no response code, whatever the handle's last one was.
TEST_F(TransferTest, OptionFailingBeforeTheStartReportsCodeZero) {
    long code = 0;
    ASSERT_EQ(transfer_file(handle_.get(), url("/small.bin").c_str(), out("a").c_str(), 0, "", &code, 0), 0);
    ASSERT_EQ(code, 200);
    std::string overlong = url("/") + std::string(9000000, 'x');   // libcurl refuses inputs over 8 MB
    EXPECT_EQ(transfer_file(handle_.get(), overlong.c_str(), out("b").c_str(), 0, "", &code, 0), 43);
    EXPECT_EQ(code, 0);
    code = 200;
    std::string overlong_ca = "/" + std::string(9000000, 'c');
    EXPECT_EQ(
        transfer_file(handle_.get(), url("/small.bin").c_str(), out("c").c_str(), 1, overlong_ca.c_str(), &code, 0),
        43);
    EXPECT_EQ(code, 0);
}

// The last buffered bytes go out when the file closes; a failure there is a failed transfer.
TEST_F(TransferTest, WriteFailureAtCloseIsReported) {
    if (!path_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    long code = 0;
    EXPECT_EQ(transfer_file(handle_.get(), url("/small.bin").c_str(), "/dev/full", 0, "", &code, 0), 23);
    EXPECT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), "/dev/full", 0, "", &code, 0), 23);
    EXPECT_TRUE(path_exists("/dev/full")) << "only a regular file that failed is removed";
}

// A file that cannot be written (a full disk; here a file size limit) is removed at once, resumed
// or not, so that the space it held is free again, and the log says what failed where.
TEST_F(TransferTest, FileThatCannotBeWrittenIsRemovedAndReported) {
    struct rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    std::string target = out("package.zip");
    for (int resume : {0, 1}) {
        if (resume) write_whole_file(target, package_->substr(0, 1000));
        struct rlimit limit = old_limit;
        limit.rlim_cur = 2 * 1024 * 1024;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        long code = 0;
        int result = transfer_file(handle_.get(), url("/package.zip").c_str(), target.c_str(), 0, "", &code, resume);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old_limit), 0);
        EXPECT_EQ(result, 23) << resume;
        EXPECT_FALSE(path_exists(target)) << resume;
        EXPECT_NE(new_log().find("Writing " + target + " failed: File too large; the partial file was removed"),
                  std::string::npos)
            << resume;
    }
    signal(SIGXFSZ, old_handler);
    // The next transfer on the same handle is not taken for a failed one.
    long code = 0;
    EXPECT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), target.c_str(), 0, "", &code, 0), 0);
    EXPECT_EQ(read_whole_file(target), *package_);
}

// ---------------------------------------------------------------------------------------------
// Hostile servers: where a redirect may lead, how much and how slowly a server may send

class HostileServerTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        hostile_ = std::make_unique<qsw_test::fixture_server>("hostile_http.py",
                                                              std::vector<std::string>{"--record", record_});
        QSW_REQUIRE_SERVER(*hostile_);
    }
    std::string hostile(const std::string& path) const { return hostile_->field("url") + path; }
    std::string sink(const std::string& scheme) const {
        return scheme + "://127.0.0.1:" + hostile_->field("sink_port") + "/x";
    }
    // Connections the sink accepted; `at_least` waits for that many.
    size_t sink_hits(size_t at_least = 0) const { return qsw_test::wait_for_lines(record_, at_least).size(); }
    int fetch(const std::string& url, long* code) {
        return transfer_file(handle_.get(), url.c_str(), out("hostile.bin").c_str(), 0, "", code, 0);
    }

    std::string record_ = work_.file("sink.txt");
    std::unique_ptr<qsw_test::fixture_server> hostile_;
};

TEST_F(HostileServerTest, OnlyHttpAndHttpsAreReachedDirectlyOrByRedirect) {
    long code = 0;
    EXPECT_EQ(fetch(sink("ftp"), &code), 1) << "an ftp URL is refused";
    EXPECT_EQ(fetch(hostile("/redirect?to=" + sink("ftp")), &code), 1) << "a redirect to ftp is refused";
    EXPECT_EQ(code, 302);
    EXPECT_EQ(fetch(hostile("/redirect?to=file:///etc/passwd"), &code), 1) << "a redirect to a local file is refused";
    EXPECT_EQ(read_whole_file(out("hostile.bin")).find("root:"), std::string::npos);

    // A redirect to http is followed by default: the sink's one connection shows that it is
    // reachable, so the refusals above were not for want of a listener.
    EXPECT_NE(fetch(hostile("/redirect?to=" + sink("http")), &code), 0);
    EXPECT_EQ(sink_hits(1), 1u) << "only the http redirect reached the sink";
}

TEST_F(HostileServerTest, RedirectsAreNotFollowedWhenTheLimitsSaySo) {
    transfer_limits limits = default_transfer_limits;
    limits.follow_redirects = false;
    set_transfer_limits(handle_.get(), &limits);
    long code = 0;
    EXPECT_EQ(fetch(hostile("/redirect?to=" + sink("http")), &code), 0);
    EXPECT_EQ(code, 302);

    set_transfer_limits(handle_.get(), nullptr);   // the defaults again: followed
    EXPECT_NE(fetch(hostile("/redirect?to=" + sink("http")), &code), 0);
    EXPECT_EQ(sink_hits(1), 1u) << "the first redirect was not followed, the second was";
}

// An endless body stops at the cap, a size announced over the cap before any body, a trickle
// below the floor once the floor's time has passed; each in bounded time.
TEST_F(HostileServerTest, CapAndFloorEndFloodsAndTrickles) {
    transfer_limits limits = {true, 4 * mebibyte, 16 * 1024, 2};
    set_transfer_limits(handle_.get(), &limits);
    long code = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fetch(hostile("/endless"), &code), 23);
    EXPECT_EQ(code, 200);
    EXPECT_LE(static_cast<long long>(std::filesystem::file_size(out("hostile.bin"))), 4 * mebibyte);
    EXPECT_NE(new_log().find("Download of " + out("hostile.bin") + " stopped: larger than 4194304 bytes"),
              std::string::npos);

    EXPECT_EQ(fetch(hostile("/announce-stall"), &code), 63);
    EXPECT_LT(std::filesystem::file_size(out("hostile.bin")), 4096u) << "refused before the body";

    EXPECT_EQ(fetch(hostile("/trickle"), &code), 28);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

    // The defaults again: no cap, so a complete file passes whatever its size.
    set_transfer_limits(handle_.get(), nullptr);
    EXPECT_EQ(transfer_file(handle_.get(), url("/package.zip").c_str(), out("p").c_str(), 0, "", &code, 0), 0);
    EXPECT_TRUE(read_whole_file(out("p")) == *package_);
}

// ---------------------------------------------------------------------------------------------
// Routes and proxy credentials

class RouteTest : public TransferTest {};

TEST_F(RouteTest, PasswordAloneSetsEmptyUserAndPasswordForTheProxy) {
    qsw_test::fixture_server proxy("recording_proxy.py",
                                   {"--user", "", "--password", "s3cret", "--record", work_.file("proxy.jsonl")});
    QSW_REQUIRE_SERVER(proxy);
    ASSERT_EQ(set_option(OPT_PROXY_PASSWORD, L"s3cret"), 1);

    proxy_record route{};
    route.route_kind = ROUTE_PROXY;
    ASSERT_EQ(set_proxy_host(&route, "127.0.0.1", proxy.port()), 1);
    ASSERT_EQ(apply_route(handle_.get(), &route), 0);
    std::string target = out("small.bin");
    write_whole_file(target, "partial");   // no resume through a proxy
    long code = 0;
    EXPECT_EQ(transfer_via_route(handle_.get(), &route, url("/small.bin").c_str(), target.c_str(), 0, "", &code, 1), 0);
    EXPECT_EQ(code, 200);
    EXPECT_EQ(read_whole_file(target), read_whole_file(root_->file("www/small.bin")));
    EXPECT_STREQ(route.proxy_user, L"");
    EXPECT_STREQ(route.proxy_password, L"s3cret");

    auto records = qsw_test::read_lines(work_.file("proxy.jsonl"));
    ASSERT_FALSE(records.empty());
    // ":s3cret" in base64: an empty user name and the password.
    EXPECT_EQ(qsw_test::json_field(records.back(), "proxy_authorization"), "Basic OnMzY3JldA==");
    std::string log = new_log();
    EXPECT_NE(log.find("Setting proxy credentials"), std::string::npos);
    EXPECT_NE(log.find("Fresh file will be downloaded at: " + target), std::string::npos);
    EXPECT_EQ(log.find("OnMzY3JldA"), std::string::npos) << "credentials reached the log";
}

// libcurl names the user in its own lines ("Proxy auth using Basic with user '...'"); a name
// with a quote in it must not leak its tail either.
TEST_F(RouteTest, ProxyUserNameNeverReachesTheLog) {
    const std::string user = "o'quenta-proxy-user";
    qsw_test::fixture_server proxy("recording_proxy.py",
                                   {"--user", user, "--password", "pw-secret", "--record", work_.file("proxy.jsonl")});
    QSW_REQUIRE_SERVER(proxy);
    ASSERT_EQ(set_option(OPT_PROXY_USER, widen(user).c_str()), 1);
    ASSERT_EQ(set_option(OPT_PROXY_PASSWORD, L"pw-secret"), 1);
    proxy_record route{};
    route.route_kind = ROUTE_PROXY;
    ASSERT_EQ(set_proxy_host(&route, "127.0.0.1", proxy.port()), 1);
    ASSERT_EQ(apply_route(handle_.get(), &route), 0);
    long code = 0;
    ASSERT_EQ(transfer_via_route(handle_.get(), &route, url("/small.bin").c_str(), out("s").c_str(), 0, "", &code, 0),
              0);
    EXPECT_EQ(code, 200) << "the proxy took the credentials";
    std::string log = new_log();
    EXPECT_NE(log.find("Proxy auth using Basic with user '*'"), std::string::npos);
    EXPECT_NE(log.find("Proxy-Authorization: *"), std::string::npos);
    EXPECT_EQ(log.find("quenta-proxy-user"), std::string::npos) << "the user name reached the log";
    EXPECT_EQ(log.find("pw-secret"), std::string::npos);
}

TEST_F(RouteTest, CredentialsOnlyForProxiesAndResumeOnlyDirect) {
    ASSERT_EQ(set_option(OPT_PROXY_USER, L"alice"), 1);
    ASSERT_EQ(set_option(OPT_PROXY_PASSWORD, L"pw"), 1);
    proxy_record route{};
    route.route_kind = ROUTE_AGENT_HANDLER;
    std::string target = out("package.zip");
    write_whole_file(target, package_->substr(0, mebibyte));
    size_t before = nginx_count();
    long code = 0;
    EXPECT_EQ(transfer_via_route(handle_.get(), &route, url("/package.zip").c_str(), target.c_str(), 0, "", &code, 1),
              0);
    EXPECT_EQ(code, 206);
    EXPECT_TRUE(read_whole_file(target) == *package_);
    EXPECT_STREQ(route.proxy_password, L"");
    EXPECT_EQ(new_log().find("Setting proxy credentials"), std::string::npos);
    EXPECT_EQ(qsw_test::json_field(nginx_entry(before + 1), "user_agent"), "");   // apply_route not called

    ASSERT_EQ(apply_route(handle_.get(), &route), 0);
    route.route_kind = ROUTE_RELAY;   // no host: the transfer stays direct, but fresh
    write_whole_file(target, package_->substr(0, mebibyte));
    EXPECT_EQ(transfer_via_route(handle_.get(), &route, url("/package.zip").c_str(), target.c_str(), 0, "", &code, 1),
              0);
    EXPECT_EQ(code, 200);
    std::string entry = nginx_entry(before + 2);
    EXPECT_EQ(qsw_test::json_field(entry, "range"), "");
    EXPECT_EQ(qsw_test::json_field(entry, "user_agent"), "Holven Agent");
}

TEST_F(RouteTest, ProxyIsSetOnlyForAValidPort) {
    proxy_record route{};
    route.route_kind = ROUTE_PROXY;
    ASSERT_EQ(set_proxy_host(&route, "127.0.0.1", 0), 1);   // port 0: no proxy at all
    ASSERT_EQ(apply_route(handle_.get(), &route), 0);
    long code = 0;
    EXPECT_EQ(transfer_file(handle_.get(), url("/small.bin").c_str(), out("a").c_str(), 0, "", &code, 0), 0);
    EXPECT_EQ(code, 200);

    // A closed port as proxy: the transfer must go there and fail to connect.
    int closed_port = nginx_->port() == 1 ? 2 : 1;
    ASSERT_EQ(set_proxy_host(&route, "127.0.0.1", closed_port), 1);
    ASSERT_EQ(apply_route(handle_.get(), &route), 0);
    EXPECT_EQ(transfer_file(handle_.get(), url("/small.bin").c_str(), out("b").c_str(), 0, "", &code, 0), 7);

    std::string too_long(260, 'h');   // the host field holds 260 bytes, terminator included
    EXPECT_EQ(set_proxy_host(&route, too_long.c_str(), 8080), 0);
    EXPECT_STREQ(route.host, "127.0.0.1");
}

bool any_attempt(int, long) { return true; }

// Only a link-local host needs a scope id; without a scope list such a URL is not fetched, but
// "fe80" in a token, a GUID, a name or a path must not stop a download.
TEST_F(RouteTest, LinkLocalRuleLooksAtTheHostOnly) {
    proxy_record route{};
    route.route_kind = ROUTE_AGENT_HANDLER;
    long code = 0;
    for (const std::string path :
         {"/small.bin?TokenCode=fe80", "/small.bin?AgentGUID=fe80a1b2-0000-4000-8000-000000000000",
          "/small.bin?MachineName=cafe80.example", "/fe80/../small.bin"}) {
        code = 0;
        EXPECT_EQ(transfer_trying_scopes(handle_.get(), &route, url(path).c_str(), out("f").c_str(), 0, "", &code, 0,
                                         L"scope id set to %d", any_attempt),
                  0)
            << path;
        EXPECT_EQ(code, 200) << path;
    }
    size_t before = nginx_count();
    std::string port = std::to_string(nginx_->port());
    for (const std::string host : {"[fe80::1]", "[FE80::1]", "[febf::2]", "[fe80::1%25lo]"}) {
        code = 7;
        EXPECT_EQ(transfer_trying_scopes(handle_.get(), &route, ("http://" + host + ":" + port + "/small.bin").c_str(),
                                         out("g").c_str(), 0, "", &code, 0, L"scope id set to %d", any_attempt),
                  transfer_not_made)
            << host;
        EXPECT_EQ(code, 0) << host;
    }
    EXPECT_EQ(nginx_count(), before);
    EXPECT_EQ(new_log().find("scope id set to"), std::string::npos);
}

// libcurl takes a proxy from the environment by itself; only the proxy road may use one, and
// only the one it names.
TEST_F(RouteTest, OnlyTheProxyRoadGoesThroughAProxyWhateverTheEnvironmentSays) {
    std::string records = work_.file("proxy.jsonl");
    qsw_test::fixture_server proxy("recording_proxy.py", {"--record", records});
    QSW_REQUIRE_SERVER(proxy);
    std::string through = "http://127.0.0.1:" + std::to_string(proxy.port());
    scoped_env http("http_proxy", through), http_upper("HTTP_PROXY", through), all("all_proxy", through);
    scoped_env no_proxy("no_proxy", "127.0.0.1,localhost");
    auto proxied = [&] { return qsw_test::read_lines(records).size(); };
    long code = 0;

    transfer_handle_ptr fresh(create_transfer_handle(never_cancel, &context_, nullptr, nullptr));
    EXPECT_EQ(transfer_file(fresh.get(), url("/small.bin").c_str(), out("a").c_str(), 0, "", &code, 0), 0);
    proxy_record direct{};
    direct.route_kind = ROUTE_AGENT_HANDLER;
    EXPECT_EQ(transfer_via_route(fresh.get(), &direct, url("/small.bin").c_str(), out("b").c_str(), 0, "", &code, 0),
              0);
    EXPECT_EQ(code, 200);
    EXPECT_EQ(proxied(), 0u) << "a direct road went through the environment's proxy";

    proxy_record route{};
    route.route_kind = ROUTE_PROXY;
    ASSERT_EQ(set_proxy_host(&route, "127.0.0.1", proxy.port()), 1);
    ASSERT_EQ(apply_route(fresh.get(), &route), 0);
    EXPECT_EQ(transfer_via_route(fresh.get(), &route, url("/small.bin").c_str(), out("c").c_str(), 0, "", &code, 0), 0);
    EXPECT_EQ(proxied(), 1u) << "the proxy road must use its proxy, whatever no_proxy says";

    // The same handle afterwards on a direct road, and for a peer (no route at all).
    for (const proxy_record* road :
         {static_cast<const proxy_record*>(&direct), static_cast<const proxy_record*>(nullptr)}) {
        ASSERT_EQ(apply_route(fresh.get(), road), 0);
        EXPECT_EQ(transfer_file(fresh.get(), url("/small.bin").c_str(), out("d").c_str(), 0, "", &code, 0), 0);
        EXPECT_EQ(code, 200);
    }
    EXPECT_EQ(proxied(), 1u) << "a reused handle kept the proxy of an earlier road";
}

// The prompt hook of the proxy road: answers with `prompt_answer` (or declines when it is null).
int prompts_made = 0;
const wchar_t* const* prompt_answer = nullptr;

int answer_prompt(proxy_record* record) {
    ++prompts_made;
    if (!prompt_answer) return 0;
    std::wcscpy(record->proxy_user, prompt_answer[0]);
    std::wcscpy(record->proxy_password, prompt_answer[1]);
    return 1;
}

class ProxyPromptTest : public RouteTest {
protected:
    void SetUp() override {
        RouteTest::SetUp();
        proxy_ = std::make_unique<qsw_test::fixture_server>(
            "recording_proxy.py",
            std::vector<std::string>{"--user", "alice", "--password", "pw", "--record", records()});
        QSW_REQUIRE_SERVER(*proxy_);
        route_.route_kind = ROUTE_PROXY;
        route_.prompt_credentials = answer_prompt;
        ASSERT_EQ(set_proxy_host(&route_, "127.0.0.1", proxy_->port()), 1);
        prompts_made = 0;
        prompt_answer = nullptr;
    }
    std::string records() const { return work_.file("proxy.jsonl"); }
    long fetch(transfer_handle* handle, const std::string& name) {
        long code = 0;
        apply_route(handle, &route_);
        transfer_via_route(handle, &route_, url("/small.bin").c_str(), out(name).c_str(), 0, "", &code, 0);
        return code;
    }

    std::unique_ptr<qsw_test::fixture_server> proxy_;
    proxy_record route_{};
};

TEST_F(ProxyPromptTest, A407AsksThePersonAndTheAnswerServesTheWholeRoad) {
    static const wchar_t* const right[] = {L"alice", L"pw"};
    prompt_answer = right;
    ASSERT_EQ(set_option(OPT_PROXY_USER, L"alice"), 1);
    ASSERT_EQ(set_option(OPT_PROXY_PASSWORD, L"wrong"), 1);
    EXPECT_EQ(fetch(handle_.get(), "a"), 200);
    EXPECT_EQ(prompts_made, 1);
    EXPECT_EQ(route_.credentials_entered, 1);
    auto lines = qsw_test::read_lines(records());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(qsw_test::json_field(lines.back(), "proxy_authorization"), "Basic YWxpY2U6cHc=");   // alice:pw
    EXPECT_NE(new_log().find("The proxy asked for credentials (407): trying again with those entered"),
              std::string::npos);

    // The next retrieval's handle gets the entered credentials at once, not the options'.
    transfer_handle_ptr next(create_transfer_handle(never_cancel, &context_, nullptr, nullptr));
    size_t before = qsw_test::read_lines(records()).size();
    EXPECT_EQ(fetch(next.get(), "b"), 200);
    EXPECT_EQ(prompts_made, 1);
    lines = qsw_test::read_lines(records());
    ASSERT_GT(lines.size(), before);
    for (size_t i = before; i < lines.size(); ++i)
        EXPECT_NE(qsw_test::json_field(lines[i], "proxy_authorization"), "Basic YWxpY2U6d3Jvbmc=")
            << "alice:wrong sent";

    clear_proxy_credentials(&route_);   // a new mechanism call starts from the options again
    EXPECT_EQ(route_.credentials_entered, 0);
    EXPECT_EQ(route_.proxy_password[0], L'\0');
}

TEST_F(ProxyPromptTest, DecliningOrWrongAnswersEndWithThe407) {
    EXPECT_EQ(fetch(handle_.get(), "a"), 407);
    EXPECT_EQ(prompts_made, 1) << "declined: no further prompt";
    EXPECT_EQ(new_log().find("The proxy asked for credentials"), std::string::npos);

    static const wchar_t* const wrong[] = {L"alice", L"nope"};
    prompt_answer = wrong;
    prompts_made = 0;
    clear_proxy_credentials(&route_);
    EXPECT_EQ(fetch(handle_.get(), "b"), 407);
    EXPECT_EQ(prompts_made, 3) << "a bounded number of prompts per transfer";

    route_.prompt_credentials = nullptr;   // silent run: nobody to ask
    prompts_made = 0;
    EXPECT_EQ(fetch(handle_.get(), "c"), 407);
    EXPECT_EQ(prompts_made, 0);
}

TEST(UrlHost, HostsAsLibcurlDialsThem) {
    EXPECT_EQ(url_host("https://lumacore.example:443/config?x=fe80::1"), "lumacore.example");
    EXPECT_EQ(url_host("https://NAME:443/config?TokenCode=1"), "NAME");
    EXPECT_EQ(url_host("https://[fe80::1%25eth0]:443/x"), "fe80::1");
    EXPECT_EQ(url_host("https://[2001:db8::1]/x"), "2001:db8::1");
    EXPECT_EQ(url_host("https://::1%1:443/x"), "") << "an unbracketed IPv6 host is no URL";
    EXPECT_EQ(url_host(nullptr), "");
    EXPECT_TRUE(is_link_local_ipv6("fe80::1"));
    EXPECT_TRUE(is_link_local_ipv6("FEBF::1"));
    EXPECT_FALSE(is_link_local_ipv6("fec0::1"));
    EXPECT_FALSE(is_link_local_ipv6("fe8::1")) << "the group 0fe8";
    EXPECT_FALSE(is_link_local_ipv6("2001:db8::fe80"));
    EXPECT_FALSE(is_link_local_ipv6("fe80.example"));
}

// ---------------------------------------------------------------------------------------------
// HTTPS against the agent-handler stand-in

struct header_log {
    std::vector<std::pair<std::wstring, std::wstring>> lines;
};
header_log* active_headers = nullptr;

int record_header(const wchar_t* name, const wchar_t* value, run_context*) {
    active_headers->lines.emplace_back(name, value);
    return 0;
}

class AgentHandlerTest : public TransferTest {
protected:
    static void SetUpTestSuite() {
        TransferTest::SetUpTestSuite();
        certs_ = new scratch_folder;
        server_ = new qsw_test::fixture_server(
            "agent_handler.py",
            {"--package", root_->file("www/package.zip"), "--token", "good", "--token", "once:1", "--certs",
             certs_->path(), "--listen", "127.0.0.1", "--raw-header", "X-Compact:no-blank"});
        other_ca_ = qsw_test::json_field(
            qsw_test::run_fixture_tool("certs.py", {"ca", certs_->file("other"), "Other CA"}), "cert");
    }
    static void TearDownTestSuite() {
        delete server_;
        delete certs_;
        TransferTest::TearDownTestSuite();
    }
    void SetUp() override {
        TransferTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        QSW_REQUIRE_SERVER(*server_);
    }
    std::string config_url(const std::string& token) const {
        return "https://127.0.0.1:" + std::to_string(server_->port()) + "/config?TokenCode=" + token +
               "&ComputerName=HOST&AgentGUID=g&MachineName=host.example";
    }
    // One transfer on a new handle, so that no TLS session or connection is reused. The server's
    // certificate names it by 127.0.0.1 (among others).
    int fetch(const std::string& token, int verify, const std::string& ca, long* code,
              const std::vector<std::string>& names = {"127.0.0.1"}, const std::string& base = "") {
        transfer_handle_ptr handle(create_transfer_handle(never_cancel, &context_, nullptr, nullptr));
        EXPECT_EQ(set_transfer_server_names(handle.get(), names), 0);
        std::string url = base.empty() ? config_url(token) : base + "/config?TokenCode=" + token;
        return transfer_file(handle.get(), url.c_str(), out("config.zip").c_str(), verify, ca.c_str(), code, 0);
    }

    static scratch_folder* certs_;
    static qsw_test::fixture_server* server_;
    static std::string other_ca_;
};

scratch_folder* AgentHandlerTest::certs_ = nullptr;
qsw_test::fixture_server* AgentHandlerTest::server_ = nullptr;
std::string AgentHandlerTest::other_ca_;

TEST_F(AgentHandlerTest, HeaderHookPassesNamedLinesOnly) {
    header_log headers;
    active_headers = &headers;
    transfer_handle_ptr handle(create_transfer_handle(never_cancel, &context_, record_header, &context_));
    long code = 0;
    ASSERT_EQ(transfer_file(handle.get(), config_url("good").c_str(), out("config.zip").c_str(), 0, "", &code, 0), 0);
    EXPECT_EQ(code, 200);
    EXPECT_TRUE(read_whole_file(out("config.zip")) == *package_);
    active_headers = nullptr;

    std::map<std::wstring, std::wstring> by_name(headers.lines.begin(), headers.lines.end());
    EXPECT_EQ(by_name[L"Config-Hash"], widen(server_->field("config_hash")));
    EXPECT_EQ(by_name[L"Install-Hash"], widen(server_->field("install_hash")));
    EXPECT_EQ(by_name[L"Tenant-ID"], widen(server_->field("tenant_id")));
    EXPECT_EQ(by_name[L"Content-Length"], std::to_wstring(package_size));
    EXPECT_EQ(by_name[L"X-Compact"], L"no-blank");   // the value keeps its first character
    for (const auto& [name, value] : headers.lines) {
        EXPECT_FALSE(name.empty());
        EXPECT_NE(name.rfind(L"HTTP/", 0), 0u) << "status line passed on";
        EXPECT_EQ(value.find_first_of(L"\r\n"), std::wstring::npos);
        EXPECT_NE(value.front(), L' ');
    }
}

TEST_F(AgentHandlerTest, TokenAndUseCountAnswers) {
    long code = 0;
    EXPECT_EQ(fetch("unknown", 0, "", &code), 0);
    EXPECT_EQ(code, 404);
    EXPECT_EQ(fetch("once", 0, "", &code), 0);
    EXPECT_EQ(code, 200);
    EXPECT_EQ(fetch("once", 0, "", &code), 0);
    EXPECT_EQ(code, 403);
}

TEST_F(AgentHandlerTest, TlsModes) {
    std::string ca = server_->field("ca");
    ASSERT_FALSE(ca.empty());
    ASSERT_FALSE(other_ca_.empty());
    long code = 0;
    EXPECT_EQ(fetch("good", 1, ca, &code), 0) << "CA bundle of the server's CA";
    EXPECT_EQ(code, 200);
    EXPECT_NE(new_log().find("certificate passed to curl"), std::string::npos);

    code = 0;
    EXPECT_EQ(fetch("good", 1, other_ca_, &code), 60) << "bundle of another CA";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fetch("good", 0, other_ca_, &code), 0) << "no verification";
    EXPECT_EQ(fetch("good", 1, "", &code), 60) << "system trust store does not know the test CA";
    {
        scoped_env system_store("SSL_CERT_FILE", ca);
        EXPECT_EQ(fetch("good", 1, "", &code), 0) << "system trust store that holds the test CA";
    }
}

// One handle through all modes, as a retrieval reuses it: each attempt gets the mode it asks for.
TEST_F(AgentHandlerTest, ModeOfEachAttemptApplies) {
    long code = 0;
    std::string target = out("config.zip");
    ASSERT_EQ(set_transfer_server_names(handle_.get(), {"localhost", "127.0.0.1"}), 0);
    EXPECT_EQ(transfer_file(handle_.get(), config_url("good").c_str(), target.c_str(), 1, "", &code, 0), 60);
    EXPECT_EQ(transfer_file(handle_.get(), config_url("good").c_str(), target.c_str(), 1, other_ca_.c_str(), &code, 0),
              60);
    EXPECT_EQ(transfer_file(handle_.get(), config_url("good").c_str(), target.c_str(), 1, server_->field("ca").c_str(),
                            &code, 0),
              0);
    EXPECT_EQ(code, 200);
}

TEST(ServerCertificate, NoContextIsAnEngineError) {
    EXPECT_EQ(verify_server_certificate(nullptr, nullptr, nullptr), 66);
    EXPECT_EQ(require_server_names(nullptr, nullptr, nullptr), 66);
}

// Servers with certificates of the agent handler's own CA for other names: in both verifying
// modes they are refused unless one of the expected names is theirs (by DNS or IP alternative
// name, or by common name when there is no alternative name); -k checks nothing.
TEST_F(AgentHandlerTest, CertificateMustNameTheServer) {
    std::string ca = server_->field("ca");
    ASSERT_FALSE(ca.empty());
    auto issue = [&](const std::vector<std::string>& args) {
        std::vector<std::string> all = {"server", certs_->path(), ca, certs_->file("ca.key")};
        all.insert(all.end(), args.begin(), args.end());
        return qsw_test::run_fixture_tool("certs.py", all);
    };
    std::string other = issue({"--name", "other-agent.example", "--ip", "10.9.9.9", "--stem", "other"});
    std::string cn_only = issue({"--name", "cn-only.example", "--no-san", "--stem", "cn"});
    auto serve = [&](const std::string& issued) {
        return std::make_unique<qsw_test::fixture_server>(
            "agent_handler.py",
            std::vector<std::string>{"--package", root_->file("www/small.bin"), "--token", "good", "--listen",
                                     "127.0.0.1", "--cert", qsw_test::json_field(issued, "cert"), "--key",
                                     qsw_test::json_field(issued, "key")});
    };
    auto impostor = serve(other);
    auto cn_server = serve(cn_only);
    QSW_REQUIRE_SERVER(*impostor);
    QSW_REQUIRE_SERVER(*cn_server);
    std::string impostor_url = "https://127.0.0.1:" + std::to_string(impostor->port());
    std::string cn_url = "https://127.0.0.1:" + std::to_string(cn_server->port());
    const std::vector<std::string> handler_names = {"lumacore.example", "127.0.0.1", "LUMACORE"};

    long code = 0;
    scoped_env system_store("SSL_CERT_FILE", ca);
    for (const std::string& bundle : {ca, std::string()}) {
        SCOPED_TRACE(bundle.empty() ? "system trust store" : "CA bundle");
        code = 0;
        EXPECT_EQ(fetch("good", 1, bundle, &code, handler_names, impostor_url), 60);
        EXPECT_EQ(code, 0) << "nothing was sent to the impostor";
        EXPECT_EQ(fetch("good", 1, bundle, &code, {}, impostor_url), 60) << "no name to check: refused";
        EXPECT_EQ(fetch("good", 1, bundle, &code, {"LUMACORE", "other-agent.example"}, impostor_url), 0);
        EXPECT_EQ(fetch("good", 1, bundle, &code, {"10.9.9.9"}, impostor_url), 0) << "by IP alternative name";
        EXPECT_EQ(fetch("good", 1, bundle, &code, {"agent.example"}, impostor_url), 60) << "no partial match";
        EXPECT_EQ(fetch("good", 1, bundle, &code, {"cn-only.example"}, cn_url), 0) << "by common name";
        EXPECT_EQ(fetch("good", 1, bundle, &code, handler_names, cn_url), 60);
        EXPECT_EQ(fetch("good", 1, bundle, &code, handler_names), 0) << "the real agent handler (127.0.0.1)";
    }
    EXPECT_EQ(fetch("good", 0, "", &code, {}, impostor_url), 0) << "-k checks nothing";
    EXPECT_EQ(code, 200);
    EXPECT_NE(new_log().find("Server certificate refused: CN=other-agent.example names none of the agent handler's "
                             "hosts (lumacore.example, 127.0.0.1, LUMACORE)"),
              std::string::npos);
}

// ---------------------------------------------------------------------------------------------

std::wstring formatted(const std::wstring& input) {
    wchar_t output[transfer_url_capacity];
    if (!format_ipv6_url(input.c_str(), output)) return L"<failed>";
    return output;
}

TEST(FormatIpv6Url, BracketsTheHostAndDropsTheZone) {
    EXPECT_EQ(formatted(L"https://fe80::1%12:443/config"), L"https://[fe80::1]:443/config");
    EXPECT_EQ(formatted(L"[fe80::1%12]:443"), L"[fe80::1]:443");
    EXPECT_EQ(formatted(L"[fe80::1]:443"), L"[fe80::1]:443");
    EXPECT_EQ(formatted(L"2001:db8::1:443"), L"[2001:db8::1]:443");
    EXPECT_EQ(formatted(L"http://[fe80::2%eth0]:8082/cache/file.bin"), L"http://[fe80::2]:8082/cache/file.bin");
    EXPECT_EQ(formatted(L"http://2001:db8::7:8082/a/b"), L"http://[2001:db8::7]:8082/a/b");
}

TEST(FormatIpv6Url, ColonsOutsideTheAuthorityAreNotPorts) {
    EXPECT_EQ(formatted(L"https://2001:db8::1:443/config?x=a:b"), L"https://[2001:db8::1]:443/config?x=a:b");
    EXPECT_EQ(formatted(L"https://[fe80::1%3]/config"), L"https://[fe80::1]/config");
}

TEST(FormatIpv6Url, EdgesOfInput) {
    EXPECT_EQ(formatted(L"hostname"), L"hostname");
    EXPECT_EQ(formatted(L""), L"");
    std::wstring longest(1019, L'a');   // "[" 1019 "]:1" = 1023 characters, the most that fit in 1024
    EXPECT_EQ(formatted(longest + L":1").size(), 1023u);
    EXPECT_EQ(formatted(longest + L"a:1"), L"<failed>");
    wchar_t output[4] = L"x";
    EXPECT_EQ(format_ipv6_url(nullptr, output), 0);
    EXPECT_STREQ(output, L"");
}
}   // namespace
