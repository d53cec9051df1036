#include "shell/shell_state.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "shell/shell_fixture.h"

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TShellFixture;
using testing::WriteFile;

class MailStorageFolderTest : public TShellFixture {
protected:
    void SetUp() override {
        TShellFixture::SetUp();
        Start(*Shell);
        Store = Shell->Dirs().Store;
        WriteFile(Store + "folders.tree", "<XID=1>tree");
        WriteFile(Store + "100000/inbox/_1.eml", "Subject: hi\r\n\r\nbody");
        Target = Dir.Path() + "newstore/";
        fs::create_directories(Target);
        Ui.ClearRecords();
    }

    void AnswerYes() { Ui.AskAnswers.push_back({kAskFirst, std::nullopt}); }
    void AnswerNo() { Ui.AskAnswers.push_back({kAskSecond, std::nullopt}); }

    std::string Store;
    std::string Target;
};

TEST_F(MailStorageFolderTest, NoToTheWarningDoesNothing) {
    AnswerNo();
    Shell->MenuMailStorageFolderClick();
    EXPECT_TRUE(Ui.Choosers.empty());
    EXPECT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(1, 32));
    EXPECT_EQ(Ui.SoundsPlayed, std::vector<std::string>{Home + "Sounds/attention.wav"});
}

TEST_F(MailStorageFolderTest, CancelledChooserSaysNothingChanged) {
    AnswerYes();
    Ui.FolderAnswers.push_back(std::nullopt);
    Shell->MenuMailStorageFolderClick();
    ASSERT_EQ(Ui.Popups.size(), 1u);
    EXPECT_EQ(Ui.Popups[0].Request.Text, "Nothing to do, no changes were made...");
    EXPECT_EQ(Ui.Popups[0].Request.Caption, "Information");
    EXPECT_EQ(Ui.Popups[0].Request.DisplayMs, 8000);
    EXPECT_TRUE(Ui.Popups[0].Request.Modeless);
    EXPECT_EQ(Shell->Dirs().Store, Store);
}

TEST_F(MailStorageFolderTest, SameOrMissingFolderStopsSilently) {
    for (const std::string& answer :
         {Store, Store.substr(0, Store.size() - 1), Dir.Path() + "does-not-exist"}) {
        AnswerYes();
        Ui.FolderAnswers.push_back(answer);
        Shell->MenuMailStorageFolderClick();
        EXPECT_TRUE(Ui.Popups.empty()) << answer;
        EXPECT_EQ(Ui.Questions.size(), 1u) << "no copy question";
        EXPECT_EQ(Shell->Dirs().Store, Store);
        Ui.ClearRecords();
    }
    EXPECT_FALSE(Shell->Registry().MailStore());
}

TEST_F(MailStorageFolderTest, NonEmptyFolderAsksAgainThenMovesTheStore) {
    const std::string full = Dir.Path() + "full/";
    WriteFile(full + "data.bin", "x");
    fs::create_directories(Target + "empty/sub");
    WriteFile(Target + "empty.txt", "");
    fs::create_directories(Target + "100000"); // an empty directory gives way
    AnswerYes();
    Ui.FolderAnswers.push_back(full);
    Ui.FolderAnswers.push_back(" " + Target + " ");
    AnswerYes();

    Shell->MenuMailStorageFolderClick();

    ASSERT_EQ(Ui.Choosers.size(), 2u);
    EXPECT_EQ(Ui.Choosers[0].Caption, "Select the Destination Folder");
    EXPECT_EQ(Ui.Choosers[0].StartDir, Store);
    ASSERT_EQ(Ui.Popups.size(), 2u);
    EXPECT_EQ(Ui.Popups[0].Request.Text,
              "Please select and open an EMPTY directory! Please try again...");
    EXPECT_EQ(Ui.Popups[0].Request.Caption, "Warning:");
    EXPECT_EQ(Ui.Popups[0].Request.DisplayMs, 12000);
    EXPECT_FALSE(Ui.Popups[0].Request.Modeless);
    EXPECT_EQ(Ui.Popups[1].Request.Text, Shell->Text(1, 34));
    EXPECT_FALSE(Ui.Popups[1].Request.Modeless);

    EXPECT_EQ(Shell->Dirs().Store, Target);
    EXPECT_EQ(TRegistry(Home).MailStore(), Target);
    EXPECT_EQ(ReadFile(Target + "100000/inbox/_1.eml"), "Subject: hi\r\n\r\nbody");
    EXPECT_EQ(ReadFile(Target + "folders.tree"), "<XID=1>tree");
    EXPECT_TRUE(fs::is_empty(Store));
    EXPECT_TRUE(fs::is_directory(Target + "empty/sub"));
}

