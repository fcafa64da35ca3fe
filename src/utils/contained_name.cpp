#include "utils/contained_name.h"

#include <cstring>

namespace {
bool is_separator(char c) { return c == '/' || c == '\\'; }

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
}  // namespace

bool name_stays_inside_folder(const char* name) {
    if (!name) return false;
    if (is_separator(name[0])) return false;                  // absolute, or a UNC share
    if (is_letter(name[0]) && name[1] == ':') return false;   // C:\x and drive-relative C:x
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (*p == '\0' || is_separator(*p)) {
            if (p - component == 2 && std::strncmp(component, "..", 2) == 0) return false;
            if (*p == '\0') return true;
            component = p + 1;
        }
    }
}
