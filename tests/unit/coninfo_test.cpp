#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "config/coninfo.h"
#include "log_capture.h"

namespace {
class ConinfoTest : public ::testing::Test {
protected:
    log_capture log_;
    std::string doc_ = log_.folder().file("coninfo.xml");

    void write_doc(const std::string& body) {
        write_whole_file(doc_, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ConInfo>\n" + body + "</ConInfo>\n");
    }
    std::wstring doc() const { return widen(doc_); }
};

TEST_F(ConinfoTest, UrlSplitsIntoBaseAndToken) {
    write_doc(
        "    <bsurl>https://epo.example.com:443/config?token=0123456789abcdef0123456789abcdef01234567</bsurl>\n"
        "    <serverip>https://[fd00::5]:443/config?token=abc</serverip>\n");
    wchar_t base[url_capacity], token[token_capacity];
    ASSERT_EQ(read_coninfo_url(doc().c_str(), L"bsurl", base, token), 1);
    EXPECT_STREQ(base, L"https://epo.example.com:443/config");
    EXPECT_STREQ(token, L"0123456789abcdef0123456789abcdef01234567");
    ASSERT_EQ(read_coninfo_url(doc().c_str(), L"serverip", base, token), 1);
    EXPECT_STREQ(base, L"https://[fd00::5]:443/config");
}

TEST_F(ConinfoTest, UrlsWithoutQuestionMarkOrEqualsSignFail) {
    write_doc(
        "<bsurl>https://h/config=x</bsurl><serverip>https://h/config?token</serverip><serverNetbios></serverNetbios>");
    wchar_t base[url_capacity], token[token_capacity] = L"";
    EXPECT_EQ(read_coninfo_url(doc().c_str(), L"bsurl", base, token), 0);
    EXPECT_STREQ(base, L"https://h/config=x") << "the whole text stays in the base";
    EXPECT_STREQ(token, L"x");
    token[0] = L'\0';
    EXPECT_EQ(read_coninfo_url(doc().c_str(), L"serverip", base, token), 0);
    EXPECT_STREQ(token, L"") << "without '=' the token stays empty";
    EXPECT_EQ(read_coninfo_url(doc().c_str(), L"serverNetbios", base, token), 0) << "empty text";
    EXPECT_EQ(read_coninfo_url(widen(log_.folder().path()).c_str(), L"bsurl", base, token), 0) << "a folder";
}

TEST_F(ConinfoTest, ElementReaderCountsIndexesAndToleratesAbsence) {
    write_doc("<CaBundle><CaCertificate>AAA</CaCertificate><CaCertificate>BBB</CaCertificate></CaBundle>");
    int count = 0;
    ASSERT_EQ(read_xml_element_text(doc().c_str(), L"CaCertificate", nullptr, 0, &count), 1);
    EXPECT_EQ(count, 2);
    wchar_t text[16] = L"";
    int index = 1;
    ASSERT_EQ(read_xml_element_text(doc().c_str(), L"CaCertificate", text, 16, &index), 1);
    EXPECT_STREQ(text, L"BBB");
    int untouched = 7;
    EXPECT_EQ(read_xml_element_text(doc().c_str(), L"Missing", nullptr, 0, &untouched), 1);
    EXPECT_EQ(untouched, 7);
    wchar_t small[3] = L"";
    index = 0;
    read_xml_element_text(doc().c_str(), L"CaCertificate", small, 3, &index);
    EXPECT_STREQ(small, L"AA") << "cut to the capacity";

    write_whole_file(doc_, "<ConInfo><bsurl>unclosed</ConInfo>");
    EXPECT_EQ(read_xml_element_text(doc().c_str(), L"bsurl", text, 16, &index), 0) << "malformed document";
    EXPECT_EQ(read_xml_element_text(widen(log_.folder().file("none.xml")).c_str(), L"bsurl", text, 16, &index), 0);
}

std::vector<std::string> bundle_lines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(read_whole_file(path));
    std::string line;
    while (std::getline(in, line)) {
        // The bundle is a text file: on Windows its lines end in CR LF.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TEST_F(ConinfoTest, CaBundleHasOnePemBlockPerCertificateIn64CharacterLines) {
    std::string first(130, 'A'), second(64, 'B');
    write_doc("<CaBundle><CaCertificate>" + first.substr(0, 50) + "\n  " + first.substr(50) +
              "</CaCertificate><CaCertificate>" + second + "</CaCertificate></CaBundle>");
    char ca_path[260] = {};
    write_ca_bundle(widen(log_.folder().path()).c_str(), ca_path);
    ASSERT_EQ(std::string(ca_path), log_.folder().file("cabundle.cer"));
    EXPECT_EQ(bundle_lines(ca_path),
              (std::vector<std::string>{"-----BEGIN CERTIFICATE-----", std::string(64, 'A'), std::string(64, 'A'), "AA",
                                        "-----END CERTIFICATE-----", "-----BEGIN CERTIFICATE-----", second,
                                        "-----END CERTIFICATE-----"}));
    EXPECT_TRUE(log_.contains("creating certificate " + log_.folder().file("cabundle.cer")));
}

TEST_F(ConinfoTest, A65CharacterCertificateEndsWithAOneCharacterLine) {
    write_doc("<CaBundle><CaCertificate>" + std::string(65, 'C') + "</CaCertificate></CaBundle>");
    char ca_path[260] = {};
    write_ca_bundle(widen(log_.folder().path()).c_str(), ca_path);
    auto lines = bundle_lines(ca_path);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "C");
}

TEST_F(ConinfoTest, NoCertificatesMeansNoBundle) {
    write_doc("<CaBundle/><bsurl>https://h/config?token=t</bsurl>");
    char ca_path[260] = {};
    write_ca_bundle(widen(log_.folder().path()).c_str(), ca_path);
    EXPECT_STREQ(ca_path, "");
    EXPECT_FALSE(path_exists(log_.folder().file("cabundle.cer")));
}
}   // namespace
