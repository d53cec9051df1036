#include "paramtree/tree_file.h"

#include "shell/atomic_file.h"
#include "shell/scripted_ui.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

const std::string kData = std::string(PELMORA_TEST_DATA) + "/paramtree/";

std::string Slurp(const std::string& path) {
    return ReadWholeFile(path).value_or("<missing>");
}

class TreeFileTest : public testing::Test {
protected:
    void SetUp() override {
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_'); // parameterised test names
        Dir =
            fs::temp_directory_path() / ("pelmora_tree_" + std::to_string(::getpid()) + "_" + name);
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        Path = (Dir / "folders.tree").string();
        Safety.Mode = kPrivateFileMode;
        Safety.WarningCaption = "Warning:";
        Safety.BackupFailedText = "Cannot create backup";
        Safety.CorruptQuestion = "Corrupted! Replace?";
        Safety.RepairFailedText = "Cannot repair";
        Safety.PlayPopped = [this] { Sounds.push_back("popped"); };
        Safety.PlayAttention = [this] { Sounds.push_back("attention"); };
    }
    void TearDown() override { fs::remove_all(Dir); }

    void Put(const std::string& path, const std::string& data) {
        ASSERT_TRUE(WriteFileAtomically(path, data));
    }

    fs::path Dir;
    std::string Path;
    TTreeFileSafety Safety;
    std::vector<std::string> Sounds;
    TScriptedUi Ui;
    TNodeTree Tree;
};

