// Fuzz target for the response header splitter and the configuration request's header handler:
// a header line comes from the agent handler, or from anyone on the path of a plain HTTP
// transfer. Any line is split or passed over cleanly; a name never holds the colon, a value
// never the line end, and what is kept of Config-Hash, Install-Hash and Tenant-ID fits its field.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "config/hash_manifest.h"
#include "core/run_context.h"
#include "download/response_header.h"
#include "fuzz_support.h"

namespace {
bool is_ascii(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if (data[i] >= 0x80) return false;
    return true;
}

bool field_fits(const char (&field)[128]) { return strnlen(field, sizeof field) < sizeof field; }
}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_begin_input();
    std::wstring name, value;
    if (!split_response_header(reinterpret_cast<const char*>(data), size, name, value)) {
        fuzz_require(!is_ascii(data, size) || std::memchr(data, ':', size) == nullptr,
                     "a plain-text header line with a colon was dropped");
        return 0;
    }
    fuzz_require(name.find(L':') == std::wstring::npos, "header name holds the colon");
    fuzz_require(value.find_first_of(L"\r\n") == std::wstring::npos, "header value holds the line end");
    fuzz_require(name.size() + value.size() < size, "split gave more than the line");

    run_context ctx;
    on_response_header(name.c_str(), value.c_str(), &ctx);
    fuzz_require(field_fits(ctx.config_hash) && field_fits(ctx.install_hash) && field_fits(ctx.tenant_id),
                 "a kept header value overran its field");
    return 0;
}
