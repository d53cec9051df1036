#include "paramtree/markup.h"
#include "paramtree/param_events.h"
#include "store/project_info.h"
#include "store/store_layout.h"
#include "store_fixture.h"

namespace pelmora {
namespace {

namespace fs = std::filesystem;

class TreeCommandsTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
    }
    // Adds a user project to the selected account through the command.
    int AddProject(const std::string& name) {
        Ui.QueryAnswers.push_back(name);
        Workspace->FMAddNewProjectClick();
        return Shell->CurrentProject;
    }
    void Select(int number) {
        Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, number));
        Workspace->FolderTreeClick();
    }
    void SetDisplayName(TNode* account, const std::string& name) {
        TNode* node = FindBelow(account, kNodeDisplayName);
        Ui.QueryAnswers.push_back(name);
        ClickParam(Workspace->AccountTree, node, "EditDispName", Workspace->AccountTreeEvents());
    }
    std::vector<std::string> AccountNames() {
        std::vector<std::string> names;
        for (const auto& settings : Workspace->AllAccountSettings())
            names.push_back(settings.DisplayName);
        return names;
    }
    void YesYes() { Ui.AskAnswers = {{kAskFirst, std::nullopt}, {kAskFirst, std::nullopt}}; }
};

TEST_F(TreeCommandsTest, AddProjectCreatesNodeDirectoriesAndInfo) {
    ASSERT_EQ(AddProject("Bridge & Tunnel"), 1000);
    TNode* node = FindNumber(Workspace->AccountTree, 1000);
    ASSERT_TRUE(node);
    EXPECT_EQ(node->Text(), "<XID=1000><IMG src=\"idx:3\"> <font color=\"#251080\"><b>Bridge &amp; "
                            "Tunnel</b></font> (0/0)");
    EXPECT_EQ(node->Parent(), Workspace->AccountTree.First());
    EXPECT_EQ(Workspace->AccountTree.Selected(), node);
    EXPECT_TRUE(fs::is_directory(Store + "1000/outreceipts"));
    EXPECT_EQ(SlurpFile(Store + "1000/pinfo.txt"), "1\r\nBridge & Tunnel\r\n");
    EXPECT_EQ(ReadParam(Workspace->ProjectTree.First()->Text(), "ChangeProjName"),
              "Bridge &amp; Tunnel");
    EXPECT_TRUE(Workspace->AccountMenu().DeleteProject);
    // Saved at once.
    EXPECT_NE(SlurpFile(Store + "folders.tree").find("<XID=1000>"), std::string::npos);

    EXPECT_EQ(AddProject("Second"), 1001);
    Select(1000);
    EXPECT_EQ(AddProject(""), 1000); // an empty name adds nothing
    EXPECT_FALSE(FindNumber(Workspace->AccountTree, 1002));
}

TEST_F(TreeCommandsTest, AddProjectNeedsASelection) {
    Workspace->AccountTree.Select(nullptr);
    Workspace->FMAddNewProjectClick();
    EXPECT_TRUE(Ui.Queries.empty());
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(1, 109)));
}

TEST_F(TreeCommandsTest, DefaultProjectCannotBeDeleted) {
    Select(100000);
    YesYes();
    Workspace->PMDeleteProjectClick();
    EXPECT_TRUE(Ui.Questions.empty());
    EXPECT_TRUE(Ui.PopupShown("\r\n\r\n" + Shell->Text(1, 328)));
    EXPECT_TRUE(FindNumber(Workspace->AccountTree, 100000));
    EXPECT_TRUE(fs::exists(Store + "100000"));
}

