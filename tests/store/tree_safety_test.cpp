// A damaged account or project tree file found at start: whatever the answer to the repair
// question, no account, password or project is lost from the file and its two copies.

#include "paramtree/markup.h"
#include "paramtree/param_events.h"
#include "paramtree/tree_file.h"
#include "store_fixture.h"

#include <set>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

// The ways a file is found damaged, made from the good file.
enum class TDamage { CutMidLine, ZeroTail };

std::string Damaged(const std::string& good, TDamage damage) {
    size_t at = good.size() * 2 / 3;
    if (damage == TDamage::CutMidLine) {
        // Cut inside a line: the lines after it (the last default project among them) are
        // gone and the last line has no line break.
        while (at < good.size() && (good[at] == '\r' || good[at] == '\n' || good[at - 1] == '\r' ||
                                    good[at - 1] == '\n'))
            ++at;
        return good.substr(0, at);
    }
    // A crash after the size was written but before the data: the tail reads as zeros.
    std::string data = good;
    std::fill(data.begin() + static_cast<long>(at), data.end(), '\0');
    return data;
}

struct TCase {
    const char* Name;
    TDamage Damage;
    bool Repair; // the answer to the repair question
};

class TreeSafetyTest : public WorkspaceTest, public testing::WithParamInterface<TCase> {
protected:
    void Restart() {
        Workspace.reset();
        Shell.reset();
        Start();
    }
    void Click(TNodeTree& tree, TNode* node, const std::string& href,
               const TMarkupTreeEvents& events) {
        ASSERT_TRUE(node);
        ClickParam(tree, node, href, events);
    }
    void ShowProject(int project) {
        Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, project));
        Workspace->FolderTreeClick();
    }
    // The start-up steps, keeping what was asked and shown.
    void StartAnswering(bool repair) {
        Ui.AskAnswers.push_back({repair ? kAskFirst : kAskSecond, std::nullopt});
        StartBare();
        Workspace->FormCreateTrees();
        Workspace->FirstActivationShowDefaultProject();
        Shell->StartingUp = false;
    }
    std::set<std::string> StoreEntries() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(Store))
            names.insert(entry.path().filename().string());
        return names;
    }
    // Accounts with their login, password and default project, as the tree holds them.
    std::set<std::string> Accounts() {
        std::set<std::string> accounts;
        for (const AccountSettings& settings : Workspace->AllAccountSettings())
            accounts.insert(std::to_string(settings.AccountNumber) + " " + settings.POP3Login +
                            " " + settings.POP3Password + " " +
                            std::to_string(settings.DefaultProject));
        return accounts;
    }
    void ExpectCopies(const std::string& file, const std::string& lastGood,
                      const std::string& older) {
        EXPECT_EQ(SlurpFile(Tree), file);
        EXPECT_EQ(SlurpFile(Tree + ".lw_backup"), lastGood);
        EXPECT_EQ(SlurpFile(Tree + ".backup"), older);
    }

    std::string Tree;
};

// Two accounts with logins and passwords, read whole once so both copies hold them.
class AccountTreeSafetyTest : public TreeSafetyTest {
protected:
    void SetUp() override {
        TreeSafetyTest::SetUp();
        Start();
        ASSERT_TRUE(Workspace->CreateAccount(false));
        TNodeTree& tree = Workspace->AccountTree;
        for (int i = 0; i < 2; ++i) {
            TNode* account = tree.Top(i);
            const std::string login = NodeNumber(account->Text()) == 1 ? "anna" : "bert";
            Ui.QueryAnswers = {login};
            Click(tree, FindBelow(account, 105), "EditPOP3Login", Workspace->AccountTreeEvents());
            Ui.QueryAnswers = {login + "'s secret"};
            Click(tree, FindBelow(account, 106), "EditPOP3Password",
                  Workspace->AccountTreeEvents());
        }
        ASSERT_TRUE(Workspace->SaveAccountTree());
        Restart();
        Tree = Workspace->AccountTreePath();
        Good = SlurpFile(Tree);
        Expected = Accounts();
        ASSERT_EQ(Expected, (std::set<std::string>{"1 anna anna's secret 100000",
                                                   "2 bert bert's secret 100001"}));
        ExpectCopies(Good, Good, Good);
        Workspace.reset();
        Shell.reset();
        Ui.ClearRecords();
    }
    std::string Good;
    std::set<std::string> Expected;
};

