// Conversions into fixed buffers, and the lossy one, on top of each platform's own string
// conversions.
#include <cstring>
#include <cwchar>
#include <string>

#include "os/text.h"

bool os_to_narrow(const wchar_t* in, char* out, size_t capacity) {
    if (!out || capacity == 0) return false;
    out[0] = '\0';
    std::string text;
    if (!in || !os_to_narrow(std::wstring(in), text) || text.size() >= capacity) return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

bool os_to_wide(const char* in, wchar_t* out, size_t capacity) {
    if (!out || capacity == 0) return false;
    out[0] = L'\0';
    std::wstring text;
    if (!in || !os_to_wide(std::string(in), text) || text.size() >= capacity) return false;
    std::wmemcpy(out, text.c_str(), text.size() + 1);
    return true;
}

std::string os_to_narrow_lossy(const std::wstring& in) {
    std::string narrow;
    if (os_to_narrow(in, narrow)) return narrow;
    narrow.clear();
    for (wchar_t c : in) {
        std::string one;
        narrow += os_to_narrow(std::wstring(1, c), one) ? one : "?";
    }
    return narrow;
}
