#include "core/file_digest.h"

#include <cstring>
#include <string>

#include "os/digest.h"
#include "os/text.h"

namespace {
bool file_digest_hex(const wchar_t* path, os_digest_kind kind, std::string& hex) {
    std::string narrow;
    return path && os_to_narrow(std::wstring(path), narrow) && os_file_digest(narrow, kind, hex);
}

bool equal_ignoring_case(const std::string& a, const char* b) {
    if (std::strlen(b) != a.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}
}   // namespace

int verify_file_digest(const wchar_t* path, const char* expected_digest) {
    if (!path || !expected_digest) return 0;
    size_t length = std::strlen(expected_digest);
    if (length != 40 && length != 64) return 0;
    std::string actual;
    if (!file_digest_hex(path, length == 40 ? os_digest_kind::sha1 : os_digest_kind::sha256, actual)) return 0;
    return equal_ignoring_case(actual, expected_digest) ? 1 : 0;
}

int files_have_same_sha256(const wchar_t* first, const wchar_t* second) {
    std::string a, b;
    if (!file_digest_hex(first, os_digest_kind::sha256, a) || !file_digest_hex(second, os_digest_kind::sha256, b))
        return 0;
    return equal_ignoring_case(a, b.c_str()) ? 1 : 0;
}
