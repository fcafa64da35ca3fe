// Package retrieval driven module by module against real servers on loopback: the agent-handler
// stand-in over HTTPS (statuses forced per host form: 127.0.0.2 is the IP form, "localhost" the
// FQDN, ::1 the NetBIOS form) for FrameworkConfig.zip, nginx for the repositories.
//
// The suite runs in a network namespace of its own when it can make one: the peer road of route
// kind 0 must never reach the machine's real network. Without one, that test skips.
#include <gtest/gtest.h>

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <climits>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/hash_manifest.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_context.h"
#include "download/config_package.h"
#include "download/install_package.h"
#include "download/orchestration.h"
#include "download/proxy_record.h"
#include "fixtures/netns.h"
#include "fixtures/test_helpers.h"
#include "fixtures/test_servers.h"
#include "unit/test_support.h"

namespace {
namespace fs = std::filesystem;
using qsw_test::fixture_server;

const std::string token = "0123456789abcdef0123456789abcdef01234567";
const std::string location = "/Current/QUENTAAGENT1000/Install/0000";

size_t write_to_string(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// The control channel of the agent-handler stand-in (not the system under test). `any_name`
// for stand-ins whose certificate names some other host.
std::string control_get(const std::string& url, const std::string& ca, bool any_name = false) {
    std::string body;
    CURL* easy = curl_easy_init();
    if (!easy) return body;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_CAINFO, ca.c_str());
    if (any_name) curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, write_to_string);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, 10L);
    if (curl_easy_perform(easy) != CURLE_OK) body.clear();
    curl_easy_cleanup(easy);
    return body;
}

using request_list = std::vector<std::pair<std::string, int>>;   // host form, status

struct suite_state {
    scratch_folder root;
    scoped_env tmpdir{"TMPDIR", root.path()};
    netns_network net;
    std::unique_ptr<netns_scope> inside;
    std::string no_namespace;        // why the suite runs in the host's namespace
    bool namespace_failed = false;   // namespaces can be made here, but this one was not
    std::unique_ptr<fixture_server> handler, nginx, empty_nginx;
    std::string packages = root.file("packages");
    std::string config_zip, install_zip, bad_zip;
    size_t install_size = 0;
    std::string ca_base64;
    std::string missing;   // a program the servers need is not installed here: the tests skip
    std::string error;     // the servers did not start although it is: the tests fail
};

class RetrievalTest : public ::testing::Test {
protected:
    static suite_state* s_;

    static void SetUpTestSuite() {
        s_ = new suite_state;
        open_log();
        set_severity_mask(log_debug_mask);
        enter_private_network();
        start_servers();
    }

    static void TearDownTestSuite() {
        close_log();
        delete s_;
        s_ = nullptr;
    }

    static void enter_private_network() {
        netns_options options;
        options.members = 0;
        options.isolated = 1;
        std::string why = netns_network::unavailable_reason();
        if (why.empty() && s_->net.start(options, &why) && !s_->net.isolated().empty()) {
            s_->inside = std::make_unique<netns_scope>(s_->net.isolated()[0].name);
            if (s_->inside->entered()) return;
            why = "could not enter " + s_->net.isolated()[0].name;
        }
        s_->inside.reset();
        s_->namespace_failed = netns_network::unavailable_reason().empty();
        s_->no_namespace = why.empty() ? "no private network namespace" : why;
    }

    // Servers are started from this thread, so they live in the same network as the tests.
    static void start_servers() {
        fs::create_directories(s_->root.file("repo"));
        fs::create_directories(s_->root.file("empty"));
        s_->nginx = std::make_unique<fixture_server>("nginx_server.py",
                                                     std::vector<std::string>{"--root", s_->root.file("repo")});
        s_->empty_nginx = std::make_unique<fixture_server>(
            "nginx_server.py", std::vector<std::string>{"--root", s_->root.file("empty"), "--host", "127.0.0.2"});
        if (!s_->nginx->ready() || !s_->empty_nginx->ready()) {
            s_->missing = s_->nginx->missing();
            s_->error = "nginx: " + s_->nginx->error() + s_->empty_nginx->error();
            return;
        }
        std::string port = std::to_string(s_->nginx->port());
        std::string built = qsw_test::run_fixture_tool(
            "make_packages.py",
            {s_->packages, "--data-size", "2097152", "--site",
             "<HttpSite Order=\"1\" Enabled=\"1\" ServerIP=\"127.0.0.1:" + port + "\" Server=\"localhost:" + port +
                 "\"><RelativePath>Software</RelativePath></HttpSite>"});
        s_->config_zip = qsw_test::json_field(built, "config");
        s_->install_zip = qsw_test::json_field(built, "install");
        s_->bad_zip = qsw_test::json_field(built, "bad_install");
        s_->install_size = static_cast<size_t>(std::atoll(qsw_test::json_field(built, "install_size").c_str()));
        if (s_->config_zip.empty()) {
            s_->error = "make_packages.py failed";
            return;
        }
        publish(s_->install_zip, "Software");
        publish(s_->bad_zip, "Bad");
        s_->handler = std::make_unique<fixture_server>(
            "agent_handler.py",
            std::vector<std::string>{"--package", s_->config_zip, "--token", token, "--listen", "127.0.0.1", "--listen",
                                     "127.0.0.2", "--listen", "::1", "--certs", s_->root.file("certs")});
        if (!s_->handler->ready()) {
            s_->missing = s_->handler->missing();
            s_->error = "agent handler: " + s_->handler->error();
            return;
        }
        s_->ca_base64 = qsw_test::run_fixture_tool("certs.py", {"der-base64", s_->handler->field("ca")});
        while (!s_->ca_base64.empty() && std::isspace(static_cast<unsigned char>(s_->ca_base64.back())))
            s_->ca_base64.pop_back();
    }

