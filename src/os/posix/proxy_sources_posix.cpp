#include "os/posix/proxy_sources_posix.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <initializer_list>
#include <sstream>

namespace {
constexpr size_t value_capacity = 1023;
constexpr size_t max_wpad_urls = 12;

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trim(const std::string& text) {
    size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(start, end - start + 1);
}

bool all_digits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool valid_port(const std::string& port) {
    if (!all_digits(port) || port.size() > 5) return false;
    long value = std::strtol(port.c_str(), nullptr, 10);
    return value >= 1 && value <= 65535;
}

bool host_name_ok(const std::string& host) {
    if (host.empty() || host.size() > 253) return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    });
}

bool ipv6_literal_ok(const std::string& address) {
    if (address.size() < 2 || address.size() > 45 || address.find(':') == std::string::npos) return false;
    return std::all_of(address.begin(), address.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'; });
}

// "host", "[v6]" or a bare IPv6 literal (bracketed here), checked; empty when unusable.
std::string usable_host(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return ipv6_literal_ok(host.substr(1, host.size() - 2)) ? host : "";
    if (host.find(':') != std::string::npos) return ipv6_literal_ok(host) ? "[" + host + "]" : "";
    return host_name_ok(host) ? host : "";
}

std::string join(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += separator;
        out += item;
    }
    return out;
}

// The variable under its lower-case name, else under its upper-case one; null when neither is
// set to anything.
const char* first_set(const environment_lookup& lookup, const std::string& lower_name) {
    std::string upper_name = lower_name;
    for (char& c : upper_name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& name : {lower_name, upper_name}) {
        const char* value = lookup(name.c_str());
        if (value && *value) return value;
    }
    return nullptr;
}

// "key=value" lines grouped by "[group]"; a key's locale or flag suffix ("key[$e]") is dropped.
std::map<std::string, std::string> ini_group(const std::string& text, const std::string& wanted) {
    std::map<std::string, std::string> keys;
    std::istringstream in(text);
    std::string line, group;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            group = close == std::string::npos ? "" : line.substr(1, close - 1);
            continue;
        }
        size_t equals = line.find('=');
        if (group != wanted || equals == std::string::npos) continue;
        std::string key = trim(line.substr(0, equals));
        size_t flags = key.find('[');
        if (flags != std::string::npos) key = trim(key.substr(0, flags));
        keys[key] = trim(line.substr(equals + 1));
    }
    return keys;
}

std::string lookup_or_empty(const std::map<std::string, std::string>& keys, const std::string& key) {
    auto found = keys.find(key);
    return found == keys.end() ? "" : found->second;
}

// KDE writes "http://proxy.example 8080" (the port after a blank), older versions "host:port".
std::string kde_address(const std::string& value) {
    std::string text = trim(value);
    size_t blank = text.rfind(' ');
    if (blank != std::string::npos && all_digits(text.substr(blank + 1)))
        text = trim(text.substr(0, blank)) + ":" + text.substr(blank + 1);
    return text.empty() ? "" : proxy_address_from_url(text, "");
}

bool fields_ok(const desktop_proxy_fields& f) {
    return reply_value_ok(f.script) && reply_value_ok(f.proxy) && reply_value_ok(f.bypass);
}

// A GVariant text value as gsettings prints it: 'text' or "text" with backslash escapes, a
// number, true/false, or an array of strings. `pos` moves past what was read.
bool read_gvariant_string(const std::string& text, size_t& pos, std::string& out) {
    if (pos >= text.size() || (text[pos] != '\'' && text[pos] != '"')) return false;
    char quote = text[pos++];
    out.clear();
    while (pos < text.size()) {
        char c = text[pos++];
        if (c == quote) return true;
        if (c == '\\') {
            if (pos >= text.size()) return false;
            c = text[pos++];
            static const std::pair<char, char> escapes[] = {{'n', '\n'}, {'t', '\t'}, {'r', '\r'},
                                                            {'f', '\f'}, {'v', '\v'}, {'b', '\b'}};
            for (const auto& [letter, control] : escapes)
                if (c == letter) c = control;
        }
        out += c;
    }
    return false;
}

bool gvariant_string(const std::string& value, std::string& out) {
    size_t pos = 0;
    return read_gvariant_string(value, pos, out) && pos == value.size();
}

bool gvariant_string_array(const std::string& value, std::vector<std::string>& out) {
    std::string text = value;
    if (text.rfind("@as ", 0) == 0) text = trim(text.substr(4));
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') return false;
    size_t pos = 1;
    while (true) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == ',')) ++pos;
        if (pos >= text.size()) return false;
        if (text[pos] == ']') return pos + 1 == text.size();
        std::string item;
        if (!read_gvariant_string(text, pos, item)) return false;
        out.push_back(item);
    }
}

