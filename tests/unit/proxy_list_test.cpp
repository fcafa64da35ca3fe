#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_capture.h"
#include "proxy/proxy_list.h"

namespace {
struct parsed {
    std::wstring host;
    int32_t port;
    int32_t scheme;
    bool operator==(const parsed& o) const { return host == o.host && port == o.port && scheme == o.scheme; }
};

std::ostream& operator<<(std::ostream& out, const parsed& p) {
    return out << "{" << narrow_ascii(p.host) << ", " << p.port << ", " << p.scheme << "}";
}

std::vector<parsed> parse(const wchar_t* text) {
    proxy_list_ptr list(create_proxy_list());
    EXPECT_EQ(processProxyList(text, list.get()), 1);
    std::vector<parsed> out;
    for (size_t i = 0; i < proxy_list_size(list.get()); ++i) {
        const proxy_entry* e = proxy_list_at(list.get(), i);
        out.push_back({e->host, e->port, e->scheme});
    }
    return out;
}

parsed split(const wchar_t* item) {
    proxy_entry entry;
    entry.port = -7;
    EXPECT_EQ(splitProxyInformation(item, &entry), 1) << narrow_ascii(item);
    return {entry.host, entry.port, entry.scheme};
}

TEST(ProxyListTest, ManualListKeepsHttpHttpsAndFtpItemsAndDropsOtherSchemes) {
    log_capture log;
    EXPECT_EQ(parse(L"http=p1:8080;https=p2:8443;socks=p3:1080"),
              (std::vector<parsed>{{L"p1", 8080, PROXY_SCHEME_HTTP}, {L"p2", 8443, PROXY_SCHEME_HTTPS}}));
    EXPECT_EQ(log.messages(),
              (std::vector<std::string>{"processProxyList", "splitProxyInformation http=p1:8080",
                                        "splitProxyInformation https=p2:8443", "splitProxyInformation socks=p3:1080"}));
    proxy_entry entry;
    EXPECT_EQ(splitProxyInformation(L"socks=p3:1080", &entry), 0);
    EXPECT_EQ(parse(L"FTP=f:2121,HTTPS=s"),
              (std::vector<parsed>{{L"f", 2121, PROXY_SCHEME_FTP}, {L"s", 443, PROXY_SCHEME_HTTPS}}))
        << "schemes without regard to case";
}

TEST(ProxyListTest, ItemsAreSplitAtEverySeparatorAndEmptyItemsAreSkipped) {
    EXPECT_EQ(parse(L" ;a:1,, b:2\tc:3\r\nd:4;"),
              (std::vector<parsed>{{L"a", 1, 3}, {L"b", 2, 3}, {L"c", 3, 3}, {L"d", 4, 3}}));
    proxy_list_ptr list(create_proxy_list());
    EXPECT_EQ(processProxyList(L"", list.get()), 0);
    EXPECT_EQ(processProxyList(nullptr, list.get()), 0);
    EXPECT_EQ(proxy_list_size(list.get()), 0u);
}

TEST(ProxyListTest, SchemeAndPortDefaults) {
    EXPECT_EQ(split(L"proxy3:3128"), (parsed{L"proxy3", 3128, PROXY_SCHEME_ALL}));
    EXPECT_EQ(split(L"proxy:80"), (parsed{L"proxy", 80, PROXY_SCHEME_ALL}));
    EXPECT_EQ(split(L"http=p"), (parsed{L"p", 80, PROXY_SCHEME_HTTP}));
    EXPECT_EQ(split(L"https=p"), (parsed{L"p", 443, PROXY_SCHEME_HTTPS}));
    EXPECT_EQ(split(L"ftp=p"), (parsed{L"p", 21, PROXY_SCHEME_FTP}));
    // No scheme and no port: port 0, which the transfer takes for "no proxy".
    EXPECT_EQ(split(L"lonely"), (parsed{L"lonely", 0, PROXY_SCHEME_ALL}));
    EXPECT_EQ(split(L"p:abc"), (parsed{L"p", 0, PROXY_SCHEME_ALL})) << "a port that is no number";
    EXPECT_EQ(split(L"http=http://p:8080/"), (parsed{L"p", 8080, PROXY_SCHEME_HTTP})) << "scheme prefix and path";
}

TEST(ProxyListTest, Ipv6HostsLoseTheirBrackets) {
    EXPECT_EQ(split(L"http://[2001:db8::5]:8080"), (parsed{L"2001:db8::5", 8080, PROXY_SCHEME_ALL}));
    EXPECT_EQ(split(L"https=http://[2001:db8::5]:8443"), (parsed{L"2001:db8::5", 8443, PROXY_SCHEME_HTTPS}));
    EXPECT_EQ(split(L"[2001:db8::5]:3128"), (parsed{L"2001:db8::5", 3128, PROXY_SCHEME_ALL}));
    // Without a port the last colon of the address is no port separator.
    EXPECT_EQ(split(L"https=[2001:db8::5]"), (parsed{L"2001:db8::5", 443, PROXY_SCHEME_HTTPS}));
    EXPECT_EQ(split(L"http://[::1]"), (parsed{L"::1", 0, PROXY_SCHEME_ALL}));
}

TEST(ProxyListTest, AnItemWithoutHostIsKeptButNeverChosen) {
    EXPECT_EQ(split(L"http=:8080"), (parsed{L"", 0, PROXY_SCHEME_HTTP}));
    proxy_list_ptr list(create_proxy_list());
    processProxyList(L"http=:8080;http=real:81", list.get());
    ASSERT_EQ(proxy_list_size(list.get()), 2u);
    proxy_entry_ptr chosen(getProxyServer(list.get(), PROXY_SCHEME_HTTP));
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->host, L"real");
    EXPECT_EQ(chosen->port, 81);
}

TEST(ProxyListTest, GetProxyServerCopiesTheFirstEntryOfAScheme) {
    proxy_list_ptr list(create_proxy_list());
    processProxyList(L"https=first:1;all1:2;https=second:3;all2:4", list.get());
    proxy_entry_ptr https(getProxyServer(list.get(), PROXY_SCHEME_HTTPS));
    proxy_entry_ptr all(getProxyServer(list.get(), PROXY_SCHEME_ALL));
    EXPECT_FALSE(getProxyServer(list.get(), PROXY_SCHEME_FTP));
    list.reset();   // the copies own their text
    ASSERT_TRUE(https && all);
    EXPECT_EQ(https->host, L"first");
    EXPECT_EQ(all->host, L"all1");
    EXPECT_EQ(all->port, 2);
    EXPECT_FALSE(getProxyServer(nullptr, PROXY_SCHEME_ALL));
}

TEST(ProxyListTest, AnItemIsReadUpTo511Characters) {
    std::wstring long_host(505, L'h');
    EXPECT_EQ(split((long_host + L":3128").c_str()), (parsed{long_host, 3128, PROXY_SCHEME_ALL}));   // 510
    std::wstring cut(509, L'h');
    // 509 + ":31" = 512: the last digit is beyond the copy.
    EXPECT_EQ(split((cut + L":31").c_str()), (parsed{cut, 3, PROXY_SCHEME_ALL}));
    EXPECT_EQ(split(L"http=p:99999999999"), (parsed{L"p", 2147483647, PROXY_SCHEME_HTTP})) << "held to 32 bits";
}
}   // namespace
