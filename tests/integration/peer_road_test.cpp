// The peer road of the install-package retrieval between network namespaces: the retrieval runs
// in member 1 (this thread, the road's loop worker and the servers it starts are all there), test
// peers answer from members 2 and 3 and serve /p2p/<hash> over HTTP. For route kind 3 a recording
// proxy and nginx run on member 1's loopback. Nothing is sent unless this thread is proven inside
// member 1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "config/hash_manifest.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_context.h"
#include "download/install_package.h"
#include "download/proxy_record.h"
#include "download/transfer.h"
#include "fixtures/netns.h"
#include "fixtures/netns_suite.h"
#include "fixtures/test_helpers.h"
#include "fixtures/test_servers.h"
#include "unit/test_support.h"

namespace {
namespace fs = std::filesystem;

std::string pattern(size_t size, unsigned seed) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 2654435761u + seed) >> 13);
    return out;
}

std::string hashes_xml(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Hashes>\n    <sha256>\n";
    for (const auto& e : entries) xml += "        <" + e.first + ">" + e.second + "</" + e.first + ">\n";
    return xml + "    </sha256>\n</Hashes>\n";
}

struct install_file {
    std::string name, content, hash;
};

struct suite_state {
    scratch_folder root;
    scoped_env tmpdir{"TMPDIR", root.path()};
    std::unique_ptr<netns_scope> inside;
    std::vector<install_file> files;
};

class PeerRoadTest : public netns_suite<PeerRoadTest> {
protected:
    static suite_state* s_;

    static void SetUpTestSuite() {
        s_ = new suite_state;
        open_log();
        set_severity_mask(0x7F);
        if (start_network({3, 0, true, true})) {
            s_->inside = std::make_unique<netns_scope>(member(0).name);
            if (!s_->inside->entered() || !netns_thread_is_in(member(0).name))
                fail_suite("could not enter " + member(0).name);
        }
        const char* names[] = {"Vesinst.exe", "agent.dat", "policy.bin"};
        for (unsigned i = 0; i < 3; ++i) {
            std::string content = pattern(150000 + 1000 * i, i + 1);
            s_->files.push_back({names[i], content, sha256_hex(content)});
        }
    }

    static void TearDownTestSuite() {
        close_log();
        s_->inside.reset();
        netns_suite::TearDownTestSuite();
        delete s_;
        s_ = nullptr;
    }

    run_context ctx_;
    std::string work_;
    size_t log_start_ = 0;
    char cwd_[PATH_MAX] = {};
    std::vector<std::unique_ptr<netns_process>> peers_;

    void SetUp() override {
        netns_suite::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(netns_thread_is_in(member(0).name)) << "the retrieval must run inside member 1";
        ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
        static int counter = 0;
        work_ = s_->root.file("work" + std::to_string(++counter));
        fs::create_directory(work_);
        log_start_ = read_whole_file(log_path()).size();
    }

    void TearDown() override {
        for (auto& peer : peers_) peer->stop();
        free_options();
        if (cwd_[0]) {
            EXPECT_EQ(chdir(cwd_), 0);
        }
    }

    static std::string log_path() { return s_->root.file("HolvenLogs/HolvenSwiftset.log"); }
    std::wstring work() const { return widen(work_); }
    std::string target(const install_file& f) const { return work_ + "/" + f.name; }

    std::vector<std::string> messages() const { return log_messages(read_whole_file(log_path()).substr(log_start_)); }
    size_t count_of(const std::string& message) const {
        auto all = messages();
        return static_cast<size_t>(std::count(all.begin(), all.end(), message));
    }
    ::testing::AssertionResult logged_in_order(const std::vector<std::string>& expected) const {
        return appear_in_order(messages(), expected);
    }

    void write_manifest() {
        std::vector<std::pair<std::string, std::string>> entries;
        for (const auto& f : s_->files) entries.emplace_back(f.name, f.hash);
        write_whole_file(work_ + "/hashes.xml", hashes_xml(entries));
    }

