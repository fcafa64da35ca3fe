#include "utils/bounded_text.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <string>

#include "os/text.h"

bool copy_text(wchar_t* out, size_t capacity, const wchar_t* in) {
    if (!out || capacity == 0) return false;
    out[0] = L'\0';
    if (!in) return false;
    size_t length = std::wcslen(in);
    if (length >= capacity) return false;
    std::wmemcpy(out, in, length + 1);
    return true;
}

bool copy_text(char* out, size_t capacity, const char* in) {
    if (!out || capacity == 0) return false;
    out[0] = '\0';
    if (!in) return false;
    size_t length = std::strlen(in);
    if (length >= capacity) return false;
    std::memcpy(out, in, length + 1);
    return true;
}

bool format_text(wchar_t* out, size_t capacity, const wchar_t* format, ...) {
    if (!out || capacity == 0) return false;
    out[0] = L'\0';
    std::wstring text;
    va_list args;
    va_start(args, format);
    bool formatted = os_format_wide(text, format, args);
    va_end(args);
    return formatted && copy_text(out, capacity, text.c_str());
}

bool narrow_path(const wchar_t* path, std::string& out) {
    constexpr size_t narrow_path_capacity = 260;
    return path && os_to_narrow(path, out) && out.size() < narrow_path_capacity;
}
