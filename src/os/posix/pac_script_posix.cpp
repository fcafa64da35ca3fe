// Proxy scripts in the desktop proxy helper: found by automatic detection (WPAD: the DHCP
// lease's option 252, then wpad.<suffix> of the machine's domains) or named by the user,
// fetched directly (never through a proxy), and evaluated with Debian's pacparser library,
// loaded at run time so that the installer starts where it is missing.
#include "os/posix/proxy_helper_posix.h"

#include <curl/curl.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <vector>

#include "os/host.h"
#include "os/posix/proxy_sources_posix.h"
#include "os/text.h"
#include "os/trust_store.h"

namespace {
constexpr size_t script_capacity = 1024 * 1024;
constexpr size_t lease_capacity = 1024 * 1024;
constexpr long fetch_connect_seconds = 4;
constexpr long fetch_total_seconds = 8;
constexpr const char* lease_folders[] = {"/var/lib/dhcp", "/var/lib/dhclient", "/var/lib/NetworkManager"};

// ---------------------------------------------------------------------------------------------
// The PAC library

using pac_printer = int (*)(const char*, va_list);

int print_nothing(const char*, va_list) { return 0; }

class pac_engine {
public:
    pac_engine() {
        library_ = dlopen("libpacparser.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!library_) return;
        init_ = reinterpret_cast<int (*)()>(dlsym(library_, "pacparser_init"));
        parse_ = reinterpret_cast<int (*)(const char*)>(dlsym(library_, "pacparser_parse_pac_string"));
        find_ = reinterpret_cast<char* (*)(const char*, const char*)>(dlsym(library_, "pacparser_find_proxy"));
        cleanup_ = reinterpret_cast<void (*)()>(dlsym(library_, "pacparser_cleanup"));
        auto set_printer = reinterpret_cast<void (*)(pac_printer)>(dlsym(library_, "pacparser_set_error_printer"));
        if (set_printer) set_printer(print_nothing);
    }
    ~pac_engine() {
        if (library_) dlclose(library_);
    }
    pac_engine(const pac_engine&) = delete;
    pac_engine& operator=(const pac_engine&) = delete;

    bool loaded() const { return library_ && init_ && parse_ && find_ && cleanup_; }

    // FindProxyForURL(url, host) of `script`; false when the script does not load or run.
    bool find_proxy(const std::string& script, const std::string& url, const std::string& host, std::string& answer) {
        if (!loaded() || init_() == 0) return false;
        bool ok = parse_(script.c_str()) != 0;
        const char* found = ok ? find_(url.c_str(), host.c_str()) : nullptr;
        if (found) answer = found;   // owned by the library until cleanup
        cleanup_();
        return found != nullptr;
    }

private:
    void* library_ = nullptr;
    int (*init_)() = nullptr;
    int (*parse_)(const char*) = nullptr;
    char* (*find_)(const char*, const char*) = nullptr;
    void (*cleanup_)() = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Fetching a script

// The system's trust store judges an https script server, as it judges the installer's own
// downloads without a CA bundle.
int system_chain_check(X509_STORE_CTX* ctx, void*) {
    X509* leaf = X509_STORE_CTX_get0_cert(ctx);
    if (!leaf) return 0;
    auto der = [](X509* cert) {
        unsigned char* bytes = nullptr;
        int length = i2d_X509(cert, &bytes);
        std::string out = length > 0 ? std::string(reinterpret_cast<char*>(bytes), static_cast<size_t>(length)) : "";
        OPENSSL_free(bytes);
        return out;
    };
    std::string leaf_der = der(leaf);
    std::vector<std::string> chain;
    STACK_OF(X509)* untrusted = X509_STORE_CTX_get0_untrusted(ctx);
    for (int i = 0; untrusted && i < sk_X509_num(untrusted); ++i) chain.push_back(der(sk_X509_value(untrusted, i)));
    return !leaf_der.empty() &&
           os_server_chain_trusted(reinterpret_cast<const unsigned char*>(leaf_der.data()), leaf_der.size(), chain);
}

CURLcode use_system_trust(CURL*, void* ssl_ctx, void*) {
    SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(ssl_ctx), system_chain_check, nullptr);
    return CURLE_OK;
}

size_t collect(char* data, size_t size, size_t count, void* target) {
    auto* text = static_cast<std::string*>(target);
    size_t bytes = size * count;
    if (text->size() + bytes > script_capacity) return 0;   // ends the transfer
    text->append(data, bytes);
    return bytes;
}

struct curl_deleter {
    void operator()(CURL* c) const noexcept { curl_easy_cleanup(c); }
};

bool fetch_over_http(const std::string& url, const std::string& user_agent, std::string& script) {
    std::unique_ptr<CURL, curl_deleter> easy(curl_easy_init());
    if (!easy) return false;
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_USERAGENT, user_agent.c_str());
    curl_easy_setopt(e, CURLOPT_PROXY, "");   // scripts are fetched directly
    curl_easy_setopt(e, CURLOPT_NOPROXY, "");
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, fetch_connect_seconds);
    curl_easy_setopt(e, CURLOPT_TIMEOUT, fetch_total_seconds);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, use_system_trust);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &script);
    long code = 0;
    return curl_easy_perform(e) == CURLE_OK && curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK &&
           code == 200;
}

