#include "proxy/proxy_list.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include <cwctype>
#include <new>
#include <vector>

#include "core/log.h"

struct proxy_list {
    std::vector<proxy_entry> entries;
};

namespace {
constexpr size_t item_capacity = 511;   // characters of an item that are read
constexpr size_t scheme_capacity = 14;
constexpr size_t bracket_port_capacity = 19;

bool equals_ignoring_case(const std::wstring& a, const wchar_t* b) {
    size_t n = std::wcslen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return true;
}

// Scheme code and default port of a scheme name; false for schemes a proxy list may not name.
bool scheme_of(const std::wstring& name, int32_t* code, int32_t* default_port) {
    struct known {
        const wchar_t* name;
        int32_t code;
        int32_t port;
    };
    static const known schemes[] = {
        {L"http", PROXY_SCHEME_HTTP, 80}, {L"ftp", PROXY_SCHEME_FTP, 21}, {L"https", PROXY_SCHEME_HTTPS, 443}};
    for (const known& s : schemes) {
        if (!equals_ignoring_case(name, s.name)) continue;
        *code = s.code;
        *default_port = s.port;
        return true;
    }
    return false;
}

// The leading decimal number of `text` (after blanks, with an optional sign), held to the
// 32-bit range; 0 when there is none.
int32_t read_decimal(const std::wstring& text) {
    const wchar_t* start = text.c_str();
    wchar_t* end = nullptr;
    long long value = std::wcstoll(start, &end, 10);
    if (end == start) return 0;
    return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

struct host_and_port {
    std::wstring host;
    int32_t port;
};

// "[v6]:port" or "[v6]", the opening bracket already gone.
host_and_port split_bracketed(const std::wstring& address, int32_t default_port) {
    size_t close = address.find(L']');
    if (close == std::wstring::npos) return {address, default_port};
    std::wstring rest = address.substr(close + 1);
    if (rest.empty() || rest[0] != L':') return {address.substr(0, close), default_port};
    return {address.substr(0, close), read_decimal(rest.substr(1, bracket_port_capacity))};
}

host_and_port split_host_port(const std::wstring& address, int32_t default_port) {
    size_t colon = address.rfind(L':');
    if (colon == std::wstring::npos) return {address, default_port};
    return {address.substr(0, colon), read_decimal(address.substr(colon + 1))};
}

// The address without its scheme prefix: "://[" and "://" are dropped with what precedes them;
// an address that is a bracketed IPv6 host without any prefix loses its bracket too.
host_and_port read_address(std::wstring address, int32_t default_port) {
    size_t mark = address.find(L"://[");
    if (mark != std::wstring::npos) return split_bracketed(address.substr(mark + 4), default_port);
    mark = address.find(L"://");
    if (mark != std::wstring::npos) address.erase(0, mark + 3);
    if (!address.empty() && address[0] == L'[') return split_bracketed(address.substr(1), default_port);
    return split_host_port(address, default_port);
}

bool is_separator(wchar_t c) { return c == L',' || c == L';' || c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }
}   // namespace

proxy_list* create_proxy_list() { return new (std::nothrow) proxy_list; }

void release_proxy_list(proxy_list* list) { delete list; }

bool append_proxy_entry(proxy_list* list, const proxy_entry& entry) {
    if (!list) return false;
    try {
        list->entries.push_back(entry);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

size_t proxy_list_size(const proxy_list* list) { return list ? list->entries.size() : 0; }

const proxy_entry* proxy_list_at(const proxy_list* list, size_t index) {
    return list && index < list->entries.size() ? &list->entries[index] : nullptr;
}

proxy_entry* getProxyServer(const proxy_list* list, int32_t scheme) {
    if (!list) return nullptr;
    for (const proxy_entry& entry : list->entries) {
        if (entry.scheme != scheme || entry.host.empty()) continue;
        try {
            return new proxy_entry(entry);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return nullptr;
}

void release_proxy_entry(proxy_entry* entry) { delete entry; }

int splitProxyInformation(const wchar_t* item, proxy_entry* entry) {
    if (!item || !entry) return 0;
    log_message(SEV_INFO, L"splitProxyInformation %ls", item);
    std::wstring copy(item, std::min(std::wcslen(item), item_capacity));
    int32_t code = PROXY_SCHEME_ALL;
    int32_t default_port = 0;
    std::wstring address = copy;
    size_t equals = copy.find(L'=');
    if (equals != std::wstring::npos) {
        if (!scheme_of(copy.substr(0, std::min(equals, scheme_capacity)), &code, &default_port)) return 0;
        address = copy.substr(equals + 1);
    }
    host_and_port found = read_address(address, default_port);
    entry->scheme = code;
    entry->host.clear();
    entry->port = 0;
    if (!found.host.empty()) {
        entry->host = found.host;
        entry->port = found.port;
    }
    return 1;
}

int processProxyList(const wchar_t* text, proxy_list* list) {
    if (!text || !*text) return 0;
    log_message(SEV_INFO, L"processProxyList");
    const wchar_t* p = text;
    while (*p) {
        while (*p && is_separator(*p)) ++p;
        const wchar_t* start = p;
        while (*p && !is_separator(*p)) ++p;
        if (p == start) continue;
        std::wstring item(start, p);
        proxy_entry entry;
        if (splitProxyInformation(item.c_str(), &entry)) append_proxy_entry(list, entry);
    }
    return 1;
}