TEST_F(TreeCommandsTest, DeleteProjectAsksTwiceThenRemovesEverything) {
    AddProject("Doomed");
    Shell->ProjectTreeChanged = true;
    Workspace->SaveProjectTree(1000);
    PutFile(Books + "1000.addr.backup", "x");
    PutFile(Books + "10001.addr", "another project's book");
    PutFile(Store + "1000/inbox/_1.eml", "message");

    Ui.AskAnswers = {{kAskFirst, std::nullopt}, {kAskSecond, std::nullopt}};
    Workspace->PMDeleteProjectClick();
    EXPECT_EQ(Ui.Questions.size(), 2u);
    EXPECT_TRUE(fs::exists(Store + "1000/inbox/_1.eml")); // a No keeps it all

    Ui.ClearRecords();
    YesYes();
    Workspace->PMDeleteProjectClick();
    ASSERT_EQ(Ui.Questions.size(), 2u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(1, 304));
    EXPECT_EQ(Ui.Questions[1].Text, Shell->Text(1, 305));
    EXPECT_EQ(Ui.Questions[1].Caption, Shell->Text(1, 300));
    EXPECT_EQ(Sounds(), (std::vector<std::string>{"popped", "attention"}));
    EXPECT_FALSE(fs::exists(Store + "1000"));
    EXPECT_FALSE(fs::exists(Books + "1000.addr"));
    EXPECT_FALSE(fs::exists(Books + "1000.addr.backup"));
    EXPECT_TRUE(fs::exists(Books + "10001.addr"));
    EXPECT_FALSE(FindNumber(Workspace->AccountTree, 1000));
    EXPECT_TRUE(Workspace->ProjectTree.Empty());
    EXPECT_EQ(Shell->CurrentProject, -1);
    EXPECT_EQ(SlurpFile(Store + "folders.tree").find("<XID=1000>"), std::string::npos);
    // The number is free again.
    EXPECT_EQ(Workspace->NextProjectNumber(), 1000);
}

TEST_F(TreeCommandsTest, DeleteProjectFilesRefusesLowNumbers) {
    fs::create_directories(Store + "999");
    EXPECT_FALSE(Workspace->DeleteProjectFiles(999, false));
    EXPECT_TRUE(fs::exists(Store + "999"));
    EXPECT_TRUE(Workspace->DeleteProjectFiles(4242, false)); // nothing there: nothing fails
}

TEST_F(TreeCommandsTest, DeleteAccountRemovesItsProjects) {
    ASSERT_TRUE(Workspace->CreateAccount(false));
    TNode* second = FindNumber(Workspace->AccountTree, 2);
    Workspace->AccountTree.Select(second);
    AddProject("Other");
    const int project = Shell->CurrentProject;
    const int defaultProject = Workspace->ReadAccountSettings(second).DefaultProject;
    ASSERT_TRUE(fs::exists(Store + std::to_string(project)));

    Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, project));
    YesYes();
    Workspace->FMDeleteAccountandallFoldersClick();
    EXPECT_EQ(Ui.Questions.back().Text, Shell->Text(1, 325));
    EXPECT_FALSE(FindNumber(Workspace->AccountTree, 2));
    EXPECT_FALSE(fs::exists(Store + std::to_string(project)));
    EXPECT_FALSE(fs::exists(Store + std::to_string(defaultProject)));
    EXPECT_TRUE(fs::exists(Store + "100000"));
    EXPECT_EQ(Workspace->AccountTree.Selected(), Workspace->AccountTree.First());
    EXPECT_EQ(Shell->CurrentProject, -1);

    // The last account may go; the next check brings a default account back.
    YesYes();
    Workspace->FMDeleteAccountandallFoldersClick();
    EXPECT_TRUE(Workspace->AccountTree.Empty());
    Workspace->EnsureDefaultAccount();
    EXPECT_EQ(Workspace->AllAccountSettings().size(), 1u);
}

