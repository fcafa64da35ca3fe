// Proxies found on the system, in the order found: one entry per proxy server named by a proxy
// list text ("http=p1:8080;https=p2:8443", "proxy3:3128"). A list lives for one call of the
// proxy mechanism, on the install worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

enum proxy_scheme : int32_t {
    PROXY_SCHEME_HTTP = 0,
    PROXY_SCHEME_FTP = 1,
    PROXY_SCHEME_HTTPS = 2,
    PROXY_SCHEME_ALL = 3,   // the item named no scheme
};

struct proxy_entry {
    std::wstring host;   // without scheme, port or brackets; empty when the item named none
    int32_t port = 0;
    int32_t scheme = PROXY_SCHEME_ALL;
};

struct proxy_list;   // opaque; entries in the order appended

proxy_list* create_proxy_list();             // null when out of memory
void release_proxy_list(proxy_list* list);   // accepts null

// Appends a copy at the end. False when out of memory (the list is unchanged).
bool append_proxy_entry(proxy_list* list, const proxy_entry& entry);
size_t proxy_list_size(const proxy_list* list);
const proxy_entry* proxy_list_at(const proxy_list* list, size_t index);   // null past the end

// A new copy of the first entry, in list order, whose scheme is `scheme` and that has a host;
// null when there is none. The caller releases it.
proxy_entry* getProxyServer(const proxy_list* list, int32_t scheme);
void release_proxy_entry(proxy_entry* entry);   // accepts null

struct proxy_list_releaser {
    void operator()(proxy_list* list) const noexcept { release_proxy_list(list); }
};
using proxy_list_ptr = std::unique_ptr<proxy_list, proxy_list_releaser>;

struct proxy_entry_releaser {
    void operator()(proxy_entry* entry) const noexcept { release_proxy_entry(entry); }
};
using proxy_entry_ptr = std::unique_ptr<proxy_entry, proxy_entry_releaser>;

// Splits a proxy list text at ',', ';', blanks, tabs and line ends (empty items skipped) and
// appends one entry per accepted item. 0 only for null or empty text, else 1.
int processProxyList(const wchar_t* text, proxy_list* list);

// Reads one item: "[scheme=][scheme://]host[:port]", IPv6 hosts in brackets. 1 when accepted
// (the entry filled; it has no host when the item named none), 0 when the item names a scheme
// other than http, https or ftp. An item without a scheme is for all schemes; without a port it
// gets the scheme's default (80, 21, 443), or 0 for all schemes, which a transfer treats as "no
// proxy".
int splitProxyInformation(const wchar_t* item, proxy_entry* entry);
