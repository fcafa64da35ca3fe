// The system-store chain check through CryptoAPI, with certificates made here: a root that the
// test adds to the machine's trusted roots (of this test's own Wine prefix), an intermediate
// and a server certificate under it, and a second root the system does not trust.
#include <gtest/gtest.h>

#include <windows.h>

// After wincrypt.h: OpenSSL's headers undo its X509_NAME and like macros.
#include <wincrypt.h>

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <string>
#include <vector>

#include "os/trust_store.h"

namespace {
struct issued {
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    ~issued() {
        X509_free(cert);
        EVP_PKEY_free(key);
    }
};

void add_extension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for `name`, signed by `issuer` (itself when null), valid from a day ago.
void make(issued& out, const char* name, const issued* issuer, bool authority, long valid_days = 30) {
    static long serial = 1;
    out.key = EVP_EC_gen("P-256");
    out.cert = X509_new();
    X509_set_version(out.cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(out.cert), serial++);
    X509_gmtime_adj(X509_getm_notBefore(out.cert), -86400);
    X509_gmtime_adj(X509_getm_notAfter(out.cert), valid_days * 86400);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(out.cert), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(name), -1, -1, 0);
    X509* signer = issuer ? issuer->cert : out.cert;
    X509_set_issuer_name(out.cert, X509_get_subject_name(signer));
    X509_set_pubkey(out.cert, out.key);
    add_extension(out.cert, signer, NID_basic_constraints, authority ? "critical,CA:TRUE" : "CA:FALSE");
    add_extension(out.cert, signer, NID_subject_key_identifier, "hash");
    if (authority) add_extension(out.cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    X509_sign(out.cert, issuer ? issuer->key : out.key, EVP_sha256());
}

std::string der(X509* cert) {
    unsigned char* bytes = nullptr;
    int size = i2d_X509(cert, &bytes);
    std::string out(reinterpret_cast<char*>(bytes), size > 0 ? size : 0);
    OPENSSL_free(bytes);
    return out;
}

bool trusted(const std::string& leaf, const std::vector<std::string>& extra) {
    return os_server_chain_trusted(reinterpret_cast<const unsigned char*>(leaf.data()), leaf.size(), extra);
}

void trust_root(X509* root) {
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    ASSERT_NE(store, nullptr);
    std::string bytes = der(root);
    EXPECT_TRUE(CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(bytes.data()),
                                                 static_cast<DWORD>(bytes.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                 nullptr));
    CertCloseStore(store, 0);
}
}   // namespace

TEST(Win32TrustStore, JudgesTheServerChainByTheMachinesRoots) {
    issued root, intermediate, server, stranger_root, stranger_server;
    make(root, "Quenta Test Root", nullptr, true);
    make(intermediate, "Quenta Test Intermediate", &root, true);
    make(server, "handler.test", &intermediate, false);
    make(stranger_root, "Untrusted Root", nullptr, true);
    make(stranger_server, "handler.test", &stranger_root, false);
    ASSERT_NO_FATAL_FAILURE(trust_root(root.cert));

    // First: the chain engine remembers intermediates it has been shown.
    EXPECT_FALSE(trusted(der(server.cert), {})) << "without the intermediate the chain does not reach the root";
    EXPECT_TRUE(trusted(der(server.cert), {der(intermediate.cert)}));
    EXPECT_TRUE(trusted(der(server.cert), {"not a certificate", der(intermediate.cert)}))
        << "an undecodable extra is passed over";
    EXPECT_FALSE(trusted(der(stranger_server.cert), {der(stranger_root.cert)}))
        << "a root the server sends itself is no trust anchor";
    EXPECT_FALSE(trusted(der(stranger_root.cert), {}));
    EXPECT_FALSE(trusted("garbage", {}));
    EXPECT_FALSE(os_server_chain_trusted(nullptr, 0, {}));
}

TEST(Win32TrustStore, RefusesAnExpiredServerCertificate) {
    issued root, server;
    make(root, "Quenta Expiry Root", nullptr, true);
    make(server, "handler.test", &root, false, -1);   // ended yesterday
    ASSERT_NO_FATAL_FAILURE(trust_root(root.cert));
    EXPECT_FALSE(trusted(der(server.cert), {}));
}
