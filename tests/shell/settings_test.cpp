#include "shell/settings.h"

#include <gtest/gtest.h>

#include "shell/temp_dir.h"

namespace pelmora {
namespace {

using testing::TTempDir;
using testing::WriteFile;

struct TDefaultCase {
    const char* Name;
    TSettingKey Key;
    std::string_view Section;
    std::string_view KeyName;
    TSettingType Type;
    std::string Default;
};

class SettingDefaultTest : public ::testing::TestWithParam<TDefaultCase> {};

TEST_P(SettingDefaultTest, MissingFileGivesTheDefault) {
    TTempDir dir;
    TSettings settings(dir.Path());
    const TDefaultCase& c = GetParam();
    const TSettingDef& def = SettingDef(c.Key);
    EXPECT_EQ(def.Section, c.Section);
    EXPECT_EQ(def.Name, c.KeyName);
    EXPECT_EQ(def.Type, c.Type);
    EXPECT_EQ(FindSetting(c.Section, c.KeyName), c.Key);
    switch (c.Type) {
    case TSettingType::Bool:
        EXPECT_EQ(settings.GetBool(c.Key), c.Default == "1");
        break;
    case TSettingType::Int:
        EXPECT_EQ(settings.GetInt(c.Key), std::stoi(c.Default));
        break;
    case TSettingType::String:
        EXPECT_EQ(settings.GetString(c.Key),
                  c.Default.empty() ? dir.Path() + "Projects/Backups/" : c.Default);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingDefaultTest,
    ::testing::Values(TDefaultCase{"BackupDir", TSettingKey::BackupDir, "System", "BackupDir",
                                   TSettingType::String, ""},
                      TDefaultCase{"FCLittleJobsInterval", TSettingKey::FCLittleJobsInterval,
                                   "System", "FCLittleJobsInterval", TSettingType::Int, "1500"},
                      TDefaultCase{"FolderTreeWidth", TSettingKey::FolderTreeWidth, "System",
                                   "FolderTreeWidth", TSettingType::Int, "240"},
                      TDefaultCase{"DoShowYouHaveMail", TSettingKey::DoShowYouHaveMail, "System",
                                   "DoShowYouHaveMail", TSettingType::Bool, "1"},
                      TDefaultCase{"ComposeHTML", TSettingKey::ComposeHTML, "System", "ComposeHTML",
                                   TSettingType::Bool, "1"},
                      TDefaultCase{"AMNormal", TSettingKey::AMNormal, "System", "AMNormal",
                                   TSettingType::Bool, "1"},
                      TDefaultCase{"FirstFreeTrack", TSettingKey::FirstFreeTrack, "System",
                                   "FirstFreeTrack", TSettingType::Int, "100"},
                      TDefaultCase{"FontsProjectTree", TSettingKey::FontProjectTree, "Fonts",
                                   "ProjectTree", TSettingType::Int, "7"},
                      TDefaultCase{"Pop3Port", TSettingKey::POP3_Port, "POP3", "POP3_Port",
                                   TSettingType::Int, "110"},
                      TDefaultCase{"SmtpPacketSize", TSettingKey::SMTP_PacketSize, "SMTP",
                                   "SMTP_PacketSize", TSettingType::Int, "512"},
                      TDefaultCase{"CloseOnReady", TSettingKey::CloseOnReady, "MailForm",
                                   "CloseOnReady", TSettingType::Bool, "0"},
                      TDefaultCase{"PlainTextFontSize", TSettingKey::Plain_Text_Font_Size,
                                   "MailEditor", "Plain_Text_Font_Size", TSettingType::Int, "11"},
                      TDefaultCase{"AllowSubscribeRES", TSettingKey::AllowSubscribeRES,
                                   "ExclSessionParam", "AllowSubscribeRES", TSettingType::Int, "1"},
                      TDefaultCase{"ShowBakcupSlow", TSettingKey::ShowBakcupSlow,
                                   "ExclSessionParam", "ShowBakcupSlow", TSettingType::Bool, "0"},
                      TDefaultCase{"WarnSelectOtherAccount", TSettingKey::WarnSelectOtherAccount,
                                   "ExclSessionParam", "WarnSelectOtherAccount", TSettingType::Bool,
                                   "0"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SettingsTest, CorruptFileFallsBackKeyByKey) {
    TTempDir dir;
    WriteFile(dir.Path() + "pelmora.ini",
              "[System]\nAutoCollectMinutes=15\nFolderTreeWidth=wide\nComposeHTML=0\n"
              "\x01\x02\xff binary junk\nActivePickup\n[Fonts]\nMessageList=-\n"
              "[POP3]\nPOP3_Port=995\n[SMTP]\nSMTP_Port=587");
    TSettings settings(dir.Path());
    EXPECT_EQ(settings.GetInt(TSettingKey::AutoCollectMinutes), 15);
    EXPECT_EQ(settings.GetInt(TSettingKey::FolderTreeWidth), 240);
    EXPECT_FALSE(settings.GetBool(TSettingKey::ComposeHTML));
    EXPECT_FALSE(settings.GetBool(TSettingKey::ActivePickup));
    EXPECT_EQ(settings.GetInt(TSettingKey::FontMessageList), 7);
    EXPECT_EQ(settings.GetInt(TSettingKey::POP3_Port), 995);
    EXPECT_EQ(settings.GetInt(TSettingKey::SMTP_Port), 587);
    EXPECT_EQ(settings.GetInt(TSettingKey::SMTP_TimeOut), 60);
}

TEST(SettingsTest, LastRetrievedPerLoginAndTableRoundTrip) {
    TTempDir dir;
    {
        TSettings settings(dir.Path());
        settings.SetLastRetrieved("alice@example.org", 42);
        settings.SetLastRetrieved("bob", 7);
        // Every key written as something other than its default reads back after a restart.
        for (const TSettingDef& def : SettingsTable()) {
            switch (def.Type) {
            case TSettingType::Bool:
                settings.SetBool(def.Key, def.Default != "1");
                break;
            case TSettingType::Int:
                settings.SetInt(def.Key, 4321);
                break;
            case TSettingType::String:
                settings.SetString(def.Key, "/some where/");
                break;
            }
        }
        ASSERT_TRUE(settings.Save());
    }
    TSettings settings(dir.Path());
    EXPECT_EQ(settings.LastRetrieved("alice@example.org"), 42);
    EXPECT_EQ(settings.LastRetrieved("bob"), 7);
    EXPECT_EQ(settings.LastRetrieved("carol"), 0);
    for (const TSettingDef& def : SettingsTable()) {
        SCOPED_TRACE(std::string(def.Name));
        switch (def.Type) {
        case TSettingType::Bool:
            EXPECT_EQ(settings.GetBool(def.Key), def.Default != "1");
            EXPECT_EQ(*settings.File().Find(def.Section, def.Name), def.Default != "1" ? "1" : "0");
            break;
        case TSettingType::Int:
            EXPECT_EQ(settings.GetInt(def.Key), 4321);
            break;
        case TSettingType::String:
            EXPECT_EQ(settings.GetString(def.Key), "/some where/");
            break;
        }
    }
}

struct TRegistryCase {
    const char* Name;
    std::string Content;
    std::optional<std::string> MailStore;
    std::optional<std::string> TempDir;
};

class RegistryTest : public ::testing::TestWithParam<TRegistryCase> {};

TEST_P(RegistryTest, UnusableValuesFallBack) {
    TTempDir dir;
    if (!GetParam().Content.empty()) {
        WriteFile(dir.Path() + "registry.ini", GetParam().Content);
    }
    TRegistry registry(dir.Path());
    EXPECT_EQ(registry.MailStore(), GetParam().MailStore);
    EXPECT_EQ(registry.TempDir(), GetParam().TempDir);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryTest,
    ::testing::Values(
        TRegistryCase{"NoFile", "", std::nullopt, std::nullopt},
        TRegistryCase{"Empty", "[General Settings]\nMailStore=\nTempDir=\n", std::nullopt,
                      std::nullopt},
        TRegistryCase{"DriveLetter", "[General Settings]\nMailStore=D:\nTempDir=D:\\Temp\n",
                      std::nullopt, std::nullopt},
        TRegistryCase{"Relative", "[General Settings]\nMailStore=mail/store\n", std::nullopt,
                      std::nullopt},
        TRegistryCase{"SlashAppended", "[General Settings]\nMailStore=/srv/mail\nTempDir=/t/\n",
                      "/srv/mail/", "/t/"},
        TRegistryCase{"OtherSection", "[Sort]\nMailStore=/srv/mail\n", std::nullopt, std::nullopt}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(RegistryTest, WritesSurviveARestart) {
    TTempDir dir;
    {
        TRegistry registry(dir.Path());
        ASSERT_TRUE(registry.SetMailStore("/srv/mail"));
        ASSERT_TRUE(registry.SetTempDir("/var/pelmora-temp/"));
        ASSERT_TRUE(registry.SetListSort({3, true, 2}));
    }
    TRegistry registry(dir.Path());
    EXPECT_EQ(registry.MailStore(), "/srv/mail/");
    EXPECT_EQ(registry.TempDir(), "/var/pelmora-temp/");
    const TListSort sort = registry.ListSort();
    EXPECT_EQ(sort.SortCol, 3);
    EXPECT_TRUE(sort.Ascending);
    EXPECT_EQ(sort.ViewStyle, 2);
}

} // namespace
} // namespace pelmora
