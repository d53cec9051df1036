#pragma once
// TTestCa: a certificate authority made for one test run, and server certificates issued by
// it (or self-signed), written as PEM files into a directory. Keys are P-256 for speed.

#include <string>
#include <vector>

namespace pelmora::testing {

struct TTestCertificate {
    std::string CertPath;
    std::string KeyPath;
    std::string Fingerprint; // SHA-256, "AB:CD:..."
};

struct TCertificateRequest {
    std::string Name;                     // file stem and common name
    std::vector<std::string> DnsNames;    // subjectAltName DNS entries
    std::vector<std::string> IpAddresses; // subjectAltName IP entries
    long ValidFromDays = -1;              // relative to now
    long ValidToDays = 30;                // relative to now; negative: already expired
    bool SelfSigned = false;              // not issued by the test authority
};

class TTestCa {
public:
    // Creates the authority's key and certificate in dir ("ca.pem"); Ok() tells whether it
    // worked.
    explicit TTestCa(std::string dir);
    ~TTestCa();
    TTestCa(const TTestCa&) = delete;
    TTestCa& operator=(const TTestCa&) = delete;

    bool Ok() const { return CaKey != nullptr; }
    const std::string& CaPath() const { return CaFile; }
    // Issues a certificate; empty paths when it failed.
    TTestCertificate Issue(const TCertificateRequest& request);

private:
    std::string Dir;
    std::string CaFile;
    void* CaKey = nullptr;  // EVP_PKEY
    void* CaCert = nullptr; // X509
};

} // namespace pelmora::testing
