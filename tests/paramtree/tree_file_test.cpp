#include "paramtree/tree_file.h"

#include "shell/atomic_file.h"
#include "shell/scripted_ui.h"

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
        Dir = fs::temp_directory_path() /
              ("pelmora_tree_" + std::to_string(::getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
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
}

struct TBadTree {
    const char* Name;
    std::string Data;
    std::string Error;
};

class BadTreeTest : public testing::TestWithParam<TBadTree> {};

TEST_P(BadTreeTest, FailsWithReason) {
    TNodeTree tree;
    auto result = ParseTreeText(GetParam().Data, tree);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.Error, GetParam().Error);
}

INSTANTIATE_TEST_SUITE_P(Broken, BadTreeTest,
                         testing::Values(TBadTree{"LevelJump", "a\r\n\tb\r\n\t\t\tc\r\n",
                                                  "Invalid level (3) for item \"c\""},
                                         TBadTree{"FirstChildTooDeep", "a\r\n\t\tb\r\n",
                                                  "Invalid level (2) for item \"b\""},
                                         TBadTree{"NulByte", std::string("a\r\nb\0c\r\n", 8),
                                                  "Invalid character in line 2"}),
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

TEST_F(TreeFileTest, CorruptFileIsRepairedFromLastGoodCopyAfterYes) {
    Put(Path + ".lw_backup", Slurp(kData + "good.tree"));
    Put(Path, Slurp(kData + "bad_level.tree"));
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Repaired);
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, "Corrupted! Replace?");
    EXPECT_EQ(Ui.Questions[0].Caption, "Corrupted! Replace?");
    EXPECT_EQ(Sounds, std::vector<std::string>{"attention"});
    EXPECT_EQ(Slurp(Path), Slurp(kData + "good.tree"));
    EXPECT_EQ(Slurp(Path + ".backup"), Slurp(kData + "bad_level.tree"));
    EXPECT_EQ(Tree.TopCount(), 3);
}

TEST_F(TreeFileTest, CorruptFileKeptWhenRepairDeclined) {
    Put(Path + ".lw_backup", Slurp(kData + "good.tree"));
    Put(Path, Slurp(kData + "bad_level.tree"));
    Ui.AskAnswers.push_back({kAskSecond, std::nullopt});
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::KeptBroken);
    EXPECT_EQ(Tree.Count(), 2); // what was read before the bad line
    EXPECT_EQ(Slurp(Path), Slurp(kData + "bad_level.tree"));
    EXPECT_EQ(Slurp(Path + ".lw_backup"), Slurp(kData + "good.tree"));
}

TEST_F(TreeFileTest, GarbageWithoutGoodCopyEmptiesTreeAndSaysSo) {
    Put(Path, Slurp(kData + "garbage.bin"));
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Emptied);
    EXPECT_TRUE(Tree.Empty());
    ASSERT_EQ(Ui.Popups.size(), 1u);
    EXPECT_EQ(Ui.Popups[0].Request.Text, "Cannot repair");
    EXPECT_FALSE(Ui.Popups[0].Request.Modeless);
    EXPECT_EQ(Sounds, (std::vector<std::string>{"attention", "attention"}));
}

TEST_F(TreeFileTest, EmptyFileDoesNotSilentlyReplaceTheLastGoodCopy) {
    Put(Path + ".lw_backup", Slurp(kData + "good.tree"));
    Put(Path, "");
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Repaired);
    EXPECT_EQ(Tree.TopCount(), 3);

    // Without a good copy an empty file is simply an empty tree.
    fs::remove(Path + ".lw_backup");
    Put(Path, "");
    EXPECT_EQ(LoadTreeFileSafely(Path, Tree, Ui, Safety), TTreeLoadOutcome::Loaded);
    EXPECT_TRUE(Tree.Empty());
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
