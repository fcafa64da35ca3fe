#include "download/response_header.h"

#include "os/text.h"

bool split_response_header(const char* line, size_t size, std::wstring& name, std::wstring& value) {
    std::wstring wide;
    if (!line || !os_wide_from_utf8(std::string(line, size), wide)) return false;
    size_t colon = wide.find(L':');
    if (colon == std::wstring::npos) return false;
    name = wide.substr(0, colon);
    size_t start = colon + 1;
    // One blank after the colon belongs to the layout, not to the value; a server that writes
    // none must not lose the value's first character.
    if (start < wide.size() && (wide[start] == L' ' || wide[start] == L'\t')) ++start;
    size_t stop = wide.find_first_of(L"\r\n", start);
    value = wide.substr(start, stop == std::wstring::npos ? std::wstring::npos : stop - start);
    return true;
}