TEST_F(MailStorageFolderTest, WithoutCopyingOnlyTheLocationChanges) {
    AnswerYes();
    Ui.FolderAnswers.push_back(Target);
    AnswerNo();
    Shell->MenuMailStorageFolderClick();
    EXPECT_EQ(Shell->Dirs().Store, Target);
    EXPECT_TRUE(fs::exists(Store + "folders.tree"));
    EXPECT_TRUE(fs::is_empty(Target));
    // The next start uses the new store.
    auto next = MakeShell();
    ASSERT_TRUE(next->FormCreate().Ok);
    EXPECT_EQ(next->Dirs().Store, Target);
}

TEST_F(MailStorageFolderTest, LowDiskAndInsideTheStoreAskAgain) {
    const std::string inside = Store + "sub/";
    fs::create_directories(inside);
    AnswerYes();
    Ui.FolderAnswers.push_back(inside);
    Ui.FolderAnswers.push_back(Target);
    Ui.FolderAnswers.push_back(std::nullopt);
    FreeBytes = 1000;
    Shell->MenuMailStorageFolderClick();
    ASSERT_EQ(Ui.Popups.size(), 3u);
    EXPECT_EQ(Ui.Popups[0].Request.Text, Shell->Text(1, 35));
    EXPECT_EQ(Ui.Popups[1].Request.Text, Shell->Text(1, 37) + " (<20MB)");
    EXPECT_EQ(Ui.Popups[2].Request.Text, Shell->Text(0, 2));
    EXPECT_EQ(Shell->Dirs().Store, Store);
}

TEST_F(MailStorageFolderTest, FailedMoveLeavesTheStoreWhole) {
    // A non-empty directory of the same name in the target blocks the last entry, after the
    // others have moved.
    WriteFile(Store + "a.dat", "a");
    WriteFile(Store + "z.dat/inner", "z");
    WriteFile(Target + "z.dat/other/file.txt", "keep");
    AnswerYes();
    Ui.FolderAnswers.push_back(Target);
    AnswerYes();
    Shell->MenuMailStorageFolderClick();
    ASSERT_FALSE(Ui.Popups.empty());
    EXPECT_EQ(Ui.Popups.back().Request.Text, "Error! Nothing to do, no changes were made...");
    EXPECT_EQ(Shell->Dirs().Store, Store);
    EXPECT_FALSE(Shell->Registry().MailStore());
    for (const char* name : {"folders.tree", "100000/inbox/_1.eml", "a.dat", "z.dat/inner"}) {
        EXPECT_TRUE(fs::exists(Store + name)) << name;
        EXPECT_FALSE(fs::exists(Target + name)) << name;
    }
    EXPECT_EQ(ReadFile(Target + "z.dat/other/file.txt"), "keep");
}

using TempStorageFolderTest = TShellFixture;

TEST_F(TempStorageFolderTest, DialogLoop) {
    Start(*Shell);
    const std::string temp = Shell->Dirs().Temp;
    Ui.ClearRecords();

    Ui.FolderAnswers.push_back(std::nullopt);
    Shell->MenuTempStorageFolderClick();
    EXPECT_TRUE(Ui.Popups.empty()) << "cancelled silently";
    EXPECT_TRUE(Ui.Questions.empty());

    Ui.FolderAnswers.push_back(Shell->Dirs().TempRoot);
    Shell->MenuTempStorageFolderClick();
    ASSERT_EQ(Ui.Popups.size(), 1u);
    EXPECT_EQ(Ui.Popups[0].Request.Text, Shell->Text(0, 2));
    EXPECT_EQ(Ui.Popups[0].Request.Caption, "Information");
    Ui.ClearRecords();

    const std::string full = Dir.Path() + "full/";
    WriteFile(full + "f", "x");
    const std::string target = Dir.Path() + "newtemp/";
    fs::create_directories(target);
    Ui.FolderAnswers.push_back(full);
    Ui.FolderAnswers.push_back(target);
    Ui.FolderAnswers.push_back(target);
    FreeBytes = 5;
    Ui.FolderAnswers.push_back(std::nullopt);
    Shell->MenuTempStorageFolderClick();
    ASSERT_EQ(Ui.Popups.size(), 3u);
    EXPECT_EQ(Ui.Popups[0].Request.Text, Shell->Text(1, 35));
    EXPECT_EQ(Ui.Popups[1].Request.Text, Shell->Text(1, 36) + " (<20MB)");
    EXPECT_EQ(Ui.Popups[2].Request.Text, Shell->Text(1, 36) + " (<20MB)");
    EXPECT_EQ(Shell->Dirs().Temp, temp);

    FreeBytes = std::nullopt; // unknown free space does not block
    Ui.ClearRecords();
    Ui.FolderAnswers.push_back(target);
    Shell->MenuTempStorageFolderClick();
    EXPECT_TRUE(Ui.Popups.empty());
    EXPECT_EQ(Shell->Dirs().TempRoot, target);
    EXPECT_EQ(Shell->Dirs().Temp, target + PrivateTempName() + "/");
    EXPECT_TRUE(fs::is_directory(Shell->Dirs().Temp));
    EXPECT_EQ(TRegistry(Home).TempDir(), target);
}

} // namespace
} // namespace pelmora
