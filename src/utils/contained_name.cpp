#include "utils/contained_name.h"

#include <cstring>
#include <string>
#include <vector>

namespace {
bool is_separator(char c) { return c == '/' || c == '\\'; }

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr const char* configuration_files[] = {"hashes.xml", "sitelist.xml", "PackageInfo.xml"};

// The components that remain once "." and empty ones are dropped and ".." went up; false when
// ".." leads above the folder.
bool resolve_components(const char* name, std::vector<std::string>& components) {
    std::string current;
    for (const char* p = name;; ++p) {
        if (*p != '\0' && !is_separator(*p)) {
            current += *p;
            continue;
        }
        if (current == "..") {
            if (components.empty()) return false;
            components.pop_back();
        } else if (!current.empty() && current != ".") {
            components.push_back(current);
        }
        current.clear();
        if (*p == '\0') return true;
    }
}

// A component as a case-blind file system sees it: lower case, stream suffix and trailing
// dots and blanks gone. Dotless i (U+0131) and long s (U+017F) are capitalised to I and S by
// such file systems, so they fold to i and s here.
std::string folded(const std::string& component) {
    std::string out;
    for (size_t i = 0; i < component.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(component[i]);
        unsigned char next = i + 1 < component.size() ? static_cast<unsigned char>(component[i + 1]) : 0;
        if (c == ':') break;
        if (c == 0xC4 && next == 0xB1) {
            out += 'i';
            ++i;
        } else if (c == 0xC5 && next == 0xBF) {
            out += 's';
            ++i;
        } else {
            out += lower(static_cast<char>(c));
        }
    }
    while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
    return out;
}

std::string lowered(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) out += lower(*p);
    return out;
}

// "hashes~1.xml": the form a short-name alias of any of the files takes.
bool looks_like_short_xml_alias(const std::string& folded_component) {
    size_t tilde = folded_component.find('~');
    size_t size = folded_component.size();
    return tilde != std::string::npos && size >= 4 && folded_component.compare(size - 4, 4, ".xml") == 0;
}

// The folded last component when `name` reaches a file directly in the folder; false when it
// lies below a subfolder. `above` tells that ".." led out of the folder.
bool top_level_component(const char* name, std::string& component, bool& above) {
    std::vector<std::string> components;
    above = !name || !resolve_components(name, components);
    if (above || components.size() != 1) return false;
    component = folded(components[0]);
    return true;
}
}   // namespace

std::string folded_relative_name(const char* name) {
    std::vector<std::string> components;
    std::string joined;
    if (!name || !resolve_components(name, components)) return joined;
    for (const std::string& component : components) joined += (joined.empty() ? "" : "/") + folded(component);
    return joined;
}

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

bool names_top_level_file(const char* name, const char* file) {
    std::string component;
    bool above = false;
    return file && top_level_component(name, component, above) && component == lowered(file);
}

bool names_configuration_file(const char* name) {
    std::string component;
    bool above = false;
    if (!top_level_component(name, component, above)) return above;
    for (const char* file : configuration_files)
        if (component == lowered(file)) return true;
    return looks_like_short_xml_alias(component);
}