    // A peer in member `index` holding the given files (by index); returns its HTTP port.
    std::string start_peer(int index, const std::vector<int>& held, const std::vector<std::string>& extra = {}) {
        static int made = 0;
        std::string folder = s_->root.file("peer" + std::to_string(++made));
        fs::create_directories(folder);
        for (int i : held)
            write_whole_file(folder + "/" + s_->files[static_cast<size_t>(i)].name,
                             s_->files[static_cast<size_t>(i)].content);
        peers_.push_back(std::make_unique<netns_process>());
        std::string why, port;
        EXPECT_TRUE(netns_start_p2p_peer(*peers_.back(), member(index).name, folder, extra, &port, &why)) << why;
        return port;
    }

    // Every line each peer printed so far, all peers together.
    std::vector<std::string> peer_lines() {
        std::vector<std::string> out;
        for (auto& peer : peers_) {
            std::vector<std::string> lines = peer->read_lines(300);
            out.insert(out.end(), lines.begin(), lines.end());
        }
        return out;
    }

    int retrieve(wchar_t* package_path, proxy_record* route) {
        ctx_.phase = download_phase::install;
        keep_trusted_manifest(&ctx_, work().c_str());   // as the configuration package's extraction does
        return retrieve_install_package(package_path, work().c_str(), &ctx_, route, 0);
    }
};

suite_state* PeerRoadTest::s_ = nullptr;

TEST_F(PeerRoadTest, Route0FetchesEachListedFileFromThePeerThatHoldsIt) {
    write_manifest();
    std::string port2 = start_peer(1, {0, 1}, {"--families", "4"});
    std::string port3 = start_peer(2, {2}, {"--families", "4"});
    proxy_record peers{};
    peers.route_kind = ROUTE_PEERS;
    wchar_t package_path[260] = L"unchanged";

    ASSERT_EQ(retrieve(package_path, &peers), 1);
    EXPECT_STREQ(package_path, L"unchanged");
    std::vector<std::string> expected = {
        "Try to get install files via p2p mechanism with the selected top level - 0 - mechanism"};
    for (size_t i = 0; i < 3; ++i) {
        const install_file& f = s_->files[i];
        EXPECT_EQ(read_whole_file(target(f)), f.content) << f.name;
        std::string host = i < 2 ? member(1).ipv4 + ":" + port2 : member(2).ipv4 + ":" + port3;
        expected.insert(expected.end(),
                        {"[P2P] Discovering " + f.name + " ", "Discovered p2p path:http://" + host + "/p2p/" + f.hash,
                         "User agent information successfully set",
                         "[P2P] P2p download and hash verification of " + f.name + " succeeded",
                         "Hash verification of " + target(f) + " succeded"});
    }
    expected.push_back(
        "Returning from Install via p2p mechanism within top level p2p mechanism as we got all install files");
    EXPECT_TRUE(logged_in_order(expected));
    EXPECT_EQ(count_of("User agent information successfully set"), 3u);
    EXPECT_EQ(count_of("unable to Parse sitelist errno 1"), 0u) << "the site list is not read on route kind 0";
    EXPECT_EQ(count_of("Resume download flag is off deleting the files."), 0u);
    EXPECT_FALSE(path_exists(work_ + "/FrameworkInstall.zip"));

    std::vector<std::string> lines = peer_lines();
    EXPECT_EQ(count_prefix(lines, "served "), 3) << "one download per file";
    for (const install_file& f : s_->files) {
        EXPECT_EQ(count_prefix(lines, "served " + f.hash + " 200 " + std::to_string(f.content.size())), 1) << f.name;
        EXPECT_EQ(count_prefix(lines, "asked 4 " + member(0).ipv4 + " " + f.hash + " "), 2) << "one lookup, both peers";
    }
}