TEST_F(TreeFileTest, RoundTripKeepsEveryByte) {
    std::string original = Slurp(kData + "good.tree");
    ASSERT_TRUE(ParseTreeText(original, Tree).Ok);
    EXPECT_EQ(Tree.TopCount(), 3); // the trailing empty line is an empty node
    EXPECT_EQ(Tree.Top(2)->Text(), "");
    EXPECT_EQ(Tree.First()->Child(0)->Child(0)->Child(0)->Level(), 3);
    EXPECT_EQ(FormatTreeText(Tree), original);

    ASSERT_TRUE(WriteTreeFile(Path, Tree, kPrivateFileMode));
    EXPECT_EQ(Slurp(Path), original);
    struct stat st {};
    ASSERT_EQ(::stat(Path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(TreeFileTest, ReadsAnyLineBreakAndBlankIndents) {
    ASSERT_TRUE(ParseTreeText(Slurp(kData + "mixed_breaks.tree"), Tree).Ok);
    EXPECT_EQ(Tree.TopCount(), 4);
    TNode* here = Tree.Top(3);
    ASSERT_EQ(here->ChildCount(), 1);
    EXPECT_EQ(here->Child(0)->Text(), "tab child");
    EXPECT_EQ(here->Child(0)->Child(0)->Text(), "two blanks");
    // Back up to an ancestor level, then a sibling at level 0.
    ASSERT_TRUE(ParseTreeText("a\r\n\tb\r\n\t\tc\r\n\td\r\ne\r\n", Tree).Ok);
    EXPECT_EQ(Tree.First()->ChildCount(), 2);
    EXPECT_EQ(Tree.Top(1)->Text(), "e");
    // The last line is whole when any line break ends it.
    for (const char* ending : {"a\n\tb\n", "a\r\tb\r", "a\r\n\tb\r"}) {
        ASSERT_TRUE(ParseTreeText(ending, Tree).Ok) << ending;
        EXPECT_EQ(Tree.First()->Child(0)->Text(), "b");
    }
}

struct TBadTree {
    const char* Name;
    std::string Data;
    std::string Error;
    int NodesKept; // the nodes before the bad line
};

class BadTreeTest : public testing::TestWithParam<TBadTree> {};

TEST_P(BadTreeTest, FailsWithReasonKeepingTheLinesBefore) {
    TNodeTree tree;
    auto result = ParseTreeText(GetParam().Data, tree);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.Error, GetParam().Error);
    EXPECT_EQ(tree.Count(), GetParam().NodesKept);
}

const std::string kCut = "Line 2 ends without a line break: the file was cut short";

INSTANTIATE_TEST_SUITE_P(
    Broken, BadTreeTest,
    testing::Values(
        TBadTree{"LevelJump", "a\r\n\tb\r\n\t\t\tc\r\n", "Invalid level (3) for item \"c\"", 2},
        TBadTree{"FirstChildTooDeep", "a\r\n\t\tb\r\n", "Invalid level (2) for item \"b\"", 1},
        TBadTree{"NulByte", std::string("a\r\nb\0c\r\n", 8), "Invalid character in line 2", 1},
        TBadTree{"ZeroFilledTail", std::string("a\r\n\0\0\0\0\r\n", 8),
                 "Invalid character in line 2", 1},
        TBadTree{"CutInTheMiddleOfALine", "a\r\n\t<XID=106><XPWD=sec", kCut, 1},
        TBadTree{"CutAfterTheIndent", "a\r\n\t", kCut, 1},
        TBadTree{"CutAfterTheLevelJump", "a\r\n\t\t\tb", kCut, 1}),
    [](const auto& info) { return info.param.Name; });

TEST_F(TreeFileTest, MissingFileLeavesTreeEmptyWithoutQuestions) {
    Tree.Add(nullptr, "stale");
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Missing);
    EXPECT_TRUE(Tree.Empty());
    EXPECT_TRUE(Ui.Questions.empty());
    EXPECT_FALSE(fs::exists(Path + ".backup"));
}

TEST_F(TreeFileTest, GoodLoadMakesBothCopies) {
    Put(Path, Slurp(kData + "good.tree"));
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Loaded);
    EXPECT_EQ(Tree.TopCount(), 3);
    EXPECT_EQ(Slurp(Path + ".backup"), Slurp(Path));
    EXPECT_EQ(Slurp(Path + ".lw_backup"), Slurp(Path));
    struct stat st {};
    ASSERT_EQ(::stat((Path + ".lw_backup").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(Ui.Questions.empty());
}

TEST_F(TreeFileTest, CopiesMoveOnOnlyAfterWholeReads) {
    const std::string first = Slurp(kData + "good.tree");
    const std::string second = "<XID=001>A\r\n\t<XID=101>Profile\r\n";
    Put(Path, first);
    ASSERT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Loaded);
    Put(Path, second);
    ASSERT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Loaded);
    EXPECT_EQ(Slurp(Path + ".lw_backup"), second);
    EXPECT_EQ(Slurp(Path + ".backup"), first); // the good copy before
    // Loading the same file again keeps the older generation, and leaves the last good copy
    // untouched: it is not written again (a new file would have another inode).
    struct stat before {};
    ASSERT_EQ(::stat((Path + ".lw_backup").c_str(), &before), 0);
    ASSERT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Loaded);
    struct stat after {};
    ASSERT_EQ(::stat((Path + ".lw_backup").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(Slurp(Path + ".lw_backup"), second);
    EXPECT_EQ(Slurp(Path + ".backup"), first);
    EXPECT_TRUE(Ui.Questions.empty());
    EXPECT_TRUE(Sounds.empty());
}

// A damaged file found where two good copies lie: ".backup" an older tree, ".lw_backup" the
// tree read whole at the last start.
struct TDamagedFile {
    const char* Name;
    std::string Data;
};

class DamagedFileTest : public TreeFileTest, public testing::WithParamInterface<TDamagedFile> {
protected:
    void SetUp() override {
        TreeFileTest::SetUp();
        Put(Path + ".backup", Older);
        Put(Path + ".lw_backup", Good);
        Put(Path, GetParam().Data);
    }
    const std::string Older = "<XID=001>A\r\n";
    const std::string Good = Slurp(kData + "good.tree");
};

TEST_P(DamagedFileTest, DeclinedRepairTouchesNoFile) {
    Ui.AskAnswers.push_back({kAskSecond, std::nullopt});
    std::string why;
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety, &why), TTreeLoadOutcome::KeptBroken);
    EXPECT_FALSE(TreeMayBeSaved(TTreeLoadOutcome::KeptBroken));
    EXPECT_FALSE(why.empty());
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, "Corrupted! Replace?");
    EXPECT_EQ(Sounds, std::vector<std::string>{"attention"});
    EXPECT_LT(Tree.Count(), 6); // at most what was read before the bad line
    EXPECT_EQ(Slurp(Path), GetParam().Data);
    EXPECT_EQ(Slurp(Path + ".lw_backup"), Good);
    EXPECT_EQ(Slurp(Path + ".backup"), Older);
    EXPECT_FALSE(fs::exists(Path + ".damaged"));
}

TEST_P(DamagedFileTest, AcceptedRepairRestoresTheLastGoodCopyAndKeepsTheDamagedFile) {
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Repaired);
    EXPECT_EQ(FormatTreeText(Tree), Good);
    EXPECT_EQ(Slurp(Path), Good);
    EXPECT_EQ(Slurp(Path + ".lw_backup"), Good);
    EXPECT_EQ(Slurp(Path + ".backup"), Older);
    if (GetParam().Data.empty())
        EXPECT_FALSE(fs::exists(Path + ".damaged"));
    else
        EXPECT_EQ(Slurp(Path + ".damaged"), GetParam().Data);
    EXPECT_TRUE(Ui.Popups.empty());
}