struct gnome_listing {
    std::map<std::string, std::string> values;   // "schema key" -> value text
    const std::string* get(const std::string& schema, const std::string& key) const {
        auto found = values.find(schema + " " + key);
        return found == values.end() ? nullptr : &found->second;
    }
};

gnome_listing read_gnome_listing(const std::string& listing) {
    gnome_listing out;
    std::istringstream in(listing);
    std::string line;
    while (std::getline(in, line)) {
        size_t first = line.find(' ');
        size_t second = first == std::string::npos ? std::string::npos : line.find(' ', first + 1);
        if (second == std::string::npos) continue;
        out.values[line.substr(0, second)] = trim(line.substr(second + 1));
    }
    return out;
}

// "host:port" of one of GNOME's proxy schemas ("org.gnome.system.proxy.http"); empty when it
// has no host. False when a value is malformed.
bool gnome_scheme_proxy(const gnome_listing& listing, const std::string& schema, std::string& out) {
    out.clear();
    const std::string* host_value = listing.get(schema, "host");
    if (!host_value) return true;
    std::string host;
    if (!gvariant_string(*host_value, host)) return false;
    if (host.empty()) return true;
    host = usable_host(host);
    if (host.empty()) return false;
    const std::string* port_value = listing.get(schema, "port");
    long port = port_value && all_digits(*port_value) ? std::strtol(port_value->c_str(), nullptr, 10) : 0;
    out = port >= 1 && port <= 65535 ? host + ":" + std::to_string(port) : host;
    return true;
}

bool gnome_manual(const gnome_listing& listing, desktop_proxy_fields& out) {
    std::string http, https, ftp;
    const std::string base = "org.gnome.system.proxy";
    if (!gnome_scheme_proxy(listing, base + ".http", http) || !gnome_scheme_proxy(listing, base + ".https", https) ||
        !gnome_scheme_proxy(listing, base + ".ftp", ftp))
        return false;
    const std::string* same = listing.get(base, "use-same-proxy");
    if (same && *same == "true" && !http.empty()) {
        out.proxy = http;   // one proxy for every scheme
        return true;
    }
    std::vector<std::string> items;
    if (!http.empty()) items.push_back("http=" + http);
    if (!https.empty()) items.push_back("https=" + https);
    if (!ftp.empty()) items.push_back("ftp=" + ftp);
    out.proxy = join(items, ";");
    return true;
}

