#include "paramtree/markup.h"
#include "paramtree/param_events.h"
#include "store/project_info.h"
#include "store_fixture.h"

namespace pelmora {
namespace {

class ParamClickTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
    }
    // Clicks a parameter of the account tree the way the view does.
    void ClickAccount(int code, const std::string& href) {
        TNode* node = FindNumber(Workspace->AccountTree, code);
        ASSERT_TRUE(node) << code;
        ClickParam(Workspace->AccountTree, node, href, Workspace->AccountTreeEvents());
    }
    std::string AccountValue(int code, const std::string& href) {
        return ReadParam(FindNumber(Workspace->AccountTree, code)->Text(), href).value_or("?");
    }
    void ShowProject(int project) {
        Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, project));
        Workspace->FolderTreeClick();
        Ui.ClearRecords();
    }
    std::vector<TParamEditorRequest> ClickProject(int code, const std::string& href) {
        TNode* node = FindTopLevel(Workspace->ProjectTree, code);
        if (!node)
            node = FindNumber(Workspace->ProjectTree, code);
        return ClickParam(Workspace->ProjectTree, node, href, Workspace->ProjectTreeEvents());
    }
    std::string ProjectValue(int code, const std::string& href) {
        return ReadParam(FindNumber(Workspace->ProjectTree, code)->Text(), href).value_or("?");
    }
};

TEST_F(ParamClickTest, TogglesFlipYesAndNo) {
    struct TToggle {
        int Code;
        const char* Href;
        const char* First;
    };
    for (const TToggle& toggle :
         {TToggle{103, "ScheduleMail", "No"}, TToggle{109, "LeaveMailOnServer", "Yes"},
          TToggle{110, "HonourReceipts", "No"}, TToggle{107, "POPBeforeSend", "Yes"}}) {
        Shell->AccountTreeChanged = false;
        ClickAccount(toggle.Code, toggle.Href);
        EXPECT_EQ(AccountValue(toggle.Code, toggle.Href), toggle.First) << toggle.Href;
        EXPECT_TRUE(Shell->AccountTreeChanged);
        ClickAccount(toggle.Code, toggle.Href);
        EXPECT_NE(AccountValue(toggle.Code, toggle.Href), toggle.First) << toggle.Href;
    }
    EXPECT_TRUE(Ui.Queries.empty());
}

TEST_F(ParamClickTest, TextQueriesStoreEscapedAnswers) {
    Ui.QueryAnswers = {"pop.example.nl", "", "a<b>&c"};
    ClickAccount(104, "EditPOP3");
    ASSERT_EQ(Ui.Queries.size(), 1u);
    EXPECT_EQ(Ui.Queries[0].Caption, "POP3 server:");
    EXPECT_EQ(Ui.Queries[0].Initial, "-not set-");
    EXPECT_EQ(AccountValue(104, "EditPOP3"), "pop.example.nl");
    ClickAccount(104, "EditPOP3");
    EXPECT_EQ(AccountValue(104, "EditPOP3"), "-not set-");
    ClickAccount(105, "EditPOP3Login");
    EXPECT_EQ(AccountValue(105, "EditPOP3Login"), "a&lt;b&gt;&amp;c");
    EXPECT_EQ(Workspace->ReadAccountSettings(Workspace->AccountTree.First()).POP3Login, "a<b>&c");
}

TEST_F(ParamClickTest, PasswordChangedTwiceLeavesOneMarker) {
    Ui.QueryAnswers = {"first secret", "second>secret"};
    ClickAccount(106, "EditPOP3Password");
    EXPECT_EQ(Ui.Queries[0].Initial, "0");
    EXPECT_TRUE(Ui.Queries[0].Password);
    ClickAccount(106, "EditPOP3Password");
    EXPECT_EQ(Ui.Queries[1].Initial, "first secret");
    const std::string text = FindNumber(Workspace->AccountTree, 106)->Text();
    EXPECT_EQ(text.find("<XPWD="), text.rfind("<XPWD="));
    EXPECT_EQ(AccountValue(106, "EditPOP3Password"), "*hidden*");
    EXPECT_EQ(Workspace->ReadAccountSettings(Workspace->AccountTree.First()).POP3Password,
              "second>secret");
    EXPECT_TRUE(Shell->AccountTreeChanged);
}