    static void publish(const std::string& zip, const std::string& relative_path) {
        std::string folder = s_->root.file("repo/" + relative_path + location);
        fs::create_directories(folder);
        fs::copy_file(zip, folder + "/FrameworkInstall.zip");
    }

    // --- per test ------------------------------------------------------------------------------
    run_context ctx_;
    proxy_record direct_{};
    std::string work_;
    std::vector<std::string> forced_;
    size_t log_start_ = 0;
    size_t requests_start_ = 0;
    size_t nginx_start_ = 0, empty_start_ = 0;
    char cwd_[PATH_MAX] = {};

    void SetUp() override {
        if (!s_->missing.empty()) GTEST_SKIP() << s_->missing;
        if (!s_->error.empty()) GTEST_FAIL() << s_->error;
        ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
        static int counter = 0;
        work_ = s_->root.file("work" + std::to_string(++counter));
        fs::create_directory(work_);
        direct_.route_kind = ROUTE_AGENT_HANDLER;
        log_start_ = read_whole_file(log_path()).size();
        requests_start_ = all_requests().size();
        nginx_start_ = qsw_test::read_lines(s_->nginx->field("access_log")).size();
        empty_start_ = qsw_test::read_lines(s_->empty_nginx->field("access_log")).size();
    }

    void TearDown() override {
        for (const auto& host : forced_) force(host, 0);
        free_options();
        // Extraction moves into the work folder; later tests must not depend on it.
        if (cwd_[0]) {
            EXPECT_EQ(chdir(cwd_), 0);
        }
    }

    static std::string log_path() { return s_->root.file("HolvenLogs/HolvenSwiftset.log"); }
    std::wstring work() const { return widen(work_); }
    std::string handler_port() const { return std::to_string(s_->handler->port()); }
    std::string handler_url(const std::string& host) const { return "https://" + host + ":" + handler_port(); }

    // What this test wrote to the log.
    std::string log_text() const { return read_whole_file(log_path()).substr(log_start_); }
    // This test's log lines as "<tag>\t<message>".
    std::vector<std::string> log_lines() const {
        std::vector<std::string> lines;
        std::istringstream in(log_text());
        for (std::string line; std::getline(in, line);) {
            size_t tab = line.find('\t');
            if (tab != std::string::npos) lines.push_back(line.substr(tab + 1));
        }
        return lines;
    }
    std::vector<std::string> messages() const { return log_messages(log_text()); }
    bool logged(const std::string& message) const {
        auto all = messages();
        return std::find(all.begin(), all.end(), message) != all.end();
    }
    bool logged_as(char tag, const std::string& message) const {
        auto all = log_lines();
        return std::find(all.begin(), all.end(), std::string(1, tag) + "\t" + message) != all.end();
    }
    size_t count_of(const std::string& message) const {
        auto all = messages();
        return static_cast<size_t>(std::count(all.begin(), all.end(), message));
    }
    // `expected` appears in this order among the messages (other lines may lie between).
    ::testing::AssertionResult logged_in_order(const std::vector<std::string>& expected) const {
        return appear_in_order(messages(), expected);
    }

    // --- agent handler -------------------------------------------------------------------------
    void force(const std::string& host, int code) {
        control_get(handler_url("127.0.0.1") + "/_control/status?host=" + host + "&code=" + std::to_string(code),
                    s_->handler->field("ca"));
        if (code) forced_.push_back(host);
    }

    static request_list all_requests() {
        std::string json =
            control_get("https://127.0.0.1:" + std::to_string(s_->handler->port()) + "/_control/requests",
                        s_->handler->field("ca"));
        request_list out;
        for (size_t at = json.find("\"host\": \""); at != std::string::npos; at = json.find("\"host\": \"", at)) {
            at += 9;
            std::string host = json.substr(at, json.find('"', at) - at);
            size_t status = json.find("\"status\": ", at);
            out.emplace_back(host, status == std::string::npos ? 0 : std::atoi(json.c_str() + status + 10));
        }
        return out;
    }
    request_list new_requests() const {
        request_list all = all_requests();
        return request_list(all.begin() + static_cast<long>(std::min(requests_start_, all.size())), all.end());
    }

