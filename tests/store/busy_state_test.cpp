// One command at a time: a click, a key or a timer that arrives while a long message command
// pumps events is refused with a message, and the running command finishes on the rows it
// started with.

#include "shell/scripted_ui.h"
#include "store/folder_index.h"
#include "store/folder_listing.h"
#include "store/message_state.h"
#include "store/message_transfer.h"
#include "store/store_fixture.h"
#include "store/store_layout.h"

#include <filesystem>
#include <functional>
#include <set>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr int kProject = 100000;
constexpr int kMessages = 160; // the move pumps every 50 rows

std::string Mail(int n) {
    const std::string id = std::to_string(n);
    return "From: Ann <ann@example.org>\r\nTo: bob@example.net\r\nSubject: note " + id +
           "\r\nDate: Tue, 05 Mar 2024 14:07:09 +0000\r\nMessage-ID: <" + id +
           "@example.org>\r\n\r\nText " + id + "\r\n";
}

class BusyStateTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        View = std::make_unique<TFolderView>(*Workspace);
        Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, kProject));
        Workspace->FolderTreeClick();
        for (int n = 0; n < kMessages; ++n)
            PutFile(Dir(kFolderInbox) + std::to_string(1000 + n) + ".eml", Mail(n));
        ShowFolder(kFolderInbox);
        ASSERT_EQ(View->List.Count(), kMessages);
        View->Hooks.ChooseDestination = [](TNodeTree&) {
            return PickerFolderText(kProject, kFolderDrafts, "Drafts");
        };
        Ui.ClearRecords();
    }
    void TearDown() override {
        Ui.DuringPump = nullptr;
        View.reset();
        WorkspaceTest::TearDown();
    }

    std::string Dir(int code) { return FolderPath(Store, kProject, code); }
    void ShowFolder(int code) {
        Workspace->ProjectTree.Select(FindTopLevel(Workspace->ProjectTree, code));
        View->ProjectTreeClick();
    }
    std::set<std::string> Files(int code) {
        std::set<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(Dir(code), ec)) {
            const std::string name = entry.path().filename().string();
            if (name.find(".eml") != std::string::npos)
                names.insert(name);
        }
        return names;
    }
    std::set<std::string> IndexNames(int code) {
        TMessageList list;
        EXPECT_TRUE(LoadIndex(Dir(code) + "tree.lst", list).Ok);
        std::set<std::string> names;
        for (const TListRow& row : list.AllRows())
            names.insert(fs::path(RowPath(row.Caption())).filename().string());
        return names;
    }
    std::set<std::string> ListedNames() {
        std::set<std::string> names;
        for (const TListRow& row : View->List.AllRows())
            names.insert(fs::path(RowPath(row.Caption())).filename().string());
        return names;
    }
    int Refusals() const {
        int count = 0;
        for (const TPopupRecord& popup : Ui.Popups)
            count += popup.Request.Text.find("cannot start now") != std::string::npos;
        return count;
    }

    std::unique_ptr<TFolderView> View;
};

// A second command arriving while the first 100 of 160 rows are moved to the drafts.
struct TArrivingCase {
    const char* Name;
    std::function<void(TFolderView&, TWorkspace&)> Arrive;
    int FirstPump = 1; // the pump at which the user starts acting (3: the rows are moving)
};

class CommandDuringMove : public BusyStateTest,
                          public ::testing::WithParamInterface<TArrivingCase> {};

