#include "store/workspace.h"

#include "paramtree/markup.h"
#include "paramtree/tree_file.h"
#include "store/project_info.h"
#include "store/store_layout.h"
#include "store_fixture.h"

#include <sys/stat.h>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

unsigned FileMode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

TEST_F(WorkspaceTest, FirstStartCreatesDefaultAccountProjectAndFiles) {
    Start();
    TNodeTree& tree = Workspace->AccountTree;
    ASSERT_EQ(tree.TopCount(), 1);
    TNode* account = tree.First();
    EXPECT_EQ(account->Text(),
              "<XID=001><IMG src=\"idx:0\"> <b><font color=\"clNavy\">Default Account</font></b> "
              "<font color=\"clBlack\">(-not set-)</font> (0/0)");
    EXPECT_EQ(tree.Selected(), account);
    EXPECT_EQ(Workspace->CurrentAccountNode(), account);

    // Profile first, then the default project.
    ASSERT_EQ(account->ChildCount(), 2);
    EXPECT_EQ(NodeNumber(account->Child(0)->Text()), 101);
    EXPECT_EQ(account->Child(1)->Text(), "<XID=100000><IMG src=\"idx:3\"> <font color=\"#502075\">"
                                         "<b>Default Project</b></font> (0/0)");
    TNode* server = FindNumber(tree, 102);
    ASSERT_TRUE(server);
    std::vector<int> codes;
    for (int i = 0; i < server->ChildCount(); ++i)
        codes.push_back(NodeNumber(server->Child(i)->Text()));
    EXPECT_EQ(codes, (std::vector<int>{103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 121, 122,
                                       123, 124}));
    EXPECT_EQ(FindNumber(tree, 106)->Text(),
              "<XID=106><XPWD=0>POP3 Password: <a href=\"EditPOP3Password\">*hidden*</a>");
    EXPECT_EQ(FindNumber(tree, 104)->Text(),
              "<XID=104>POP3 server:: <a href=\"EditPOP3\">-not set-</a>");
    EXPECT_EQ(ReadParam(FindNumber(tree, 204)->Text(), "EditFullName"), "Default Account");

    AccountSettings settings = Workspace->ReadAccountSettings(account);
    EXPECT_TRUE(settings.ScheduleMail);
    EXPECT_FALSE(settings.LeaveMailOnServer);
    EXPECT_TRUE(settings.HonourReceipts);
    EXPECT_EQ(settings.DefaultProject, 100000);

    for (const char* folder :
         {"inbox", "outbox", "drafts", "sent", "inreceipts", "outreceipts", "trash"})
        EXPECT_TRUE(fs::is_directory(Store + "100000/" + folder)) << folder;
    EXPECT_EQ(SlurpFile(Store + "100000/pinfo.txt"), "1\r\nDefault Project\r\n");
    ASSERT_TRUE(fs::exists(Store + "folders.tree"));
    EXPECT_EQ(FileMode(Store + "folders.tree"), 0600u);
    EXPECT_FALSE(Shell->AccountTreeChanged);
}

TEST_F(WorkspaceTest, SecondStartReadsTheSameTreeAndKeepsCopies) {
    Start();
    const std::string saved = SlurpFile(Store + "folders.tree");
    Workspace.reset();
    Shell.reset();
    Start();
    EXPECT_EQ(Workspace->AccountTree.TopCount(), 1);
    EXPECT_EQ(FormatTreeText(Workspace->AccountTree), saved);
    EXPECT_EQ(SlurpFile(Store + "folders.tree.backup"), saved);
    EXPECT_EQ(SlurpFile(Store + "folders.tree.lw_backup"), saved);
    EXPECT_EQ(FileMode(Store + "folders.tree.lw_backup"), 0600u);
    EXPECT_FALSE(fs::exists(Store + "100001"));
}

TEST_F(WorkspaceTest, DefaultProjectSkipsExistingDirectories) {
    fs::create_directories(Home / "Projects" / "100000");
    Start();
    EXPECT_TRUE(FindNumber(Workspace->AccountTree, 100001));
    EXPECT_FALSE(FindNumber(Workspace->AccountTree, 100000));
}

TEST_F(WorkspaceTest, CorruptAccountTreeIsRepairedAfterYes) {
    Start();
    const std::string good = SlurpFile(Store + "folders.tree");
    Workspace.reset();
    Shell.reset();
    Start(); // a clean read leaves the last good copy
    Workspace.reset();
    Shell.reset();
    // Third line two levels deeper than the second.
    PutFile(Home.string() + "/Projects/folders.tree", "<XID=001>a\r\n\t<XID=101>b\r\n\t\t\tc\r\n");
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    Start();
    EXPECT_EQ(SlurpFile(Store + "folders.tree"), good);
    EXPECT_EQ(FormatTreeText(Workspace->AccountTree), good);
}

