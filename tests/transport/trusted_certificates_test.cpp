#include "transport/trusted_certificates.h"

#include "shell/ini_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

using namespace pelmora::testing;

const std::string kPrint =
    "AA:BB:CC:DD:EE:FF:00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00:11:22:33:44:55:66:77:"
    "88:99";

TEST(TrustedCertificatesTest, FingerprintsAreKeptPerServerInTheSettingsFile) {
    TTempDir dir;
    const std::string path = dir.Path() + "pelmora.ini";
    WriteTextFile(path, "[General]\nAutoCollectMinutes=5\n");
    {
        TTrustedCertificates trusted;
        trusted.Trust(TTrustedCertificates::ServerKey("Mail.Example.ORG", 995), kPrint);
        trusted.Trust(TTrustedCertificates::ServerKey("::1", 465), kPrint);
        trusted.Trust("smtp.example.org:465", "not a fingerprint");
        TIniFile ini(path);
        trusted.Store(ini);
        ASSERT_TRUE(ini.Save());
    }
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("General", "AutoCollectMinutes", 0), 5);
    TTrustedCertificates loaded;
    loaded.Load(ini);
    std::string lower = kPrint;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_TRUE(loaded.IsTrusted("mail.example.org:995", lower));
    EXPECT_TRUE(loaded.IsTrusted("::1:465", kPrint));
    EXPECT_FALSE(loaded.IsTrusted("mail.example.org:110", kPrint)); // another server
    EXPECT_FALSE(loaded.IsTrusted("smtp.example.org:465", "not a fingerprint"));
    EXPECT_FALSE(loaded.IsTrusted("mail.example.org:995", ""));
}

} // namespace
} // namespace pelmora
