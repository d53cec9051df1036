#pragma once
// TShell: the run-time state of the main window (directories, settings, texts, sounds, busy
// animation, session log, run flags, menu check marks, font and panel sizes) and the main
// window's settings, display and start-up/close commands. The Qt window calls these functions
// and mirrors the state into its widgets; every question, pop-up and sound goes through the
// TUiServices it is given. Work that belongs to the account tree and the transfer run is
// reached through the hooks below.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/busy_animation.h"
#include "shell/directories.h"
#include "shell/message_texts.h"
#include "shell/session_log.h"
#include "shell/settings.h"
#include "shell/sounds.h"
#include "shell/ui_services.h"

namespace pelmora {

enum class TAnsweringMode { Normal, AllOn, AllOff };
enum class TFontTarget { FoldersTree, ProjectTree, MessageList };

constexpr int kDefaultFontSize = 7;
constexpr int kMinFontSize = 1;
constexpr int kMaxFontSize = 96;
constexpr int kDefaultCollectMinutes = 30;
constexpr int kYouHaveMailIntervalMs = 700;

// The check marks of the "Settings" and "Answering Machine" menus. Sounds off lives in
// TSounds (a failed sound switches it off from there).
struct TMenuChecks {
    bool ComposeHTML = true; // "Compose New Messages in Plain Text" is its opposite
    bool AutoAddAbook = false;
    bool AutoAddPbook = false;
    bool DoAutoRun = false;
    bool ActivePickup = false;
    bool DoShowYouHaveMail = true;
    bool AutoConnect = false;
    bool AutoDisconnect = false;
    TAnsweringMode AnsweringMode = TAnsweringMode::Normal;
};

struct TFontSizes {
    int FoldersTree = kDefaultFontSize;
    int ProjectTree = kDefaultFontSize;
    int MessageList = kDefaultFontSize;
};

struct TPanelSizes {
    int FolderTreeWidth = 240;
    int ProjectHeight = 295;
    int MainFormHeight = 590;
    int MainFormWidth = 790;
    // Message list column widths; set by "Restore Panels", not kept between runs.
    std::array<int, 5> ListColumnWidths = {39, 100, 170, 170, 50};
};

// The collection timer as the UI should run it. An interval of 0 never fires: the UI must
// not start a timer then (a zero-interval timer would fire continuously).
struct TCollectTimer {
    int IntervalMs = kDefaultCollectMinutes * 60000;
    bool Enabled = false;
    bool Fires() const { return Enabled && IntervalMs > 0; }
};

struct TShellOptions {
    std::string ProgramDir; // the data home, ends in "/"
    // The command line that auto-run starts (the executable's full path first).
    std::vector<std::string> AutoRunCommand;
    // Make the data home the working directory during FormCreate.
    bool ChangeWorkingDirectory = true;
};

struct TCreateResult {
    bool Ok = true;
    int ExitCode = 0;            // kDirectoryExitCode when a directory could not be created
    std::string FailedDirectory; // that directory
};

// Where the auto-run entry lives: $XDG_CONFIG_HOME (absolute) or ~/.config, + "/autostart/".
std::string AutoStartFilePath();
// The desktop entry that starts command (quoted as desktop entries require).
std::string AutoStartFileText(const std::vector<std::string>& command);

class TShell {
public:
    TShell(TShellOptions options, TUiServices& ui);

    // --- Hooks set by the layers above (all optional) ---
    // "Restore Panels" steps 4-5 for the trees: reload the account tree unless changed, make
    // sure a default account exists and refresh the counts. Runs before the fonts are reset
    // and the closing pop-up is shown.
    std::function<void()> RestorePanelsTreeHook;
    // Starts an unattended "Retrieve+Send for all accounts" run (collection timer).
    std::function<void()> CollectMailRunHook;
    // Called whenever the collection timer's interval or enabled state changes.
    std::function<void()> CollectTimerChanged;
    // Runs the log purge with its date dialog (the window's "Purge Mail Log File").
    std::function<void()> PurgeMailLogHook;
    // Free bytes of the drive holding a directory (FreeDiskBytes unless replaced).
    std::function<std::optional<std::uint64_t>(const std::string&)> DiskSpace = FreeDiskBytes;