TEST_F(ParamClickTest, InvalidAddressIsKeptButCaptionUnchanged) {
    const std::string caption = Workspace->AccountTree.First()->Text();
    Ui.QueryAnswers = {"no-at-sign.nl"};
    ClickAccount(202, "EditAddress");
    EXPECT_EQ(AccountValue(202, "EditAddress"), "no-at-sign.nl");
    EXPECT_EQ(Workspace->AccountTree.First()->Text(), caption);
    ASSERT_TRUE(Ui.LastPopup());
    EXPECT_EQ(Ui.LastPopup()->Request.Text, "no-at-sign.nl is NOT a valid e-mail address!");
    EXPECT_TRUE(Ui.LastPopup()->Request.Modeless);
    EXPECT_EQ(Sounds(), std::vector<std::string>{"popped"});
}

TEST_F(ParamClickTest, ValidAddressAndNameRebuildTheCaption) {
    int refreshes = 0;
    Workspace->Hooks.RefreshCounts = [&refreshes] { ++refreshes; };
    Ui.QueryAnswers = {"jan@example.nl", ""};
    ClickAccount(202, "EditAddress");
    EXPECT_EQ(Workspace->AccountTree.First()->Text(),
              "<XID=001><IMG src=\"idx:0\"> <b><font color=\"clNavy\">Default Account</font></b> "
              "<font color=\"clBlack\">(jan@example.nl)</font> (0/0)");
    ClickAccount(203, "EditDispName"); // empty answer: "Default Account"
    EXPECT_EQ(AccountValue(203, "EditDispName"), "Default Account");
    Ui.QueryAnswers = {"Jan & Co"};
    ClickAccount(203, "EditDispName");
    EXPECT_EQ(Workspace->ReadAccountSettings(Workspace->AccountTree.First()).AccountName,
              "Jan & Co (jan@example.nl)");
    EXPECT_EQ(refreshes, 3);
}

TEST_F(ParamClickTest, ReplyToMustBeAnAddress) {
    Ui.QueryAnswers = {"nonsense", "reply@example.nl", ""};
    ClickAccount(206, "ReplyTo");
    EXPECT_EQ(AccountValue(206, "ReplyTo"), "-not set-");
    EXPECT_TRUE(Ui.PopupShown("nonsense is NOT a valid e-mail address!"));
    ClickAccount(206, "ReplyTo");
    EXPECT_EQ(AccountValue(206, "ReplyTo"), "reply@example.nl");
    Ui.ClearRecords();
    ClickAccount(206, "ReplyTo");
    EXPECT_EQ(AccountValue(206, "ReplyTo"), "-not set-");
    EXPECT_TRUE(Ui.Popups.empty()); // clearing it is no mistake
}

TEST_F(ParamClickTest, PortsAndSecurity) {
    Ui.QueryAnswers = {"995", "port 25", ""};
    ClickAccount(kNodePOP3Port, "POP3Port");
    EXPECT_EQ(AccountValue(kNodePOP3Port, "POP3Port"), "995");
    ClickAccount(kNodePOP3Port, "POP3Port");
    EXPECT_EQ(AccountValue(kNodePOP3Port, "POP3Port"), "995");
    EXPECT_TRUE(Ui.PopupShown("NOT a valid port", true));
    ClickAccount(kNodePOP3Port, "POP3Port");
    EXPECT_EQ(AccountValue(kNodePOP3Port, "POP3Port"), "-not set-");

    TNode* node = FindNumber(Workspace->AccountTree, kNodeSMTPSecurity);
    auto requests =
        ClickParam(Workspace->AccountTree, node, "SMTPSecurity", Workspace->AccountTreeEvents());
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Kind, TParamEditorKind::List);
    EXPECT_EQ(requests[0].Entries, (std::vector<std::string>{"None", "STARTTLS", "SSL/TLS"}));
    EXPECT_EQ(requests[0].SelectedEntry, 0);
    Shell->AccountTreeChanged = false;
    ASSERT_TRUE(CommitEditorText(Workspace->AccountTree, node, "SMTPSecurity", "SSL/TLS",
                                 Workspace->AccountTreeEvents()));
    EXPECT_TRUE(Shell->AccountTreeChanged);
    EXPECT_EQ(Workspace->ReadAccountSettings(node).SMTPSecurity, TMailSecurity::SslTls);
}

TEST_F(ParamClickTest, DefaultProjectCannotBeRenamed) {
    ShowProject(100000);
    Ui.QueryAnswers = {"Never"};
    ClickProject(kNodeProjectName, "ChangeProjName");
    EXPECT_TRUE(Ui.Queries.empty());
    EXPECT_EQ(ProjectValue(kNodeProjectName, "ChangeProjName"), "Default Project");
    EXPECT_TRUE(Ui.PopupShown("\r\n\r\n" + Shell->Text(1, 328)));
    EXPECT_EQ(Sounds(), std::vector<std::string>{"popped"});
}

