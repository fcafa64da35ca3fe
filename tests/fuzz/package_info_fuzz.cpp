// Fuzz target for PackageInfo.xml (where the install package lies below a site's path): any
// document is read or refused cleanly, and the location fits the buffer the retrieval passes.
#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "config/coninfo.h"
#include "fuzz_support.h"
#include "unit/test_support.h"

namespace {
constexpr size_t location_capacity = 260;   // the retrieval's path buffer
constexpr int locations_read_at_most = 4;
}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_begin_input();
    std::wstring path = widen(fuzz_write_input("PackageInfo.xml", data, size));
    int count = 0;
    if (read_xml_element_text(path.c_str(), L"location", nullptr, 0, &count) != 1) return 0;
    fuzz_require(count >= 0, "negative count of locations");
    // A guard past the end shows a write beyond the capacity even where the sanitizer cannot.
    wchar_t location[location_capacity + 1];
    for (int i = 0; i <= count && i < locations_read_at_most; ++i) {
        std::wmemset(location, L'\1', location_capacity + 1);
        location[0] = L'\0';
        int index = i;
        read_xml_element_text(path.c_str(), L"location", location, location_capacity, &index);
        fuzz_require(location[location_capacity] == L'\1', "location written past its capacity");
        fuzz_require(wcsnlen(location, location_capacity) < location_capacity, "location not terminated");
    }
    return 0;
}