    // --- configuration package -----------------------------------------------------------------
    std::wstring config_url() const {
        return widen(handler_url("localhost") + "/config?TokenCode=" + token +
                     "&ComputerName=HOST1&AgentGUID=0f8fad5b-d9cb-469f-a165-70867728950e&MachineName=host1.example");
    }
    std::string query() const { return narrow_ascii(config_url().substr(config_url().find(L'?'))); }

    void write_coninfo(const std::string& serverip, const std::string& netbios, const std::string& certificate) {
        std::string bundle = certificate.empty() ? "" : "<CaCertificate>" + certificate + "</CaCertificate>";
        write_whole_file(work_ + "/coninfo.xml",
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ConInfo>\n<CaBundle>" + bundle +
                             "</CaBundle>\n"
                             "<bsurl>" +
                             handler_url("localhost") + "/config?token=" + token +
                             "</bsurl>\n"
                             "<serverip>" +
                             serverip + "</serverip>\n<serverNetbios>" + netbios + "</serverNetbios>\n</ConInfo>\n");
    }
    void write_coninfo() {
        write_coninfo(handler_url("127.0.0.2") + "/config?token=" + token,
                      handler_url("[::1]") + "/config?token=" + token, s_->ca_base64);
    }

    int retrieve_config(wchar_t* package_path) {
        ctx_.phase = download_phase::configuration;
        return retrieve_config_package(work().c_str(), config_url().c_str(), package_path, &ctx_, &direct_);
    }

    // --- repository road ----------------------------------------------------------------------
    std::string nginx_host() const { return "127.0.0.1:" + std::to_string(s_->nginx->port()); }
    std::string nginx_name() const { return "localhost:" + std::to_string(s_->nginx->port()); }

    static std::string site(const std::string& kind, int order, const std::string& attributes,
                            const std::string& relative_path = "Software") {
        return "<" + kind + " Order=\"" + std::to_string(order) + "\" Enabled=\"1\" " + attributes + "><RelativePath>" +
               relative_path + "</RelativePath></" + kind + ">";
    }

    // The work folder as the extracted configuration package leaves it, with these sites.
    void prepare_install(const std::vector<std::string>& sites) {
        std::string list = "<?xml version=\"1.0\"?>\n<ns:SiteLists xmlns:ns=\"naSiteList\"><SiteList>";
        for (const auto& s : sites) list += s;
        write_whole_file(work_ + "/sitelist.xml", list + "</SiteList></ns:SiteLists>\n");
        fs::copy_file(s_->packages + "/PackageInfo.xml", work_ + "/PackageInfo.xml");
        fs::copy_file(s_->packages + "/hashes.xml", work_ + "/hashes.xml");
    }

    int retrieve_install(wchar_t* package_path, int resume) {
        ctx_.phase = download_phase::install;
        keep_trusted_manifest(&ctx_, work().c_str());   // as the configuration package's extraction does
        return retrieve_install_package(package_path, work().c_str(), &ctx_, &direct_, resume);
    }

    std::string package() const { return work_ + "/FrameworkInstall.zip"; }
    std::string package_url(const std::string& scheme_host, const std::string& relative_path = "Software") const {
        return scheme_host + "/" + relative_path + location + "/FrameworkInstall.zip";
    }

    // This test's lines of an nginx access log (JSON objects), waiting for `count` of them.
    static std::vector<std::string> access(const fixture_server& server, size_t start, size_t count) {
        auto lines = qsw_test::wait_for_lines(server.field("access_log"), start + count);
        return std::vector<std::string>(lines.begin() + static_cast<long>(std::min(start, lines.size())), lines.end());
    }
    static std::string field(const std::string& json, const char* name) { return qsw_test::json_field(json, name); }
};

suite_state* RetrievalTest::s_ = nullptr;

// ---------------------------------------------------------------------------------------------
// Configuration package

