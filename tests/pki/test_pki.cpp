#include "tests/pki/test_pki.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>

namespace ilktest {

namespace {

struct key_free {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct cert_free {
    void operator()(X509* x) const { X509_free(x); }
};
using key_ptr = std::unique_ptr<EVP_PKEY, key_free>;
using cert_ptr = std::unique_ptr<X509, cert_free>;

void require(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("test_pki: ") + what);
}

key_ptr make_key() {
    key_ptr key(EVP_EC_gen("P-256"));
    require(key != nullptr, "EC key");
    return key;
}

void add_extension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    require(ext != nullptr && X509_add_ext(cert, ext, -1) == 1, "extension");
    X509_EXTENSION_free(ext);
}

// issuer == nullptr: self-signed with `signer` = the certificate's own key.
cert_ptr make_certificate(EVP_PKEY* key, const std::string& common_name, X509* issuer,
                          EVP_PKEY* signer, bool authority, long not_before_s, long not_after_s,
                          long serial) {
    cert_ptr cert(X509_new());
    require(cert != nullptr, "X509_new");
    X509* x = cert.get();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial);
    X509_gmtime_adj(X509_getm_notBefore(x), not_before_s);
    X509_gmtime_adj(X509_getm_notAfter(x), not_after_s);
    X509_set_pubkey(x, key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("ilkstation tests"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(common_name.c_str()), -1, -1,
                               0);
    X509* parent = issuer != nullptr ? issuer : x;
    X509_set_issuer_name(x, X509_get_subject_name(parent));
    add_extension(x, parent, NID_subject_key_identifier, "hash");
    if (authority) {
        add_extension(x, parent, NID_basic_constraints, "critical,CA:TRUE");
        add_extension(x, parent, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        in_addr address{};
        bool is_address = ::inet_pton(AF_INET, common_name.c_str(), &address) == 1;
        add_extension(x, parent, NID_basic_constraints, "critical,CA:FALSE");
        add_extension(x, parent, NID_key_usage, "critical,digitalSignature,keyAgreement");
        add_extension(x, parent, NID_ext_key_usage, "serverAuth,clientAuth");
        add_extension(x, parent, NID_authority_key_identifier, "keyid");
        add_extension(x, parent, NID_subject_alt_name, (is_address ? "IP:" : "DNS:") + common_name);
    }
    require(X509_sign(x, signer, EVP_sha256()) > 0, "X509_sign");
    return cert;
}

void write_certificate(const std::string& path, X509* cert) {
    FILE* f = std::fopen(path.c_str(), "wb");
    require(f != nullptr, "open certificate file");
    bool ok = PEM_write_X509(f, cert) == 1;
    std::fclose(f);
    require(ok, "write certificate");
}

void write_key(const std::string& path, EVP_PKEY* key) {
    FILE* f = std::fopen(path.c_str(), "wb");
    require(f != nullptr, "open key file");
    bool ok = PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(f);
    require(ok, "write key");
}

cert_ptr read_certificate(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    require(f != nullptr, "open CA certificate");
    cert_ptr cert(PEM_read_X509(f, nullptr, nullptr, nullptr));
    std::fclose(f);
    require(cert != nullptr, "read CA certificate");
    return cert;
}

key_ptr read_key(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    require(f != nullptr, "open CA key");
    key_ptr key(PEM_read_PrivateKey(f, nullptr, nullptr, nullptr));
    std::fclose(f);
    require(key != nullptr, "read CA key");
    return key;
}

struct crl_free {
    void operator()(X509_CRL* c) const { X509_CRL_free(c); }
};
using crl_ptr = std::unique_ptr<X509_CRL, crl_free>;

} // namespace

test_pki::test_pki(const std::string& folder, const std::string& name)
    : folder_(folder.empty() || folder.back() == '/' ? folder : folder + "/"),
      ca_file_(folder_ + name + "-ca.pem"), ca_key_file_(folder_ + name + "-ca-key.pem") {
    key_ptr key = make_key();
    cert_ptr cert = make_certificate(key.get(), name + " CA", nullptr, key.get(), true, -86400,
                                     365L * 86400, 1);
    write_certificate(ca_file_, cert.get());
    write_key(ca_key_file_, key.get());
}

test_pki::issued test_pki::issue(const std::string& stem, const std::string& subject,
                                 long not_before_s, long not_after_s) const {
    cert_ptr ca = read_certificate(ca_file_);
    key_ptr ca_key = read_key(ca_key_file_);
    key_ptr key = make_key();
    // A serial of its own per file name keeps the issued certificates apart.
    long serial = 2 + static_cast<long>(std::hash<std::string>{}(stem)&0x3FFFFFFF);
    cert_ptr cert = make_certificate(key.get(), subject, ca.get(), ca_key.get(), false,
                                     not_before_s, not_after_s, serial);
    issued files{folder_ + stem + ".pem", folder_ + stem + "-key.pem"};
    write_certificate(files.certificate, cert.get());
    write_key(files.key, key.get());
    return files;
}

void test_pki::write_crl(const std::string& path, const std::vector<std::string>& revoked,
                         long valid_s) const {
    cert_ptr ca = read_certificate(ca_file_);
    key_ptr ca_key = read_key(ca_key_file_);
    crl_ptr crl(X509_CRL_new());
    require(crl != nullptr, "X509_CRL_new");
    X509_CRL_set_version(crl.get(), 1);
    X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(ca.get()));
    ASN1_TIME* last = X509_gmtime_adj(nullptr, -3600);
    ASN1_TIME* next = X509_gmtime_adj(nullptr, valid_s);
    X509_CRL_set1_lastUpdate(crl.get(), last);
    X509_CRL_set1_nextUpdate(crl.get(), next);
    for (const std::string& file : revoked) {
        cert_ptr cert = read_certificate(file);
        X509_REVOKED* entry = X509_REVOKED_new();
        require(entry != nullptr, "X509_REVOKED_new");
        X509_REVOKED_set_serialNumber(entry, X509_get_serialNumber(cert.get()));
        X509_REVOKED_set_revocationDate(entry, last);
        require(X509_CRL_add0_revoked(crl.get(), entry) == 1, "add revoked");
    }
    ASN1_TIME_free(last);
    ASN1_TIME_free(next);
    X509_CRL_sort(crl.get());
    require(X509_CRL_sign(crl.get(), ca_key.get(), EVP_sha256()) > 0, "X509_CRL_sign");
    FILE* f = std::fopen(path.c_str(), "wb");
    require(f != nullptr, "open CRL file");
    bool ok = PEM_write_X509_CRL(f, crl.get()) == 1;
    std::fclose(f);
    require(ok, "write CRL");
}

} // namespace ilktest
