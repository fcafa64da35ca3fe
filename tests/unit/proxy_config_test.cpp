#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <string>

#include "core/options.h"
#include "proxy/proxy_config.h"
#include "test_support.h"

namespace {
std::string encode(const std::string& data, size_t capacity, size_t* returned = nullptr) {
    std::string out(capacity + 1, '#');
    size_t n = base64_encode(reinterpret_cast<const unsigned char*>(data.data()), data.size(), &out[0], capacity);
    if (returned) *returned = n;
    return out;
}

TEST(Base64Test, StandardAlphabetWithPadding) {
    const std::pair<std::string, std::string> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"},
                                                           {"\xfb\xff\xbf", "+/+/"}};
    for (const auto& [data, expected] : vectors) {
        size_t n = 0;
        std::string out = encode(data, 64, &n);
        EXPECT_EQ(n, expected.size());
        EXPECT_EQ(std::string(out.c_str()), expected) << data;
    }
}

TEST(Base64Test, NeverWritesBeyondItsCapacity) {
    size_t n = 0;
    std::string exact = encode("foo", 4, &n);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(exact, "Zm9v#") << "no room for a terminator: none written";
    std::string small = encode("foob", 7, &n);
    EXPECT_EQ(n, 8u) << "the whole length is reported";
    EXPECT_EQ(small, std::string(8, '#')) << "nothing written when it does not fit";
}

class ProxyConfigTest : public ::testing::Test {
protected:
    void SetUp() override { free_options(); }
    void TearDown() override { free_options(); }

    // Runs write_proxy_config_file with standard output captured.
    std::string write() {
        std::string captured = folder_.file("stdout.txt");
        std::fflush(stdout);
        int saved = dup(STDOUT_FILENO);
        int fd = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDOUT_FILENO);
        close(fd);
        write_proxy_config_file(folder_.path().c_str());
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        return read_whole_file(captured);
    }
    std::string file() const { return folder_.file("proxy_config.ini"); }

    scratch_folder folder_;
};

TEST_F(ProxyConfigTest, AddressAndPortAloneGiveThreeLines) {
    set_option(OPT_PROXY_ADDRESS, L"10.0.0.5");
    set_option(OPT_PROXY_PORT, L"8080");
    EXPECT_EQ(write(), "proxy_config.ini file open successfully\n");
    EXPECT_EQ(read_whole_file(file()), "[ProxyInfo]\nServer=10.0.0.5\nPort=8080\n");
}

TEST_F(ProxyConfigTest, CredentialsAddTheUserAndTheScrambledPassword) {
    set_option(OPT_PROXY_ADDRESS, L"proxy.example");
    set_option(OPT_PROXY_PORT, L"3128");
    set_option(OPT_PROXY_USER, L"alice");
    set_option(OPT_PROXY_PASSWORD, L"abc");   // +10 per byte: "klm"
    write();
    EXPECT_EQ(read_whole_file(file()), "[ProxyInfo]\nServer=proxy.example\nPort=3128\nUserName=alice\nPassword=a2xt\n");

    // The shift works on the UTF-8 bytes: C3 B6 -> CD C0.
    set_option(OPT_PROXY_PASSWORD, L"\u00f6");
    write();
    EXPECT_EQ(read_whole_file(file()), "[ProxyInfo]\nServer=proxy.example\nPort=3128\nUserName=alice\nPassword=zcA=\n");
}

TEST_F(ProxyConfigTest, ValuesOver259BytesAreWrittenEmpty) {
    set_option(OPT_PROXY_ADDRESS, widen(std::string(260, 'a')).c_str());
    set_option(OPT_PROXY_PORT, L"3128");
    set_option(OPT_PROXY_USER, widen(std::string(259, 'u')).c_str());
    set_option(OPT_PROXY_PASSWORD, widen(std::string(260, 'p')).c_str());
    write();
    EXPECT_EQ(read_whole_file(file()),
              "[ProxyInfo]\nServer=\nPort=3128\nUserName=" + std::string(259, 'u') + "\nPassword=\n");
}

TEST_F(ProxyConfigTest, NothingWithoutBothAddressAndPort) {
    set_option(OPT_PROXY_USER, L"alice");
    set_option(OPT_PROXY_PASSWORD, L"abc");
    EXPECT_EQ(write(), "");
    set_option(OPT_PROXY_ADDRESS, L"10.0.0.5");
    EXPECT_EQ(write(), "");
    EXPECT_FALSE(path_exists(file()));
}

TEST_F(ProxyConfigTest, AFolderThatCannotTakeTheFileIsReportedOnStandardOutput) {
    set_option(OPT_PROXY_ADDRESS, L"10.0.0.5");
    set_option(OPT_PROXY_PORT, L"8080");
    make_folder(file());   // a folder where the file should be
    EXPECT_EQ(write(), "Error Failed to open proxy_config.ini file in w+ mode!\n");
}
}   // namespace