TEST_P(CommandDuringMove, IsRefusedAndTheMoveKeepsItsRows) {
    // The selection: every second row of the first 100, then row 150.
    std::set<std::string> chosen;
    View->List.ClearSelection();
    for (int row = 0; row < kMessages; ++row) {
        const std::string name = fs::path(RowPath(View->List.Row(row).Caption())).filename();
        if ((row < 100 && row % 2 == 0) || row == 150) {
            View->List.Select(row, true);
            chosen.insert(name);
        }
    }
    const std::set<std::string> before = Files(kFolderInbox);
    const int accountsBefore = Workspace->AccountTree.TopCount();

    int pumps = 0;
    int arrivals = 0;
    Ui.DuringPump = [&] {
        if (++pumps < GetParam().FirstPump)
            return;
        ++arrivals;
        GetParam().Arrive(*View, *Workspace);
    };
    View->MenuMoveClick();
    Ui.DuringPump = nullptr;

    ASSERT_GE(arrivals, 1);
    EXPECT_EQ(Refusals(), arrivals);
    EXPECT_EQ(Workspace->BusyKind(), TCommandKind::None);
    EXPECT_EQ(Files(kFolderDrafts), chosen);
    std::set<std::string> rest;
    for (const std::string& name : before)
        if (!chosen.count(name))
            rest.insert(name);
    EXPECT_EQ(Files(kFolderInbox), rest);
    EXPECT_TRUE(Files(kFolderTrash).empty());
    EXPECT_EQ(IndexNames(kFolderDrafts), chosen);
    EXPECT_EQ(IndexNames(kFolderInbox), rest);
    EXPECT_EQ(ListedNames(), rest);
    EXPECT_EQ(Workspace->AccountTree.TopCount(), accountsBefore);

    // Once it is over the same command runs.
    ShowFolder(kFolderInbox);
    Ui.ClearRecords();
    View->List.SelectOnly(0);
    View->MenuDeleteClick();
    EXPECT_EQ(Refusals(), 0);
    EXPECT_EQ(Files(kFolderTrash).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CommandDuringMove,
    ::testing::Values(
        TArrivingCase{"Delete", [](TFolderView& view, TWorkspace&) { view.MenuDeleteClick(); }},
        TArrivingCase{"DeleteWhileRowsMove",
                      [](TFolderView& view, TWorkspace&) { view.MenuDeleteClick(); }, 3},
        TArrivingCase{"SecondMove", [](TFolderView& view, TWorkspace&) { view.MenuMoveClick(); }},
        TArrivingCase{"ToggleRead",
                      [](TFolderView& view, TWorkspace&) {
                          view.ChangeMessageState(kToggleRead, false);
                      }},
        TArrivingCase{"EmptyTrash",
                      [](TFolderView& view, TWorkspace& work) {
                          work.ProjectTree.Select(FindTopLevel(work.ProjectTree, kFolderTrash));
                          view.EmptyTrashClick();
                      }},
        TArrivingCase{"ListAnotherFolder",
                      [](TFolderView& view, TWorkspace& work) {
                          work.ProjectTree.Select(FindTopLevel(work.ProjectTree, kFolderSent));
                          view.ProjectTreeClick();
                      }},
        TArrivingCase{"AddAccount", [](TFolderView&, TWorkspace& work) { work.AddNewAccount(); }}),
    [](const auto& info) { return std::string(info.param.Name); });

// The refusal names both commands.
TEST_F(BusyStateTest, RefusalSaysWhatIsRunning) {
    ASSERT_TRUE(Workspace->BeginCommand(TCommandKind::Message, "Move"));
    EXPECT_FALSE(Workspace->BeginCommand(TCommandKind::Tree, "Add Account"));
    ASSERT_TRUE(Ui.LastPopup());
    EXPECT_EQ(Ui.LastPopup()->Request.Text, Workspace->BusyRefusalText("Add Account"));
    EXPECT_NE(Ui.LastPopup()->Request.Text.find("\"Add Account\" cannot start now: \"Move\""),
              std::string::npos);
    // A quiet refusal (the collection timer) shows nothing.
    Ui.ClearRecords();
    EXPECT_FALSE(Workspace->BeginCommand(TCommandKind::Transfer, "Mail transfer", true));
    EXPECT_TRUE(Ui.Popups.empty());
    Workspace->EndCommand();
    EXPECT_FALSE(Workspace->Busy());
}

// While a transfer run lasts the folders can still be listed and read, but nothing that
// writes folders or trees starts.
TEST_F(BusyStateTest, TransferRunLeavesBrowsingButNotCommands) {
    int changes = 0;
    Workspace->Hooks.BusyChanged = [&] { ++changes; };
    ASSERT_TRUE(Workspace->BeginCommand(TCommandKind::Transfer, "Mail transfer"));
    EXPECT_EQ(changes, 1);
    PutFile(Dir(kFolderSent) + "9.eml", Mail(9));
    ShowFolder(kFolderSent);
    EXPECT_EQ(ListedNames(), std::set<std::string>{"9.eml"});
    View->List.SelectOnly(0);
    View->MenuDeleteClick();
    View->ChangeMessageState(kToggleFlag, false);
    Workspace->SortAccounts();
    EXPECT_EQ(Refusals(), 3);
    EXPECT_EQ(Files(kFolderSent), std::set<std::string>{"9.eml"});
    EXPECT_TRUE(Files(kFolderTrash).empty());
    Workspace->EndCommand();
    EXPECT_EQ(changes, 2);
    View->MenuDeleteClick();
    EXPECT_TRUE(Files(kFolderSent).empty());
}

} // namespace
} // namespace pelmora