std::string unquote(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// "68:74:74:70" (dhclient's form of an option it has no name for) as text.
std::string from_colon_hex(const std::string& value) {
    std::string out;
    std::istringstream in(value);
    std::string byte;
    while (std::getline(in, byte, ':')) {
        if (byte.empty() || byte.size() > 2 ||
            !std::all_of(byte.begin(), byte.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
            return {};
        out += static_cast<char>(std::strtol(byte.c_str(), nullptr, 16));
    }
    return out;
}

bool url_with_scheme(const std::string& url, std::initializer_list<const char*> schemes) {
    size_t mark = url.find("://");
    if (mark == std::string::npos || !reply_value_ok(url)) return false;
    std::string scheme = lower(url.substr(0, mark));
    return std::any_of(schemes.begin(), schemes.end(), [&](const char* s) { return scheme == s; });
}

// Desktops may name a script in a local file as well.
bool script_url_ok(const std::string& url) { return url_with_scheme(url, {"http", "https", "file"}); }

// One reply line "key value": the value, or false when the line is not exactly that.
bool reply_line(std::istringstream& in, const std::string& key, std::string& value) {
    std::string line;
    if (!std::getline(in, line) || line.compare(0, key.size() + 1, key + " ") != 0) return false;
    value = line.substr(key.size() + 1);
    return reply_value_ok(value);
}

bool reply_end(std::istringstream& in, const std::string& reply) {
    std::string line;
    return std::getline(in, line) && line == "end" && in.tellg() == static_cast<std::streampos>(reply.size());
}
}   // namespace

std::string proxy_address_from_url(const std::string& value, const std::string& default_port) {
    std::string rest = trim(value);
    size_t scheme_end = rest.find("://");
    if (scheme_end != std::string::npos) {
        if (lower(rest.substr(0, scheme_end)) != "http") return {};
        rest = rest.substr(scheme_end + 3);
    }
    rest = rest.substr(0, rest.find_first_of("/?#"));
    size_t at = rest.rfind('@');
    if (at != std::string::npos) rest = rest.substr(at + 1);

    std::string host, port;
    if (!rest.empty() && rest[0] == '[') {
        size_t close = rest.find(']');
        if (close == std::string::npos) return {};
        host = rest.substr(0, close + 1);
        std::string after = rest.substr(close + 1);
        if (!after.empty() && after[0] != ':') return {};
        if (!after.empty()) port = after.substr(1);
    } else {
        size_t colon = rest.find(':');
        if (colon != std::string::npos && rest.find(':', colon + 1) != std::string::npos)
            return {};   // unbracketed IPv6
        host = rest.substr(0, colon);
        if (colon != std::string::npos) port = rest.substr(colon + 1);
    }
    host = usable_host(host);
    if (host.empty()) return {};
    if (port.empty()) port = default_port;
    if (port.empty()) return host;
    return valid_port(port) ? host + ":" + port : "";
}

std::string proxy_list_from_environment(const environment_lookup& lookup, bool with_ftp) {
    std::vector<std::string> items;
    for (const char* scheme : {"http", "https", "ftp"}) {
        if (!with_ftp && std::string(scheme) == "ftp") continue;
        const char* value = first_set(lookup, std::string(scheme) + "_proxy");
        std::string address = value ? proxy_address_from_url(value, "1080") : "";
        if (!address.empty()) items.push_back(std::string(scheme) + "=" + address);
    }
    if (!items.empty()) return join(items, ";");
    const char* all = first_set(lookup, "all_proxy");
    return all ? proxy_address_from_url(all, "1080") : "";
}

bool kde_proxy_settings(const std::string& kioslaverc, desktop_proxy_fields& out) {
    out = {};
    auto keys = ini_group(kioslaverc, "Proxy Settings");
    std::string type = lookup_or_empty(keys, "ProxyType");
    if (type.empty()) type = "0";
    if (!all_digits(type)) return false;
    std::string bypass = lookup_or_empty(keys, "NoProxyFor");
    std::replace(bypass.begin(), bypass.end(), ',', ';');
    bypass.erase(std::remove(bypass.begin(), bypass.end(), ' '), bypass.end());
    switch (std::atoi(type.c_str())) {
        case 0:
        case 4: return true;
        case 1: {
            std::vector<std::string> items;
            for (const auto& [key, scheme] : {std::pair<const char*, const char*>{"httpProxy", "http"},
                                              {"httpsProxy", "https"},
                                              {"ftpProxy", "ftp"}}) {
                std::string value = lookup_or_empty(keys, key);
                if (value.empty()) continue;
                std::string address = kde_address(value);
                if (address.empty()) return false;
                items.push_back(std::string(scheme) + "=" + address);
            }
            out.proxy = join(items, ";");
            out.bypass = bypass;
            return fields_ok(out);
        }
        case 2:
            out.script = lookup_or_empty(keys, "Proxy Config Script");
            out.bypass = bypass;
            return fields_ok(out) && (out.script.empty() || script_url_ok(out.script));
        case 3:
            out.auto_detect = true;
            out.bypass = bypass;
            return fields_ok(out);
        default: return false;
    }
}

bool gnome_proxy_settings(const std::string& listing, desktop_proxy_fields& out) {
    out = {};
    gnome_listing values = read_gnome_listing(listing);
    const std::string base = "org.gnome.system.proxy";
    const std::string* mode_value = values.get(base, "mode");
    std::string mode;
    if (!mode_value || !gvariant_string(*mode_value, mode)) return false;
    std::vector<std::string> ignored;
    const std::string* ignore_value = values.get(base, "ignore-hosts");
    if (ignore_value && !gvariant_string_array(*ignore_value, ignored)) return false;
    if (mode == "none") return true;
    out.bypass = join(ignored, ";");
    if (mode == "manual") return gnome_manual(values, out) && fields_ok(out);
    if (mode != "auto") return false;
    const std::string* url_value = values.get(base, "autoconfig-url");
    std::string url;
    if (url_value && !gvariant_string(*url_value, url)) return false;
    if (url.empty()) out.auto_detect = true;
    out.script = url;
    return fields_ok(out) && (url.empty() || script_url_ok(url));
}

std::map<std::string, std::string> parse_environment_file(const std::string& text) {
    std::map<std::string, std::string> variables;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("export ", 0) == 0) line = trim(line.substr(7));
        size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0) continue;
        std::string name = line.substr(0, equals);
        if (name.find_first_of(" \t") != std::string::npos) continue;
        variables[name] = unquote(trim(line.substr(equals + 1)));
    }
    return variables;
}

std::vector<std::string> resolver_domains(const std::string& resolv_conf) {
    std::vector<std::string> domains;
    std::istringstream in(resolv_conf);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string keyword, domain;
        words >> keyword;
        if (keyword != "domain" && keyword != "search") continue;
        while (words >> domain) {
            domain = lower(domain);
            while (!domain.empty() && domain.back() == '.') domain.pop_back();
            if (!domain.empty() && std::find(domains.begin(), domains.end(), domain) == domains.end())
                domains.push_back(domain);
        }
    }
    return domains;
}