INSTANTIATE_TEST_SUITE_P(Shapes, DamagedFileTest,
                         testing::Values(TDamagedFile{"CutMidLine",
                                                      Slurp(kData + "truncated.tree")},
                                         TDamagedFile{"ZeroTail", Slurp(kData + "zero_tail.tree")},
                                         TDamagedFile{"Binary", Slurp(kData + "garbage.bin")},
                                         TDamagedFile{"BadLevel", Slurp(kData + "bad_level.tree")},
                                         TDamagedFile{"Empty", ""}),
                         [](const auto& info) { return info.param.Name; });

TEST_F(TreeFileTest, RepairFallsBackToBackupWhenTheLastGoodCopyIsDamaged) {
    const std::string good = Slurp(kData + "good.tree");
    Put(Path + ".backup", good);
    Put(Path + ".lw_backup", Slurp(kData + "truncated.tree"));
    Put(Path, Slurp(kData + "garbage.bin"));
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Repaired);
    EXPECT_EQ(FormatTreeText(Tree), good);
    EXPECT_EQ(Slurp(Path), good);
    EXPECT_EQ(Slurp(Path + ".lw_backup"), good);
    EXPECT_EQ(Slurp(Path + ".backup"), good);
}

TEST_F(TreeFileTest, GarbageWithoutGoodCopyEmptiesTreeAndSaysSo) {
    const std::string garbage = Slurp(kData + "garbage.bin");
    Put(Path, garbage);
    Put(Path + ".lw_backup", Slurp(kData + "zero_tail.tree"));
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    std::string why;
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety, &why), TTreeLoadOutcome::Emptied);
    EXPECT_FALSE(TreeMayBeSaved(TTreeLoadOutcome::Emptied));
    EXPECT_TRUE(Tree.Empty());
    EXPECT_NE(why.find("no safety copy"), std::string::npos) << why;
    ASSERT_EQ(Ui.Popups.size(), 1u);
    EXPECT_EQ(Ui.Popups[0].Request.Text, "Cannot repair");
    EXPECT_FALSE(Ui.Popups[0].Request.Modeless);
    EXPECT_EQ(Sounds, (std::vector<std::string>{"attention", "attention"}));
    EXPECT_EQ(Slurp(Path), garbage);
    EXPECT_FALSE(fs::exists(Path + ".backup"));
}

TEST_F(TreeFileTest, EmptyOrMissingFileIsOnlyAnEmptyTreeWithoutAGoodCopy) {
    Put(Path, "");
    Put(Path + ".lw_backup", "\0");
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Loaded);
    EXPECT_TRUE(Tree.Empty());
    EXPECT_TRUE(Ui.Questions.empty());

    // A missing file whose last good copy remains is offered the copy.
    fs::remove(Path);
    Put(Path + ".lw_backup", Slurp(kData + "good.tree"));
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Repaired);
    EXPECT_EQ(Slurp(Path), Slurp(kData + "good.tree"));
    EXPECT_FALSE(fs::exists(Path + ".damaged"));
    EXPECT_EQ(Ui.Questions.size(), 1u);
}

TEST_F(TreeFileTest, FailedSafetyCopyIsReportedAndLoadingGoesOn) {
    Put(Path, Slurp(kData + "good.tree"));
    fs::create_directory(Path + ".backup"); // a directory cannot be replaced by a file
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Loaded);
    EXPECT_EQ(Tree.TopCount(), 3);
    ASSERT_EQ(Ui.Popups.size(), 1u);
    EXPECT_EQ(Ui.Popups[0].Request.Text, "Cannot create backup");
    EXPECT_EQ(Ui.Popups[0].Request.Caption, "Warning:");
    EXPECT_EQ(Sounds, std::vector<std::string>{"popped"});
}

TEST_F(TreeFileTest, FailedWriteLeavesOldFileAndNoTemporaries) {
    Put(Path, "old\r\n");
    Tree.Add(nullptr, "new");
    fs::permissions(Dir, fs::perms::owner_read | fs::perms::owner_exec);
    std::string error;
    bool written = WriteTreeFile(Path, Tree, kPrivateFileMode, &error);
    fs::permissions(Dir, fs::perms::owner_all);
    if (::geteuid() == 0)
        GTEST_SKIP() << "root ignores directory permissions";
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Slurp(Path), "old\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 1);
}

} // namespace
} // namespace pelmora
