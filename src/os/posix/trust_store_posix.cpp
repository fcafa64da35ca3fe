#include "os/trust_store.h"

#include <sys/stat.h>

#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <cstdlib>
#include <memory>

namespace {
struct x509_deleter {
    void operator()(X509* x) const noexcept { X509_free(x); }
};
struct store_deleter {
    void operator()(X509_STORE* s) const noexcept { X509_STORE_free(s); }
};
struct store_ctx_deleter {
    void operator()(X509_STORE_CTX* c) const noexcept { X509_STORE_CTX_free(c); }
};
struct stack_deleter {
    void operator()(STACK_OF(X509) * s) const noexcept { sk_X509_pop_free(s, X509_free); }
};

// The distributions' CA bundles, most common first. One system keeps one bundle and links the
// other names to it, so the first that loads is the store.
constexpr const char* ca_bundle_files[] = {
    "/etc/ssl/certs/ca-certificates.crt",                  // Debian, Ubuntu, Gentoo, Arch
    "/etc/pki/tls/certs/ca-bundle.crt",                    // Fedora, RHEL 6
    "/etc/ssl/ca-bundle.pem",                              // openSUSE, SLES
    "/etc/pki/ca-trust/extracted/pem/tls-ca-bundle.pem",   // RHEL 7 and later
    "/etc/pki/tls/cacert.pem",                             // OpenELEC
    "/etc/ssl/cert.pem",                                   // Alpine
};
// Folders of certificates named by their subject hash, read when a chain needs an issuer.
constexpr const char* ca_hash_folders[] = {"/etc/ssl/certs", "/etc/pki/tls/certs"};

bool is_kind(const char* path, mode_t kind) {
    struct stat st;
    return stat(path, &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

// OpenSSL's own defaults hold on the system it was built for; a statically linked OpenSSL
// carries that system's paths to every other one, so the usual places are searched as well,
// unless the operator named the store with SSL_CERT_FILE or SSL_CERT_DIR.
bool load_system_locations(X509_STORE* store) {
    if (X509_STORE_set_default_paths(store) != 1) return false;
    if (secure_getenv("SSL_CERT_FILE") || secure_getenv("SSL_CERT_DIR")) return true;
    for (const char* bundle : ca_bundle_files) {
        if (is_kind(bundle, S_IFREG) && X509_STORE_load_file(store, bundle) == 1) break;
    }
    for (const char* folder : ca_hash_folders) {
        if (is_kind(folder, S_IFDIR)) X509_STORE_load_path(store, folder);
    }
    ERR_clear_error();   // a bundle that did not load is no error of the transfer
    return true;
}

std::unique_ptr<X509, x509_deleter> parse_der(const unsigned char* der, size_t size) {
    const unsigned char* cursor = der;
    return std::unique_ptr<X509, x509_deleter>(d2i_X509(nullptr, &cursor, static_cast<long>(size)));
}
}   // namespace

// The system store is OpenSSL's default locations and the distributions' usual CA bundles and
// hash folders (or SSL_CERT_FILE / SSL_CERT_DIR alone when set), loaded afresh for each check so
// that a changed store counts at once.
bool os_server_chain_trusted(const unsigned char* leaf, size_t leaf_size,
                             const std::vector<std::string>& intermediates) {
    if (!leaf || leaf_size == 0) return false;
    auto leaf_cert = parse_der(leaf, leaf_size);
    std::unique_ptr<X509_STORE, store_deleter> store(X509_STORE_new());
    std::unique_ptr<STACK_OF(X509), stack_deleter> untrusted(sk_X509_new_null());
    std::unique_ptr<X509_STORE_CTX, store_ctx_deleter> ctx(X509_STORE_CTX_new());
    if (!leaf_cert || !store || !untrusted || !ctx) return false;
    if (!load_system_locations(store.get())) return false;

    for (const std::string& der : intermediates) {
        auto cert = parse_der(reinterpret_cast<const unsigned char*>(der.data()), der.size());
        if (!cert) continue;   // an undecodable extra cannot help the chain; judge without it
        if (sk_X509_push(untrusted.get(), cert.get()) <= 0) return false;
        cert.release();
    }
    if (X509_STORE_CTX_init(ctx.get(), store.get(), leaf_cert.get(), untrusted.get()) != 1) return false;
    return X509_verify_cert(ctx.get()) == 1;
}
