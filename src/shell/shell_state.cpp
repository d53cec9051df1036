#include "shell/shell_state.h"

#include "shell/atomic_file.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

namespace fs = std::filesystem;

namespace {

constexpr int kMailLogPurgeLines = 10000;

std::optional<std::string> Env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

// Counts the lines of a text file, stopping once limit is passed.
long long CountLines(const std::string& path, long long limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return 0;
    }
    long long lines = 0;
    bool pending = false;
    char buffer[65536];
    while (in && lines <= limit) {
        in.read(buffer, sizeof buffer);
        const std::streamsize got = in.gcount();
        for (std::streamsize i = 0; i < got; ++i) {
            if (buffer[i] == '\n') {
                ++lines;
                pending = false;
            } else {
                pending = true;
            }
        }
    }
    return lines + (pending ? 1 : 0);
}

// True when inner lies inside outer or is outer itself.
bool Within(const std::string& inner, const std::string& outer) {
    std::error_code error;
    const fs::path a = fs::weakly_canonical(inner, error);
    const fs::path b = fs::weakly_canonical(outer, error);
    auto ai = a.begin();
    for (auto bi = b.begin(); bi != b.end(); ++bi, ++ai) {
        if (bi->empty()) {
            continue; // trailing "/"
        }
        if (ai == a.end() || *ai != *bi) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string AutoStartFilePath() {
    std::optional<std::string> config = Env("XDG_CONFIG_HOME");
    if (!config || config->front() != '/') {
        config = WithSlash(Env("HOME").value_or("/")) + ".config";
    }
    return WithSlash(*config) + "autostart/pelmora.desktop";
}

std::string AutoStartFileText(const std::vector<std::string>& command) {
    // Each argument is quoted; inside quotes '"', '`', '$' and '\' take a backslash, and the
    // value as a whole escapes '\' once more. '%' starts a field code and is doubled.
    std::string exec;
    for (const std::string& arg : command) {
        if (!exec.empty()) {
            exec += ' ';
        }
        std::string quoted = "\"";
        for (char c : arg) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') {
                quoted += '\\';
            }
            quoted += c;
        }
        quoted += '"';
        for (char c : quoted) {
            if (c == '\\') {
                exec += "\\\\";
            } else if (c == '%') {
                exec += "%%";
            } else if (c == '\n') {
                exec += "\\n";
            } else if (c == '\r') {
                exec += "\\r";
            } else {
                exec += c;
            }
        }
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Pelmora\n"
           "Comment=Starts Pelmora when you log in\n"
           "Exec=" +
           exec +
           "\n"
           "Terminal=false\n";
}

TShell::TShell(TShellOptions options, TUiServices& ui)
    : Options(std::move(options)), UiServices(ui),
      Directories(MakeDirectories(WithSlash(Options.ProgramDir), std::nullopt, std::nullopt, "")),
      SettingsFile(Directories.Program), RegistryFile(Directories.Program) {
    Options.ProgramDir = Directories.Program;
    BusyAnimation.SetSkinDir(Directories.Skin);
    MessageTexts.LoadDefaults();
}

int TShell::FontSize(TFontTarget target) const {
    switch (target) {
    case TFontTarget::FoldersTree:
        return FontSizes.FoldersTree;
    case TFontTarget::ProjectTree:
        return FontSizes.ProjectTree;
    case TFontTarget::MessageList:
        return FontSizes.MessageList;
    }
    return kDefaultFontSize;
}

int& TShell::FontRef(TFontTarget target) {
    switch (target) {
    case TFontTarget::ProjectTree:
        return FontSizes.ProjectTree;
    case TFontTarget::MessageList:
        return FontSizes.MessageList;
    case TFontTarget::FoldersTree:
        break;
    }
    return FontSizes.FoldersTree;
}

void TShell::LoadMessageTexts() {
    // A damaged language file beeps and shows its error once per start, however many parts
    // of the program ask for the texts.
    if (TextsLoaded)
        return;
    MessageTexts.LoadMessageTexts(Directories.Program, &UiServices);
    TextsLoaded = true;
}

void TShell::ReadSettings() {
    const auto font = [this](TSettingKey key) {
        return std::clamp(SettingsFile.GetInt(key), kMinFontSize, kMaxFontSize);
    };
    FontSizes.FoldersTree = font(TSettingKey::FontFoldersTree);
    FontSizes.ProjectTree = font(TSettingKey::FontProjectTree);
    FontSizes.MessageList = font(TSettingKey::FontMessageList);
    FCLittleJobsInterval = std::max(0, SettingsFile.GetInt(TSettingKey::FCLittleJobsInterval));
    PanelSizes.FolderTreeWidth = std::max(0, SettingsFile.GetInt(TSettingKey::FolderTreeWidth));
    PanelSizes.ProjectHeight = std::max(0, SettingsFile.GetInt(TSettingKey::ProjectHeight));
    PanelSizes.MainFormHeight = std::max(0, SettingsFile.GetInt(TSettingKey::MainFormHeight));
    PanelSizes.MainFormWidth = std::max(0, SettingsFile.GetInt(TSettingKey::MainFormWidth));

    SoundSet.SetSoundsOff(SettingsFile.GetBool(TSettingKey::NoTunesPlease));
    MenuChecks.DoAutoRun = SettingsFile.GetBool(TSettingKey::DoAutoRun);
    MenuChecks.DoShowYouHaveMail = SettingsFile.GetBool(TSettingKey::DoShowYouHaveMail);
    MenuChecks.ComposeHTML = SettingsFile.GetBool(TSettingKey::ComposeHTML);
    MenuChecks.AutoDisconnect = SettingsFile.GetBool(TSettingKey::AutoDisconnect);
    MenuChecks.AutoConnect = SettingsFile.GetBool(TSettingKey::AutoConnect);
    MenuChecks.ActivePickup = SettingsFile.GetBool(TSettingKey::ActivePickup);
    MenuChecks.AutoAddPbook = SettingsFile.GetBool(TSettingKey::AutoAddPbook);
    MenuChecks.AutoAddAbook = SettingsFile.GetBool(TSettingKey::AutoAddAbook);
    // The first checked item of the radio group wins; none checked means "Normal".
    if (SettingsFile.GetBool(TSettingKey::AMNormal)) {
        MenuChecks.AnsweringMode = TAnsweringMode::Normal;
    } else if (SettingsFile.GetBool(TSettingKey::AMALLON)) {
        MenuChecks.AnsweringMode = TAnsweringMode::AllOn;
    } else if (SettingsFile.GetBool(TSettingKey::AMALLOFF)) {
        MenuChecks.AnsweringMode = TAnsweringMode::AllOff;
    } else {
        MenuChecks.AnsweringMode = TAnsweringMode::Normal;
    }
    SetAutoCollectMinutes(SettingsFile.GetInt(TSettingKey::AutoCollectMinutes));
    Collect.Enabled = MenuChecks.ActivePickup;
    NotifyCollectTimer();
}

TCreateResult TShell::FormCreate() {
    if (!TextsLoaded) {
        LoadMessageTexts();
    }
    SettingsFile.Reload();
    // There is no separately registered HTML editing control to check ("CheckedOCX").
    StartingUp = true;
    BusyAnimation.Stop();
    Log.Start(MessageTexts, std::time(nullptr));
    AbortRequested = false;
    Closing = false;
    TransferRunning = false;
    AccountTreeChanged = false;
    ProjectTreeChanged = false;
    FirstActivation = true;
    CurrentProject = -1;
    ReadSettings();

    RegistryFile.File().Reload();
    std::string backup = SettingsFile.GetString(TSettingKey::BackupDir);
    if (backup.empty() || backup.front() != '/') {
        backup.clear();
    }
    Directories = MakeDirectories(Directories.Program, RegistryFile.MailStore(),
                                  RegistryFile.TempDir(), backup);
    BusyAnimation.SetSkinDir(Directories.Skin);

    if (const std::optional<std::string> failed = CreateRequiredDirectories(Directories)) {
        UiServices.Beep();
        TPopupRequest request;
        request.Caption = Text(1, 262);
        request.Text = Text(0, 4) + "\r\n" + *failed;
        request.DisplayMs = 8000;
        request.TextSize = 14;
        request.Modeless = false;
        UiServices.ShowPopup(request);
        return {false, kDirectoryExitCode, *failed};
    }
    CreateOptionalDirectories(Directories);
    SoundSet.LookUp(Directories.Sounds);
    PlaySound(TSound::Click);
    BusyAnimation.ShowFirstFrame(UiServices);
    if (Options.ChangeWorkingDirectory) {
        std::error_code error;
        fs::current_path(Directories.Program, error);
    }
    return {};
}

bool TShell::FirstActivationStart() {
    if (!FirstActivation) {
        return false;
    }
    BusyAnimation.Start();
    if (!SoundSet.SoundsOff()) {
        PlaySound(TSound::Intro);
        UiServices.Wait(4000);
    }
    FirstActivation = false;
    StartingUp = false;
    return true;
}

bool TShell::AskPurgeLargeMailLog() {
    const std::string path = Directories.Program + "mail.log";
    std::error_code error;
    if (!fs::is_regular_file(path, error) ||
        CountLines(path, kMailLogPurgeLines) <= kMailLogPurgeLines) {
        return false;
    }
    bool check = false;
    return UiServices.AskDialog(Text(1, 262), Text(1, 8), 11, check, false) == kAskFirst;
}

void TShell::ShowTransferLocked() {
    PlaySound(TSound::Attention);
    TPopupRequest request;
    request.Caption = Text(1, 262);
    request.Text = MessageTexts.Own(TOwnText::TransferLocked);
    request.DisplayMs = 8000;
    request.TextSize = 12;
    request.Modeless = true;
    UiServices.ShowPopup(request);
}

void TShell::FirstActivationChecks() {
    if (AskPurgeLargeMailLog() && PurgeMailLogHook)
        PurgeMailLogHook();
    WarnLowDisk();
}

void TShell::WarnLowDisk() {
    const auto warn = [this](const std::string& dir, int slot) {
        const std::optional<std::uint64_t> free = DiskSpace ? DiskSpace(dir) : std::nullopt;
        if (!free || *free >= kLowDiskBytes) {
            return;
        }
        TPopupRequest request;
        request.Caption = Text(1, 262);
        request.Text = Text(1, slot) + " (<20MB)";
        request.DisplayMs = 12000;
        request.TextSize = 13;
        request.Modeless = false;
        UiServices.ShowPopup(request);
    };
    warn(Directories.Store, 37);
    warn(Directories.TempRoot, 36);
}

void TShell::RecoverFromError() {
    BusyAnimation.Stop();
    BusyAnimation.ShowFirstFrame(UiServices);
}

void TShell::SetAutoCollectMinutes(int minutes) {
    // The timer interval is an int of milliseconds; longer periods are cut to what fits.
    CollectMinutes = std::clamp(minutes, 0, INT_MAX / 60000);
    Collect.IntervalMs = CollectMinutes * 60000;
    NotifyCollectTimer();
}

void TShell::SetCollectEnabled(bool enabled) {
    Collect.Enabled = enabled;
    NotifyCollectTimer();
}

void TShell::NotifyCollectTimer() {
    if (CollectTimerChanged) {
        CollectTimerChanged();
    }
}

void TShell::CollectMailTick() {
    SetCollectEnabled(false);
    UiServices.SetStatusColour(TStatusBar::Folder, TStatusColour::Yellow);
    UiServices.SetStatusText(TStatusBar::Folder, Text(1, 263));
    if (CollectMailRunHook) {
        CollectMailRunHook();
    }
    SetCollectEnabled(MenuChecks.ActivePickup && !Closing);
}

void TShell::CloseStartAnimation() {
    BusyAnimation.Start();
}

bool TShell::CloseAskAbortTransfer() {
    if (!TransferRunning) {
        return true;
    }
    PlaySound(TSound::Attention);
    bool check = false;
    return UiServices.AskDialog(Text(1, 262), Text(1, 51), 12, check, false) == kAskFirst;
}

void TShell::CloseSetFlags() {
    AbortRequested = true;
    Closing = true;
    BusyAnimation.Stop();
    SetCollectEnabled(false);
    UiServices.SetBusyCursor(true);
    UiServices.Pump();
}

bool TShell::CloseWriteSettings() {
    using K = TSettingKey;
    TSettings& s = SettingsFile;
    s.SetInt(K::FontProjectTree, FontSizes.ProjectTree);
    s.SetInt(K::FontFoldersTree, FontSizes.FoldersTree);
    s.SetInt(K::FontMessageList, FontSizes.MessageList);
    s.SetInt(K::FolderTreeWidth, PanelSizes.FolderTreeWidth);
    s.SetInt(K::ProjectHeight, PanelSizes.ProjectHeight);
    s.SetInt(K::MainFormHeight, PanelSizes.MainFormHeight);
    s.SetInt(K::MainFormWidth, PanelSizes.MainFormWidth);
    s.SetBool(K::NoTunesPlease, SoundSet.SoundsOff());
    s.SetBool(K::DoAutoRun, MenuChecks.DoAutoRun);
    s.SetBool(K::ActivePickup, MenuChecks.ActivePickup);
    s.SetBool(K::AutoDisconnect, MenuChecks.AutoDisconnect);
    s.SetBool(K::AutoConnect, MenuChecks.AutoConnect);
    s.SetBool(K::ComposeHTML, MenuChecks.ComposeHTML);
    s.SetBool(K::AutoAddPbook, MenuChecks.AutoAddPbook);
    s.SetBool(K::AutoAddAbook, MenuChecks.AutoAddAbook);
    s.SetBool(K::DoShowYouHaveMail, MenuChecks.DoShowYouHaveMail);
    s.SetBool(K::AMNormal, MenuChecks.AnsweringMode == TAnsweringMode::Normal);
    s.SetBool(K::AMALLOFF, MenuChecks.AnsweringMode == TAnsweringMode::AllOff);
    s.SetBool(K::AMALLON, MenuChecks.AnsweringMode == TAnsweringMode::AllOn);
    s.SetInt(K::AutoCollectMinutes, CollectMinutes);
    s.SetBool(K::NotFirstTime, true);
    return s.Save();
}

bool TShell::CloseUpdateAutoRun() {
    const std::string path = AutoStartFilePath();
    std::error_code error;
    const bool exists = fs::exists(path, error);
    if (MenuChecks.DoAutoRun && !exists) {
        if (Options.AutoRunCommand.empty()) {
            return false;
        }
        fs::create_directories(fs::path(path).parent_path(), error);
        return WriteFileAtomically(path, AutoStartFileText(Options.AutoRunCommand));
    }
    if (!MenuChecks.DoAutoRun && exists) {
        return fs::remove(path, error);
    }
    return true;
}

void TShell::ClosePlayGoodbye() {
    PlaySound(TSound::Goodbye);
}

void TShell::CloseRemoveTempFiles() {
    // Only the program's own directory is emptied: the directory the user chose may hold
    // anything, even the user's documents.
    const fs::path own = fs::path(Directories.Temp).parent_path();
    struct stat info {};
    if (own.filename().string().rfind("pelmora-", 0) != 0 || ::lstat(own.c_str(), &info) != 0 ||
        !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
        Within(Directories.Program, Directories.Temp) ||
        Within(Directories.Store, Directories.Temp)) {
        return;
    }
    std::error_code error;
    fs::directory_iterator it(own, error);
    if (error) {
        return;
    }
    std::vector<fs::path> entries;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) {
            break;
        }
        entries.push_back(it->path());
    }
    for (const fs::path& entry : entries) {
        std::error_code removeError;
        fs::remove_all(entry, removeError); // links are removed, never followed
    }
}

void TShell::CloseDeleteMailToFlag() {
    std::error_code error;
    fs::remove(Directories.Program + "MailTo.Flag", error);
}

void TShell::CloseFinalWait() {
    UiServices.Wait(SoundSet.SoundsOff() ? 1000 : 3850);
}

} // namespace pelmora
