// Fuzz target for sitelist.xml (the repositories of the configuration package): any document is
// read or refused cleanly, the sites come out in order, every text fits its field, and handing
// them out ends.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "config/site_list.h"
#include "fuzz_support.h"

namespace {
bool texts_fit(const site_record& r) {
    return std::wcslen(r.server_name) < site_text_capacity && std::wcslen(r.server) < site_text_capacity &&
           std::wcslen(r.server_ip) < site_text_capacity && std::wcslen(r.relative_path) < site_text_capacity &&
           std::strlen(r.type) < site_text_capacity;
}

// Number of sites; each in order after the one before.
size_t check_list(const site_record* list) {
    size_t count = 0;
    for (const site_record* r = list; r; r = r->next, ++count) {
        fuzz_require(texts_fit(*r), "a site's text overran its field");
        fuzz_require(!r->next || r->order <= r->next->order, "sites out of order");
    }
    return count;
}
}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_begin_input();
    std::string path = fuzz_write_input("sitelist.xml", data, size);
    site_record* parsed = nullptr;
    parse_site_list(&parsed, path.c_str());
    site_list_ptr list(parsed);
    size_t count = check_list(list.get());

    size_t handed_out = 0;
    site_record site{};
    while (next_site(list.get(), &site)) {
        fuzz_require(++handed_out <= count, "next_site hands out more sites than were read");
        fuzz_require(texts_fit(site), "a handed-out site's text overran its field");
        fuzz_require(site.server_ip[0] != L'\0' || site.server[0] != L'\0', "a site without an address");
    }
    fuzz_require(!next_site(list.get(), &site), "next_site starts over");
    return 0;
}