    // --- State ---
    TUiServices& Ui() { return UiServices; }
    const TDirectories& Dirs() const { return Directories; }
    TSettings& Settings() { return SettingsFile; }
    TRegistry& Registry() { return RegistryFile; }
    TMessageTexts& Texts() { return MessageTexts; }
    const TMessageTexts& Texts() const { return MessageTexts; }
    const std::string& Text(int module, int slot) const { return MessageTexts.Text(module, slot); }
    TSounds& Sounds() { return SoundSet; }
    TBusyAnimation& Animation() { return BusyAnimation; }
    TSessionLog& SessionLog() { return Log; }
    const TMenuChecks& Checks() const { return MenuChecks; }
    const TFontSizes& Fonts() const { return FontSizes; }
    TPanelSizes& Panels() { return PanelSizes; }
    const TPanelSizes& Panels() const { return PanelSizes; }
    const TCollectTimer& CollectTimer() const { return Collect; }
    int AutoCollectMinutes() const { return CollectMinutes; }
    int LittleJobsInterval() const { return FCLittleJobsInterval; }
    bool SoundsOff() const { return SoundSet.SoundsOff(); }
    int FontSize(TFontTarget target) const;

    bool AbortRequested = false;
    bool Closing = false;
    bool StartingUp = false;
    bool FirstActivation = true;
    bool TransferRunning = false;
    bool AccountTreeChanged = false;
    bool ProjectTreeChanged = false;
    int CurrentProject = -1;

    // Plays one of the sounds with the sounds-off rules.
    void PlaySound(TSound sound) { SoundSet.PlaySound(sound, UiServices); }

    // --- Start-up ---
    // Fills the texts table (defaults, composed texts, language files of the data home).
    // Runs once: later calls (FormCreate's among them) keep the table as it is.
    void LoadMessageTexts();
    // The window-creation steps of the core: read the settings and the registry values, set
    // the run flags, start the session log, create the directories (a failure beeps, shows
    // text 0/4 modally and returns ExitCode 99), look up the sounds, play the click sound and
    // show the first animation frame.
    TCreateResult FormCreate();
    // The first activation's own opening steps: start the animation, the intro sound and
    // its wait when sounds are on, FirstActivation and StartingUp cleared. False (and nothing
    // done) after the first activation. The window then shows the first default project.
    bool FirstActivationStart();
    // At the first activation: when "mail.log" has more than 10000 lines, asks text 1/8;
    // true when the user wants the log purged.
    bool AskPurgeLargeMailLog();
    // The low-disk warnings of the first activation (text 1/37 for the store's drive, then
    // 1/36 for the temporary directory's drive).
    void WarnLowDisk();
    // The checks of the first activation once the default project shows, in their order: the
    // large-log question (Yes runs PurgeMailLogHook, so the log no longer grows without
    // limit), then the low-disk warnings.
    void FirstActivationChecks();
    // A transfer refused because another process of this data home is transferring: the
    // attention sound and the pop-up saying so (own text TransferLocked). The window's runs
    // and the unattended run (whose pop-ups go to standard error) report it alike.
    void ShowTransferLocked();
    // Stops the animation and shows its first frame after an unexpected error.
    void RecoverFromError();

