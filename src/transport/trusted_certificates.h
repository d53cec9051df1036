#pragma once
// TTrustedCertificates: server certificates the user accepted although they failed the usual
// check (self-signed, expired, another host name), remembered by SHA-256 fingerprint per
// server ("host:port"). Kept in "pelmora.ini", section "TrustedCertificates", one key per
// server with its fingerprints separated by blanks. Malformed values are skipped.

#include <map>
#include <set>
#include <string>
#include <string_view>

namespace pelmora {

class TIniFile;

inline constexpr std::string_view TrustedCertificatesSection = "TrustedCertificates";

class TTrustedCertificates {
public:
    // "host:port" with the host in lower case (the port is what follows the last ":").
    static std::string ServerKey(std::string_view host, int port);

    bool IsTrusted(std::string_view serverKey, std::string_view fingerprint) const;
    void Trust(std::string_view serverKey, std::string_view fingerprint);
    void Forget(std::string_view serverKey);

    // Replaces the remembered fingerprints with those of the settings file.
    void Load(const TIniFile& ini);
    // Writes every server's fingerprints to the settings file (the caller saves it).
    void Store(TIniFile& ini) const;

private:
    std::map<std::string, std::set<std::string>, std::less<>> Servers;
};

} // namespace pelmora
