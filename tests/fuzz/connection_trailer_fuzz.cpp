// Fuzz target for the connection data's trailer: the input is a whole stamped executable. The
// trailer reader must never give a range outside the file, for the input's own size nor for
// sizes near the limits of 64 bits, and the copy must hold exactly the range it names.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/connection_data.h"
#include "fuzz_support.h"
#include "unit/test_support.h"

namespace {
void check_range(const char* trailer, uint64_t file_size) {
    uint64_t offset = 0, length = 0;
    if (!parse_connection_trailer(trailer, file_size, &offset, &length)) return;
    fuzz_require(length > 0, "empty connection data accepted");
    fuzz_require(
        file_size >= trailer_size && length <= file_size - trailer_size && offset <= file_size - trailer_size - length,
        "connection data range leaves the file");
}
}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_begin_input();
    if (size < trailer_size) return 0;
    const char* trailer = reinterpret_cast<const char*>(data) + size - trailer_size;
    for (uint64_t file_size :
         {uint64_t{size}, uint64_t{trailer_size}, UINT64_MAX, UINT64_MAX - trailer_size, uint64_t{1} << 63})
        check_range(trailer, file_size);

    std::string executable = fuzz_write_input("stamped", data, size);
    std::string output = fuzz_scratch() + "/coninfo.xml";
    std::remove(output.c_str());
    uint64_t offset = 0, length = 0;
    bool parsed = parse_connection_trailer(trailer, size, &offset, &length);
    int copied = extract_connection_data(widen(executable).c_str(), widen(output).c_str());
    fuzz_require(copied == 0 || parsed, "connection data copied without a trailer");
    if (copied == 1) {
        std::string expected(reinterpret_cast<const char*>(data) + offset, length);
        fuzz_require(read_whole_file(output) == expected, "copied connection data differs from its range");
    }
    return 0;
}
