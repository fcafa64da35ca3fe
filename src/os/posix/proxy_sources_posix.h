// Where the Linux desktops and the system keep proxy settings, read as plain text: proxy
// variables of an environment, KDE's kioslaverc, GNOME's org.gnome.system.proxy as `gsettings
// list-recursively` prints it, /etc/environment, the resolver's domains and DHCP leases (for
// WPAD), and the answer of a proxy script. Also the small text format in which the settings
// helper process reports back, which the installer parses as untrusted input.
//
// Everything here is text in, text out; no file or process is touched.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

// An environment lookup: the value of a variable, or null when it is not set.
using environment_lookup = std::function<const char*(const char* name)>;

// "http://user:pw@proxy.example:3128/" -> "proxy.example:3128". Plain HTTP proxies only (no
// scheme, or http://); user information and paths are dropped; IPv6 hosts stay bracketed.
// Without a port the result carries `default_port`, or no port when that is empty. Empty when
// the value does not name a usable proxy.
std::string proxy_address_from_url(const std::string& value, const std::string& default_port);

// The proxy variables of an environment as a proxy list: "http=h:p;https=h:p;ftp=h:p" from
// http_proxy, https_proxy and (with `with_ftp`) ftp_proxy, or "h:p" from all_proxy when none of
// those is set. Lower-case names first, then upper-case. A proxy without a port gets 1080, as
// libcurl and the tools that read these variables give it. Empty when nothing is named.
std::string proxy_list_from_environment(const environment_lookup& lookup, bool with_ftp);

// The four fields of a user's proxy configuration, as printable ASCII text.
struct desktop_proxy_fields {
    bool auto_detect = false;
    std::string script;   // automatic configuration script URL
    std::string proxy;    // manual proxy list
    std::string bypass;   // hosts without proxy, ';'-separated
};

// KDE's kioslaverc, group [Proxy Settings]: ProxyType 0 (or missing) none, 1 manual (httpProxy,
// httpsProxy, ftpProxy), 2 script ("Proxy Config Script"), 3 automatic detection, 4 the
// environment's variables (consulted before, so none here). False for other types or values
// that cannot be represented.
bool kde_proxy_settings(const std::string& kioslaverc, desktop_proxy_fields& out);

// GNOME's settings as printed by `gsettings list-recursively org.gnome.system.proxy`: mode
// 'none', 'manual' (http, https and ftp hosts and ports; with use-same-proxy the http proxy for
// every scheme) or 'auto' (autoconfig-url, or automatic detection when it is empty). False when
// the mode is missing or unknown, or a value cannot be represented.
bool gnome_proxy_settings(const std::string& listing, desktop_proxy_fields& out);

// The variables of /etc/environment ("NAME=value", quotes optional, '#' comments).
std::map<std::string, std::string> parse_environment_file(const std::string& text);

// The domains of /etc/resolv.conf's "domain" and "search" lines, in order, lower-case, each once.
std::vector<std::string> resolver_domains(const std::string& resolv_conf);

// The WPAD script URLs of automatic detection by DNS: "http://wpad.<suffix>/wpad.dat" for every
// suffix of every domain down to two labels ("a.corp.example" -> wpad.a.corp.example,
// wpad.corp.example), in order, each once.
std::vector<std::string> wpad_urls_for_domains(const std::vector<std::string>& domains);

// The WPAD URL (DHCP option 252) of the last lease in a dhclient lease file, or empty.
std::string wpad_url_from_dhcp_leases(const std::string& leases);

enum pac_answer_kind { PAC_ANSWER_PROXIES, PAC_ANSWER_DIRECT, PAC_ANSWER_NOTHING };

// A proxy script's answer ("PROXY a:3128; PROXY b:8080; DIRECT"): its PROXY items as a proxy
// list "a:3128;b:8080" (items that would pass 1023 bytes are left out), DIRECT alone as
// "direct", anything else (SOCKS only, empty, garbage) as nothing usable.
pac_answer_kind read_pac_answer(const std::string& answer, std::string& proxies);

// Text that may travel in a helper reply: 0 to 1023 bytes of printable ASCII without blanks.
bool reply_value_ok(const std::string& value);

// The settings helper's reply. The parser accepts exactly what the formatter writes and
// nothing else; it is all the installer believes of the helper's output.
std::string format_settings_reply(const desktop_proxy_fields& fields);
bool parse_settings_reply(const std::string& reply, desktop_proxy_fields& fields);

enum resolve_outcome { RESOLVED_PROXIES, RESOLVED_DIRECT, RESOLVED_NOT_FOUND, RESOLVED_NO_ENGINE };
std::string format_resolve_reply(resolve_outcome outcome, const std::string& proxies);
bool parse_resolve_reply(const std::string& reply, resolve_outcome& outcome, std::string& proxies);

constexpr size_t helper_reply_capacity = 8192;
