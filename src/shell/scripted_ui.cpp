#include "shell/scripted_ui.h"

#include <algorithm>
#include <filesystem>

#include "shell/dialog_rules.h"

namespace pelmora {

namespace {

template <typename T> std::optional<T> TakeFront(std::deque<T>& queue) {
    if (queue.empty()) {
        return std::nullopt;
    }
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
}

bool Listed(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

} // namespace

bool TScriptedUi::PopupShown(const std::string& text, bool partial) const {
    return std::any_of(Popups.begin(), Popups.end(), [&](const TPopupRecord& record) {
        return partial ? record.Request.Text.find(text) != std::string::npos
                       : record.Request.Text == text;
    });
}

bool TScriptedUi::QuestionAsked(const std::string& text) const {
    return std::any_of(Questions.begin(), Questions.end(),
                       [&](const TQuestionRecord& record) { return record.Text == text; });
}

const TPopupRecord* TScriptedUi::LastPopup() const {
    return Popups.empty() ? nullptr : &Popups.back();
}

void TScriptedUi::ClearRecords() {
    Popups.clear();
    Questions.clear();
    Queries.clear();
    Choosers.clear();
    SoundsPlayed.clear();
    FramesShown.clear();
    Beeps = 0;
    PopupsClosed = 0;
    PumpCount = 0;
    WaitedMs = 0;
}

void TScriptedUi::Arrive(std::function<void()> event) {
    if (Arriving)
        return;
    Arriving = true;
    event();
    Arriving = false;
}

void TScriptedUi::ShowPopup(const TPopupRequest& request) {
    Popups.push_back({request, NextSequence++});
    if (DuringPopup)
        Arrive([event = DuringPopup, request] { event(request); });
}

void TScriptedUi::ClosePopup() {
    ++PopupsClosed;
}

void TScriptedUi::EditInPopup(const std::string& caption, std::string& text) {
    TPopupRequest request;
    request.Caption = caption;
    request.Text = text;
    request.Modeless = false;
    request.Large = true;
    Popups.push_back({request, NextSequence++});
}

int TScriptedUi::AskDialog(const std::string& caption, const std::string& text, int textSize,
                           bool& checkState, bool checkEnabled) {
    const TAskAnswer answer = TakeFront(AskAnswers).value_or(DefaultAsk);
    Questions.push_back(
        {caption, text, textSize, checkEnabled, checkState, answer.Result, NextSequence++});
    if (DuringQuestion)
        Arrive([event = DuringQuestion, &text] { event(text); });
    // A disabled check box cannot change; closing the dialog leaves the state alone.
    if (checkEnabled && answer.Check && answer.Result != kAskClosed) {
        checkState = *answer.Check;
    }
    return answer.Result;
}

std::optional<std::string> TScriptedUi::QueryText(const std::string& caption,
                                                  const std::string& prompt,
                                                  const std::string& initial, bool password) {
    Queries.push_back({caption, prompt, initial, password, NextSequence++});
    const std::optional<std::string> answer = TakeFront(QueryAnswers).value_or(DefaultQuery);
    if (!answer)
        return std::nullopt;
    return TrimAnswer(*answer);
}

bool TScriptedUi::PlaySoundFile(const std::string& path) {
    std::error_code error;
    if (path.empty() || !std::filesystem::is_regular_file(path, error) ||
        Listed(FailingSounds, path)) {
        return false;
    }
    SoundsPlayed.push_back(path);
    ++NextSequence;
    return true;
}

void TScriptedUi::Beep() {
    ++Beeps;
    ++NextSequence;
}

void TScriptedUi::Pump() {
    ++PumpCount;
    if (DuringPump)
        Arrive(DuringPump);
}

void TScriptedUi::Wait(int milliseconds) {
    WaitedMs += std::max(milliseconds, 0);
    if (DuringPump)
        Arrive(DuringPump);
}

std::optional<std::string> TScriptedUi::ChooseFolder(const std::string& caption,
                                                     const std::string& startDir) {
    Choosers.push_back({"folder", caption, startDir, NextSequence++});
    return TakeFront(FolderAnswers).value_or(std::nullopt);
}

std::optional<std::string> TScriptedUi::ChooseOpenFile(const std::string& caption,
                                                       const std::string& startDir,
                                                       const std::string& /*filter*/) {
    Choosers.push_back({"open", caption, startDir, NextSequence++});
    return TakeFront(OpenFileAnswers).value_or(std::nullopt);
}

std::optional<std::string> TScriptedUi::ChooseSaveFile(const std::string& caption,
                                                       const std::string& startDir,
                                                       const std::string& /*fileName*/,
                                                       const std::string& /*filter*/) {
    Choosers.push_back({"save", caption, startDir, NextSequence++});
    return TakeFront(SaveFileAnswers).value_or(std::nullopt);
}

void TScriptedUi::SetBusyCursor(bool busy) {
    BusyCursor = busy;
}

bool TScriptedUi::ShowAnimationFrame(const std::string& framePath) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(framePath, error) || Listed(FailingFrames, framePath)) {
        return false;
    }
    FramesShown.push_back(framePath);
    return true;
}

void TScriptedUi::SetStatusText(TStatusBar bar, const std::string& text) {
    (bar == TStatusBar::Folder ? FolderStatusText : MessageStatusText) = text;
}

void TScriptedUi::SetStatusColour(TStatusBar bar, TStatusColour colour) {
    (bar == TStatusBar::Folder ? FolderStatusColour : MessageStatusColour) = colour;
}

} // namespace pelmora
