#pragma once
// TSettings: the keys of "pelmora.ini" in the data home, each with its section, type and
// default, read and written through one table. A missing file or key, or a value that does
// not read as its type, gives the table's default. TRegistry: "registry.ini" in the data home,
// which keeps the store and temporary directories and the message list's sort.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "shell/ini_file.h"

namespace pelmora {

constexpr std::string_view kSettingsFileName = "pelmora.ini";
constexpr std::string_view kRegistryFileName = "registry.ini";

enum class TSettingType { Bool, Int, String };

enum class TSettingKey {
    // System
    CheckedOCX,
    BackupDir,
    FCLittleJobsInterval,
    FolderTreeWidth,
    ProjectHeight,
    MainFormHeight,
    MainFormWidth,
    NoTunesPlease,
    DoAutoRun,
    DoShowYouHaveMail,
    ComposeHTML,
    AutoDisconnect,
    AutoConnect,
    ActivePickup,
    AutoAddPbook,
    AutoAddAbook,
    AutoCollectMinutes,
    AMNormal,
    AMALLOFF,
    AMALLON,
    NotFirstTime,
    FirstFreeTrack,
    // Fonts
    FontProjectTree,
    FontFoldersTree,
    FontMessageList,
    // POP3, SMTP
    POP3_Port,
    POP3_TimeOut,
    SMTP_Port,
    SMTP_TimeOut,
    SMTP_PacketSize,
    // MailForm
    CloseOnReady,
    ShowLogAfterClose,
    // Defaults
    AttachPath,
    AttachSavePath,
    // MailEditor
    Plain_Text_Font_Size,
    Plain_Text_Font_Color,
    // ExclSessionParam ("Don't ask this again" answers)
    HideStillMailWaiting,
    AskAssociation,
    AllowSubscribe,
    AllowUserSubscribe,
    AllowSubscribeRES,
    AllowUserSubscribeRES,
    BackupSlowSure,
    ShowBakcupSlow,
    HideReceiptsInOutbox,
    RemoveAttachments,
    WarnSelectOtherAccount,
};

constexpr std::string_view kExclSessionSection = "ExclSessionParam";
constexpr std::string_view kLastRetrievedKey = "LastRetrieved";

struct TSettingDef {
    TSettingKey Key;
    std::string_view Section;
    std::string_view Name;
    TSettingType Type;
    // Bool: "1"/"0"; Int: decimal; String: the text. Defaults that depend on the data home or
    // the user's home ("BackupDir", "AttachPath", "AttachSavePath") are computed by
    // TSettings::Default.
    std::string_view Default;
};

// Every key of "pelmora.ini" except the per-login "LastRetrieved" sections.
std::span<const TSettingDef> SettingsTable();
const TSettingDef& SettingDef(TSettingKey key);
std::optional<TSettingKey> FindSetting(std::string_view section, std::string_view name);

class TSettings {
public:
    // programDir is the data home and ends in "/"; the file is read at once.
    explicit TSettings(std::string programDir);

    const std::string& ProgramDir() const { return ProgramDirectory; }
    // Re-reads the file (unsaved changes are dropped).
    bool Reload() { return Ini.Reload(); }

    // The default of a key as a text ("1"/"0" for booleans).
    std::string Default(TSettingKey key) const;

    // Typed reads; reading a key as another type than its own reads its text as that type.
    bool GetBool(TSettingKey key) const;
    int GetInt(TSettingKey key) const;
    std::string GetString(TSettingKey key) const;
    bool IsSet(TSettingKey key) const;

    void SetBool(TSettingKey key, bool value);
    void SetInt(TSettingKey key, int value);
    void SetString(TSettingKey key, std::string_view value);
    void Erase(TSettingKey key);
    void EraseSection(std::string_view section);

    // "LastRetrieved" in the section named after a POP3 login (0 when missing).
    int LastRetrieved(std::string_view login) const;
    void SetLastRetrieved(std::string_view login, int number);

    // Writes pending changes atomically; false when the file cannot be written.
    bool Save() { return Ini.Save(); }
    TIniFile& File() { return Ini; }
    const TIniFile& File() const { return Ini; }

private:
    std::string ProgramDirectory;
    TIniFile Ini;
};

// Sort column, direction and view style of the message list.
struct TListSort {
    int SortCol = 0;
    bool Ascending = false;
    int ViewStyle = 0;
};

class TRegistry {
public:
    // dataHome ends in "/"; the file is read at once.
    explicit TRegistry(std::string dataHome);

    // The stored store and temporary directories when usable: present, not empty and an
    // absolute path; returned with a "/" appended when missing. std::nullopt otherwise.
    std::optional<std::string> MailStore() const;
    std::optional<std::string> TempDir() const;
    // Write and save at once; false when the file cannot be written.
    bool SetMailStore(std::string_view dir);
    bool SetTempDir(std::string_view dir);

    TListSort ListSort() const;
    bool SetListSort(const TListSort& sort);

    TIniFile& File() { return Ini; }

private:
    std::optional<std::string> Directory(std::string_view key) const;

    TIniFile Ini;
};

} // namespace pelmora
