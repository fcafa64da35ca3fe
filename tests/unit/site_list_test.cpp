#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/site_list.h"
#include "test_support.h"

namespace {
using site_list = site_list_ptr;

class SiteListTest : public ::testing::Test {
protected:
    scratch_folder folder_;
    std::string path_ = folder_.file("sitelist.xml");

    site_list parse(const std::string& sites, int expected_result = 1) {
        write_whole_file(path_,
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ns:SiteLists xmlns:ns=\"naSiteList\">"
                         "<SiteList Default=\"1\" Name=\"x\">" +
                             sites + "</SiteList></ns:SiteLists>\n");
        site_record* list = nullptr;
        EXPECT_EQ(parse_site_list(&list, path_.c_str()), expected_result);
        return site_list(list);
    }

    // The server values of the sites next_site hands out, in hand-out order.
    static std::vector<std::wstring> handed_out(site_record* list) {
        std::vector<std::wstring> out;
        site_record site{};
        while (next_site(list, &site)) out.push_back(site.server[0] ? site.server : site.server_ip);
        return out;
    }
};

TEST_F(SiteListTest, SitesComeOutByOrderAndEqualOrdersKeepFileOrder) {
    site_list list = parse(R"(<HttpSite Order="2" Enabled="1" Server="b:80"/>)"
                           R"(<HttpSite Order="1" Enabled="1" Server="a:80"/>)"
                           R"(<HttpSite Order="2" Enabled="1" Server="c:80"/>)"
                           R"(<HttpSite Order="1" Enabled="1" Server="d:80"/>)"
                           R"(<HttpSite Order="-1" Enabled="1" Server="e:80"/>)");
    EXPECT_EQ(handed_out(list.get()), (std::vector<std::wstring>{L"e:80", L"a:80", L"d:80", L"b:80", L"c:80"}));
    site_record site{};
    EXPECT_EQ(next_site(list.get(), &site), 0) << "every site is handed out once";
}

TEST_F(SiteListTest, UnusableSitesAreNeverHandedOut) {
    site_list list = parse(read_test_data("site_list/unusable_sites.xml"));
    EXPECT_EQ(handed_out(list.get()), (std::vector<std::wstring>{L"Fallback:80", L"10.0.0.1:80", L"sbolt:443"}));
    int count = 0, used = 0;
    for (site_record* r = list.get(); r; r = r->next, ++count) used += r->used;
    EXPECT_EQ(count, 10);
    EXPECT_EQ(used, 10) << "every record was looked at";
}

TEST_F(SiteListTest, FieldsAndTypesAreReadFromTheElement) {
    site_list list =
        parse(R"(<SboltSite Order="7x" Enabled="3" Server="h.example:80" ServerName="H:80" ServerIP="10.1.1.1:80" )"
              R"(Type="repository" Unknown="u"><RelativePath>Software</RelativePath></SboltSite>)"
              R"(<Strange Order="abc"/>)");
    ASSERT_NE(list, nullptr);
    const site_record* strange = list.get();
    EXPECT_EQ(strange->order, 0) << "no leading digits: 0";
    EXPECT_EQ(strange->site_type, SITE_OTHER);
    EXPECT_EQ(strange->enabled, 0);
    const site_record* s = strange->next;
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->site_type, SITE_SBOLT);
    EXPECT_EQ(s->order, 7);
    EXPECT_EQ(s->enabled, 3);
    EXPECT_STREQ(s->server, L"h.example:80");
    EXPECT_STREQ(s->server_name, L"H:80");
    EXPECT_STREQ(s->server_ip, L"10.1.1.1:80");
    EXPECT_STREQ(s->relative_path, L"Software");
    EXPECT_STREQ(s->type, "repository");
}

TEST_F(SiteListTest, SecurePortReplacesThePortOfSboltSitesOnly) {
    site_list list = parse(R"(<SboltSite Order="1" Enabled="1" Server="h.example:80" ServerName="H:80" )"
                           R"(ServerIP="[fd00::1]:80" SecurePort="443"/>)"
                           R"(<HttpSite Order="2" Enabled="1" Server="h.example:80" SecurePort="443"/>)"
                           R"(<SboltSite Order="3" Enabled="1" Server="bare" ServerIP="" SecurePort="8443"/>)");
    site_record site{};
    ASSERT_EQ(next_site(list.get(), &site), 1);
    EXPECT_STREQ(site.server, L"h.example:443");
    EXPECT_STREQ(site.server_name, L"H:443");
    EXPECT_STREQ(site.server_ip, L"[fd00::1]:443") << "the port after the last colon";
    ASSERT_EQ(next_site(list.get(), &site), 1);
    EXPECT_STREQ(site.server, L"h.example:80");
    ASSERT_EQ(next_site(list.get(), &site), 1);
    EXPECT_STREQ(site.server, L"bare:8443") << "a value without a port gets the secure port";
    EXPECT_STREQ(site.server_ip, L"") << "an empty value stays empty";
}