bool fetch_script(const std::string& url, const std::string& user_agent, std::string& script) {
    script.clear();
    if (url.compare(0, 7, "file://") == 0) return read_bounded_file(url.substr(7), script_capacity, script);
    return fetch_over_http(url, user_agent, script);
}

// ---------------------------------------------------------------------------------------------
// Automatic detection

std::vector<std::string> dhcp_wpad_urls() {
    std::vector<std::string> urls;
    for (const char* folder : lease_folders) {
        DIR* dir = opendir(folder);
        if (!dir) continue;
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.find(".lease") == std::string::npos) continue;
            std::string text;
            if (!read_bounded_file(std::string(folder) + "/" + name, lease_capacity, text)) continue;
            std::string url = wpad_url_from_dhcp_leases(text);
            if (!url.empty()) urls.push_back(url);
        }
        closedir(dir);
    }
    return urls;
}

std::vector<std::string> machine_domains() {
    std::vector<std::string> domains;
    std::wstring fqdn;
    std::string narrow;
    int error = 0;
    if (os_fqdn_from_system(fqdn, &error) == OS_FQDN_OK && os_to_narrow(fqdn, narrow)) {
        size_t dot = narrow.find('.');
        if (dot != std::string::npos && dot + 1 < narrow.size()) domains.push_back(narrow.substr(dot + 1));
    }
    std::string resolv_conf;
    if (read_bounded_file("/etc/resolv.conf", lease_capacity, resolv_conf))
        for (const std::string& domain : resolver_domains(resolv_conf)) domains.push_back(domain);
    return domains;
}

std::vector<std::string> wpad_candidates() {
    std::vector<std::string> urls = dhcp_wpad_urls();
    for (const std::string& url : wpad_urls_for_domains(machine_domains())) urls.push_back(url);
    return urls;
}

// The host of a URL as FindProxyForURL receives it (no brackets, port or user information).
std::string host_of(const std::string& url) {
    size_t start = url.find("://");
    std::string rest = start == std::string::npos ? url : url.substr(start + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    size_t at = rest.rfind('@');
    if (at != std::string::npos) rest = rest.substr(at + 1);
    if (rest.empty() || rest[0] != '[') return rest.substr(0, rest.find(':'));
    size_t close = rest.find(']');
    return rest.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}
}   // namespace

std::string resolve_proxy_with_script(const std::string& url, const std::string& script_url,
                                      const std::string& user_agent) {
    pac_engine engine;
    if (!engine.loaded()) return format_resolve_reply(RESOLVED_NO_ENGINE, "");
    std::vector<std::string> candidates = script_url == "-" ? wpad_candidates() : std::vector<std::string>{script_url};
    for (const std::string& candidate : candidates) {
        std::string script, answer, proxies;
        if (!fetch_script(candidate, user_agent, script)) continue;
        // The first script found decides, as automatic detection takes the first it finds.
        if (!engine.find_proxy(script, url, host_of(url), answer)) break;
        switch (read_pac_answer(answer, proxies)) {
            case PAC_ANSWER_PROXIES: return format_resolve_reply(RESOLVED_PROXIES, proxies);
            case PAC_ANSWER_DIRECT: return format_resolve_reply(RESOLVED_DIRECT, "");
            case PAC_ANSWER_NOTHING: return format_resolve_reply(RESOLVED_NOT_FOUND, "");
        }
    }
    return format_resolve_reply(RESOLVED_NOT_FOUND, "");
}
