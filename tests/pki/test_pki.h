#pragma once

#include <string>
#include <vector>

namespace ilktest {

// A certificate authority made at run time for the TLS tests and benchmarks: an EC P-256 key
// and a self-signed CA certificate in `folder`, and certificates it issues, all PEM files.
class test_pki {
public:
    // Writes `folder`/`name`-ca.pem (the certificate) and its key; the folder must exist.
    test_pki(const std::string& folder, const std::string& name);

    // The CA certificate: the file a peer trusts.
    const std::string& ca_file() const { return ca_file_; }

    struct issued {
        std::string certificate;
        std::string key;
    };
    // A certificate for `subject` (an IPv4 address becomes an IP entry of the alternative
    // names, anything else a DNS entry), valid from now + not_before_s to now + not_after_s,
    // written as `stem`.pem and `stem`-key.pem.
    issued issue(const std::string& stem, const std::string& subject, long not_before_s = -3600,
                 long not_after_s = 30L * 86400) const;

    // A certificate revocation list signed by the CA, valid from an hour ago for `valid_s`
    // seconds from now (negative: already out of date), naming the issued certificates in
    // `revoked` (their .pem files), written to `path`.
    void write_crl(const std::string& path, const std::vector<std::string>& revoked,
                   long valid_s = 7L * 86400) const;

private:
    std::string folder_;
    std::string ca_file_;
    std::string ca_key_file_;
};

} // namespace ilktest