std::vector<std::string> wpad_urls_for_domains(const std::vector<std::string>& domains) {
    std::vector<std::string> urls;
    for (std::string domain : domains) {
        domain = lower(domain);
        while (!domain.empty() && domain.back() == '.') domain.pop_back();
        if (!host_name_ok(domain)) continue;
        // Down to two labels: "wpad.com" would ask a stranger.
        for (size_t start = 0; domain.find('.', start) != std::string::npos;) {
            std::string url = "http://wpad." + domain.substr(start) + "/wpad.dat";
            if (std::find(urls.begin(), urls.end(), url) == urls.end() && urls.size() < max_wpad_urls)
                urls.push_back(url);
            start = domain.find('.', start) + 1;
        }
    }
    return urls;
}

std::string wpad_url_from_dhcp_leases(const std::string& leases) {
    std::string found;
    std::istringstream in(leases);
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.rfind("lease", 0) == 0) found.clear();   // only the last lease counts
        std::istringstream words(line);
        std::string keyword, name;
        words >> keyword >> name;
        if (keyword != "option" || (name != "wpad" && name != "wpad-url" && name != "unknown-252")) continue;
        std::string value;
        std::getline(words, value);
        value = trim(value);
        if (!value.empty() && value.back() == ';') value.pop_back();
        value = trim(value);
        value = value.size() >= 2 && value.front() == '"' ? unquote(value) : from_colon_hex(value);
        while (!value.empty() && value.back() == '\0') value.pop_back();
        if (url_with_scheme(value, {"http", "https"})) found = value;
    }
    return found;
}

pac_answer_kind read_pac_answer(const std::string& answer, std::string& proxies) {
    proxies.clear();
    bool direct = false;
    std::istringstream in(answer);
    std::string item;
    while (std::getline(in, item, ';')) {
        std::istringstream words(item);
        std::string kind, address, extra;
        words >> kind >> address >> extra;
        kind = lower(kind);
        if (kind == "direct" && address.empty()) direct = true;
        if (kind != "proxy" || address.empty() || !extra.empty()) continue;
        std::string usable = proxy_address_from_url(address, "");
        if (usable.empty() || proxies.size() + 1 + usable.size() > value_capacity) continue;
        proxies += (proxies.empty() ? "" : ";") + usable;
    }
    if (!proxies.empty()) return PAC_ANSWER_PROXIES;
    return direct ? PAC_ANSWER_DIRECT : PAC_ANSWER_NOTHING;
}

bool reply_value_ok(const std::string& value) {
    return value.size() <= value_capacity &&
           std::all_of(value.begin(), value.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

std::string format_settings_reply(const desktop_proxy_fields& fields) {
    return "qsw-proxy-settings 1\nauto-detect " + std::string(fields.auto_detect ? "1" : "0") + "\nscript " +
           fields.script + "\nproxy " + fields.proxy + "\nbypass " + fields.bypass + "\nend\n";
}

bool parse_settings_reply(const std::string& reply, desktop_proxy_fields& fields) {
    if (reply.size() > helper_reply_capacity) return false;
    std::istringstream in(reply);
    std::string header, flag;
    desktop_proxy_fields read;
    if (!std::getline(in, header) || header != "qsw-proxy-settings 1") return false;
    if (!reply_line(in, "auto-detect", flag) || (flag != "0" && flag != "1")) return false;
    read.auto_detect = flag == "1";
    if (!reply_line(in, "script", read.script) || !reply_line(in, "proxy", read.proxy) ||
        !reply_line(in, "bypass", read.bypass) || !reply_end(in, reply))
        return false;
    fields = read;
    return true;
}

std::string format_resolve_reply(resolve_outcome outcome, const std::string& proxies) {
    static const char* const names[] = {"proxies", "direct", "not-found", "no-engine"};
    return "qsw-proxy-resolve 1\nresult " + std::string(names[outcome]) + "\nproxy " + proxies + "\nend\n";
}

bool parse_resolve_reply(const std::string& reply, resolve_outcome& outcome, std::string& proxies) {
    if (reply.size() > helper_reply_capacity) return false;
    std::istringstream in(reply);
    std::string header, result, list;
    if (!std::getline(in, header) || header != "qsw-proxy-resolve 1") return false;
    if (!reply_line(in, "result", result) || !reply_line(in, "proxy", list) || !reply_end(in, reply)) return false;
    static const std::pair<const char*, resolve_outcome> names[] = {{"proxies", RESOLVED_PROXIES},
                                                                    {"direct", RESOLVED_DIRECT},
                                                                    {"not-found", RESOLVED_NOT_FOUND},
                                                                    {"no-engine", RESOLVED_NO_ENGINE}};
    for (const auto& [name, value] : names) {
        if (result != name) continue;
        if ((value == RESOLVED_PROXIES) != !list.empty()) return false;
        outcome = value;
        proxies = list;
        return true;
    }
    return false;
}