TEST_F(PeerRoadTest, Ipv6PeerOnThePortOfOption15GivesABracketedUrl) {
    write_manifest();
    std::string port = start_peer(2, {0, 1, 2}, {"--families", "6", "--udp-port", "18082"});
    ASSERT_EQ(set_option(OPT_P2P_PORT, L"18082"), 1);
    proxy_record peers{};
    peers.route_kind = ROUTE_PEERS;
    ASSERT_EQ(retrieve(nullptr, &peers), 1);
    for (const install_file& f : s_->files) {
        std::string url = "http://[" + member(2).ipv6 + "]:" + port + "/p2p/" + f.hash;
        EXPECT_TRUE(
            logged_in_order({"Discovered p2p path:" + url, "Discovered p2p path after ipv6 format for curl:" + url,
                             "[P2P] P2p download and hash verification of " + f.name + " succeeded"}));
        EXPECT_EQ(read_whole_file(target(f)), f.content);
    }

    // A value in slot 15 that is no port: the road fails at its first file, nothing is sent.
    peer_lines();
    log_start_ = read_whole_file(log_path()).size();
    ASSERT_EQ(set_option(OPT_P2P_PORT, L"18082x"), 1);
    EXPECT_EQ(retrieve(nullptr, &peers), 0);
    EXPECT_TRUE(logged_in_order(
        {"P2P port 18082x is not a port number",
         "[P2P] Discovery of " + s_->files[0].name + " failed in P2P cache. rc<1>",
         "Returning from Install via p2p mechanism within top level p2p mechanism to try for other mechanisms"}));
    EXPECT_TRUE(peer_lines().empty());
}

TEST_F(PeerRoadTest, FirstFileUnansweredGivesUpAtOnce) {
    write_manifest();
    start_peer(1, {1, 2});
    proxy_record peers{};
    peers.route_kind = ROUTE_PEERS;
    wchar_t package_path[260] = L"unchanged";
    EXPECT_EQ(retrieve(package_path, &peers), 0);
    EXPECT_STREQ(package_path, L"unchanged");
    EXPECT_TRUE(logged_in_order(
        {"[P2P] Discovering " + s_->files[0].name + " ",
         "[P2P] Discovery of " + s_->files[0].name + " failed in P2P cache. rc<1>",
         "Returning from Install via p2p mechanism within top level p2p mechanism to try for other mechanisms"}));
    EXPECT_EQ(count_of("[P2P] Discovering " + s_->files[1].name + " "), 0u) << "no further file is asked for";
    std::vector<std::string> lines = peer_lines();
    EXPECT_EQ(count_prefix(lines, "asked "), 2) << "one lookup, heard on both families";
    EXPECT_EQ(count_prefix(lines, "asked 4 " + member(0).ipv4 + " " + s_->files[0].hash + " unheld"), 1);
    EXPECT_EQ(count_prefix(lines, "served "), 0);
}

TEST_F(PeerRoadTest, CorruptedFileFromAPeerFailsTheRoad) {
    write_manifest();
    std::string corrupt = s_->root.file("corrupt-" + std::to_string(getpid()));
    std::string altered = s_->files[0].content;
    altered[altered.size() / 2] ^= 0x01;
    write_whole_file(corrupt, altered);
    std::string port = start_peer(1, {1, 2}, {"--families", "4", "--hold", s_->files[0].hash + "=" + corrupt});
    proxy_record peers{};
    peers.route_kind = ROUTE_PEERS;
    EXPECT_EQ(retrieve(nullptr, &peers), 0);
    EXPECT_TRUE(logged_in_order(
        {"Discovered p2p path:http://" + member(1).ipv4 + ":" + port + "/p2p/" + s_->files[0].hash,
         "[P2P] Hash verification of " + s_->files[0].name + " failed",
         "Verification of " + target(s_->files[0]) + " failed",
         "Returning from Install via p2p mechanism within top level p2p mechanism to try for other mechanisms"}));
    EXPECT_EQ(count_of("[P2P] P2p download and hash verification of " + s_->files[0].name + " succeeded"), 0u);
    EXPECT_EQ(count_of("[P2P] Discovering " + s_->files[1].name + " "), 0u);
    EXPECT_EQ(count_prefix(peer_lines(), "served " + s_->files[0].hash + " 200"), 1);
    EXPECT_FALSE(path_exists(target(s_->files[0]))) << "a peer's wrong file does not wait in the work folder";
}

