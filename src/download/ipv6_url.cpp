// IPv6 literals in URLs: libcurl wants them in brackets and without a zone index (the zone goes
// to libcurl separately as the address scope).
#include <cwchar>
#include <string>

#include "download/transfer.h"

namespace {
// The host with its zone index ("%12") removed; `cut` tells whether there was one.
std::wstring without_zone(const std::wstring& host, bool& cut) {
    size_t percent = host.rfind(L'%');
    cut = percent != std::wstring::npos;
    return cut ? host.substr(0, percent) : host;
}

// "[addr%zone]:port/path" or "addr%zone:port/path" (host and port only, the port being after the
// last colon of the authority) -> "[addr]:port/path".
std::wstring bracket_host(const std::wstring& rest) {
    size_t authority_end = rest.find_first_of(L"/?#");
    std::wstring authority = rest.substr(0, authority_end);
    std::wstring after = authority_end == std::wstring::npos ? std::wstring() : rest.substr(authority_end);

    size_t open = authority.find(L'[');
    size_t close = authority.find(L']');
    if (open != std::wstring::npos && close != std::wstring::npos && open < close) {
        bool cut = false;
        std::wstring inside = without_zone(authority.substr(0, close), cut);
        return inside + authority.substr(close) + after;
    }
    size_t colon = authority.rfind(L':');
    if (colon == std::wstring::npos) return rest;
    bool cut = false;
    std::wstring host = without_zone(authority.substr(0, colon), cut);
    return L"[" + host + L"]" + authority.substr(colon) + after;
}
}   // namespace

int format_ipv6_url(const wchar_t* input, wchar_t* output) {
    if (!output) return 0;
    output[0] = L'\0';
    if (!input) return 0;
    std::wstring text(input);
    if (text.size() >= transfer_url_capacity) return 0;

    std::wstring head;
    std::wstring rest = text;
    size_t slashes = text.find(L"//");
    if (text.find(L"http") != std::wstring::npos && slashes != std::wstring::npos) {
        head = text.substr(0, slashes + 2);
        rest = text.substr(slashes + 2);
    }
    std::wstring result = head + bracket_host(rest);
    if (result.size() >= transfer_url_capacity) return 0;
    std::wmemcpy(output, result.c_str(), result.size() + 1);
    return 1;
}
