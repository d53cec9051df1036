#include "support/test_ca.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>

namespace pelmora::testing {

namespace {

EVP_PKEY* NewKey() {
    return EVP_EC_gen("P-256");
}

bool WriteKey(const std::string& path, EVP_PKEY* key) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(file);
    return ok;
}

bool WriteCert(const std::string& path, X509* cert) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = PEM_write_X509(file, cert) == 1;
    std::fclose(file);
    return ok;
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension != nullptr) {
        X509_add_ext(cert, extension, -1);
        X509_EXTENSION_free(extension);
    }
}

X509* MakeCert(EVP_PKEY* key, const std::string& commonName, long fromDays, long toDays,
               long serial) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), fromDays * 86400L);
    X509_gmtime_adj(X509_getm_notAfter(cert), toDays * 86400L);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Pelmora tests"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    return cert;
}

std::string Fingerprint(X509* cert) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    X509_digest(cert, EVP_sha256(), digest, &length);
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i > 0) {
            text += ':';
        }
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

long NextSerial() {
    static long serial = 1000;
    return ++serial;
}

} // namespace

TTestCa::TTestCa(std::string dir) : Dir(std::move(dir)) {
    CaFile = Dir + "ca.pem";
    EVP_PKEY* key = NewKey();
    if (key == nullptr) {
        return;
    }
    X509* cert = MakeCert(key, "Pelmora Test Authority", -1, 365, NextSerial());
    X509_set_issuer_name(cert, X509_get_subject_name(cert));
    AddExtension(cert, cert, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert, cert, NID_key_usage, "critical,keyCertSign,cRLSign");
    AddExtension(cert, cert, NID_subject_key_identifier, "hash");
    if (X509_sign(cert, key, EVP_sha256()) == 0 || !WriteCert(CaFile, cert)) {
        X509_free(cert);
        EVP_PKEY_free(key);
        return;
    }
    CaKey = key;
    CaCert = cert;
}

TTestCa::~TTestCa() {
    X509_free(static_cast<X509*>(CaCert));
    EVP_PKEY_free(static_cast<EVP_PKEY*>(CaKey));
}

TTestCertificate TTestCa::Issue(const TCertificateRequest& request) {
    TTestCertificate result;
    if (!Ok()) {
        return result;
    }
    EVP_PKEY* key = NewKey();
    X509* cert =
        MakeCert(key, request.Name, request.ValidFromDays, request.ValidToDays, NextSerial());
    auto* caCert = static_cast<X509*>(CaCert);
    auto* caKey = static_cast<EVP_PKEY*>(CaKey);
    X509* issuer = request.SelfSigned ? cert : caCert;
    X509_set_issuer_name(cert, X509_get_subject_name(issuer));
    std::string names;
    for (const std::string& dns : request.DnsNames) {
        names += (names.empty() ? "DNS:" : ",DNS:") + dns;
    }
    for (const std::string& ip : request.IpAddresses) {
        names += (names.empty() ? "IP:" : ",IP:") + ip;
    }
    if (!names.empty()) {
        AddExtension(cert, issuer, NID_subject_alt_name, names);
    }
    AddExtension(cert, issuer, NID_basic_constraints, "CA:FALSE");
    AddExtension(cert, issuer, NID_ext_key_usage, "serverAuth");
    bool ok = X509_sign(cert, request.SelfSigned ? key : caKey, EVP_sha256()) != 0;
    std::string certPath = Dir + request.Name + ".crt";
    std::string keyPath = Dir + request.Name + ".key";
    if (ok && WriteCert(certPath, cert) && WriteKey(keyPath, key)) {
        result.CertPath = certPath;
        result.KeyPath = keyPath;
        result.Fingerprint = Fingerprint(cert);
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    return result;
}

} // namespace pelmora::testing