// The next file is looked up while the first downloads. When the first then fails, that
// lookup (here one no peer answers, which would wait out its 2 s) is ended at once rather than
// holding the road, and none of its lines reach the log.
TEST_F(PeerRoadTest, LookupAheadOfAFailedFileEndsWithTheRoad) {
    write_manifest();
    std::string corrupt = s_->root.file("corrupt-ahead-" + std::to_string(getpid()));
    write_whole_file(corrupt, s_->files[0].content + "x");
    start_peer(1, {2}, {"--families", "4", "--hold", s_->files[0].hash + "=" + corrupt});
    proxy_record peers{};
    peers.route_kind = ROUTE_PEERS;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(retrieve(nullptr, &peers), 0);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500)) << "the lookup ahead did not hold the road";
    EXPECT_TRUE(logged_in_order({"[P2P] Hash verification of " + s_->files[0].name + " failed",
                                 "Returning from Install via p2p mechanism within top level p2p mechanism to try for "
                                 "other mechanisms"}));
    EXPECT_EQ(count_of("[P2P] Discovering " + s_->files[1].name + " "), 0u);
    EXPECT_EQ(count_of("[P2P] Discovery of " + s_->files[1].name + " failed in P2P cache. rc<1>"), 0u);
    std::vector<std::string> lines = peer_lines();
    EXPECT_GE(count_prefix(lines, "asked 4 " + member(0).ipv4 + " " + s_->files[1].hash + " unheld"), 1)
        << "the next file was asked for while the first downloaded";
}

// The manifest kept from the configuration package decides what is fetched, whatever lies in
// the folder by then; configuration files it lists are never taken from a peer.
TEST_F(PeerRoadTest, KeptManifestDecidesAndConfigurationFilesAreNeverFetched) {
    std::string hostile = s_->root.file("hostile-" + std::to_string(getpid()));
    write_whole_file(hostile, "#!/bin/sh\ntouch /tmp/owned\n");
    std::string forged_site_list = s_->root.file("sitelist-" + std::to_string(getpid()));
    write_whole_file(forged_site_list, "<forged/>");
    std::string site_list_hash = sha256_hex("<forged/>");
    std::vector<std::pair<std::string, std::string>> trusted = {{"SiteList.xml", site_list_hash}};
    for (const auto& f : s_->files) trusted.emplace_back(f.name, f.hash);
    write_whole_file(work_ + "/hashes.xml", hashes_xml(trusted));
    write_whole_file(work_ + "/sitelist.xml", "trusted");
    ASSERT_EQ(keep_trusted_manifest(&ctx_, work().c_str()), 1);
    write_whole_file(work_ + "/hashes.xml", hashes_xml({{s_->files[0].name, sha256_hex(read_whole_file(hostile))}}));

    start_peer(1, {0, 1, 2},
               {"--families", "4", "--hold", sha256_hex(read_whole_file(hostile)) + "=" + hostile, "--hold",
                site_list_hash + "=" + forged_site_list});
    proxy_record peers{};
    peers.route_kind = ROUTE_PEERS;
    ctx_.phase = download_phase::install;
    ASSERT_EQ(retrieve_install_package(nullptr, work().c_str(), &ctx_, &peers, 0), 1);
    for (const install_file& f : s_->files) EXPECT_EQ(read_whole_file(target(f)), f.content) << f.name;
    EXPECT_EQ(read_whole_file(work_ + "/sitelist.xml"), "trusted");
    EXPECT_FALSE(path_exists(work_ + "/SiteList.xml"));
    EXPECT_TRUE(logged_in_order({"[P2P] SiteList.xml is a configuration file and is not fetched from peers",
                                 "[P2P] Discovering " + s_->files[0].name + " "}));
    std::vector<std::string> lines = peer_lines();
    EXPECT_EQ(count_prefix(lines, "asked 4 " + member(0).ipv4 + " " + site_list_hash), 0);
    EXPECT_EQ(count_prefix(lines, "served " + sha256_hex(read_whole_file(hostile))), 0);
}

