// Fuzz target for the ConInfo document (the connection data appended to the executable, or the
// file named by -c): the URL readers and the CA bundle writer must read or refuse any bytes
// cleanly, and whatever they read must fit the fixed buffers the install sequence hands them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <string>

#include "config/coninfo.h"
#include "fuzz_support.h"
#include "unit/test_support.h"

namespace {
constexpr int certificates_read_at_most = 4;

void check_url(const std::wstring& document, const wchar_t* element) {
    wchar_t base[url_capacity] = {};
    wchar_t token[token_capacity] = {};
    if (read_coninfo_url(document.c_str(), element, base, token) != 1) return;
    fuzz_require(std::wcslen(base) < url_capacity, "base URL overran its buffer");
    fuzz_require(std::wcslen(token) < token_capacity, "token overran its buffer");
    fuzz_require(std::wcschr(base, L'?') == nullptr, "base URL keeps its query");
}

void check_certificates(const std::wstring& document) {
    int count = 0;
    if (read_xml_element_text(document.c_str(), L"CaCertificate", nullptr, 0, &count) != 1) return;
    for (int i = 0; i < count && i < certificates_read_at_most; ++i) {
        wchar_t text[certificate_capacity] = {};
        int index = i;
        read_xml_element_text(document.c_str(), L"CaCertificate", text, certificate_capacity, &index);
        fuzz_require(std::wcslen(text) < certificate_capacity, "certificate overran its buffer");
    }
}

// A certificate's text must not be able to end its PEM block and start another: every line is
// a boundary line or at most 64 characters of the text.
void check_bundle(const std::string& bundle_path) {
    std::ifstream bundle(bundle_path);
    fuzz_require(bundle.good(), "reported CA bundle is missing");
    for (std::string line; std::getline(bundle, line);) {
        if (line == "-----BEGIN CERTIFICATE-----" || line == "-----END CERTIFICATE-----") continue;
        fuzz_require(line.size() <= 64, "CA bundle line longer than 64 characters");
        // Boundary lines hold a blank: a line without one cannot be taken for a boundary.
        fuzz_require(line.find_first_of(" \t\r\v\f") == std::string::npos, "CA bundle line holds a blank");
    }
}
}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_begin_input();
    std::wstring document = widen(fuzz_write_input("coninfo.xml", data, size));
    for (const wchar_t* element : {L"bsurl", L"serverip", L"serverNetbios"}) check_url(document, element);
    check_certificates(document);

    char ca_path[260] = {};
    write_ca_bundle(widen(fuzz_scratch()).c_str(), ca_path);
    if (ca_path[0] != '\0') {
        check_bundle(ca_path);
        std::remove(ca_path);
    }
    return 0;
}