TEST_F(ParamClickTest, UserProjectRenameUpdatesBothTreesAndInfo) {
    Ui.QueryAnswers = {"Bridge"};
    Workspace->FMAddNewProjectClick();
    ASSERT_EQ(Shell->CurrentProject, 1000);
    Ui.QueryAnswers = {"Bridge <North>", ""};
    ClickProject(kNodeProjectName, "ChangeProjName");
    EXPECT_EQ(Ui.Queries.back().Initial, "Bridge");
    EXPECT_EQ(ProjectValue(kNodeProjectName, "ChangeProjName"), "Bridge &lt;North&gt;");
    EXPECT_EQ(FindNumber(Workspace->AccountTree, 1000)->Text(),
              "<XID=1000><IMG src=\"idx:3\"> <font color=\"#808080\"><b>Bridge &lt;North&gt;</b>"
              "</font> (0/0)");
    EXPECT_EQ(ReadProjectInfo(Store, 1000)->Name, "Bridge <North>");
    EXPECT_TRUE(Shell->ProjectTreeChanged);
    EXPECT_TRUE(Shell->AccountTreeChanged);
    // An empty answer keeps the name in both trees.
    ClickProject(kNodeProjectName, "ChangeProjName");
    EXPECT_EQ(ProjectValue(kNodeProjectName, "ChangeProjName"), "Bridge &lt;North&gt;");
}

TEST_F(ParamClickTest, ProjectParameters) {
    ShowProject(100000);
    ClickProject(kNodeRequestReceipts, "RequestReceipts");
    EXPECT_EQ(ProjectValue(kNodeRequestReceipts, "RequestReceipts"), "Yes");
    ClickProject(kNodeRequestReceipts, "RequestReceipts");
    EXPECT_EQ(ProjectValue(kNodeRequestReceipts, "RequestReceipts"), "No");

    Ui.QueryAnswers = {"Works & more", ""};
    ClickProject(kNodeProjectDescription, "ProjectDescription");
    EXPECT_EQ(Ui.Queries.back().Caption, "Project Description / Note");
    EXPECT_EQ(ProjectValue(kNodeProjectDescription, "ProjectDescription"), "Works &amp; more");
    ClickProject(kNodeProjectDescription, "ProjectDescription");
    EXPECT_EQ(ProjectValue(kNodeProjectDescription, "ProjectDescription"), "-not set-");

    PutFile(Home.string() + "/Templates/paper.htm", "<html></html>");
    Ui.OpenFileAnswers = {Home.string() + "/Templates/paper.htm",
                          Home.string() + "/Templates/gone.htm"};
    ClickProject(kNodeStationery, "Stationery");
    EXPECT_EQ(ProjectValue(kNodeStationery, "Stationery"), Home.string() + "/Templates/paper.htm");
    EXPECT_EQ(Ui.Choosers.back().StartDir, Shell->Dirs().Templates);
    ClickProject(kNodeStationery, "Stationery");
    EXPECT_EQ(ProjectValue(kNodeStationery, "Stationery"), "-not set-");

    auto requests = ClickProject(kNodeTrackingStyle, "TrackingNumberStyle");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Entries,
              (std::vector<std::string>{"Date-Based", "Incremental", "Random"}));
}

TEST_F(ParamClickTest, AdministratorMenuListsTheAccounts) {
    ASSERT_TRUE(Workspace->CreateAccount(false));
    ShowProject(100000);
    auto requests = ClickProject(kNodeProjectAdmin, "changeprojectadmin");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Kind, TParamEditorKind::Menu);
    EXPECT_EQ(requests[0].Entries,
              (std::vector<std::string>{"-not set- (-not set-)", "Default Account (-not set-)"}));
    TNode* node = FindTopLevel(Workspace->ProjectTree, kNodeProjectAdmin);
    Shell->ProjectTreeChanged = false;
    ASSERT_TRUE(CommitMenuChoice(Workspace->ProjectTree, node, "changeprojectadmin",
                                 requests[0].Entries[1], Workspace->ProjectTreeEvents()));
    EXPECT_EQ(ProjectValue(kNodeProjectAdmin, "changeprojectadmin"), "Default Account (-not set-)");
    EXPECT_TRUE(Shell->ProjectTreeChanged);
}

} // namespace
} // namespace pelmora