TEST_F(RetrievalTest, Config404OnTheIpFormThen200OnTheFqdn) {
    write_coninfo();
    force("127.0.0.2", 404);
    wchar_t package[260] = L"";
    ASSERT_EQ(retrieve_config(package), 1);
    EXPECT_EQ(narrow_ascii(package), work_ + "/FrameworkConfig.zip");
    EXPECT_EQ(read_whole_file(work_ + "/FrameworkConfig.zip"), read_whole_file(s_->config_zip));
    EXPECT_EQ(std::string(ctx_.config_hash), s_->handler->field("config_hash"));
    EXPECT_EQ(std::string(ctx_.tenant_id), "tenant-0001");
    EXPECT_EQ(new_requests(), (request_list{{"127.0.0.2", 404}, {"localhost", 200}}));
    EXPECT_TRUE(path_exists(work_ + "/cabundle.cer")) << "the document's CA verified the server";
    EXPECT_TRUE(logged_in_order(
        {"Connection info path " + work_ + "/coninfo.xml", "[Fallback] 1:IP based:Config Files:Enter",
         "Trying to download Framworkconfig using IPaddress " + handler_url("127.0.0.2") + "/config" + query(),
         "Downloading FrameworkConfig.zip from " + handler_url("127.0.0.2") + "/config",
         "Request might be sent with invalid or expired token code:Response: 404",
         "Download of Frameworkconfig.zip Failed :404", "[Fallback] 2:FQDN based:Config Files:Enter",
         "Downloading FrameworkConfig.zip from " + handler_url("localhost") + "/config",
         "Configuration request response code: 200", "Downloaded Frameworkconfig.zip Successfully",
         "Frameworkconfig stored in " + work_ + "/FrameworkConfig.zip"}));
}

TEST_F(RetrievalTest, ConfigWithoutIpFormStartsWithTheFqdnAndIpv6FormsAreBracketed) {
    write_coninfo("", "", s_->ca_base64);
    ASSERT_EQ(retrieve_config(nullptr), 1);
    EXPECT_EQ(new_requests(), (request_list{{"localhost", 200}}));
    EXPECT_TRUE(logged_as('W', "Unable to download via Fallback:1:IP based"));

    // An address without dots is an IPv6 address: bracketed, its zone dropped.
    requests_start_ = all_requests().size();
    write_coninfo("https://::1%1:" + handler_port() + "/config?token=" + token, "", s_->ca_base64);
    ASSERT_EQ(retrieve_config(nullptr), 1);
    EXPECT_EQ(new_requests(), (request_list{{"::1", 200}}));
    EXPECT_TRUE(
        logged("Trying to download Framworkconfig using IPaddress " + handler_url("[::1]") + "/config" + query()));
}

TEST_F(RetrievalTest, Config200WhoseTransferFailsEndsTheRetrieval) {
    write_coninfo();
    fs::create_symlink("/dev/full", work_ + "/FrameworkConfig.zip");   // every write fails
    EXPECT_EQ(retrieve_config(nullptr), 0);
    EXPECT_EQ(new_requests(), (request_list{{"127.0.0.2", 200}}));
    EXPECT_TRUE(logged("Download of Frameworkconfig.zip Failed :200"));
    EXPECT_FALSE(logged("[Fallback] 2:FQDN based:Config Files:Enter"));
}

TEST_F(RetrievalTest, ConfigThree500sFailAndLeaveThePathOutAlone) {
    write_coninfo();
    for (const char* host : {"127.0.0.2", "localhost", "::1"}) force(host, 500);
    wchar_t package[260] = L"unchanged";
    EXPECT_EQ(retrieve_config(package), 0);
    EXPECT_STREQ(package, L"unchanged");
    EXPECT_EQ(new_requests(), (request_list{{"127.0.0.2", 500}, {"localhost", 500}, {"::1", 500}}));
    EXPECT_EQ(count_of("Download of Frameworkconfig.zip Failed :500"), 3u);
    EXPECT_EQ(count_of("Configuration request response code: 500"), 3u);
    EXPECT_TRUE(
        logged("Trying to download Framworkconfig using netbios name " + handler_url("[::1]") + "/config" + query()));
}

TEST_F(RetrievalTest, ConfigTlsDocumentCaOrNoVerificationWithK) {
    scratch_folder other;
    std::string other_ca =
        qsw_test::json_field(qsw_test::run_fixture_tool("certs.py", {"ca", other.path(), "Other CA"}), "cert");
    ASSERT_FALSE(other_ca.empty());
    std::string other_base64 = qsw_test::run_fixture_tool("certs.py", {"der-base64", other_ca});
    other_base64.erase(other_base64.find_last_not_of(" \r\n") + 1);

    write_coninfo(handler_url("127.0.0.2") + "/config?token=" + token, "", other_base64);
    EXPECT_EQ(retrieve_config(nullptr), 0) << "a bundle of another CA must not verify the server";
    EXPECT_TRUE(new_requests().empty());
    EXPECT_TRUE(logged("Download of Frameworkconfig.zip Failed :0"));

    fs::remove(work_ + "/cabundle.cer");
    write_coninfo(handler_url("127.0.0.2") + "/config?token=" + token, "", "");
    EXPECT_EQ(retrieve_config(nullptr), 0) << "without a certificate the system store decides, and it knows no test CA";
    EXPECT_FALSE(path_exists(work_ + "/cabundle.cer"));
    EXPECT_TRUE(new_requests().empty());

    ASSERT_EQ(set_option(OPT_NO_PEER_VERIFICATION, L"1"), 1);
    EXPECT_EQ(retrieve_config(nullptr), 1);
    EXPECT_FALSE(path_exists(work_ + "/cabundle.cer")) << "-k writes no bundle";
    EXPECT_EQ(new_requests(), (request_list{{"127.0.0.2", 200}}));
}