TEST_F(SiteListTest, RelativePathIsTheFirstSuchChildWithText) {
    site_list list = parse(R"(<HttpSite Order="1"><Other>x</Other><RelativePath>First</RelativePath>)"
                           R"(<RelativePath>Second</RelativePath></HttpSite>)"
                           R"(<HttpSite Order="2"><RelativePath/><RelativePath>Filled</RelativePath></HttpSite>)"
                           R"(<HttpSite Order="3"><Nested><RelativePath>Deep</RelativePath></Nested></HttpSite>)");
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->relative_path, L"First");
    ASSERT_NE(list->next, nullptr);
    EXPECT_STREQ(list->next->relative_path, L"Filled");
    ASSERT_NE(list->next->next, nullptr);
    EXPECT_STREQ(list->next->next->relative_path, L"") << "only children of the site count";
}

TEST_F(SiteListTest, PrettyPrintedAndCompactFilesGiveTheSameRecords) {
    const std::string compact =
        R"(<SboltSite Order="2" Enabled="1" Server="a:80" SecurePort="443"><RelativePath>Software</RelativePath></SboltSite>)"
        R"(<HttpSite Order="1" Enabled="1" ServerIP="10.0.0.1:80" Type="repository"><RelativePath>Repo</RelativePath></HttpSite>)";
    const std::string pretty =
        "\n    <SboltSite Order=\"2\" Enabled=\"1\" Server=\"a:80\" SecurePort=\"443\">\n"
        "        <RelativePath>Software</RelativePath>\n    </SboltSite>\n"
        "\t<HttpSite Order=\"1\" Enabled=\"1\" ServerIP=\"10.0.0.1:80\" Type=\"repository\">\r\n"
        "        <RelativePath>Repo</RelativePath>\r\n\t</HttpSite>\n";
    site_list a = parse(compact), b = parse(pretty);
    const site_record *x = a.get(), *y = b.get();
    int count = 0;
    for (; x && y; x = x->next, y = y->next, ++count) {
        EXPECT_EQ(x->site_type, y->site_type);
        EXPECT_STREQ(x->server, y->server);
        EXPECT_STREQ(x->server_ip, y->server_ip);
        EXPECT_STREQ(x->server_name, y->server_name);
        EXPECT_STREQ(x->relative_path, y->relative_path);
        EXPECT_STREQ(x->type, y->type);
        EXPECT_EQ(x->order, y->order);
        EXPECT_EQ(x->enabled, y->enabled);
    }
    EXPECT_EQ(count, 2);
    EXPECT_EQ(x, y) << "both lists end together";
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->relative_path, L"Repo");
}

TEST_F(SiteListTest, MissingOrEmptyDocuments) {
    site_record* list = reinterpret_cast<site_record*>(0x1);
    EXPECT_EQ(parse_site_list(&list, folder_.file("absent.xml").c_str()), 0);
    EXPECT_EQ(list, nullptr);

    write_whole_file(path_, "<?xml version=\"1.0\"?><SiteLists><Other/></SiteLists>");
    EXPECT_EQ(parse_site_list(&list, path_.c_str()), 1);
    EXPECT_EQ(list, nullptr) << "no SiteList: an empty list";

    site_list empty = parse("\n   \n");
    EXPECT_EQ(empty, nullptr);
    site_record site{};
    EXPECT_EQ(next_site(empty.get(), &site), 0);

    write_whole_file(path_, "<SiteList><HttpSite Order=\"1\" Server=\"a:80\" Enabled=\"1\"></SiteList>");
    EXPECT_EQ(parse_site_list(&list, path_.c_str()), 0) << "an unbalanced document does not parse";
    free_site_list(list);
}

TEST_F(SiteListTest, LongValuesAreCutToTheField) {
    std::string host(400, 'h');
    site_list list =
        parse("<HttpSite Order=\"1\" Enabled=\"1\" Server=\"" + host + ":80\" Type=\"" + std::string(300, 't') +
              "\"><RelativePath>" + std::string(300, 'p') + "</RelativePath></HttpSite>");
    ASSERT_NE(list, nullptr);
    // Fields of 260 characters (bytes for the type), terminator included.
    EXPECT_EQ(std::wstring(list->server), std::wstring(259, L'h'));
    EXPECT_EQ(std::wstring(list->relative_path).size(), 259u);
    EXPECT_EQ(std::string(list->type).size(), 259u);
}
}   // namespace