TEST_P(AccountTreeSafetyTest, DamagedAccountTreeNeverReplacesAGoodCopy) {
    const std::string damaged = Damaged(Good, GetParam().Damage);
    PutFile(Tree, damaged);
    const std::set<std::string> entries = StoreEntries();

    StartAnswering(GetParam().Repair);
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(0, 7));

    if (GetParam().Repair) {
        EXPECT_FALSE(Workspace->AccountTreeReadOnly());
        EXPECT_EQ(Accounts(), Expected);
        ExpectCopies(Good, Good, Good);
        EXPECT_EQ(SlurpFile(Tree + ".damaged"), damaged);
        Ui.QueryAnswers = {"anna2"};
        Click(Workspace->AccountTree, FindNumber(Workspace->AccountTree, 105), "EditPOP3Login",
              Workspace->AccountTreeEvents());
        ASSERT_TRUE(Workspace->FormCloseSaveTrees());
        EXPECT_NE(SlurpFile(Tree), Good);
    } else {
        // The tree shows what was read before the damage and says it is read-only.
        EXPECT_TRUE(Workspace->AccountTreeReadOnly());
        EXPECT_NE(Accounts(), Expected);
        EXPECT_TRUE(Ui.PopupShown("read-only", true));
        EXPECT_TRUE(Ui.PopupShown(Tree, true));
        // Nothing in this session writes the tree or adds a project for its mail.
        EXPECT_FALSE(Workspace->CreateAccount(false));
        EXPECT_FALSE(Workspace->NextDefaultProjectNumber());
        EXPECT_FALSE(Workspace->NextProjectNumber());
        // Nor does it delete an account's folders that the file on disk still lists.
        Workspace->AccountTree.Select(Workspace->AccountTree.First());
        Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
        Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
        Workspace->FMDeleteAccountandallFoldersClick();
        EXPECT_EQ(Ui.Questions.size(), 1u) << "nothing asked: the command is refused";
        Ui.AskAnswers.clear();
        Shell->AccountTreeChanged = true;
        EXPECT_FALSE(Workspace->SaveAccountTree());
        const size_t popups = Ui.Popups.size();
        EXPECT_TRUE(Workspace->FormCloseSaveTrees());
        EXPECT_EQ(Ui.Popups.size(), popups); // no "saving failed" at close
        ExpectCopies(damaged, Good, Good);
        EXPECT_EQ(StoreEntries(), entries);
        EXPECT_FALSE(fs::exists(Tree + ".damaged"));
    }

    // The next start: a repair (or the file repaired before) brings every account back.
    Workspace.reset();
    Shell.reset();
    Ui.ClearRecords();
    StartAnswering(true);
    EXPECT_FALSE(Workspace->AccountTreeReadOnly());
    if (GetParam().Repair) {
        EXPECT_TRUE(Ui.Questions.empty());
        EXPECT_EQ(SlurpFile(Tree + ".backup"), Good);
    } else {
        EXPECT_EQ(Accounts(), Expected);
        ExpectCopies(Good, Good, Good);
    }
    EXPECT_EQ(Accounts().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Damage, AccountTreeSafetyTest,
                         testing::Values(TCase{"CutMidLineDeclined", TDamage::CutMidLine, false},
                                         TCase{"CutMidLineRepaired", TDamage::CutMidLine, true},
                                         TCase{"ZeroTailDeclined", TDamage::ZeroTail, false},
                                         TCase{"ZeroTailRepaired", TDamage::ZeroTail, true}),
                         [](const auto& info) { return info.param.Name; });