// A server with a certificate of the agent handler's own CA, issued for another name, stands in
// for the IP form: it is refused in both verifying modes (the token never reaches it) and the
// FQDN form, the real agent handler, delivers. With -k nothing is checked.
TEST_F(RetrievalTest, ConfigCertificateOfTheSameCaForAnotherNameIsRefused) {
    std::string ca = s_->handler->field("ca");
    std::string issued = qsw_test::run_fixture_tool(
        "certs.py", {"server", s_->root.file("certs"), ca, s_->root.file("certs/ca.key"), "--name",
                     "other-agent.example", "--ip", "10.9.9.9", "--stem", "impostor"});
    fixture_server impostor("agent_handler.py",
                            {"--package", s_->config_zip, "--token", token, "--listen", "127.0.0.1", "--cert",
                             qsw_test::json_field(issued, "cert"), "--key", qsw_test::json_field(issued, "key")});
    QSW_REQUIRE_SERVER(impostor);
    std::string impostor_base = "https://127.0.0.1:" + std::to_string(impostor.port());
    auto impostor_requests = [&] {
        return control_get(impostor_base + "/_control/requests", ca, true).find("\"status\": 200") != std::string::npos;
    };
    std::string refused =
        "Server certificate refused: CN=other-agent.example names none of the agent handler's hosts "
        "(localhost, 127.0.0.1)";

    write_coninfo(impostor_base + "/config?token=" + token, "", s_->ca_base64);
    ASSERT_EQ(retrieve_config(nullptr), 1);
    EXPECT_TRUE(logged_in_order(
        {"Trying to download Framworkconfig using IPaddress " + impostor_base + "/config" + query(), refused,
         "Download of Frameworkconfig.zip Failed :0",
         "Trying to download Framworkconfig using FQDN " + handler_url("localhost") + "/config" + query(),
         "Downloaded Frameworkconfig.zip Successfully"}));
    EXPECT_EQ(new_requests(), (request_list{{"localhost", 200}}));

    {
        scoped_env system_store("SSL_CERT_FILE", ca);
        write_coninfo(impostor_base + "/config?token=" + token, "", "");   // no bundle: the system's trust
        fs::remove(work_ + "/cabundle.cer");
        log_start_ = read_whole_file(log_path()).size();
        ASSERT_EQ(retrieve_config(nullptr), 1);
        EXPECT_TRUE(logged_in_order(
            {refused, "Download of Frameworkconfig.zip Failed :0", "Downloaded Frameworkconfig.zip Successfully"}));
        EXPECT_FALSE(logged("certificate passed to curl"));
    }
    EXPECT_FALSE(impostor_requests()) << "the token reached the impostor";

    ASSERT_EQ(set_option(OPT_NO_PEER_VERIFICATION, L"1"), 1);
    log_start_ = read_whole_file(log_path()).size();
    ASSERT_EQ(retrieve_config(nullptr), 1);
    EXPECT_FALSE(logged(refused));
    EXPECT_TRUE(impostor_requests()) << "-k checks nothing";
}

TEST_F(RetrievalTest, ConfigDigestMismatchIsRefusedAndFetchedAgainNextTime) {
    fixture_server liar("agent_handler.py",
                        {"--package", s_->config_zip, "--token", token, "--listen", "127.0.0.1", "--certs",
                         s_->root.file("liar-certs"), "--config-hash", std::string(64, 'a')});
    QSW_REQUIRE_SERVER(liar);
    std::string liar_base64 = qsw_test::run_fixture_tool("certs.py", {"der-base64", liar.field("ca")});
    liar_base64.erase(liar_base64.find_last_not_of(" \r\n") + 1);
    std::string base = "https://127.0.0.1:" + std::to_string(liar.port()) + "/config";
    write_coninfo(base + "?token=" + token, "", liar_base64);
    std::wstring url = widen(base) + config_url().substr(config_url().find(L'?'));

    for (int call = 1; call <= 2; ++call) {
        EXPECT_EQ(download_packages(&ctx_, url.c_str(), work().c_str(), &direct_), 0);
        EXPECT_EQ(count_of("Configuration request response code: 200"), static_cast<size_t>(call))
            << "downloaded again";
        EXPECT_EQ(count_of("Hash verification of FrameworkConfig.zip failed"), static_cast<size_t>(call));
        EXPECT_TRUE(logged_as('E', "Hash verification of FrameworkConfig.zip failed"));
        EXPECT_EQ(ctx_.config_done, 0);
    }
    EXPECT_FALSE(logged("FrameworkConfig.zip was verified"));
    EXPECT_FALSE(path_exists(work_ + "/sitelist.xml")) << "a package that failed its digest is not extracted";
}

