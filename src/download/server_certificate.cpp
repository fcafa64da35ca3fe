// Checks of the agent handler's certificate in the two verifying TLS modes. The chain is judged
// by the CA file (libcurl's own check) or by the operating system's trust
// (src/os/trust_store.h); in both, the certificate must also name the agent handler: a
// certificate that the same CA issued for another name (another agent, another server) would
// otherwise pass, because host-name verification is off for the IP and NetBIOS fallbacks.
#include <curl/curl.h>
#include <openssl/bio.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <algorithm>
#include <string>
#include <vector>

#include "core/log.h"
#include "download/transfer.h"
#include "os/text.h"
#include "os/trust_store.h"

namespace {
using server_names = std::vector<std::string>;

constexpr unsigned host_check_flags = X509_CHECK_FLAG_ALWAYS_CHECK_SUBJECT | X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS;

// DER bytes of a certificate; empty when it cannot be encoded.
std::string to_der(X509* cert) {
    unsigned char* der = nullptr;
    int size = cert ? i2d_X509(cert, &der) : -1;
    if (size <= 0) return std::string();
    std::string bytes(reinterpret_cast<char*>(der), static_cast<size_t>(size));
    OPENSSL_free(der);
    return bytes;
}

// The certificate's subject for the log, control and non-ASCII bytes escaped.
std::string printable_subject(X509* cert) {
    BIO* out = BIO_new(BIO_s_mem());
    if (!out) return std::string();
    X509_NAME_print_ex(out, X509_get_subject_name(cert), 0, XN_FLAG_RFC2253);   // escapes both
    char* data = nullptr;
    long size = BIO_get_mem_data(out, &data);
    std::string text = size > 0 ? std::string(data, static_cast<size_t>(std::min(size, 512L))) : std::string();
    BIO_free(out);
    return text;
}

std::string joined(const server_names& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// True when a subject alternative name (DNS or IP) or the common name of `leaf` is one of
// `names`. Logs the refusal.
bool names_the_server(X509* leaf, const server_names* names) {
    if (leaf && names) {
        for (const std::string& name : *names) {
            if (name.empty()) continue;
            if (X509_check_ip_asc(leaf, name.c_str(), 0) == 1) return true;
            if (X509_check_host(leaf, name.data(), name.size(), host_check_flags, nullptr) == 1) return true;
        }
    }
    std::string expected = names ? joined(*names) : std::string();
    log_message(
        SEV_ERROR,
        L"Server certificate refused: " OS_NARROW_S L" names none of the agent handler's hosts (" OS_NARROW_S L")",
        leaf ? printable_subject(leaf).c_str() : "", expected.c_str());
    return false;
}

// Where the CA-file mode keeps the names on the TLS context of a connection.
int names_index() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// The TLS library's verification callback in the CA-file mode: its own chain verdict stands,
// and the leaf (depth 0) must name the server.
int chain_and_name_check(int chain_ok, X509_STORE_CTX* store) {
    if (!chain_ok || X509_STORE_CTX_get_error_depth(store) != 0) return chain_ok;
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    SSL_CTX* context = ssl ? SSL_get_SSL_CTX(ssl) : nullptr;
    const auto* names =
        context ? static_cast<const server_names*>(SSL_CTX_get_ex_data(context, names_index())) : nullptr;
    if (names_the_server(X509_STORE_CTX_get_current_cert(store), names)) return 1;
    X509_STORE_CTX_set_error(store, X509_V_ERR_HOSTNAME_MISMATCH);
    return 0;
}

// Runs inside the TLS handshake, on the thread of the transfer, instead of the TLS library's
// chain check. A rejection carries an error in the store context so that libcurl reports a
// verification failure, not a bare handshake error.
int system_chain_check(X509_STORE_CTX* store, void* names) {
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
    if (!os_server_chain_trusted(reinterpret_cast<const unsigned char*>(leaf_der.data()), leaf_der.size(),
                                 intermediates)) {
        X509_STORE_CTX_set_error(store, X509_V_ERR_CERT_UNTRUSTED);
        return 0;
    }
    if (names_the_server(leaf, static_cast<const server_names*>(names))) return 1;
    X509_STORE_CTX_set_error(store, X509_V_ERR_HOSTNAME_MISMATCH);
    return 0;
}
}   // namespace

int verify_server_certificate(void*, void* ssl_ctx, void* names) {
    if (!ssl_ctx) return CURLE_SSL_ENGINE_INITFAILED;
    SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(ssl_ctx), system_chain_check, names);
    return CURLE_OK;
}

int require_server_names(void*, void* ssl_ctx, void* names) {
    auto* context = static_cast<SSL_CTX*>(ssl_ctx);
    if (!context || names_index() < 0 || SSL_CTX_set_ex_data(context, names_index(), names) != 1)
        return CURLE_SSL_ENGINE_INITFAILED;
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, chain_and_name_check);
    return CURLE_OK;
}
