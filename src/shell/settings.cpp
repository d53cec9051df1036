#include "shell/settings.h"

#include <array>
#include <charconv>
#include <cstdlib>

#include "shell/directories.h"

namespace pelmora {

namespace {

using K = TSettingKey;
using T = TSettingType;

constexpr std::string_view kSystem = "System";
constexpr std::string_view kFonts = "Fonts";
constexpr std::string_view kExcl = kExclSessionSection;

constexpr std::array kTable = {
    TSettingDef{K::CheckedOCX, kSystem, "CheckedOCX", T::Bool, "0"},
    TSettingDef{K::BackupDir, kSystem, "BackupDir", T::String, ""},
    TSettingDef{K::FCLittleJobsInterval, kSystem, "FCLittleJobsInterval", T::Int, "1500"},
    TSettingDef{K::FolderTreeWidth, kSystem, "FolderTreeWidth", T::Int, "240"},
    TSettingDef{K::ProjectHeight, kSystem, "ProjectHeight", T::Int, "295"},
    TSettingDef{K::MainFormHeight, kSystem, "MainFormHeight", T::Int, "590"},
    TSettingDef{K::MainFormWidth, kSystem, "MainFormWidth", T::Int, "790"},
    TSettingDef{K::NoTunesPlease, kSystem, "NoTunesPlease", T::Bool, "0"},
    TSettingDef{K::DoAutoRun, kSystem, "DoAutoRun", T::Bool, "0"},
    TSettingDef{K::DoShowYouHaveMail, kSystem, "DoShowYouHaveMail", T::Bool, "1"},
    TSettingDef{K::ComposeHTML, kSystem, "ComposeHTML", T::Bool, "1"},
    TSettingDef{K::AutoDisconnect, kSystem, "AutoDisconnect", T::Bool, "0"},
    TSettingDef{K::AutoConnect, kSystem, "AutoConnect", T::Bool, "0"},
    TSettingDef{K::ActivePickup, kSystem, "ActivePickup", T::Bool, "0"},
    TSettingDef{K::AutoAddPbook, kSystem, "AutoAddPbook", T::Bool, "0"},
    TSettingDef{K::AutoAddAbook, kSystem, "AutoAddAbook", T::Bool, "0"},
    TSettingDef{K::AutoCollectMinutes, kSystem, "AutoCollectMinutes", T::Int, "30"},
    TSettingDef{K::AMNormal, kSystem, "AMNormal", T::Bool, "1"},
    TSettingDef{K::AMALLOFF, kSystem, "AMALLOFF", T::Bool, "0"},
    TSettingDef{K::AMALLON, kSystem, "AMALLON", T::Bool, "0"},
    TSettingDef{K::NotFirstTime, kSystem, "NotFirstTime", T::Bool, "0"},
    TSettingDef{K::FirstFreeTrack, kSystem, "FirstFreeTrack", T::Int, "100"},
    TSettingDef{K::FontProjectTree, kFonts, "ProjectTree", T::Int, "7"},
    TSettingDef{K::FontFoldersTree, kFonts, "FoldersTree", T::Int, "7"},
    TSettingDef{K::FontMessageList, kFonts, "MessageList", T::Int, "7"},
    TSettingDef{K::POP3_Port, "POP3", "POP3_Port", T::Int, "110"},
    TSettingDef{K::POP3_TimeOut, "POP3", "POP3_TimeOut", T::Int, "60"},
    TSettingDef{K::SMTP_Port, "SMTP", "SMTP_Port", T::Int, "25"},
    TSettingDef{K::SMTP_TimeOut, "SMTP", "SMTP_TimeOut", T::Int, "60"},
    TSettingDef{K::SMTP_PacketSize, "SMTP", "SMTP_PacketSize", T::Int, "512"},
    TSettingDef{K::CloseOnReady, "MailForm", "CloseOnReady", T::Bool, "0"},
    TSettingDef{K::ShowLogAfterClose, "MailForm", "ShowLogAfterClose", T::Bool, "0"},
    TSettingDef{K::AttachPath, "Defaults", "AttachPath", T::String, ""},
    TSettingDef{K::AttachSavePath, "Defaults", "AttachSavePath", T::String, ""},
    TSettingDef{K::Plain_Text_Font_Size, "MailEditor", "Plain_Text_Font_Size", T::Int, "11"},
    TSettingDef{K::Plain_Text_Font_Color, "MailEditor", "Plain_Text_Font_Color", T::Int, "0"},
    TSettingDef{K::HideStillMailWaiting, kExcl, "HideStillMailWaiting", T::Bool, "0"},
    TSettingDef{K::AskAssociation, kExcl, "AskAssociation", T::Bool, "0"},
    TSettingDef{K::AllowSubscribe, kExcl, "AllowSubscribe", T::Bool, "0"},
    TSettingDef{K::AllowUserSubscribe, kExcl, "AllowUserSubscribe", T::Bool, "0"},
    TSettingDef{K::AllowSubscribeRES, kExcl, "AllowSubscribeRES", T::Int, "1"},
    TSettingDef{K::AllowUserSubscribeRES, kExcl, "AllowUserSubscribeRES", T::Int, "1"},
    TSettingDef{K::BackupSlowSure, kExcl, "BackupSlowSure", T::Bool, "0"},
    TSettingDef{K::ShowBakcupSlow, kExcl, "ShowBakcupSlow", T::Bool, "0"},
    TSettingDef{K::HideReceiptsInOutbox, kExcl, "HideReceiptsInOutbox", T::Bool, "0"},
    TSettingDef{K::RemoveAttachments, kExcl, "RemoveAttachments", T::Bool, "0"},
    TSettingDef{K::WarnSelectOtherAccount, kExcl, "WarnSelectOtherAccount", T::Bool, "0"},
};

// The table is indexed by the enumeration: keep both in the same order.
constexpr bool TableInEnumOrder() {
    for (size_t i = 0; i < kTable.size(); ++i) {
        if (static_cast<size_t>(kTable[i].Key) != i) {
            return false;
        }
    }
    return true;
}
static_assert(TableInEnumOrder());

std::string UserHomeDir() {
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] == '/' ? WithSlash(home) : std::string("/");
}

} // namespace