// ---------------------------------------------------------------------------------------------
// Repository road

TEST_F(RetrievalTest, InstallIp404ThenFqdn200OnTheSameSite) {
    std::string empty_host = "127.0.0.2:" + std::to_string(s_->empty_nginx->port());
    prepare_install({site("HttpSite", 1, "ServerIP=\"" + empty_host + "\" Server=\"" + nginx_name() + "\"")});
    wchar_t package_path[260] = L"";
    ASSERT_EQ(retrieve_install(package_path, 1), 1);
    EXPECT_EQ(narrow_ascii(package_path), package());
    EXPECT_TRUE(logged_in_order(
        {"[Fallback] 1:IP based:Install Files:Enter",
         "Trying to download install file using repository IP http://" + empty_host,
         "Downloading install file from " + package_url("http://" + empty_host),
         "Unable to download FrameworkInstall.zip:Response:404", "[Fallback] 2:FQDN based:Install Files:Enter",
         "Trying to download install file using repository FQDN http://" + nginx_name(),
         "Downloaded install file Successfully", "Install file stored in " + package(),
         "Install file extracted to " + work_, "Hash verification for Framework install files succeeded"}));
    EXPECT_TRUE(logged("Install files unpacked during the download: 1 taken, 0 removed"));
    EXPECT_TRUE(logged_as('W', "Unable to download FrameworkInstall.zip:Response:404"));
    EXPECT_EQ(field(access(*s_->empty_nginx, empty_start_, 1).at(0), "status"), "404");
    EXPECT_EQ(field(access(*s_->nginx, nginx_start_, 1).at(0), "status"), "200");
    EXPECT_TRUE((fs::status(work_ + "/Vesinst.exe").permissions() & fs::perms::owner_exec) != fs::perms::none);
}

TEST_F(RetrievalTest, InstallIp500WithoutServerTriesTheNetbiosNameThenTheNextSite) {
    force("127.0.0.2", 500);
    std::string ip = "127.0.0.2:" + handler_port(), name = "localhost:" + handler_port();
    prepare_install({site("SboltSite", 1, "ServerIP=\"" + ip + "\" ServerName=\"" + name + "\""),
                     site("HttpSite", 2, "Server=\"" + nginx_name() + "\"")});
    ASSERT_EQ(retrieve_install(nullptr, 1), 1);
    EXPECT_TRUE(logged_in_order(
        {"Trying to download install file using repository IP https://" + ip,
         "Unable to download FrameworkInstall.zip:Response:500", "[Fallback] 2:FQDN based:Install Files:Enter",
         "Unable to download via Fallback:2:FQDN", "[Fallback] 3:NetBios based:Install Files:Enter",
         "Trying to download install file using repository Netbios https://" + name,
         "Downloading install file from " + package_url("https://" + name),
         "Unable to download FrameworkInstall.zip:Response:404",
         "Finding another site to download the required install file",
         "Trying to download install file from the next site", "Unable to download via Fallback:1:IP based",
         "Trying to download install file using repository FQDN http://" + nginx_name(),
         "Downloaded install file Successfully"}));
    EXPECT_TRUE(logged_as('W', "Unable to download via Fallback:2:FQDN"));
    EXPECT_FALSE(logged("Now Looking for any other repositories")) << "a failed NetBIOS attempt goes to the next site";
    EXPECT_EQ(new_requests(), (request_list{{"127.0.0.2", 500}, {"localhost", 404}}));
}