    // --- Menu captions composed from the texts table ---
    // The caption of a main-window menu item by its component name ("MenuActivepickup",
    // "MenuBiggerfont", ...); empty for an unknown name. Items whose caption is not replaced
    // ("MenuAMSettings", "ShowAddressBook1", "MenuLegenda") give their fixed caption. The
    // top-level menus are "MenuFile", "MenuDisplay", "MenuSettings", "MenuAccounts",
    // "MenuAnsweringMachine", "MenuProjects", "MenuArchive", "MenuMailCommands", "MenuView" and
    // "MenuHelp"; the popup menus' items use their "FM..." and "PM..." names.
    std::string MenuCaption(std::string_view component) const;
    // Text 1/125 + minutes + " " + text 1/126.
    std::string ActivePickupCaption() const;

    // --- "Settings" menu ---
    void MenuComposeHTMLClick();
    void MenuComposePLainClick();
    void MenuAutoAddAddrbookClick();
    void MenuAutoAddProjAddrbookClick();
    void MenuAutorunClick();
    void MenuStopplayingsillysoundsClick();
    void MenuActivepickupClick();
    void MenuShowNewMailPopUpClick();
    void MenuAutoConnectClick();
    void MenuAutoDisconnectClick();
    void MenuMailStorageFolderClick();
    void MenuTempStorageFolderClick();
    void MenuRestorePanelsClick();
    // Answering machine radio group; ignored while StartingUp.
    void SetAnsweringMode(TAnsweringMode mode);

    // --- "Display" menu ---
    void MenuBiggerFontClick(TFontTarget target);
    void MenuSmallerFontClick(TFontTarget target);
    void MenuRestoreFontClick();

    // --- Collection timer ---
    // Sets AutoCollectMinutes and the timer interval (minutes x 60000, 0 for 0 minutes).
    void SetAutoCollectMinutes(int minutes);
    // One tick: stop, yellow status with text 1/263, run the hook, then run again exactly
    // when active pickup is checked.
    void CollectMailTick();

    // --- New-mail signal (the Scroll Lock light, kept as state; the UI may show it) ---
    // From a transfer run that brought new mail until the user clicks a project in the
    // account tree, the light toggles every kYouHaveMailIntervalMs.
    void StartYouHaveMail();
    void YouHaveMailTick();
    // Stops the blinking and switches the light off.
    void StopYouHaveMail();
    bool YouHaveMailBlinking() const { return NewMailBlinking; }
    bool ScrollLockLight() const { return NewMailLight; }
    // Called when the blinking starts or stops or the light changes.
    std::function<void()> YouHaveMailChanged;

    // --- Closing, in the order the window calls them ---
    void CloseStartAnimation();   // step 2
    bool CloseAskAbortTransfer(); // step 3: false refuses to close
    void CloseSetFlags();         // step 5
    bool CloseWriteSettings();    // step 6 (saved at once)
    bool CloseUpdateAutoRun();    // step 7
    void ClosePlayGoodbye();      // step 10's sound
    void CloseRemoveTempFiles();  // step 11
    void CloseDeleteMailToFlag(); // step 13
    void CloseFinalWait();        // step 14

private:
    void ReadSettings();
    void SetCollectEnabled(bool enabled);
    void NotifyCollectTimer();
    int& FontRef(TFontTarget target);
    enum class TFolderKind { Store, Temp };
    // Asks for a folder until one is acceptable; std::nullopt when the command stops.
    std::optional<std::string> ChooseTargetFolder(TFolderKind kind);
    bool MoveStoreTo(const std::string& target);

    TShellOptions Options;
    TUiServices& UiServices; // Not owned.
    TDirectories Directories;
    TSettings SettingsFile;
    TRegistry RegistryFile;
    TMessageTexts MessageTexts;
    bool TextsLoaded = false;
    TSounds SoundSet;
    TBusyAnimation BusyAnimation;
    TSessionLog Log;
    TMenuChecks MenuChecks;
    TFontSizes FontSizes;
    TPanelSizes PanelSizes;
    TCollectTimer Collect;
    int CollectMinutes = kDefaultCollectMinutes;
    int FCLittleJobsInterval = 1500;
    bool NewMailBlinking = false;
    bool NewMailLight = false;
};

} // namespace pelmora
