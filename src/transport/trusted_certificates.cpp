#include "transport/trusted_certificates.h"

#include "shell/ini_file.h"

#include <algorithm>
#include <cctype>

namespace pelmora {

namespace {

// A fingerprint is 32 hex byte pairs separated by ":".
bool IsFingerprint(std::string_view text) {
    if (text.size() != 32 * 3 - 1) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool colon = i % 3 == 2;
        if (colon ? text[i] != ':' : !std::isxdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

std::string Upper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

} // namespace

std::string TTrustedCertificates::ServerKey(std::string_view host, int port) {
    std::string name(host);
    for (char& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    // No brackets around an IPv6 address: a key beginning with "[" would read as a section.
    return name + ":" + std::to_string(port);
}

bool TTrustedCertificates::IsTrusted(std::string_view serverKey,
                                     std::string_view fingerprint) const {
    auto found = Servers.find(serverKey);
    return found != Servers.end() && !fingerprint.empty() &&
           found->second.contains(Upper(fingerprint));
}

void TTrustedCertificates::Trust(std::string_view serverKey, std::string_view fingerprint) {
    if (serverKey.empty() || !IsFingerprint(fingerprint)) {
        return;
    }
    auto found = Servers.find(serverKey);
    if (found == Servers.end()) {
        found = Servers.emplace(std::string(serverKey), std::set<std::string>{}).first;
    }
    found->second.insert(Upper(fingerprint));
}

void TTrustedCertificates::Forget(std::string_view serverKey) {
    auto found = Servers.find(serverKey);
    if (found != Servers.end()) {
        Servers.erase(found);
    }
}

void TTrustedCertificates::Load(const TIniFile& ini) {
    Servers.clear();
    for (const std::string& key : ini.Keys(TrustedCertificatesSection)) {
        std::string value = ini.ReadString(TrustedCertificatesSection, key, "");
        std::size_t start = 0;
        while (start < value.size()) {
            std::size_t end = value.find(' ', start);
            if (end == std::string::npos) {
                end = value.size();
            }
            Trust(key, std::string_view(value).substr(start, end - start));
            start = end + 1;
        }
    }
}

void TTrustedCertificates::Store(TIniFile& ini) const {
    ini.EraseSection(TrustedCertificatesSection);
    for (const auto& [key, fingerprints] : Servers) {
        std::string value;
        for (const std::string& fingerprint : fingerprints) {
            if (!value.empty()) {
                value += ' ';
            }
            value += fingerprint;
        }
        ini.WriteString(TrustedCertificatesSection, key, value);
    }
}

} // namespace pelmora
