#pragma once
// The services the core asks of whatever shows it: pop-ups, questions, sounds, file choosers,
// status texts, the busy animation and the message pump. The Qt layer implements them with
// widgets; TScriptedUi (scripted_ui.h) answers them from a script for headless runs and tests.
// Callers pass texts as bytes in the program's character set (UTF-8).

#include <optional>
#include <string>

namespace pelmora {

// Which status bar of the main window a text goes to.
enum class TStatusBar {
    Folder,  // under the account tree (`FolderStatus`)
    Message, // under the message list (`MessageStatus`)
};

// Colours the status bars take during and after transfer runs.
enum class TStatusColour { Normal, Yellow, Green, Red };

// Animation shown in a pop-up: 0 none, 1 copy files, 2 find file, 3 delete file, 4 empty bin.
enum class TPopupAnimation { None = 0, CopyFiles = 1, FindFile = 2, DeleteFile = 3, EmptyBin = 4 };

struct TPopupRequest {
    std::string Caption;
    std::string Text;
    int DisplayMs = 5000;
    TPopupAnimation Animation = TPopupAnimation::None;
    int TextSize = 11;
    bool Modeless = true;
    bool Large = false;
};

// Results of AskDialog: the first button, the second button, or closed otherwise.
constexpr int kAskFirst = 1;
constexpr int kAskSecond = 2;
constexpr int kAskClosed = -1;

class TUiServices {
public:
    virtual ~TUiServices() = default;

    // The pop-up window. A modeless pop-up returns at once; a modal one returns when closed.
    virtual void ShowPopup(const TPopupRequest& request) = 0;
    // Closes the pop-up that is showing, if any (callers of very long modeless pop-ups).
    virtual void ClosePopup() = 0;
    // The editable pop-up; onChange receives the whole text after every edit.
    virtual void EditInPopup(const std::string& caption, std::string& text) = 0;

    // The yes/no message dialog. checkState is read when checkEnabled and written back by
    // either button; returns kAskFirst, kAskSecond or kAskClosed.
    virtual int AskDialog(const std::string& caption, const std::string& text, int textSize,
                          bool& checkState, bool checkEnabled) = 0;

    // The one-line query dialog; returns the trimmed answer, or std::nullopt when the user
    // cancelled it (Esc or the close box). An empty answer is an answer: the field was
    // cleared and confirmed. Callers leave everything as it was on std::nullopt.
    virtual std::optional<std::string> QueryText(const std::string& caption, const std::string& prompt,
                                  const std::string& initial, bool password) = 0;

    // Plays a sound file asynchronously; false when it cannot be played.
    virtual bool PlaySoundFile(const std::string& path) = 0;
    virtual void Beep() = 0;

    // Processes pending window events (a no-op headless).
    virtual void Pump() = 0;
    // Waits the given time while pumping.
    virtual void Wait(int milliseconds) = 0;

    // File and folder choosers; std::nullopt when cancelled. Paths are absolute.
    virtual std::optional<std::string> ChooseFolder(const std::string& caption,
                                                    const std::string& startDir) = 0;
    virtual std::optional<std::string> ChooseOpenFile(const std::string& caption,
                                                      const std::string& startDir,
                                                      const std::string& filter) = 0;
    virtual std::optional<std::string> ChooseSaveFile(const std::string& caption,
                                                      const std::string& startDir,
                                                      const std::string& fileName,
                                                      const std::string& filter) = 0;

    // Hourglass cursor over the main window.
    virtual void SetBusyCursor(bool busy) = 0;
    // Shows one busy-animation frame; false when the frame file cannot be loaded.
    virtual bool ShowAnimationFrame(const std::string& framePath) = 0;

    virtual void SetStatusText(TStatusBar bar, const std::string& text) = 0;
    virtual void SetStatusColour(TStatusBar bar, TStatusColour colour) = 0;
};

} // namespace pelmora
