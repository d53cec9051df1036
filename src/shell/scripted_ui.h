#pragma once
// TScriptedUi: the headless TUiServices. Questions, queries and choosers are answered from
// queues (a default answer when a queue is empty); every pop-up, question, query, chooser,
// sound and beep is recorded so a caller can check what the user would have seen. Pump does
// nothing and Wait returns at once (the waited time is added up).
// A test may stand in for the user or a timer acting while a command runs: DuringPump runs
// inside Pump and Wait, DuringPopup inside every pop-up and DuringQuestion inside every
// question, each after the event is recorded and never inside itself.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shell/ui_services.h"

namespace pelmora {

struct TAskAnswer {
    int Result = kAskFirst;
    // The check box state the user leaves; std::nullopt keeps the state passed in.
    std::optional<bool> Check;
};

struct TPopupRecord {
    TPopupRequest Request;
    int Sequence = 0; // order among all recorded events
};

struct TQuestionRecord {
    std::string Caption;
    std::string Text;
    int TextSize = 0;
    bool CheckEnabled = false;
    bool CheckIn = false;
    int Result = 0;
    int Sequence = 0;
};

struct TQueryRecord {
    std::string Caption;
    std::string Prompt;
    std::string Initial;
    bool Password = false;
    int Sequence = 0;
};

struct TChooserRecord {
    std::string Kind; // "folder", "open" or "save"
    std::string Caption;
    std::string StartDir;
    int Sequence = 0;
};

class TScriptedUi : public TUiServices {
public:
    // Answers, taken front first.
    std::deque<TAskAnswer> AskAnswers;
    // std::nullopt stands for a cancelled query.
    std::deque<std::optional<std::string>> QueryAnswers;
    std::deque<std::optional<std::string>> FolderAnswers;
    std::deque<std::optional<std::string>> OpenFileAnswers;
    std::deque<std::optional<std::string>> SaveFileAnswers;
    // Used when the matching queue is empty.
    TAskAnswer DefaultAsk{kAskSecond, std::nullopt};
    std::optional<std::string> DefaultQuery = std::string();
    // Sound files that fail to play in addition to missing or empty paths.
    std::vector<std::string> FailingSounds;
    // Frames that fail to show in addition to missing files.
    std::vector<std::string> FailingFrames;

    // Events arriving while the core waits (see above); empty: none.
    std::function<void()> DuringPump;
    std::function<void(const TPopupRequest& request)> DuringPopup;
    std::function<void(const std::string& text)> DuringQuestion;

    // What was shown.
    std::vector<TPopupRecord> Popups;
    std::vector<TQuestionRecord> Questions;
    std::vector<TQueryRecord> Queries;
    std::vector<TChooserRecord> Choosers;
    std::vector<std::string> SoundsPlayed;
    std::vector<std::string> FramesShown;
    int Beeps = 0;
    int PopupsClosed = 0;
    int PumpCount = 0;
    long long WaitedMs = 0;
    bool BusyCursor = false;
    std::string FolderStatusText;
    std::string MessageStatusText;
    TStatusColour FolderStatusColour = TStatusColour::Normal;
    TStatusColour MessageStatusColour = TStatusColour::Normal;

    // True when a pop-up's text equals text (or contains it, when partial is set).
    bool PopupShown(const std::string& text, bool partial = false) const;
    bool QuestionAsked(const std::string& text) const;
    const TPopupRecord* LastPopup() const;
    // Forgets everything recorded (the answer queues stay).
    void ClearRecords();

    void ShowPopup(const TPopupRequest& request) override;
    void ClosePopup() override;
    void EditInPopup(const std::string& caption, std::string& text) override;
    int AskDialog(const std::string& caption, const std::string& text, int textSize,
                  bool& checkState, bool checkEnabled) override;
    std::optional<std::string> QueryText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial, bool password) override;
    bool PlaySoundFile(const std::string& path) override;
    void Beep() override;
    void Pump() override;
    void Wait(int milliseconds) override;
    std::optional<std::string> ChooseFolder(const std::string& caption,
                                            const std::string& startDir) override;
    std::optional<std::string> ChooseOpenFile(const std::string& caption,
                                              const std::string& startDir,
                                              const std::string& filter) override;
    std::optional<std::string> ChooseSaveFile(const std::string& caption,
                                              const std::string& startDir,
                                              const std::string& fileName,
                                              const std::string& filter) override;
    void SetBusyCursor(bool busy) override;
    bool ShowAnimationFrame(const std::string& framePath) override;
    void SetStatusText(TStatusBar bar, const std::string& text) override;
    void SetStatusColour(TStatusBar bar, TStatusColour colour) override;

private:
    // Runs an event (a copy: it may replace its own callback) unless one is running.
    void Arrive(std::function<void()> event);

    int NextSequence = 0;
    bool Arriving = false;
};

} // namespace pelmora
