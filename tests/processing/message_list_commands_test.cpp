// The message list's button rules, double-click dispatch, blacklist command and the unsent
// mail question, run headless on listed folders.

#include "processing/message_list_commands.h"
#include "processing/unsent_mail.h"

#include "addressbook/blacklist.h"
#include "processing/processing_fixture.h"
#include "shell/settings.h"
#include "store/folder_listing.h"
#include "store/store_layout.h"

namespace pelmora {
namespace {

namespace fs = std::filesystem;

struct TButtonCase {
    const char* Name;
    TMailMenuState State;
    // New, Open, Reply, ReplyAll, Forward, Print, Find, Attachments
    std::vector<bool> Enabled;
};

class MessageButtons : public testing::TestWithParam<TButtonCase> {};

TEST_P(MessageButtons, FollowTheFolderAndTheFirstClick) {
    std::vector<bool> enabled;
    for (TMessageButton button :
         {TMessageButton::New, TMessageButton::Open, TMessageButton::Reply,
          TMessageButton::ReplyAll, TMessageButton::Forward, TMessageButton::Print,
          TMessageButton::Find, TMessageButton::Attachments})
        enabled.push_back(MessageButtonEnabled(button, GetParam().State));
    EXPECT_EQ(enabled, GetParam().Enabled);
}

TMailMenuState State(bool clicked, bool reply, bool attachments = false, bool onlyOpen = false) {
    TMailMenuState state;
    state.MessageButtons = clicked;
    state.ReplyButtons = reply;
    state.AttachmentsButton = attachments;
    state.OnlyOpen = onlyOpen;
    return state;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MessageButtons,
    testing::Values(
        TButtonCase{"JustListed", State(false, true),
                    {true, false, false, false, false, false, true, false}},
        TButtonCase{"InboxClicked", State(true, true, true),
                    {true, true, true, true, true, true, true, true}},
        // Sent mail cannot be replied to from here, but it can be forwarded.
        TButtonCase{"SentClicked", State(true, false),
                    {true, true, false, false, true, true, true, false}},
        TButtonCase{"SearchResults", State(true, true, true, true),
                    {false, true, false, false, false, false, false, false}}),
    [](const testing::TestParamInfo<TButtonCase>& info) { return info.param.Name; });

TEST(ListDoubleClick, StateColumnCyclesElseOpensOrShows) {
    EXPECT_EQ(ListDoubleClickAction(0, false, true), TListDoubleClick::CycleState);
    EXPECT_EQ(ListDoubleClickAction(0, true, true), TListDoubleClick::Open);
    EXPECT_EQ(ListDoubleClickAction(3, false, true), TListDoubleClick::Open);
    EXPECT_EQ(ListDoubleClickAction(3, false, false), TListDoubleClick::QuickView);
    EXPECT_EQ(ListDoubleClickAction(0, true, false), TListDoubleClick::QuickView);
}

constexpr int kProject = 100000;

class ListCommandsTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        View = std::make_unique<TFolderView>(*Workspace);
        Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, kProject));
        Workspace->FolderTreeClick();
    }
    void TearDown() override {
        View.reset();
        WorkspaceTest::TearDown();
    }
    void Show(int code) {
        Workspace->ProjectTree.Select(FindTopLevel(Workspace->ProjectTree, code));
        View->ProjectTreeClick();
        ASSERT_EQ(View->ListedFolder(), code);
    }
    std::unique_ptr<TFolderView> View;
};

TEST_F(ListCommandsTest, BlacklistTakesSendersOfTheInboxAndRecipientsOfSentMail) {
    PutFile(FolderPath(Store, kProject, kFolderInbox) + "_1012026121000001.eml",
            "From: Spam King <king@spam.example>\r\nTo: me@example.org\r\nSubject: Win\r\n"
            "Message-ID: <w@spam.example>\r\n\r\nYou won.\r\n");
    PutFile(FolderPath(Store, kProject, kFolderSent) + "1012026121000002.eml",
            "From: me@example.org\r\nTo: Bob Builder <bob@example.com>\r\nSubject: Hi\r\n"
            "Message-ID: <h@PXID100000>\r\n\r\nHi.\r\n");
    Show(kFolderInbox);
    View->List.SelectOnly(0);
    EXPECT_EQ(AddActedSendersToBlackList(*View), 1);
    Show(kFolderSent);
    View->List.SelectOnly(0);
    EXPECT_EQ(BlackListColumnsOfActedRows(*View).size(), 1u);
    EXPECT_EQ(AddActedSendersToBlackList(*View), 1);
    EXPECT_EQ(LoadBlackList(BlackListPath(Shell->Dirs().AddressBooks)),
              (std::vector<std::string>{"king@spam.example", "bob@example.com"}));
    View->List.ClearSelection();
    EXPECT_EQ(AddActedSendersToBlackList(*View), 0);
}

TEST_F(ListCommandsTest, DoubleClickOnTheStateColumnStepsTheState) {
    PutFile(FolderPath(Store, kProject, kFolderInbox) + "_1012026121000001.eml",
            "From: a@example.net\r\nSubject: x\r\n\r\nx\r\n");
    Show(kFolderInbox);
    View->List.SelectOnly(0);
    const std::string before = View->RowFilePath(0);
    MessageListDoubleClick(*View, 0);
    EXPECT_NE(View->RowFilePath(0), before); // the state is in the file name
    EXPECT_FALSE(fs::exists(before));
    Ui.ClearRecords();
    MessageListDoubleClick(*View, 3); // no message windows here: the text pops up
    ASSERT_TRUE(Ui.LastPopup());
    EXPECT_EQ(Ui.LastPopup()->Request.Caption, "a@example.net");
}

TEST_F(ListCommandsTest, UnsentMailQuestion) {
    Ui.ClearRecords();
    EXPECT_EQ(AskSendWaitingMail(*Workspace), TUnsentMail::NoneWaiting);
    EXPECT_TRUE(Ui.Questions.empty());
    PutFile(FolderPath(Store, kProject, kFolderOutbox) + "queued.eml",
            "To: bob@example.com\r\nSubject: q\r\n\r\nq\r\n");
    Ui.AskAnswers = {{kAskSecond, false}, {kAskFirst, true}};
    EXPECT_EQ(AskSendWaitingMail(*Workspace), TUnsentMail::Keep);
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(1, 259));
    EXPECT_TRUE(Ui.Questions[0].CheckEnabled);
    EXPECT_EQ(Sounds(), std::vector<std::string>{"attention"});
    EXPECT_EQ(AskSendWaitingMail(*Workspace), TUnsentMail::Send);
    // "Don't ask this again" was ticked: the next close asks nothing.
    EXPECT_TRUE(Shell->Settings().GetBool(TSettingKey::HideStillMailWaiting));
    EXPECT_EQ(AskSendWaitingMail(*Workspace), TUnsentMail::NotAsked);
    EXPECT_EQ(Ui.Questions.size(), 2u);
}

} // namespace
} // namespace pelmora
