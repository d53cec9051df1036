// The main window's activation and close run in the core's order; the window only draws.

#include "processing/window_steps.h"
#include "processing_fixture.h"
#include "shell/settings.h"
#include "store/store_layout.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace pelmora {
namespace {

class WindowStepsTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        auto note = [this](const char* step) { return [this, step] { Steps.push_back(step); }; };
        Hooks.HideSplash = note("hide splash");
        Hooks.EnableTrees = [this](bool on) { Steps.push_back(on ? "trees on" : "trees off"); };
        Hooks.MessageWindowsOpen = [this] { return WindowsOpen; };
        Hooks.CascadeMessageWindows = note("cascade");
        Hooks.SendAllMail = note("send all");
        Hooks.FreezeWindow = note("freeze");
        Hooks.StorePanelSizes = note("panel sizes");
        Hooks.ShowGoodbyePicture = note("goodbye");
        Hooks.HideGoodbyePicture = note("hide goodbye");
    }

    void QueueMail() {
        const std::string outbox = FolderPath(Store, 100000, kFolderOutbox);
        std::filesystem::create_directories(outbox);
        ASSERT_TRUE(WriteFileAtomically(outbox + "1.eml", "Subject: waiting\r\n\r\nbody\r\n"));
    }

    TWindowStepHooks Hooks;
    std::vector<std::string> Steps;
    bool WindowsOpen = false;
};

TEST_F(WindowStepsTest, OpenMessageWindowsKeepTheProgramRunning) {
    WindowsOpen = true;
    EXPECT_FALSE(CloseMainWindow(*Workspace, Hooks));
    EXPECT_EQ(Steps, (std::vector<std::string>{"cascade"}));
    EXPECT_FALSE(Shell->Closing);
    EXPECT_TRUE(Ui.Questions.empty());
}

TEST_F(WindowStepsTest, RefusedAbortOfARunningTransferKeepsTheWindow) {
    Shell->TransferRunning = true;
    Ui.AskAnswers.push_back({kAskSecond, std::nullopt});
    EXPECT_FALSE(CloseMainWindow(*Workspace, Hooks));
    EXPECT_TRUE(Steps.empty());
    EXPECT_FALSE(Shell->Closing);
    EXPECT_FALSE(Shell->Animation().Running());
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(1, 51));
}

TEST_F(WindowStepsTest, WaitingMailIsSentBeforeTheWindowFreezesAndSettingsAreWritten) {
    QueueMail();
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    ASSERT_TRUE(CloseMainWindow(*Workspace, Hooks));
    EXPECT_EQ(Steps, (std::vector<std::string>{"send all", "freeze", "panel sizes", "goodbye",
                                               "hide goodbye"}));
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(1, 259));
    EXPECT_TRUE(Shell->Closing);
    EXPECT_TRUE(Shell->AbortRequested);
}

TEST_F(WindowStepsTest, MailKeptWaitingIsNotSent) {
    QueueMail();
    Ui.AskAnswers.push_back({kAskSecond, std::nullopt});
    ASSERT_TRUE(CloseMainWindow(*Workspace, Hooks));
    EXPECT_EQ(Steps.front(), "freeze");
}

TEST_F(WindowStepsTest, AFailingGoodbyeStillClosesTheWindow) {
    Hooks.ShowGoodbyePicture = [] { throw std::runtime_error("no picture"); };
    EXPECT_TRUE(CloseMainWindow(*Workspace, Hooks));
    EXPECT_EQ(Steps.back(), "hide goodbye");
}

TEST_F(WindowStepsTest, OnlyTheFirstActivationHidesTheSplashAndAsks) {
    // A log over the purge limit is asked about once, at the first activation.
    std::string log;
    for (int line = 0; line < 10005; ++line)
        log += "line\r\n";
    ASSERT_TRUE(WriteFileAtomically(Shell->Dirs().Program + "mail.log", log));
    Shell->FirstActivation = true;
    Ui.AskAnswers.push_back({kAskSecond, std::nullopt});
    ActivateMainWindow(*Workspace, Hooks);
    ActivateMainWindow(*Workspace, Hooks);
    EXPECT_EQ(Steps, (std::vector<std::string>{"hide splash", "trees on", "trees on"}));
    EXPECT_EQ(Ui.Questions.size(), 1u);
    EXPECT_FALSE(Shell->FirstActivation);
}

} // namespace
} // namespace pelmora