TEST_F(WorkspaceTest, CorruptAccountTreeAsksWithItsOwnText) {
    PutFile(Home.string() + "/Projects/folders.tree", "a\r\n\t\tb\r\n");
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    StartBare();
    Workspace->LoadAccountTree();
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(0, 7));
    // No last good copy: the tree is emptied and text 0/9 is shown. The damaged file stays
    // and the tree is read-only, so no default account is made over it.
    EXPECT_TRUE(Workspace->AccountTree.Empty());
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(0, 9)));
    Workspace->EnsureDefaultAccount();
    EXPECT_TRUE(Workspace->AccountTree.Empty());
    EXPECT_EQ(SlurpFile(Store + "folders.tree"), "a\r\n\t\tb\r\n");
}

TEST_F(WorkspaceTest, OlderTreesGetTheConnectionParameters) {
    PutFile(Home.string() + "/Projects/folders.tree",
            SlurpFile(std::string(PELMORA_TEST_DATA) + "/store/folders.tree"));
    StartBare();
    Workspace->FormCreateTrees();
    TNode* first = Workspace->AccountTree.First();
    EXPECT_TRUE(FindBelow(first, kNodePOP3Port));
    EXPECT_EQ(ReadParam(FindBelow(first, kNodeSMTPSecurity)->Text(), "SMTPSecurity"), "None");
    EXPECT_TRUE(Shell->AccountTreeChanged);
    // The second account had them already and keeps its values.
    EXPECT_EQ(Workspace->ReadAccountSettings(Workspace->AccountTree.Top(1)).POP3Port, 995);
    EXPECT_EQ(Workspace->AccountTree.TopCount(), 2); // no extra default account
}

TEST_F(WorkspaceTest, ProjectNumbersTakeTheLowestFreeDirectory) {
    Start();
    EXPECT_EQ(Workspace->NextProjectNumber(), 1000);
    fs::create_directories(Store + "1000");
    fs::create_directories(Store + "1001");
    EXPECT_EQ(Workspace->NextProjectNumber(), 1002);
    fs::remove_all(Store + "1001");
    EXPECT_EQ(Workspace->NextProjectNumber(), 1001);
    // A number held by a node is never handed out again, even without its directory.
    Workspace->AccountTree.Add(Workspace->AccountTree.First(), "<XID=1001>lost dir");
    EXPECT_EQ(Workspace->NextProjectNumber(), 1002);
    EXPECT_EQ(Workspace->NextDefaultProjectNumber(), 100001);
}

TEST_F(WorkspaceTest, AccountNumbersFollowTheHighest) {
    Start();
    EXPECT_EQ(Workspace->NextAccountNumber(), 2);
    ASSERT_TRUE(Workspace->CreateAccount(false));
    EXPECT_EQ(Workspace->NextAccountNumber(), 3);
    Workspace->AccountTree.Add(nullptr, "<XID=99>last");
    EXPECT_EQ(Workspace->NextAccountNumber(), 3); // 100 would be no account
}

TEST_F(WorkspaceTest, SelectingAProjectShowsItsTree) {
    Start();
    std::vector<int> listed;
    Workspace->Hooks.ListFolder = [&listed](int code) { listed.push_back(code); };
    TNode* project = FindNumber(Workspace->AccountTree, 100000);
    fs::create_directories(Store + "100000/inbox/601");
    WriteFolderLabel(Store + "100000/inbox/601/", "Gap <kept>");
    Workspace->AccountTree.Select(project);
    Workspace->FolderTreeClick();

    EXPECT_EQ(Shell->CurrentProject, 100000);
    EXPECT_EQ(Workspace->CurrentProjectNode(), project);
    EXPECT_EQ(listed, std::vector<int>{kFolderInbox});
    TNodeTree& tree = Workspace->ProjectTree;
    std::vector<int> top;
    for (int i = 0; i < tree.TopCount(); ++i)
        top.push_back(NodeNumber(tree.Top(i)->Text()));
    EXPECT_EQ(top, (std::vector<int>{100, 101, 102, 103, 104, 105, 106, 107, 108, 110, 111, 112,
                                     113, 114, 115, 116, 117}));
    EXPECT_EQ(tree.First()->Text(), "<XID=100><img src=\"idx:3\"> <b><font color=\"clPurple\">"
                                    "Project:</font></b> <a href=\"ChangeProjName\">"
                                    "Default Project</a>");
    TNode* inbox = FindTopLevel(tree, kFolderInbox);
    EXPECT_EQ(tree.Selected(), inbox);
    EXPECT_TRUE(inbox->Expanded());
    // A custom folder after a gap in the numbering is shown too.
    ASSERT_EQ(inbox->ChildCount(), 1);
    EXPECT_EQ(inbox->Child(0)->Text(), "<XID=601><img src=\"idx:12\"> <font color=\"clNavy\">"
                                       "<b>Gap &lt;kept&gt;</b></font> (0/0)");
    EXPECT_EQ(FindTopLevel(tree, kFolderTrash)->Text(),
              "<XID=116><img src=\"idx:21\"> <font color=\"clNavy\"><b>Removed Items</b></font> "
              "(0/0)");
    EXPECT_EQ(FindTopLevel(tree, kNodeAddressBook)->Child(0)->Text(),
              "<XID=-1><font color=\"clPurple\"><b>-empty, no addresses -</b></font>");
    EXPECT_FALSE(Workspace->AccountMenu().DeleteProject);

    // Selecting the account clears the project tree.
    Workspace->AccountTree.Select(Workspace->AccountTree.First());
    Workspace->FolderTreeClick();
    EXPECT_TRUE(tree.Empty());
    EXPECT_EQ(Shell->CurrentProject, -1);
    EXPECT_TRUE(Workspace->AccountMenu().DeleteAccount);
}