TEST_F(TreeCommandsTest, CustomFoldersAreAddedRenamedAndRemovedWhenEmpty) {
    Select(100000);
    const std::string inbox = Store + "100000/inbox/";
    Ui.QueryAnswers = {"Invoices"};
    Workspace->PMAddNewFolderClick();
    ASSERT_TRUE(fs::is_directory(inbox + "600"));
    EXPECT_EQ(SlurpFile(inbox + "600/label.txt"), "Invoices\r\n");
    TNode* folder = FindNumber(Workspace->ProjectTree, 600);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->Parent(), FindTopLevel(Workspace->ProjectTree, kFolderInbox));
    EXPECT_EQ(Workspace->CustomFolders().At(600)->Name, "Invoices");
    EXPECT_EQ(Workspace->CustomFolders().FirstFree, 601);
    EXPECT_TRUE(fs::exists(Books + "100000.addr")); // saved

    Workspace->ProjectTree.Select(folder);
    Ui.QueryAnswers = {"  Paid <2026>  "};
    Workspace->PMChangeNameClick();
    EXPECT_EQ(SlurpFile(inbox + "600/label.txt"), "Paid <2026>\r\n");
    EXPECT_EQ(folder->Text(), "<XID=600><img src=\"idx:12\"> <font color=\"clNavy\"><b>Paid "
                              "&lt;2026&gt;</b></font> (0/0)");
    Ui.QueryAnswers = {"   "};
    Workspace->PMChangeNameClick();
    EXPECT_EQ(SlurpFile(inbox + "600/label.txt"), "Paid <2026>\r\n");

    // Messages on disk keep the folder even when the list shows nothing.
    PutFile(inbox + "600/_1.eml", "message");
    Workspace->Hooks.MessageListRowCount = [] { return 0; };
    Workspace->PMRemoveCustomFolderClick();
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(1, 91)));
    EXPECT_TRUE(fs::exists(inbox + "600/_1.eml"));
    fs::remove(inbox + "600/_1.eml");
    Workspace->Hooks.MessageListRowCount = [] { return 3; };
    Workspace->PMRemoveCustomFolderClick();
    EXPECT_TRUE(fs::exists(inbox + "600"));

    Workspace->Hooks.MessageListRowCount = [] { return 0; };
    Workspace->PMRemoveCustomFolderClick();
    EXPECT_FALSE(fs::exists(inbox + "600"));
    EXPECT_FALSE(FindNumber(Workspace->ProjectTree, 600));
    EXPECT_EQ(Workspace->ProjectTree.Selected(),
              FindTopLevel(Workspace->ProjectTree, kFolderInbox));
    EXPECT_EQ(Workspace->CustomFolders().FirstFree, 600);
}

TEST_F(TreeCommandsTest, CustomFolderCommandsNeedTheRightSelection) {
    Select(100000);
    Workspace->ProjectTree.Select(FindTopLevel(Workspace->ProjectTree, kFolderTrash));
    Workspace->PMRemoveCustomFolderClick();
    Workspace->PMChangeNameClick();
    EXPECT_EQ(Ui.Popups.size(), 2u);
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(1, 110)));
    EXPECT_TRUE(fs::exists(Store + "100000/inbox"));
}

TEST_F(TreeCommandsTest, NoCustomFolderBeyond900) {
    for (int code = 600; code <= 900; ++code)
        fs::create_directories(Store + "100000/inbox/" + std::to_string(code));
    Select(100000);
    Ui.ClearRecords();
    const int before = Workspace->ProjectTree.Count();
    Ui.QueryAnswers = {"One too many"};
    Workspace->PMAddNewFolderClick();
    EXPECT_EQ(Workspace->ProjectTree.Count(), before);
    EXPECT_EQ(Sounds(), std::vector<std::string>{"popped"});
    EXPECT_FALSE(fs::exists(Store + "100000/inbox/901"));
}

TEST_F(TreeCommandsTest, DraggingProjects) {
    ASSERT_TRUE(Workspace->CreateAccount(false));
    Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, 1));
    AddProject("A");
    AddProject("B");
    TNode* a = FindNumber(Workspace->AccountTree, 1000);
    TNode* b = FindNumber(Workspace->AccountTree, 1001);
    TNode* otherDefault = FindChild(FindNumber(Workspace->AccountTree, 2), 100001);
    ASSERT_TRUE(otherDefault);

    EXPECT_FALSE(Workspace->FolderTreeDragOver(a, Workspace->AccountTree.First()));
    EXPECT_FALSE(Workspace->FolderTreeDragOver(FindNumber(Workspace->AccountTree, 104), a));
    EXPECT_TRUE(Workspace->FolderTreeDragOver(b, a));

    // A default project stays with its account.
    TNode* ownDefault = FindNumber(Workspace->AccountTree, 100000);
    Workspace->FolderTreeDragDrop(ownDefault, otherDefault);
    EXPECT_TRUE(Ui.PopupShown("\r\n\r\n" + Shell->Text(1, 328)));
    EXPECT_EQ(AccountOf(ownDefault), FindNumber(Workspace->AccountTree, 1));

    // A user project moves before the target, into the target's account.
    Workspace->FolderTreeDragDrop(b, otherDefault);
    EXPECT_EQ(AccountOf(b), FindNumber(Workspace->AccountTree, 2));
    EXPECT_EQ(b->NextSibling(), otherDefault);
    EXPECT_EQ(Workspace->AccountTree.Selected(), b);
    EXPECT_EQ(Shell->CurrentProject, 1001);
    Workspace->FolderTreeDragDrop(a, b);
    EXPECT_EQ(a->NextSibling(), b);
}

