#include "os/text.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

void os_use_user_locale() { std::setlocale(LC_ALL, ""); }

bool os_to_narrow(const std::wstring& in, std::string& out) {
    out.clear();
    std::mbstate_t state{};
    const wchar_t* src = in.c_str();
    size_t needed = std::wcsrtombs(nullptr, &src, 0, &state);
    if (needed == static_cast<size_t>(-1)) return false;
    out.resize(needed);
    state = std::mbstate_t{};
    src = in.c_str();
    std::wcsrtombs(&out[0], &src, needed, &state);
    return true;
}

bool os_to_wide(const std::string& in, std::wstring& out) {
    out.clear();
    std::mbstate_t state{};
    const char* src = in.c_str();
    size_t needed = std::mbsrtowcs(nullptr, &src, 0, &state);
    if (needed == static_cast<size_t>(-1)) return false;
    out.resize(needed);
    state = std::mbstate_t{};
    src = in.c_str();
    std::mbsrtowcs(&out[0], &src, needed, &state);
    return true;
}

std::wstring os_to_wide_shown(const std::string& in) {
    std::wstring out;
    std::mbstate_t state{};
    size_t i = 0;
    while (i < in.size()) {
        wchar_t ch = 0;
        size_t used = std::mbrtowc(&ch, in.data() + i, in.size() - i, &state);
        if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) {
            wchar_t escaped[8];
            std::swprintf(escaped, 8, L"\\x%02x", static_cast<unsigned>(static_cast<unsigned char>(in[i])));
            out += escaped;
            state = std::mbstate_t{};
            ++i;
            continue;
        }
        out += ch;
        i += used == 0 ? 1 : used;
    }
    return out;
}

bool os_utf8_from_wide(const std::wstring& in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (wchar_t wc : in) {
        auto c = static_cast<unsigned long>(wc);
        if (c >= 0xD800 && c <= 0xDFFF) return false;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x110000) {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            return false;
        }
    }
    return true;
}

bool os_wide_from_utf8(const std::string& in, std::wstring& out) {
    out.clear();
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        auto b = static_cast<unsigned char>(in[i]);
        unsigned long c;
        size_t extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else
            return false;
        if (i + extra >= in.size() && extra > 0) return false;
        for (size_t k = 1; k <= extra; ++k) {
            auto cb = static_cast<unsigned char>(in[i + k]);
            if ((cb & 0xC0) != 0x80) return false;
            c = (c << 6) | (cb & 0x3F);
        }
        static const unsigned long minimum[] = {0, 0x80, 0x800, 0x10000};
        if (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        out += static_cast<wchar_t>(c);
        i += extra + 1;
    }
    return true;
}

bool os_format_wide(std::wstring& out, const wchar_t* format, va_list args) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = std::vswprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (n >= 0) {
            out.assign(buffer.data(), static_cast<size_t>(n));
            return true;
        }
        // glibc gives -1 both for "too small" and for a bad conversion; stop growing at 1 MiB.
        if (buffer.size() >= (1u << 20)) return false;
        buffer.resize(buffer.size() * 4);
    }
}