TEST_F(WorkspaceTest, ChangedProjectTreeIsSavedBeforeAnotherIsShown) {
    Start();
    Ui.QueryAnswers.push_back("Bridge");
    Workspace->FMAddNewProjectClick();
    ASSERT_EQ(Shell->CurrentProject, 1000);
    TNode* receipts = FindTopLevel(Workspace->ProjectTree, kNodeRequestReceipts);
    std::string value = *ReadParam(receipts->Text(), "RequestReceipts");
    Workspace->ProjectTreeParamClick(receipts, "RequestReceipts", value);
    EXPECT_EQ(value, "Yes");
    EXPECT_TRUE(Shell->ProjectTreeChanged);
    std::string text = receipts->Text();
    WriteParam(text, "RequestReceipts", value);
    Workspace->ProjectTree.SetText(receipts, text);

    Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, 100000));
    Workspace->FolderTreeClick();
    TNodeTree saved;
    ASSERT_TRUE(ReadTreeFile(Books + "1000.addr", saved).Ok);
    EXPECT_EQ(ReadParam(FindTopLevel(saved, kNodeRequestReceipts)->Text(), "RequestReceipts"),
              "Yes");
    EXPECT_EQ(FileMode(Books + "1000.addr"), 0600u);

    // Back to the project: its tree comes from the file.
    Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, 1000));
    Workspace->FolderTreeClick();
    EXPECT_EQ(ReadParam(FindTopLevel(Workspace->ProjectTree, kNodeRequestReceipts)->Text(),
                        "RequestReceipts"),
              "Yes");
}

TEST_F(WorkspaceTest, AccountWithoutDefaultProjectGetsOne) {
    Start();
    TNode* account = Workspace->AccountTree.First();
    Workspace->AccountTree.Delete(FindNumber(Workspace->AccountTree, 100000));
    fs::remove_all(Store + "100000");
    Workspace->AccountTree.Select(account);
    Workspace->FolderTreeClick();
    TNode* project = FindNumber(Workspace->AccountTree, 100000);
    ASSERT_TRUE(project);
    EXPECT_NE(project->Text().find("#808080"), std::string::npos);
    EXPECT_EQ(Shell->CurrentProject, 100000); // the handler ran again on the new node
    EXPECT_TRUE(fs::is_directory(Store + "100000/inbox"));
    EXPECT_EQ(ReadProjectInfo(Store, 100000)->Account, 1);
}

TEST_F(WorkspaceTest, FirstActivationShowsTheDefaultProject) {
    Start();
    Workspace->FirstActivationShowDefaultProject();
    EXPECT_EQ(Shell->CurrentProject, 100000);
    EXPECT_FALSE(Workspace->ProjectTree.Empty());
}

TEST_F(WorkspaceTest, CloseSavesBothTrees) {
    Start();
    Workspace->FirstActivationShowDefaultProject();
    Shell->ProjectTreeChanged = true;
    Shell->AccountTreeChanged = true;
    fs::remove(Store + "folders.tree");
    ASSERT_TRUE(Workspace->FormCloseSaveTrees());
    EXPECT_TRUE(fs::exists(Store + "folders.tree"));
    EXPECT_TRUE(fs::exists(Books + "100000.addr"));
    EXPECT_FALSE(Shell->ProjectTreeChanged);
    EXPECT_FALSE(Shell->AccountTreeChanged);
}

TEST_F(WorkspaceTest, RestorePanelsReloadsUnlessChanged) {
    Start();
    Workspace->AccountTree.Add(nullptr, "<XID=5>unsaved");
    Shell->AccountTreeChanged = true;
    Workspace->RestorePanelsTrees();
    EXPECT_EQ(Workspace->AccountTree.TopCount(), 2);
    Shell->AccountTreeChanged = false;
    Workspace->RestorePanelsTrees();
    EXPECT_EQ(Workspace->AccountTree.TopCount(), 1);
}

} // namespace
} // namespace pelmora
