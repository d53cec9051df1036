// A question closed with Esc or the close box leaves every tree, file and flag as it was,
// for every parameter and command that asks for a text.

#include "paramtree/markup.h"
#include "paramtree/param_events.h"
#include "store/account_parameters.h"
#include "store/project_info.h"
#include "store_fixture.h"

namespace pelmora {
namespace {

namespace fs = std::filesystem;

class QueryCancelTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
    }
    // Every node text of a tree, in order.
    static std::vector<std::string> Texts(const TNodeTree& tree) {
        std::vector<std::string> texts;
        for (const TNode* node : tree.DepthFirst())
            texts.push_back(node->Text());
        return texts;
    }
    void ShowProject(int project) {
        Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, project));
        Workspace->FolderTreeClick();
        Ui.ClearRecords();
    }
};

// Every account parameter that asks for a text: first given a real value through the
// question, then asked again and cancelled. The value, the password, the account caption
// and the changed flag stay as they were.
TEST_F(QueryCancelTest, EveryAccountParameterKeepsItsValue) {
    int asked = 0;
    for (const TAccountParameter& param : AccountParameters()) {
        if (param.Kind == TParamKind::Toggle || param.Kind == TParamKind::Security)
            continue;
        const std::string href(param.Name);
        TNode* node = FindNumber(Workspace->AccountTree, param.Code);
        ASSERT_TRUE(node) << href;
        const std::string typed = param.Kind == TParamKind::Port ? "2525" : "kept@example.nl";
        Ui.QueryAnswers = {typed};
        ClickParam(Workspace->AccountTree, node, href, Workspace->AccountTreeEvents());
        Workspace->SaveAccountTree();
        Shell->AccountTreeChanged = false;
        const std::vector<std::string> before = Texts(Workspace->AccountTree);
        const AccountSettings settingsBefore =
            Workspace->ReadAccountSettings(Workspace->AccountTree.First());
        Ui.ClearRecords();

        Ui.QueryAnswers = {std::nullopt};
        ClickParam(Workspace->AccountTree, node, href, Workspace->AccountTreeEvents());
        EXPECT_EQ(Ui.Queries.size(), 1u) << href;
        EXPECT_EQ(Texts(Workspace->AccountTree), before) << href;
        EXPECT_FALSE(Shell->AccountTreeChanged) << href;
        EXPECT_TRUE(Ui.Popups.empty()) << href;
        const AccountSettings settings =
            Workspace->ReadAccountSettings(Workspace->AccountTree.First());
        EXPECT_EQ(settings.POP3Password, settingsBefore.POP3Password) << href;
        EXPECT_EQ(settings.SMTPPassword, settingsBefore.SMTPPassword) << href;
        ++asked;
    }
    EXPECT_GE(asked, 10); // server, logins, passwords, ports, address, name, reply address...
}

TEST_F(QueryCancelTest, ProjectParametersAndRenameKeepTheirValues) {
    Ui.QueryAnswers = {"Bridge"};
    Workspace->FMAddNewProjectClick();
    ASSERT_EQ(Shell->CurrentProject, 1000);
    Ui.QueryAnswers = {"Steel works", "Regards", "https://example.nl/bridge"};
    for (const char* href : {"ProjectDescription", "ProjectSignature", "ProjURL"}) {
        for (TNode* node : Workspace->ProjectTree.DepthFirst()) {
            if (ReadParam(node->Text(), href))
                ClickParam(Workspace->ProjectTree, node, href, Workspace->ProjectTreeEvents());
        }
    }
    PutFile(Shell->Dirs().Templates + "paper.htm", "<html></html>");
    Ui.OpenFileAnswers = {Shell->Dirs().Templates + "paper.htm"};
    for (TNode* node : Workspace->ProjectTree.DepthFirst()) {
        if (ReadParam(node->Text(), "Stationery"))
            ClickParam(Workspace->ProjectTree, node, "Stationery", Workspace->ProjectTreeEvents());
    }
    ASSERT_EQ(Ui.Queries.size(), 4u);
    ASSERT_EQ(Ui.Choosers.size(), 1u);
    Shell->ProjectTreeChanged = false;
    Shell->AccountTreeChanged = false;
    const std::vector<std::string> projectBefore = Texts(Workspace->ProjectTree);
    const std::vector<std::string> accountBefore = Texts(Workspace->AccountTree);
    Ui.ClearRecords();

    for (const char* href : {"ChangeProjName", "ProjectDescription", "ProjectSignature",
                             "ProjURL"}) {
        for (TNode* node : Workspace->ProjectTree.DepthFirst()) {
            if (!ReadParam(node->Text(), href))
                continue;
            Ui.QueryAnswers = {std::nullopt};
            ClickParam(Workspace->ProjectTree, node, href, Workspace->ProjectTreeEvents());
        }
    }
    // A cancelled file chooser keeps the stationery as well.
    Ui.OpenFileAnswers = {std::nullopt};
    for (TNode* node : Workspace->ProjectTree.DepthFirst()) {
        if (ReadParam(node->Text(), "Stationery"))
            ClickParam(Workspace->ProjectTree, node, "Stationery", Workspace->ProjectTreeEvents());
    }
    EXPECT_EQ(Ui.Choosers.size(), 1u);
    EXPECT_EQ(Ui.Queries.size(), 4u);
    EXPECT_EQ(Texts(Workspace->ProjectTree), projectBefore);
    EXPECT_EQ(Texts(Workspace->AccountTree), accountBefore);
    EXPECT_FALSE(Shell->ProjectTreeChanged);
    EXPECT_FALSE(Shell->AccountTreeChanged);
    EXPECT_EQ(ReadProjectInfo(Store, 1000)->Name, "Bridge");
}

TEST_F(QueryCancelTest, FolderAndProjectCommandsCreateNothing) {
    ShowProject(100000);
    const std::string inbox = Store + "100000/inbox/";
    const std::vector<std::string> projectBefore = Texts(Workspace->ProjectTree);
    Ui.QueryAnswers = {std::nullopt};
    Workspace->PMAddNewFolderClick();
    EXPECT_FALSE(fs::exists(inbox + "600"));
    EXPECT_EQ(Texts(Workspace->ProjectTree), projectBefore);

    Ui.QueryAnswers = {"Invoices"};
    Workspace->PMAddNewFolderClick();
    TNode* folder = FindNumber(Workspace->ProjectTree, 600);
    ASSERT_TRUE(folder);
    Workspace->ProjectTree.Select(folder);
    Ui.QueryAnswers = {std::nullopt};
    Workspace->PMChangeNameClick();
    EXPECT_EQ(SlurpFile(inbox + "600/label.txt"), "Invoices\r\n");

    const int accountNodes = Workspace->AccountTree.Count();
    Ui.QueryAnswers = {std::nullopt};
    Workspace->FMAddNewProjectClick();
    EXPECT_EQ(Workspace->AccountTree.Count(), accountNodes);
    EXPECT_FALSE(fs::exists(Store + "1000"));
}

} // namespace
} // namespace pelmora
