#include "os/trust_store.h"

#include <memory>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

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
    void operator()(STACK_OF(X509)* s) const noexcept { sk_X509_pop_free(s, X509_free); }
};

std::unique_ptr<X509, x509_deleter> parse_der(const unsigned char* der, size_t size) {
    const unsigned char* cursor = der;
    return std::unique_ptr<X509, x509_deleter>(d2i_X509(nullptr, &cursor, static_cast<long>(size)));
}
}  // namespace

// The system store is OpenSSL's default locations (the distribution's CA bundle and hash folder,
// or SSL_CERT_FILE / SSL_CERT_DIR when set), loaded afresh for each check so that a changed
// store counts at once.
bool os_server_chain_trusted(const unsigned char* leaf, size_t leaf_size,
                             const std::vector<std::string>& intermediates) {
    if (!leaf || leaf_size == 0) return false;
    auto leaf_cert = parse_der(leaf, leaf_size);
    std::unique_ptr<X509_STORE, store_deleter> store(X509_STORE_new());
    std::unique_ptr<STACK_OF(X509), stack_deleter> untrusted(sk_X509_new_null());
    std::unique_ptr<X509_STORE_CTX, store_ctx_deleter> ctx(X509_STORE_CTX_new());
    if (!leaf_cert || !store || !untrusted || !ctx) return false;
    if (X509_STORE_set_default_paths(store.get()) != 1) return false;

    for (const std::string& der : intermediates) {
        auto cert = parse_der(reinterpret_cast<const unsigned char*>(der.data()), der.size());
        if (!cert) continue;   // an undecodable extra cannot help the chain; judge without it
        if (sk_X509_push(untrusted.get(), cert.get()) <= 0) return false;
        cert.release();
    }
    if (X509_STORE_CTX_init(ctx.get(), store.get(), leaf_cert.get(), untrusted.get()) != 1)
        return false;
    return X509_verify_cert(ctx.get()) == 1;
}
