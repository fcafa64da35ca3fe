#include "download/url_host.h"

#include <curl/curl.h>
#include <memory>

namespace {
struct curl_url_deleter {
    void operator()(CURLU* url) const noexcept { curl_url_cleanup(url); }
};
struct curl_text_deleter {
    void operator()(char* text) const noexcept { curl_free(text); }
};
}   // namespace

std::string url_host(const char* url) {
    if (!url) return {};
    std::unique_ptr<CURLU, curl_url_deleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url, CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) return {};
    char* raw = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_HOST, &raw, 0) != CURLUE_OK || !raw) return {};
    std::unique_ptr<char, curl_text_deleter> owned(raw);
    std::string host = raw;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    return host;
}

// Only the first group decides: fe80::/10 is every address whose first 16 bits, masked with
// ffc0, are fe80 (fe80: to febf:).
bool is_link_local_ipv6(const std::string& host) {
    size_t colon = host.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 4) return false;
    unsigned group = 0;
    for (size_t i = 0; i < colon; ++i) {
        char c = host[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        group = group * 16 + digit;
    }
    return (group & 0xffc0u) == 0xfe80u;
}