TEST_F(PeerRoadTest, PeerAnsweringForAFileItCannotServeFailsTheDownload) {
    write_manifest();
    // Held under its hash but gone from the disk: the peer answers, its web service says 404,
    // and the error page is not taken for the file.
    start_peer(1, {}, {"--families", "4", "--hold", s_->files[0].hash + "=" + s_->root.file("missing")});
    proxy_record peers{};
    peers.route_kind = ROUTE_PEERS;
    EXPECT_EQ(retrieve(nullptr, &peers), 0);
    EXPECT_TRUE(logged_in_order(
        {"[P2P] Discovering " + s_->files[0].name + " ", "[P2P] P2P download returned 404",
         "Returning from Install via p2p mechanism within top level p2p mechanism to try for other mechanisms"}));
    EXPECT_EQ(count_of("[P2P] Hash verification of " + s_->files[0].name + " failed"), 0u);
    EXPECT_EQ(count_of("[P2P] Discovering " + s_->files[1].name + " "), 0u);
    EXPECT_EQ(count_prefix(peer_lines(), "served " + s_->files[0].hash + " 404"), 1);
}

// A peer that floods, stalls or trickles ends the road in bounded time, leaves no partial file,
// and lets the next mechanism run.
TEST_F(PeerRoadTest, HostilePeersAreAbandonedAndTheirPartialFilesDeleted) {
    write_manifest();
    const install_file& first = s_->files[0];
    struct attack {
        const char* mode;
        int error;     // libcurl's result
        int bound_s;   // the road ends within this many seconds
    };
    // Endless: stopped at the 1 GiB cap (write error). 2 GiB announced: refused before the body.
    // Two bytes a second: below 16 KiB/s for 30 s (timed out).
    for (const attack& a : {attack{"endless", 23, 60}, attack{"announce-stall", 63, 20}, attack{"trickle", 28, 60}}) {
        SCOPED_TRACE(a.mode);
        log_start_ = read_whole_file(log_path()).size();
        start_peer(1, {0}, {"--families", "4", "--serve", a.mode});
        proxy_record peers{};
        peers.route_kind = ROUTE_PEERS;
        auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(retrieve(nullptr, &peers), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(a.bound_s));
        EXPECT_FALSE(path_exists(target(first))) << "the partial file is deleted";
        EXPECT_TRUE(logged_in_order(
            {"[P2P] Discovering " + first.name + " ",
             "[P2P] Download of " + first.name + " from the peer failed: error " + std::to_string(a.error),
             "[P2P] P2P download returned 200",
             "Returning from Install via p2p mechanism within top level p2p mechanism to try for other mechanisms"}));
        EXPECT_EQ(count_of("[P2P] Discovering " + s_->files[1].name + " "), 0u);
        EXPECT_EQ(count_prefix(peer_lines(), "serving " + first.hash + " " + a.mode), 1);
        peers_.back()->stop();
    }
}

// A peer's redirect to a service on the installer's own loopback is never followed.
TEST_F(PeerRoadTest, HostilePeerRedirectNeverReachesALocalService) {
    fs::create_directories(s_->root.file("local-service"));
    qsw_test::fixture_server local("nginx_server.py", {"--root", s_->root.file("local-service")});
    QSW_REQUIRE_SERVER(local);
    write_manifest();
    start_peer(1, {0}, {"--families", "4", "--serve", "redirect=" + local.field("url") + "/secret"});
    proxy_record peers{};
    peers.route_kind = ROUTE_PEERS;
    EXPECT_EQ(retrieve(nullptr, &peers), 0);
    EXPECT_TRUE(logged_in_order({"[P2P] Discovering " + s_->files[0].name + " ", "[P2P] P2P download returned 302"}));
    EXPECT_FALSE(path_exists(target(s_->files[0])));
    EXPECT_EQ(count_prefix(peer_lines(), "serving " + s_->files[0].hash + " redirect="), 1);

    // A request of the test's own, logged after any the installer could have made.
    transfer_handle_ptr probe(create_transfer_handle(nullptr, nullptr, nullptr, nullptr));
    long code = 0;
    ASSERT_EQ(transfer_file(probe.get(), (local.field("url") + "/probe").c_str(), (work_ + "/probe").c_str(), 0, "",
                            &code, 0),
              0);
    auto requests = qsw_test::wait_for_lines(local.field("access_log"), 1);
    ASSERT_EQ(requests.size(), 1u) << "the local service was hit by the installer";
    EXPECT_NE(qsw_test::json_field(requests[0], "request").find("/probe"), std::string::npos);
}

