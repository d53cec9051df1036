#include "processing/filter_form.h"

#include "processing/filter_rules.h"
#include "processing_fixture.h"
#include "store/custom_folders.h"
#include "store/store_layout.h"

#include <filesystem>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

const std::string kGap(84, ' ');

// Account 1 with its default project 100000, then the user projects 1000 and 1001; project
// 1001 has the custom folders 600 and 601, and 603 beyond a gap.
class FilterFormTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        TNode* account = Workspace->AccountTree.First();
        Workspace->AccountTree.Add(account, ProjectNodeText(1000, "Old", "#251080"));
        Workspace->AccountTree.Add(account, ProjectNodeText(1001, "Work", "#251080"));
        for (int project : {1000, 1001})
            EnsureProjectDirectories(Store, project);
        for (auto [code, name] : {std::pair{600, "Orders"}, {601, "Bills"}, {603, "Hidden"}}) {
            const std::string dir = FolderPath(Store, 1001, code);
            fs::create_directories(dir);
            ASSERT_TRUE(WriteFolderLabel(dir, name));
        }
        Form = OpenFilterForm(*Workspace, account);
        Ui.ClearRecords();
    }
    TFilterForm Form;
};

TEST_F(FilterFormTest, TargetsTitleAndOptions) {
    const std::string acc = "Default Account>";
    EXPECT_EQ(Form.Targets,
              (std::vector<std::string>{
                  acc + "Default Project>Received Messages" + kGap + "<PXID=100000><FXID=111>",
                  acc + "Default Project>Removed Items" + kGap + "<PXID=100000><FXID=116>",
                  acc + "Default Project>Drafts" + kGap + "<PXID=100000><FXID=117>",
                  acc + "Old>Received Messages" + kGap + "<PXID=1000><FXID=111>",
                  acc + "Old>Removed Items" + kGap + "<PXID=1000><FXID=116>",
                  acc + "Old>Drafts" + kGap + "<PXID=1000><FXID=117>",
                  acc + "Work>Received Messages" + kGap + "<PXID=1001><FXID=111>",
                  acc + "Work>Received Messages>Orders" + kGap + "<PXID=1001><FXID=600>",
                  acc + "Work>Received Messages>Bills" + kGap + "<PXID=1001><FXID=601>",
                  acc + "Work>Removed Items" + kGap + "<PXID=1001><FXID=116>",
                  acc + "Work>Drafts" + kGap + "<PXID=1001><FXID=117>",
              }));
    EXPECT_EQ(Form.Options.size(), 4u);
    EXPECT_EQ(FilterFormTitle(Form, Shell->Texts()),
              "Pelmora v.3.0.5 - Define Filter Rules for this account - DEFAULT ACCOUNT");
    EXPECT_TRUE(Form.Rules.empty());
}

TEST_F(FilterFormTest, SaveOpenMoveDeleteRoundTrip) {
    // Refusals first: no name, no match text.
    Form.Modified = true;
    EXPECT_FALSE(FilterFormSave(Form, Ui, Shell->Texts()));
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(1, 65)));
    Form.Name = "Bills";
    EXPECT_FALSE(FilterFormSave(Form, Ui, Shell->Texts()));
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(1, 62)));
    EXPECT_EQ(Ui.Beeps, 2);
    EXPECT_FALSE(fs::exists(Form.ListPath));

    Form.Match = "  Invoice From ACME ";
    Form.Option = 1;
    Form.SelectedTarget = 8; // Work > Bills
    ASSERT_TRUE(FilterFormSave(Form, Ui, Shell->Texts()));
    EXPECT_EQ(SlurpFile(Books + "1_Bills.flt"),
              "[DEST]\r\nPXID=1001\r\nFXID=601\r\n\r\n[QUERY]\r\nOPTION=1\r\n"
              "MATCH=invoice from acme\r\nSTOPPROC=0\r\n");

    // A rule for project 1000 opens on project 1000's target, not on 100000's.
    FilterFormAdd(Form, Ui, Shell->Texts());
    Form.Name = "Old";
    Form.Match = "old";
    Form.SelectedTarget = 4; // Old > Removed Items
    Form.Modified = true;
    ASSERT_TRUE(FilterFormSave(Form, Ui, Shell->Texts()));
    EXPECT_EQ(SlurpFile(Form.ListPath), "Bills\r\nOld\r\n");

    FilterFormSelectRule(Form, 1, Ui, Shell->Texts());
    EXPECT_EQ(Form.SelectedTarget, 4);
    EXPECT_TRUE(Form.ExistingRule);
    EXPECT_FALSE(Form.NameEnabled);
    FilterFormSelectRule(Form, 0, Ui, Shell->Texts());
    EXPECT_EQ(Form.SelectedTarget, 8);
    EXPECT_EQ(Form.Match, "invoice from acme");
    EXPECT_EQ(Form.Option, 1);

    // A rule whose folder is gone is reported and shows the first target.
    ASSERT_TRUE(WriteFilterRule(Books + "1_Old.flt", {1001, 700, 0, "x", false}));
    FilterFormSelectRule(Form, 1, Ui, Shell->Texts());
    EXPECT_EQ(Form.SelectedTarget, 0);
    EXPECT_TRUE(Ui.PopupShown(Shell->Text(1, 42)));

    // Moving changes the list file only when the window closes.
    FilterFormMove(Form, -1, Ui);
    EXPECT_EQ(Form.Rules, (std::vector<std::string>{"Old", "Bills"}));
    EXPECT_EQ(SlurpFile(Form.ListPath), "Bills\r\nOld\r\n");
    FilterFormMove(Form, -1, Ui);
    EXPECT_EQ(Ui.Beeps, 4);
    FilterFormClose(Form, Ui, Shell->Texts());
    EXPECT_EQ(SlurpFile(Form.ListPath), "Old\r\nBills\r\n");

    // Deleting the last rules deletes their files and the list.
    FilterFormDelete(Form, Ui);
    FilterFormDelete(Form, Ui);
    EXPECT_TRUE(Form.Rules.empty());
    EXPECT_FALSE(fs::exists(Form.ListPath));
    EXPECT_FALSE(fs::exists(Books + "1_Old.flt"));
    EXPECT_FALSE(fs::exists(Books + "1_Bills.flt"));
    FilterFormDelete(Form, Ui);
    EXPECT_EQ(Ui.Beeps, 5);
}

TEST_F(FilterFormTest, UnsavedChangesAreOfferedBeforeLeaving) {
    Form.Name = "Kept";
    Form.Match = "kept";
    Form.Modified = true;
    Ui.AskAnswers = {{kAskSecond, std::nullopt}};
    FilterFormAdd(Form, Ui, Shell->Texts());
    EXPECT_TRUE(Ui.QuestionAsked(Shell->Text(1, 63)));
    EXPECT_FALSE(fs::exists(Books + "1_Kept.flt"));

    Form.Name = "Kept";
    Form.Match = "kept";
    Form.Modified = true;
    Ui.AskAnswers = {{kAskFirst, std::nullopt}};
    FilterFormClose(Form, Ui, Shell->Texts());
    EXPECT_TRUE(fs::exists(Books + "1_Kept.flt"));
    EXPECT_EQ(SlurpFile(Form.ListPath), "Kept\r\n");
}

} // namespace
} // namespace pelmora
