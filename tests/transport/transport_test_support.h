#pragma once
// Small helpers shared by the transport tests.

#include "shell/ui_services.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

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
    std::optional<std::string> QueryText(const std::string&, const std::string&,
                                         const std::string&, bool) override {
        return std::nullopt;
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

// What a body run in a child process wrote, how much its peak resident memory grew while it
// ran (getrusage in the child, so earlier tests of this process do not count) and how long it
// took. Exited is false when the child did not end normally.
struct TChildRun {
    bool Exited = false;
    std::string Output;
    long PeakGrowthKb = 0;
    long long ElapsedMs = 0;
};

inline TChildRun RunInChild(const std::function<std::string()>& body) {
    TChildRun run;
    int fds[2];
    if (pipe(fds) != 0) {
        return run;
    }
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        TStopwatch watch;
        std::string text = body();
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        text = std::to_string(after.ru_maxrss - before.ru_maxrss) + " " +
               std::to_string(watch.ElapsedMs()) + "\n" + text;
        for (std::size_t at = 0; at < text.size();) {
            ssize_t wrote = write(fds[1], text.data() + at, text.size() - at);
            if (wrote <= 0) {
                break;
            }
            at += static_cast<std::size_t>(wrote);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string all;
    char buffer[4096];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) {
        all.append(buffer, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return run;
    }
    std::size_t lineEnd = all.find('\n');
    if (lineEnd == std::string::npos) {
        return run;
    }
    std::size_t space = all.find(' ');
    run.PeakGrowthKb = std::stol(all.substr(0, space));
    run.ElapsedMs = std::stoll(all.substr(space + 1, lineEnd - space - 1));
    run.Output = all.substr(lineEnd + 1);
    run.Exited = true;
    return run;
}

} // namespace pelmora::testing
