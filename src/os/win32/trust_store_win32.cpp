// The server's chain is built by the system's chain engine for the machine (the installer
// runs as the machine's administrator: a root that only the current user added does not
// count), with what the server sent besides the leaf as an extra store, and judged by the base
// policy. No host name is required here and revocation is not checked.
#include "os/trust_store.h"

#include <windows.h>

#include <wincrypt.h>

namespace {
constexpr DWORD not_checked = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

struct certificate {
    PCCERT_CONTEXT context = nullptr;
    ~certificate() {
        if (context) CertFreeCertificateContext(context);
    }
};
struct store {
    HCERTSTORE handle = nullptr;
    ~store() {
        if (handle) CertCloseStore(handle, 0);
    }
};
struct chain {
    PCCERT_CHAIN_CONTEXT context = nullptr;
    ~chain() {
        if (context) CertFreeCertificateChain(context);
    }
};

void add_intermediates(HCERTSTORE extra, const std::vector<std::string>& intermediates) {
    for (const std::string& der : intermediates) {
        // An undecodable extra cannot help the chain; it is judged without it.
        CertAddEncodedCertificateToStore(extra, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                         static_cast<DWORD>(der.size()), CERT_STORE_ADD_ALWAYS, nullptr);
    }
}
}   // namespace

bool os_server_chain_trusted(const unsigned char* leaf, size_t leaf_size,
                             const std::vector<std::string>& intermediates) {
    if (!leaf || leaf_size == 0) return false;
    certificate server;
    server.context = CertCreateCertificateContext(X509_ASN_ENCODING, leaf, static_cast<DWORD>(leaf_size));
    store extra;
    extra.handle = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr);
    if (!server.context || !extra.handle) return false;
    add_intermediates(extra.handle, intermediates);
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    chain built;
    if (!CertGetCertificateChain(HCCE_LOCAL_MACHINE, server.context, nullptr, extra.handle, &parameters, 0, nullptr,
                                 &built.context))
        return false;
    // The chain's own verdict first: the base policy of some implementations lets a partial
    // chain (an issuer that was not found) pass. Revocation is not asked for, so its status is
    // not held against the chain.
    if ((built.context->TrustStatus.dwErrorStatus & ~not_checked) != CERT_TRUST_NO_ERROR) return false;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_BASE, built.context, &policy, &status)) return false;
    return status.dwError == 0;
}
