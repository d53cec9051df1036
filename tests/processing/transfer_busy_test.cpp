// A transfer run and the other commands of the window: a timer tick or a second start that
// arrives while a run ends (its last pop-up open) starts no second run, the collection timer
// restarts only once the run is over, and no run starts inside a message command.

#include "processing/transfer_run.h"
#include "processing_fixture.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

class TransferBusyTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        // An account without a POP3 server: a run for all accounts counts it as a failure
        // and ends with the pop-up that waits to be closed.
        SetAccountParameter(*Workspace, Workspace->AccountTree.First(), 104, "");
        Run = std::make_unique<TTransferRun>(*Workspace);
        Run->Hooks.SetCollectTimer = [this](bool running) {
            Events.push_back(running ? "timer on" : "timer off");
        };
    }
    void TearDown() override {
        Ui.DuringPopup = nullptr;
        Ui.DuringQuestion = nullptr;
        Run.reset();
        WorkspaceTest::TearDown();
    }
    // Pop-ups that wait for the user (the end-of-run summary).
    static bool Waits(const TPopupRequest& request) {
        return !request.Modeless && request.DisplayMs == 0;
    }

    std::unique_ptr<TTransferRun> Run;
    std::vector<std::string> Events;
};

TEST_F(TransferBusyTest, TimerTickDuringTheEndPopupStartsNoSecondRun) {
    int ticks = 0;
    Ui.DuringPopup = [&](const TPopupRequest& request) {
        if (!Waits(request))
            return;
        Events.push_back("popup");
        // Two ticks of the collection timer and a click on F8 while the pop-up is open.
        for (int i = 0; i < 2; ++i) {
            ++ticks;
            StartTransferCommand(*Run, TTransferCommand::CollectMailTimer);
        }
        StartTransferCommand(*Run, TTransferCommand::SendReceiveAll);
        Events.push_back("popup closed");
    };
    StartTransferCommand(*Run, TTransferCommand::SendReceiveAll);

    EXPECT_EQ(ticks, 2);
    // One run: the timer stopped once, the pop-up shown once, the timer restarted after it.
    EXPECT_EQ(Events,
              (std::vector<std::string>{"timer off", "popup", "popup closed", "timer off"}))
        << ::testing::PrintToString(Events);
    EXPECT_EQ(Run->SendErrors, 1);
    EXPECT_FALSE(Shell->TransferRunning);
    EXPECT_FALSE(Workspace->Busy());
}

TEST_F(TransferBusyTest, ReceiptsQuestionAlsoHoldsTheTimer) {
    Shell->Settings().SetBool(TSettingKey::HideReceiptsInOutbox, false);
    Ui.DuringPopup = [&](const TPopupRequest& request) {
        if (Waits(request))
            Run->ReceiptsPrepared = true; // as a run that queued receipts
    };
    Ui.DuringQuestion = [&](const std::string&) {
        Events.push_back("question");
        StartTransferCommand(*Run, TTransferCommand::CollectMailTimer);
    };
    StartTransferCommand(*Run, TTransferCommand::SendReceiveAll);
    EXPECT_EQ(Events, (std::vector<std::string>{"timer off", "question", "timer off"}))
        << ::testing::PrintToString(Events);
}

TEST_F(TransferBusyTest, NoRunStartsInsideAMessageCommand) {
    ASSERT_TRUE(Workspace->BeginCommand(TCommandKind::Message, "Move"));
    Ui.ClearRecords();
    // The timer is refused quietly and keeps its rhythm; a user's start says why.
    StartTransferCommand(*Run, TTransferCommand::CollectMailTimer);
    EXPECT_TRUE(Ui.Popups.empty());
    StartTransferCommand(*Run, TTransferCommand::SendReceiveAll);
    ASSERT_EQ(Ui.Popups.size(), 1u);
    EXPECT_EQ(Ui.Popups[0].Request.Text, Workspace->BusyRefusalText("Mail transfer"));
    EXPECT_TRUE(Events.empty());
    EXPECT_FALSE(fs::exists(Home / "mail.log"));
    EXPECT_EQ(Workspace->BusyCommand(), "Move");
    Workspace->EndCommand();

    StartTransferCommand(*Run, TTransferCommand::SendReceiveAll);
    EXPECT_EQ(Run->SendErrors, 1);
    EXPECT_TRUE(fs::exists(Home / "mail.log"));
}

} // namespace
} // namespace pelmora