std::span<const TSettingDef> SettingsTable() {
    return kTable;
}

const TSettingDef& SettingDef(TSettingKey key) {
    return kTable[static_cast<size_t>(key)];
}

std::optional<TSettingKey> FindSetting(std::string_view section, std::string_view name) {
    for (const TSettingDef& def : kTable) {
        if (def.Section == section && def.Name == name) {
            return def.Key;
        }
    }
    return std::nullopt;
}

TSettings::TSettings(std::string programDir)
    : ProgramDirectory(WithSlash(std::move(programDir))),
      Ini(ProgramDirectory + std::string(kSettingsFileName)) {}

std::string TSettings::Default(TSettingKey key) const {
    switch (key) {
    case K::BackupDir:
        return ProgramDirectory + "Projects/Backups/";
    case K::AttachPath:
    case K::AttachSavePath:
        // The last folders used for attachments start in the user's home.
        return UserHomeDir();
    default:
        return std::string(SettingDef(key).Default);
    }
}

bool TSettings::GetBool(TSettingKey key) const {
    const TSettingDef& def = SettingDef(key);
    return Ini.ReadBool(def.Section, def.Name, Default(key) == "1");
}

int TSettings::GetInt(TSettingKey key) const {
    const TSettingDef& def = SettingDef(key);
    int fallback = 0;
    const std::string text = Default(key);
    std::from_chars(text.data(), text.data() + text.size(), fallback);
    return Ini.ReadInteger(def.Section, def.Name, fallback);
}

std::string TSettings::GetString(TSettingKey key) const {
    const TSettingDef& def = SettingDef(key);
    return Ini.ReadString(def.Section, def.Name, Default(key));
}

bool TSettings::IsSet(TSettingKey key) const {
    const TSettingDef& def = SettingDef(key);
    return Ini.ValueExists(def.Section, def.Name);
}

void TSettings::SetBool(TSettingKey key, bool value) {
    const TSettingDef& def = SettingDef(key);
    Ini.WriteBool(def.Section, def.Name, value);
}

void TSettings::SetInt(TSettingKey key, int value) {
    const TSettingDef& def = SettingDef(key);
    Ini.WriteInteger(def.Section, def.Name, value);
}

void TSettings::SetString(TSettingKey key, std::string_view value) {
    const TSettingDef& def = SettingDef(key);
    Ini.WriteString(def.Section, def.Name, value);
}

void TSettings::Erase(TSettingKey key) {
    const TSettingDef& def = SettingDef(key);
    Ini.EraseKey(def.Section, def.Name);
}

void TSettings::EraseSection(std::string_view section) {
    Ini.EraseSection(section);
}

int TSettings::LastRetrieved(std::string_view login) const {
    return Ini.ReadInteger(login, kLastRetrievedKey, 0);
}

void TSettings::SetLastRetrieved(std::string_view login, int number) {
    Ini.WriteInteger(login, kLastRetrievedKey, number);
}

namespace {
constexpr std::string_view kGeneralSection = "General Settings";
constexpr std::string_view kSortSection = "Sort";
} // namespace

TRegistry::TRegistry(std::string dataHome)
    : Ini(WithSlash(std::move(dataHome)) + std::string(kRegistryFileName)) {}

std::optional<std::string> TRegistry::Directory(std::string_view key) const {
    const std::optional<std::string> value = Ini.Find(kGeneralSection, key);
    if (!value || value->empty() || value->front() != '/') {
        return std::nullopt;
    }
    return WithSlash(*value);
}

std::optional<std::string> TRegistry::MailStore() const {
    return Directory("MailStore");
}

std::optional<std::string> TRegistry::TempDir() const {
    return Directory("TempDir");
}

bool TRegistry::SetMailStore(std::string_view dir) {
    Ini.WriteString(kGeneralSection, "MailStore", WithSlash(std::string(dir)));
    return Ini.Save();
}

bool TRegistry::SetTempDir(std::string_view dir) {
    Ini.WriteString(kGeneralSection, "TempDir", WithSlash(std::string(dir)));
    return Ini.Save();
}

TListSort TRegistry::ListSort() const {
    TListSort sort;
    sort.SortCol = Ini.ReadInteger(kSortSection, "SortCol", sort.SortCol);
    sort.Ascending = Ini.ReadBool(kSortSection, "Ascending", sort.Ascending);
    sort.ViewStyle = Ini.ReadInteger(kSortSection, "ViewStyle", sort.ViewStyle);
    return sort;
}

bool TRegistry::SetListSort(const TListSort& sort) {
    Ini.WriteInteger(kSortSection, "SortCol", sort.SortCol);
    Ini.WriteBool(kSortSection, "Ascending", sort.Ascending);
    Ini.WriteInteger(kSortSection, "ViewStyle", sort.ViewStyle);
    return Ini.Save();
}

} // namespace pelmora
