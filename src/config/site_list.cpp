#include "config/site_list.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "config/xml_document.h"
#include "os/text.h"

namespace {
int32_t site_type_of(const char* element) {
    static const struct {
        const char* name;
        int32_t type;
    } names[] = {{"SboltSite", SITE_SBOLT}, {"HttpSite", SITE_HTTP}, {"FtpSite", SITE_FTP}, {"UNCSite", SITE_UNC}};
    for (const auto& n : names) {
        if (std::strcmp(element, n.name) == 0) return n.type;
    }
    return SITE_OTHER;
}

// Document texts are UTF-8; a value longer than the field is cut to 259 characters.
void store_text(const std::string& utf8, wchar_t* field) {
    std::wstring wide;
    if (!os_wide_from_utf8(utf8, wide)) return;
    if (wide.size() >= site_text_capacity) wide.resize(site_text_capacity - 1);
    std::wmemcpy(field, wide.c_str(), wide.size() + 1);
}

const char* attribute(mxml_node_t* site, const char* name) { return mxmlElementGetAttr(site, name); }

// "host:80" with SecurePort "443" becomes "host:443"; a value without a colon gets ":443".
std::string with_secure_port(const std::string& value, const char* secure_port) {
    size_t colon = value.rfind(':');
    std::string host = colon == std::string::npos ? value : value.substr(0, colon);
    return host + ":" + secure_port;
}

void read_server(mxml_node_t* site, const char* name, int32_t type, wchar_t* field) {
    const char* value = attribute(site, name);
    if (!value) return;
    std::string text = value;
    const char* secure_port = attribute(site, "SecurePort");
    if (type == SITE_SBOLT && secure_port && !text.empty()) text = with_secure_port(text, secure_port);
    store_text(text, field);
}

void read_relative_path(mxml_node_t* site, wchar_t* field) {
    for (mxml_node_t* child = mxmlGetFirstChild(site); child; child = mxmlGetNextSibling(child)) {
        if (mxmlGetType(child) != MXML_ELEMENT) continue;
        const char* name = mxmlGetElement(child);
        mxml_node_t* text = mxmlGetFirstChild(child);
        if (name && std::strcmp(name, "RelativePath") == 0 && text && mxmlGetType(text) == MXML_OPAQUE) {
            store_text(xml_element_text(child), field);
            return;
        }
    }
}

void read_site(mxml_node_t* site, site_record* r) {
    r->site_type = site_type_of(mxmlGetElement(site));
    read_relative_path(site, r->relative_path);
    if (const char* order = attribute(site, "Order")) r->order = static_cast<int32_t>(std::atoi(order));
    if (const char* enabled = attribute(site, "Enabled")) r->enabled = static_cast<int32_t>(std::atoi(enabled));
    read_server(site, "Server", r->site_type, r->server);
    read_server(site, "ServerName", r->site_type, r->server_name);
    read_server(site, "ServerIP", r->site_type, r->server_ip);
    if (const char* type = attribute(site, "Type")) {
        std::strncpy(r->type, type, site_text_capacity - 1);
        r->type[site_text_capacity - 1] = '\0';
    }
}

// Stable insertion by order: after the last record whose order is not greater.
void insert_sorted(site_record** list, site_record* record) {
    if (!*list || record->order < (*list)->order) {
        record->next = *list;
        *list = record;
        return;
    }
    site_record* at = *list;
    while (at->next && at->next->order <= record->order) at = at->next;
    record->next = at->next;
    at->next = record;
}

bool usable(const site_record& r) {
    return r.enabled != 0 && (r.site_type == SITE_SBOLT || r.site_type == SITE_HTTP) &&
           std::strcmp(r.type, "fallback") != 0 && (r.server_ip[0] != L'\0' || r.server[0] != L'\0');
}
}   // namespace

int parse_site_list(site_record** list, const char* path) {
    if (!list || !path) return 0;
    *list = nullptr;
    xml_document doc(path);
    if (!doc.ok()) return 0;
    mxml_node_t* sites = doc.find("SiteList");
    if (!sites) return 1;
    int result = 1;
    for (mxml_node_t* site = mxmlGetFirstChild(sites); site; site = mxmlGetNextSibling(site)) {
        if (mxmlGetType(site) != MXML_ELEMENT) continue;
        auto* record = new (std::nothrow) site_record{};
        if (!record) {
            result = 0;
            continue;
        }
        read_site(site, record);
        insert_sorted(list, record);
        result = 1;
    }
    return result;
}

int next_site(site_record* list, site_record* out) {
    for (site_record* r = list; r; r = r->next) {
        if (r->used) continue;
        r->used = 1;
        if (!usable(*r)) continue;
        if (out) {
            site_record* keep_next = out->next;
            *out = *r;
            out->used = 0;
            out->next = keep_next;
        }
        return 1;
    }
    return 0;
}

void free_site_list(site_record* list) {
    while (list) {
        site_record* next = list->next;
        delete list;
        list = next;
    }
}