// The default project's tree with a description, read whole once so both copies hold it.
class ProjectTreeSafetyTest : public TreeSafetyTest {
protected:
    void SetUp() override {
        TreeSafetyTest::SetUp();
        Start();
        ShowProject(100000);
        Ui.QueryAnswers = {"Budget 2027"};
        Click(Workspace->ProjectTree, FindTopLevel(Workspace->ProjectTree, 104),
              "ProjectDescription", Workspace->ProjectTreeEvents());
        ASSERT_TRUE(Workspace->FormCloseSaveTrees());
        Restart();
        Workspace->FirstActivationShowDefaultProject(); // a whole read: copies made
        Tree = Workspace->ProjectTreePath(100000);
        Good = SlurpFile(Tree);
        ASSERT_EQ(Description(), "Budget 2027");
        ExpectCopies(Good, Good, Good);
        Workspace.reset();
        Shell.reset();
        Ui.ClearRecords();
    }
    std::string Description() {
        TNode* node = FindTopLevel(Workspace->ProjectTree, 104);
        return node ? ReadParam(node->Text(), "ProjectDescription").value_or("?") : "?";
    }
    std::string Good;
};

TEST_P(ProjectTreeSafetyTest, DamagedProjectTreeNeverReplacesAGoodCopy) {
    const std::string damaged = Damaged(Good, GetParam().Damage);
    PutFile(Tree, damaged);

    StartAnswering(GetParam().Repair);
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(0, 6));
    EXPECT_EQ(Shell->CurrentProject, 100000);

    if (GetParam().Repair) {
        EXPECT_FALSE(Workspace->ProjectTreeReadOnly(100000));
        EXPECT_EQ(FormatTreeText(Workspace->ProjectTree), Good);
        ExpectCopies(Good, Good, Good);
        EXPECT_EQ(SlurpFile(Tree + ".damaged"), damaged);
    } else {
        EXPECT_TRUE(Workspace->ProjectTreeReadOnly(100000));
        EXPECT_TRUE(Ui.PopupShown("read-only", true));
        EXPECT_TRUE(Ui.PopupShown(Tree, true));
        EXPECT_LT(Workspace->ProjectTree.Count(), 20);
        // A change (an address added by a transfer, a custom folder) is not saved, and no
        // "disk full" message claims it was tried.
        Shell->ProjectTreeChanged = true;
        const size_t popups = Ui.Popups.size();
        EXPECT_FALSE(Workspace->SaveProjectTree(100000));
        Workspace->SaveShownProjectTree();
        EXPECT_TRUE(Workspace->FormCloseSaveTrees());
        EXPECT_EQ(Ui.Popups.size(), popups);
        ExpectCopies(damaged, Good, Good);
        // The account tree is not affected.
        EXPECT_FALSE(Workspace->AccountTreeReadOnly());
    }

    Workspace.reset();
    Shell.reset();
    Ui.ClearRecords();
    StartAnswering(true);
    EXPECT_FALSE(Workspace->ProjectTreeReadOnly(100000));
    EXPECT_EQ(Description(), "Budget 2027");
    ExpectCopies(Good, Good, Good);
}

INSTANTIATE_TEST_SUITE_P(Damage, ProjectTreeSafetyTest,
                         testing::Values(TCase{"CutMidLineDeclined", TDamage::CutMidLine, false},
                                         TCase{"CutMidLineRepaired", TDamage::CutMidLine, true},
                                         TCase{"ZeroTailDeclined", TDamage::ZeroTail, false},
                                         TCase{"ZeroTailRepaired", TDamage::ZeroTail, true}),
                         [](const auto& info) { return info.param.Name; });

TEST_F(WorkspaceTest, MissingProjectTreeWithAGoodCopyIsOfferedTheCopy) {
    Start();
    Workspace->AccountTree.Select(FindNumber(Workspace->AccountTree, 100000));
    Workspace->FolderTreeClick();
    Shell->ProjectTreeChanged = true;
    Workspace->SaveShownProjectTree();
    Workspace->FolderTreeClick(); // a whole read: copies made
    const std::string path = Workspace->ProjectTreePath(100000);
    const std::string good = SlurpFile(path);
    fs::remove(path);
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    Workspace->FolderTreeClick();
    EXPECT_TRUE(Ui.QuestionAsked(Shell->Text(0, 6)));
    EXPECT_EQ(SlurpFile(path), good);
}

} // namespace
} // namespace pelmora
