// A transfer run holds the data home's transfer lock while it lasts: a run of another holder
// keeps the window's commands out with a pop-up, and the timer out without one.

#include "processing/transfer_gate.h"
#include "processing_fixture.h"
#include "shell/transfer_lock.h"

#include <memory>

namespace pelmora {
namespace {

class TransferGateTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        Run = std::make_unique<TTransferRun>(*Workspace);
        Gate = std::make_unique<TTransferGate>(*Run);
    }
    std::unique_ptr<TTransferRun> Run;
    std::unique_ptr<TTransferGate> Gate;
};

TEST_F(TransferGateTest, AnotherHolderKeepsCommandsOutAndTheTimerQuiet) {
    auto other = TTransferLock::TryTake(Shell->Dirs().Program);
    ASSERT_TRUE(other);
    EXPECT_EQ(Gate->Start(TTransferCommand::CollectMailTimer), TTransferStart::Locked);
    EXPECT_TRUE(Ui.Popups.empty());
    EXPECT_EQ(Gate->Start(TTransferCommand::SendReceiveAll), TTransferStart::Locked);
    ASSERT_EQ(Ui.Popups.size(), 1u);
    EXPECT_EQ(Ui.Popups[0].Request.Text, Shell->Texts().Own(TOwnText::TransferLocked));
    EXPECT_FALSE(Gate->Held());
}

TEST_F(TransferGateTest, TheLockIsHeldForTheRunAndFreeAfterIt) {
    bool heldInside = false;
    bool freeInside = true;
    const TTransferStart started = Gate->RunLocked([&] {
        heldInside = Gate->Held();
        freeInside = TTransferLock::IsFree(Shell->Dirs().Program);
        Shell->TransferRunning = true; // what the run itself sets
        // A second start while the run lasts is handed on, never given a lock of its own.
        EXPECT_EQ(Gate->Start(TTransferCommand::CollectMailTimer), TTransferStart::NotNew);
        EXPECT_TRUE(Gate->Held());
        Shell->TransferRunning = false;
    });
    EXPECT_EQ(started, TTransferStart::Ran);
    EXPECT_TRUE(heldInside);
    EXPECT_FALSE(freeInside);
    EXPECT_FALSE(Gate->Held());
    EXPECT_TRUE(TTransferLock::IsFree(Shell->Dirs().Program));
}

} // namespace
} // namespace pelmora
