#pragma once
// Small helpers shared by the transport tests.

#include "shell/ui_services.h"

#include <chrono>

namespace pelmora::testing {

// A headless interface that counts how often the wait loops pumped it.
class TCountingUi : public TUiServices {
public:
    int Pumps = 0;
    void ShowPopup(const TPopupRequest&) override {}
    void ClosePopup() override {}
    void EditInPopup(const std::string&, std::string&) override {}
    int AskDialog(const std::string&, const std::string&, int, bool&, bool) override {
        return kAskClosed;
    }
    std::string QueryText(const std::string&, const std::string&, const std::string&,
                          bool) override {
        return {};
    }
    bool PlaySoundFile(const std::string&) override { return true; }
    void Beep() override {}
    void Pump() override { ++Pumps; }
    void Wait(int) override {}
    std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseOpenFile(const std::string&, const std::string&,
                                              const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::string&,
                                              const std::string&, const std::string&) override {
        return std::nullopt;
    }
    void SetBusyCursor(bool) override {}
    bool ShowAnimationFrame(const std::string&) override { return true; }
    void SetStatusText(TStatusBar, const std::string&) override {}
    void SetStatusColour(TStatusBar, TStatusColour) override {}
};

// Milliseconds since a start point.
class TStopwatch {
public:
    long long ElapsedMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - Start)
            .count();
    }

private:
    std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
};

} // namespace pelmora::testing
