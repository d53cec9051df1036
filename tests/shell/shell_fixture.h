#pragma once
// A TShell over a fresh data home in a temporary directory, with every sound file present,
// a scripted UI and the auto-run entry redirected into the temporary directory.

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "shell/scripted_ui.h"
#include "shell/shell_state.h"
#include "shell/temp_dir.h"

namespace pelmora::testing {

class TShellFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Home = Dir.Path() + "home/";
        for (int i = 0; i < kSoundCount; ++i) {
            WriteFile(Home + "Sounds/" + std::string(SoundFileName(static_cast<TSound>(i))),
                      "RIFF");
        }
        const char* old = std::getenv("XDG_CONFIG_HOME");
        OldConfigHome = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("XDG_CONFIG_HOME", (Dir.Path() + "config").c_str(), 1);
        Shell = MakeShell();
    }

    void TearDown() override {
        if (OldConfigHome) {
            ::setenv("XDG_CONFIG_HOME", OldConfigHome->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
    }

    std::unique_ptr<TShell> MakeShell() {
        TShellOptions options;
        options.ProgramDir = Home;
        options.AutoRunCommand = {"/usr/bin/pelmora", "--home", Home};
        options.ChangeWorkingDirectory = false;
        auto shell = std::make_unique<TShell>(options, Ui);
        shell->DiskSpace = [this](const std::string&) { return FreeBytes; };
        return shell;
    }

    // Creates the window and runs its first activation, as a start of the program does.
    void Start(TShell& shell) {
        ASSERT_TRUE(shell.FormCreate().Ok);
        shell.FirstActivationStart();
    }

    // The closing steps that write state: settings and the auto-run entry.
    void Close(TShell& shell) {
        shell.CloseSetFlags();
        ASSERT_TRUE(shell.CloseWriteSettings());
        ASSERT_TRUE(shell.CloseUpdateAutoRun());
    }

    std::unique_ptr<TShell> Restart() {
        Close(*Shell);
        auto shell = MakeShell();
        Start(*shell);
        return shell;
    }

    TTempDir Dir;
    std::string Home;
    TScriptedUi Ui;
    std::optional<std::uint64_t> FreeBytes = 10'000'000'000ULL;
    std::unique_ptr<TShell> Shell;
    std::optional<std::string> OldConfigHome;
};

} // namespace pelmora::testing
