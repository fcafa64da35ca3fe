// The repositories of sitelist.xml, ordered by priority, handed out one at a time.
#pragma once

#include <cstdint>
#include <memory>

enum site_type : int32_t {
    SITE_SBOLT = 0,   // HTTPS repository (agent handler)
    SITE_HTTP = 1,
    SITE_FTP = 2,
    SITE_UNC = 3,
    SITE_OTHER = 4,
};

constexpr int site_text_capacity = 260;

struct site_record {
    int32_t site_type;
    wchar_t server_name[site_text_capacity];   // NetBIOS name with port
    wchar_t server[site_text_capacity];        // fully qualified name with port
    wchar_t server_ip[site_text_capacity];     // address with port
    wchar_t relative_path[site_text_capacity];
    char type[site_text_capacity];
    int32_t order;
    int32_t enabled;
    int32_t used;   // next_site has looked at it
    site_record* next;
};

// Reads the sites of the first SiteList element, sorted by Order (stable). 1 when the file was
// read; 0 when it cannot be opened or parsed. `*list` is null for a file without sites.
int parse_site_list(site_record** list, const char* path);

// Copies the next usable site (enabled, HTTPS or HTTP, not "fallback", with an address or a
// name) into `out` and marks every site it looked at. 0 when none is left.
int next_site(site_record* list, site_record* out);

void free_site_list(site_record* list);   // accepts null

struct site_list_releaser {
    void operator()(site_record* list) const noexcept { free_site_list(list); }
};
using site_list_ptr = std::unique_ptr<site_record, site_list_releaser>;
