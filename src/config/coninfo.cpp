#include "config/coninfo.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "config/xml_document.h"
#include "core/log.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/text.h"
#include "utils/bounded_text.h"
#include "utils/file_ptr.h"

namespace {
constexpr size_t narrow_path_capacity = 260;


// Texts are UTF-8 in the document. Cut to capacity - 1 bytes first, as a fixed narrow buffer
// would, then widen; a cut through a multi-byte character drops that character.
bool widen_bounded(std::string text, wchar_t* out, size_t capacity) {
    if (text.size() >= capacity) text.resize(capacity - 1);
    std::wstring wide;
    while (!os_wide_from_utf8(text, wide) && !text.empty()) text.pop_back();
    return copy_text(out, capacity, wide.c_str());
}

std::string without_whitespace(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (!std::strchr(" \t\r\n\v\f", c)) out += c;
    }
    return out;
}

void write_pem_block(FILE* file, const std::string& base64) {
    std::fputs("-----BEGIN CERTIFICATE-----\n", file);
    for (size_t at = 0; at < base64.size(); at += 64) {
        std::string line = base64.substr(at, 64);
        std::fputs(line.c_str(), file);
        std::fputc('\n', file);
    }
    std::fputs("-----END CERTIFICATE-----\n", file);
}
}   // namespace

int read_xml_element_text(const wchar_t* path, const wchar_t* element, wchar_t* out, size_t capacity, int* index) {
    std::string file, name;
    if (!narrow_path(path, file) || !element || !os_to_narrow(element, name) || !index) return 0;
    xml_document doc(file);
    if (!doc.ok()) return 0;
    if (!doc.find(name.c_str())) return 1;

    std::unique_ptr<mxml_index_t, void (*)(mxml_index_t*)> all(mxmlIndexNew(doc.root(), name.c_str(), nullptr),
                                                               mxmlIndexDelete);
    if (!all) return 0;
    if (!out) {
        *index = mxmlIndexGetCount(all.get());
        return 1;
    }
    mxmlIndexReset(all.get());
    mxml_node_t* node = nullptr;
    for (int i = 0; i <= *index; ++i) {
        node = mxmlIndexFind(all.get(), nullptr, nullptr);
        if (!node) return 1;
    }
    mxml_node_t* child = mxmlGetFirstChild(node);
    if (child && mxmlGetType(child) == MXML_OPAQUE && capacity > 0)
        widen_bounded(xml_element_text(node), out, capacity);
    return 1;
}

int read_coninfo_url(const wchar_t* path, const wchar_t* element, wchar_t* base, wchar_t* token) {
    std::string file;
    if (!base || !token || !narrow_path(path, file) || !os_is_file(file)) return 0;
    int first = 0;
    if (!read_xml_element_text(path, element, base, url_capacity, &first) || base[0] == L'\0') return 0;

    const wchar_t* equals = std::wcschr(base, L'=');
    if (!equals) return 0;
    std::wstring value(equals + 1);
    if (value.size() > token_capacity - 1) value.resize(token_capacity - 1);
    copy_text(token, token_capacity, value.c_str());

    wchar_t* question = std::wcschr(base, L'?');
    if (!question) return 0;
    *question = L'\0';
    return 1;
}

void write_ca_bundle(const wchar_t* folder, char* ca_path) {
    if (!folder || !ca_path) return;
    std::string document;
    if (!narrow_path((std::wstring(folder) + OS_SEP_S L"coninfo.xml").c_str(), document)) return;
    xml_document doc(document);
    if (!doc.ok() || !doc.find("CaCertificate")) return;
    std::unique_ptr<mxml_index_t, void (*)(mxml_index_t*)> certificates(
        mxmlIndexNew(doc.root(), "CaCertificate", nullptr), mxmlIndexDelete);
    if (!certificates || mxmlIndexGetCount(certificates.get()) < 1) return;

    std::wstring bundle = std::wstring(folder) + OS_SEP_S L"cabundle.cer";
    std::string narrow;
    if (!narrow_path(bundle.c_str(), narrow)) return;
    file_ptr out(std::fopen(narrow.c_str(), "w"));
    if (!out) return;
    log_message(SEV_INFO, L"creating certificate %ls", bundle.c_str());
    mxmlIndexReset(certificates.get());
    while (mxml_node_t* node = mxmlIndexFind(certificates.get(), nullptr, nullptr)) {
        std::string text = xml_element_text(node);
        if (text.size() >= certificate_capacity) text.resize(certificate_capacity - 1);
        write_pem_block(out.get(), without_whitespace(text));
    }
    out.reset();
    copy_text(ca_path, narrow_path_capacity, narrow.c_str());
}