// Peers are on the local network: the proxy of the proxy road is for the agent handlers and the
// repositories only (this one refuses anything but loopback, where no peer is).
TEST_F(PeerRoadTest, Route3FetchesFromPeersDirectlyNotThroughItsProxy) {
    write_manifest();
    start_peer(1, {0, 1, 2}, {"--families", "4"});
    std::string records = s_->root.file("proxy-peers.jsonl");
    qsw_test::fixture_server proxy("recording_proxy.py", {"--record", records});
    QSW_REQUIRE_SERVER(proxy);
    proxy_record route{};
    route.route_kind = ROUTE_PROXY;
    ASSERT_EQ(set_proxy_host(&route, "127.0.0.1", proxy.port()), 1);
    ASSERT_EQ(retrieve(nullptr, &route), 1);
    EXPECT_TRUE(logged_in_order(
        {"Try to get install files via p2p mechanism with the selected top level - 3 - mechanism",
         "Returning from Install via p2p mechanism within the selected top level - 3 - mechanism as we got all install files"}));
    for (const install_file& f : s_->files) EXPECT_EQ(read_whole_file(target(f)), f.content) << f.name;
    EXPECT_TRUE(qsw_test::read_lines(records).empty()) << "a peer download went through the proxy";
}

TEST_F(PeerRoadTest, Route3WithoutPeersGoesOnWithTheRepositoryThroughTheProxy) {
    fs::create_directories(s_->root.file("repo"));
    qsw_test::fixture_server nginx("nginx_server.py", {"--root", s_->root.file("repo")});
    std::string records = s_->root.file("proxy-records.jsonl");
    qsw_test::fixture_server proxy("recording_proxy.py", {"--record", records});
    QSW_REQUIRE_SERVER(nginx);
    QSW_REQUIRE_SERVER(proxy);
    std::string host = "127.0.0.1:" + std::to_string(nginx.port());
    std::string packages = s_->root.file("packages-" + std::to_string(getpid()));
    std::string built = qsw_test::run_fixture_tool("make_packages.py", {packages});
    ASSERT_FALSE(built.empty());
    std::string folder = s_->root.file("repo/Software/Current/QUENTAAGENT1000/Install/0000");
    fs::create_directories(folder);
    fs::copy_file(qsw_test::json_field(built, "install"), folder + "/FrameworkInstall.zip");
    write_whole_file(work_ + "/sitelist.xml",
                     "<?xml version=\"1.0\"?>\n<ns:SiteLists xmlns:ns=\"naSiteList\"><SiteList><HttpSite Order=\"1\" "
                     "Enabled=\"1\" ServerIP=\"" +
                         host + "\"><RelativePath>Software</RelativePath></HttpSite></SiteList></ns:SiteLists>\n");
    fs::copy_file(packages + "/PackageInfo.xml", work_ + "/PackageInfo.xml");
    fs::copy_file(packages + "/hashes.xml", work_ + "/hashes.xml");

    proxy_record route{};
    route.route_kind = ROUTE_PROXY;
    ASSERT_EQ(set_proxy_host(&route, "127.0.0.1", proxy.port()), 1);
    wchar_t package_path[260] = L"";
    ASSERT_EQ(retrieve(package_path, &route), 1);
    EXPECT_EQ(narrow_ascii(package_path), work_ + "/FrameworkInstall.zip");
    EXPECT_TRUE(logged_in_order(
        {"Try to get install files via p2p mechanism with the selected top level - 3 - mechanism",
         "[P2P] Discovering Vesinst.exe ", "[P2P] Discovery of Vesinst.exe failed in P2P cache. rc<1>",
         "Continue from Install via p2p mechanism within the selected top level - 3 - mechanism as we failed to get files from p2p",
         "Trying to connect to repository via proxy", "Proxy information successfully set",
         "Downloading install file from http://" + host +
             "/Software/Current/QUENTAAGENT1000/Install/0000/FrameworkInstall.zip",
         "Downloaded install file Successfully", "Hash verification for Framework install files succeeded"}));
    EXPECT_EQ(count_of("[P2P] Discovering agent.dat "), 0u);
    std::string recorded = read_whole_file(records);
    EXPECT_NE(recorded.find("FrameworkInstall.zip"), std::string::npos)
        << "the repository was reached through the proxy";
}

}   // namespace
