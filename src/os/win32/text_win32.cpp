// Narrow text is the ANSI code page (CP_ACP), as the Windows runtime's narrow calls take it.
// Conversions refuse what the code page cannot express instead of substituting a default
// character, so a path never silently names another file.
#include "os/text.h"

#include <windows.h>

#include <clocale>
#include <cstring>
#include <cwchar>
#include <vector>

void os_use_user_locale() { std::setlocale(LC_ALL, ""); }

namespace {
bool wide_to_code_page(UINT code_page, DWORD flags, const std::wstring& in, std::string& out) {
    out.clear();
    if (in.empty()) return true;
    BOOL lossy = FALSE;
    BOOL* lossy_flag = code_page == CP_UTF8 ? nullptr : &lossy;
    int n =
        WideCharToMultiByte(code_page, flags, in.data(), static_cast<int>(in.size()), nullptr, 0, nullptr, lossy_flag);
    if (n <= 0 || lossy) return false;
    out.resize(static_cast<size_t>(n));
    n = WideCharToMultiByte(code_page, flags, in.data(), static_cast<int>(in.size()), &out[0], n, nullptr, lossy_flag);
    if (n <= 0 || lossy) {
        out.clear();
        return false;
    }
    return true;
}

bool code_page_to_wide(UINT code_page, const std::string& in, std::wstring& out) {
    out.clear();
    if (in.empty()) return true;
    int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    if (MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), &out[0], n) <= 0) {
        out.clear();
        return false;
    }
    return true;
}

// Best-fit mapping would turn characters the code page lacks into look-alikes.
constexpr DWORD strict_narrow = WC_NO_BEST_FIT_CHARS;
}   // namespace

bool os_to_narrow(const std::wstring& in, std::string& out) {
    return wide_to_code_page(CP_ACP, strict_narrow, in, out);
}

bool os_to_wide(const std::string& in, std::wstring& out) { return code_page_to_wide(CP_ACP, in, out); }

std::wstring os_to_wide_shown(const std::string& in) {
    std::wstring out;
    size_t i = 0;
    while (i < in.size()) {
        // A lead byte of a double-byte code page takes its trail byte along.
        size_t length = IsDBCSLeadByte(static_cast<BYTE>(in[i])) && i + 1 < in.size() ? 2 : 1;
        std::wstring one;
        if (code_page_to_wide(CP_ACP, in.substr(i, length), one)) {
            out += one;
        } else {
            wchar_t escaped[8];
            std::swprintf(escaped, 8, L"\\x%02x", static_cast<unsigned>(static_cast<unsigned char>(in[i])));
            out += escaped;
            length = 1;
        }
        i += length;
    }
    return out;
}

bool os_utf8_from_wide(const std::wstring& in, std::string& out) {
    return wide_to_code_page(CP_UTF8, WC_ERR_INVALID_CHARS, in, out);
}

bool os_wide_from_utf8(const std::string& in, std::wstring& out) { return code_page_to_wide(CP_UTF8, in, out); }

bool os_format_wide(std::wstring& out, const wchar_t* format, va_list args) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = std::vswprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size()) {
            out.assign(buffer.data(), static_cast<size_t>(n));
            return true;
        }
        if (buffer.size() >= (1u << 20)) return false;
        buffer.resize(buffer.size() * 4);
    }
}