TEST_F(RetrievalTest, InstallPackageFailingVerificationIsDeletedAndTheNextSiteTried) {
    prepare_install({site("HttpSite", 1, "ServerIP=\"" + nginx_host() + "\"", "Bad"),
                     site("HttpSite", 2, "Server=\"" + nginx_name() + "\"")});
    ASSERT_EQ(retrieve_install(nullptr, 1), 1);
    EXPECT_TRUE(logged_in_order({"Downloading install file from " + package_url("http://" + nginx_host(), "Bad"),
                                 "Install file extracted to " + work_, "Verification of agent.dat failed",
                                 "Hash verification for Framework install files failed, continue with another site.",
                                 "Trying to download install file from the next site",
                                 "Downloading install file from " + package_url("http://" + nginx_name()),
                                 "Hash verification for Framework install files succeeded"}));
    auto requests = access(*s_->nginx, nginx_start_, 2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(field(requests[1], "range"), "") << "the bad package was deleted, not resumed";
    EXPECT_EQ(field(requests[1], "body_bytes_sent"), std::to_string(s_->install_size));
    EXPECT_EQ(read_whole_file(package()), read_whole_file(s_->install_zip));
}

TEST_F(RetrievalTest, InstallWithoutUsableSiteOrSiteListFails) {
    prepare_install({"<HttpSite Order=\"1\" Enabled=\"0\" Server=\"" + nginx_name() + "\"/>",
                     "<FtpSite Order=\"1\" Enabled=\"1\" Server=\"" + nginx_name() + "\"/>"});
    EXPECT_EQ(retrieve_install(nullptr, 1), 0);
    EXPECT_TRUE(logged_as('E', "Unable to find a valid site to download install file"));
    EXPECT_TRUE(logged("Download of install file failed"));

    fs::remove(work_ + "/sitelist.xml");
    EXPECT_EQ(retrieve_install(nullptr, 1), 0);
    EXPECT_TRUE(logged_as('E', "unable to Parse sitelist errno 1"));
    EXPECT_EQ(qsw_test::read_lines(s_->nginx->field("access_log")).size(), nginx_start_) << "nothing was fetched";
}

TEST_F(RetrievalTest, InstallResumeTransfersOnlyTheRestOfAPartialPackage) {
    prepare_install({site("HttpSite", 1, "ServerIP=\"" + nginx_host() + "\"")});
    const size_t partial = 1000000;
    write_whole_file(package(), read_whole_file(s_->install_zip).substr(0, partial));
    ASSERT_EQ(retrieve_install(nullptr, 1), 1);
    EXPECT_TRUE(logged("Downloaded install (Partial Content) file Successfully"));
    EXPECT_FALSE(logged("Resume download flag is off deleting the files."));
    auto request = access(*s_->nginx, nginx_start_, 1).at(0);
    EXPECT_EQ(field(request, "status"), "206");
    EXPECT_EQ(field(request, "range"), "bytes=" + std::to_string(partial) + "-");
    EXPECT_EQ(field(request, "body_bytes_sent"), std::to_string(s_->install_size - partial));
    EXPECT_EQ(read_whole_file(package()), read_whole_file(s_->install_zip));
}

TEST_F(RetrievalTest, InstallResumeOffDeletesAPartialPackageFirst) {
    prepare_install({site("HttpSite", 1, "ServerIP=\"" + nginx_host() + "\"")});
    write_whole_file(package(), read_whole_file(s_->install_zip).substr(0, 1000000));
    ASSERT_EQ(retrieve_install(nullptr, 0), 1);
    EXPECT_TRUE(logged("Resume download flag is off deleting the files."));
    auto request = access(*s_->nginx, nginx_start_, 1).at(0);
    EXPECT_EQ(field(request, "range"), "");
    EXPECT_EQ(field(request, "body_bytes_sent"), std::to_string(s_->install_size));
    EXPECT_TRUE(logged("Downloaded install file Successfully"));
}

TEST_F(RetrievalTest, InstallCompletePackageGets416AndGoesStraightToExtraction) {
    prepare_install({site("HttpSite", 1, "ServerIP=\"" + nginx_host() + "\"")});
    fs::copy_file(s_->install_zip, package());
    write_whole_file(work_ + "/cleanup.exe", "left by an earlier run");
    ASSERT_EQ(retrieve_install(nullptr, 1), 1);
    EXPECT_FALSE(path_exists(work_ + "/cleanup.exe")) << "an earlier run's installer programs go before extraction";
    EXPECT_FALSE(logged("There is no " + work_ + "/cleanup.exe to delete"));
    EXPECT_TRUE(logged("There is no " + work_ + "/Vesinst.exe to delete"));
    EXPECT_EQ(field(access(*s_->nginx, nginx_start_, 1).at(0), "status"), "416");
    EXPECT_TRUE(logged_in_order({"Install file is already downloaded", "Install file stored in " + package(),
                                 "Install file extracted to " + work_,
                                 "Hash verification for Framework install files succeeded"}));
    EXPECT_FALSE(logged("Install files unpacked during the download")) << "nothing was downloaded";
    EXPECT_EQ(read_whole_file(package()), read_whole_file(s_->install_zip)) << "the package is left as it was";
}

// A wrong body once taken for the package (as large as the real one, so every resume gets 416)
// must not be "already downloaded" for ever: it goes, and the next site sends the package whole.
TEST_F(RetrievalTest, InstallPackageThatCannotBeExtractedIsDeletedAndFetchedWhole) {
    prepare_install({site("HttpSite", 1, "ServerIP=\"" + nginx_host() + "\""),
                     site("HttpSite", 2, "Server=\"" + nginx_name() + "\"")});
    write_whole_file(package(), std::string(s_->install_size + 100, 'x'));
    ASSERT_EQ(retrieve_install(nullptr, 1), 1);
    EXPECT_TRUE(
        logged_in_order({"Install file is already downloaded", "Decompression of FrameworkInstall.zip failed",
                         "Deleted " + package() + ": the next attempt downloads it whole",
                         "Trying to download install file from the next site", "Downloaded install file Successfully",
                         "Hash verification for Framework install files succeeded"}));
    auto requests = access(*s_->nginx, nginx_start_, 2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(field(requests[0], "status"), "416");
    EXPECT_EQ(field(requests[1], "range"), "");
    EXPECT_EQ(field(requests[1], "status"), "200");
    EXPECT_EQ(read_whole_file(package()), read_whole_file(s_->install_zip));
}

TEST_F(RetrievalTest, CancelBeforeAndDuringTheDownloads) {
    ctx_.cancel_flag = 1;
    write_coninfo();
    EXPECT_EQ(download_packages(&ctx_, config_url().c_str(), work().c_str(), &direct_), 0);
    EXPECT_TRUE(logged("Download is aborted by user"));
    EXPECT_TRUE(logged("Could not download FrameworkConfig.zip"));
    EXPECT_TRUE(new_requests().empty());

    prepare_install({site("HttpSite", 1, "ServerIP=\"" + nginx_host() + "\"", "slow/Software")});
    EXPECT_EQ(retrieve_install(nullptr, 1), 0);
    EXPECT_TRUE(logged("Download of install file failed"));
    EXPECT_FALSE(path_exists(package())) << "no transfer after a cancel";

    // During the transfer: nginx sends /slow/ at 256 KiB/s, the 2 MiB package takes seconds; the
    // unpacking sees the first megabyte after four.
    ctx_.cancel_flag = 0;
    log_start_ = read_whole_file(log_path()).size();
    std::atomic<bool> done{false};
    std::atomic<bool> unpacked{false};
    std::thread canceller([&] {
        // Under way once the unpacking of what is on disk has reached the data file: cancel then.
        while (!done && !path_exists(work_ + "/agent.dat")) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        unpacked = !done;
        ctx_.cancel_flag = 1;
    });
    int result = retrieve_install(nullptr, 1);
    done = true;
    canceller.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(logged_in_order({"Unable to download FrameworkInstall.zip:Response:200", "Download is aborted by user",
                                 "Download of install file failed"}));
    EXPECT_LT(fs::file_size(package()), s_->install_size) << "the transfer was cut short";
    EXPECT_FALSE(logged("Install file extracted to " + work_));
    EXPECT_TRUE(unpacked) << "the package was being unpacked while it downloaded";
    EXPECT_FALSE(path_exists(work_ + "/agent.dat")) << "what the cut download had unpacked is gone";
}

// ---------------------------------------------------------------------------------------------
// Orchestration

TEST_F(RetrievalTest, LaterMechanismsReuseTheConfigurationPackage) {
    if (!s_->inside) {
        if (s_->namespace_failed) FAIL() << "the private network namespace could not be made: " << s_->no_namespace;
        GTEST_SKIP() << "route kind 0 runs the peer road, which must stay off this network: " << s_->no_namespace;
    }
    write_coninfo();
    proxy_record peers{};
    peers.route_kind = ROUTE_PEERS;
    EXPECT_EQ(download_packages(&ctx_, config_url().c_str(), work().c_str(), &peers), 0);
    EXPECT_EQ(ctx_.config_done, 1);
    EXPECT_TRUE(logged_in_order(
        {"FrameworkConfig.zip was verified", "FrameworkConfig.zip extracted to " + work_ + "/FrameworkConfig.zip",
         "Try to get install files via p2p mechanism with the selected top level - 0 - mechanism",
         "Returning from Install via p2p mechanism within top level p2p mechanism to try for other mechanisms"}));
    EXPECT_FALSE(logged("Downloading of FrameworkInstall.zip failed")) << "route kind 0 does not report it";
    EXPECT_TRUE(path_exists(work_ + "/sitelist.xml"));
    EXPECT_EQ(new_requests(), (request_list{{"127.0.0.2", 200}}));

    requests_start_ = all_requests().size();
    log_start_ = read_whole_file(log_path()).size();
    EXPECT_EQ(download_packages(&ctx_, config_url().c_str(), work().c_str(), &direct_), 1);
    EXPECT_TRUE(new_requests().empty()) << "the configuration package is not fetched again";
    EXPECT_FALSE(logged("[Fallback] 1:IP based:Config Files:Enter"));
    EXPECT_TRUE(logged("Hash verification for Framework install files succeeded"));
    EXPECT_FALSE(logged("Try to get install files via p2p mechanism with the selected top level - 1 - mechanism"));
    EXPECT_TRUE(path_exists(work_ + "/Vesinst.exe"));

    log_start_ = read_whole_file(log_path()).size();
    write_whole_file(work_ + "/sitelist.xml", "<SiteList/>");
    EXPECT_EQ(download_packages(&ctx_, config_url().c_str(), work().c_str(), &direct_), 0);
    EXPECT_TRUE(logged_as('E', "Downloading of FrameworkInstall.zip failed")) << "route kind 1 reports it";
}
}   // namespace
