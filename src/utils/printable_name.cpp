#include "utils/printable_name.h"

#include <cstdio>

namespace {
// The number of bytes at `p` that form a control character, 0 when there is none.
size_t control_length(const unsigned char* p) {
    if (p[0] < 0x20 || p[0] == 0x7F) return 1;
    if (p[0] == 0xC2 && p[1] >= 0x80 && p[1] <= 0x9F) return 2;
    return 0;
}
}   // namespace

bool has_control_characters(const char* name) {
    if (!name) return false;
    for (auto* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
        if (control_length(p) > 0) return true;
    return false;
}

std::string printable_name(const char* name) {
    std::string out;
    if (!name) return out;
    for (auto* p = reinterpret_cast<const unsigned char*>(name); *p;) {
        size_t n = control_length(p);
        if (n == 0) {
            out += static_cast<char>(*p++);
            continue;
        }
        for (size_t i = 0; i < n; ++i, ++p) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", *p);
            out += hex;
        }
    }
    return out;
}