TEST_F(TreeCommandsTest, SortingAccountsAndProjectsByName) {
    ASSERT_TRUE(Workspace->CreateAccount(false));
    ASSERT_TRUE(Workspace->CreateAccount(false));
    SetDisplayName(FindNumber(Workspace->AccountTree, 1), "charlie");
    SetDisplayName(FindNumber(Workspace->AccountTree, 2), "Bravo");
    SetDisplayName(FindNumber(Workspace->AccountTree, 3), "alpha");
    // Names only sort when the address is set too; sort explicitly.
    Workspace->SortAccounts();
    EXPECT_EQ(AccountNames(), (std::vector<std::string>{"alpha", "Bravo", "charlie"}));

    Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, 1));
    AddProject("zulu");
    AddProject("Mike");
    Workspace->SortProjects();
    TNode* account = FindNumber(Workspace->AccountTree, 1);
    std::vector<std::string> order;
    for (int i = 0; i < account->ChildCount(); ++i)
        order.push_back(PlainCaption(CaptionBase(account->Child(i)->Text())));
    EXPECT_EQ(order,
              (std::vector<std::string>{"Account Profile", "Default Project", "Mike", "zulu"}));
}

TEST_F(TreeCommandsTest, ProjectNumbersOverview) {
    AddProject("Bridge");
    Workspace->MenuShowPorjectNumbersClick();
    ASSERT_TRUE(Ui.LastPopup());
    const TPopupRequest& popup = Ui.LastPopup()->Request;
    EXPECT_TRUE(popup.Large);
    EXPECT_FALSE(popup.Modeless);
    EXPECT_EQ(popup.Text,
              "\r\nAccount:Default Account (-not set-), Project: Default Project > 100000\r\n"
              "Account:Default Account (-not set-), Project: Bridge > 1000\r\n");
}

TEST_F(TreeCommandsTest, StatusTextsAndMenus) {
    TNode* project = FindNumber(Workspace->AccountTree, 100000);
    Workspace->FolderTreeChange(project);
    EXPECT_EQ(Ui.FolderStatusText, "Default Account (-not set-) (0/0): Default Project (0/0)");
    EXPECT_FALSE(Workspace->AccountMenu().DeleteAccount);
    Workspace->FolderTreeChange(Workspace->AccountTree.First());
    EXPECT_EQ(Ui.FolderStatusText, "Default Account (-not set-) (0/0)");
    EXPECT_TRUE(Workspace->AccountMenu().DeleteAccount);

    Select(100000);
    TNodeTree& tree = Workspace->ProjectTree;
    Workspace->ProjectTreeChange(FindTopLevel(tree, kFolderSent));
    EXPECT_EQ(Ui.MessageStatusText, "Project: Default Project: Sent Messages (0/0)");

    TProjectTreeMenu onTrash = Workspace->ProjectTreePOPUPPopup(FindTopLevel(tree, kFolderTrash));
    EXPECT_TRUE(onTrash.EmptyTrash);
    EXPECT_FALSE(onTrash.AddCustomFolder);
    EXPECT_TRUE(onTrash.BackupProject);
    EXPECT_FALSE(onTrash.DeleteProject); // a default project
    TProjectTreeMenu onInbox = Workspace->ProjectTreePOPUPPopup(FindTopLevel(tree, kFolderInbox));
    EXPECT_TRUE(onInbox.AddCustomFolder && onInbox.RemoveCustomFolder && onInbox.ChangeFolderName);
    TProjectTreeMenu onBook =
        Workspace->ProjectTreePOPUPPopup(FindTopLevel(tree, kNodeAddressBook)->Child(0));
    EXPECT_TRUE(onBook.AddressBookItems);
    EXPECT_FALSE(onBook.BackupProject);
}

} // namespace
} // namespace pelmora
