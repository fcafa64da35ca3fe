// The system-trust-store mode of HTTPS transfers: the server's chain is judged by the operating
// system's trust (src/os/trust_store.h) instead of the TLS library's own chain check.
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <string>
#include <vector>

#include "download/transfer.h"
#include "os/trust_store.h"

namespace {
// DER bytes of a certificate; empty when it cannot be encoded.
std::string to_der(X509* cert) {
    unsigned char* der = nullptr;
    int size = cert ? i2d_X509(cert, &der) : -1;
    if (size <= 0) return std::string();
    std::string bytes(reinterpret_cast<char*>(der), static_cast<size_t>(size));
    OPENSSL_free(der);
    return bytes;
}

// Runs inside the TLS handshake, on the thread of the transfer. A rejection carries an error in
// the store context so that libcurl reports a verification failure, not a bare handshake error.
int system_chain_check(X509_STORE_CTX* store, void*) {
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    std::string leaf_der = to_der(leaf);
    if (leaf_der.empty()) {
        X509_STORE_CTX_set_error(store, X509_V_ERR_UNSPECIFIED);
        return 0;
    }
    std::vector<std::string> intermediates;
    STACK_OF(X509)* sent = X509_STORE_CTX_get0_untrusted(store);
    for (int i = 0; sent && i < sk_X509_num(sent); ++i) {
        X509* cert = sk_X509_value(sent, i);
        if (!cert || X509_cmp(cert, leaf) == 0) continue;
        std::string der = to_der(cert);
        if (!der.empty()) intermediates.push_back(std::move(der));
    }
    bool trusted = os_server_chain_trusted(reinterpret_cast<const unsigned char*>(leaf_der.data()),
                                           leaf_der.size(), intermediates);
    if (!trusted) X509_STORE_CTX_set_error(store, X509_V_ERR_CERT_UNTRUSTED);
    return trusted ? 1 : 0;
}
}  // namespace

int verify_server_certificate(void*, void* ssl_ctx, void*) {
    if (!ssl_ctx) return CURLE_SSL_ENGINE_INITFAILED;
    SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(ssl_ctx), system_chain_check, nullptr);
    return CURLE_OK;
}
