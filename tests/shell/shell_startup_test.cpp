#include "shell/shell_state.h"

#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "shell/shell_fixture.h"

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TShellFixture;
using testing::WriteFile;

using ShellStartTest = TShellFixture;

TEST_F(ShellStartTest, FirstStartCreatesTheDirectoriesAndState) {
    const TCreateResult result = Shell->FormCreate();
    ASSERT_TRUE(result.Ok);
    for (const char* sub :
         {"Projects", "Temp", "AddressBooks", "Templates", "Projects/Backups", "Sounds", "Skin"}) {
        EXPECT_TRUE(fs::is_directory(Home + sub)) << sub;
    }
    EXPECT_EQ(Shell->Dirs().Store, Home + "Projects/");
    EXPECT_TRUE(Shell->StartingUp);
    EXPECT_TRUE(Shell->FirstActivation);
    EXPECT_EQ(Shell->CurrentProject, -1);
    ASSERT_EQ(Shell->SessionLog().Items().size(), 1u);
    EXPECT_TRUE(std::regex_match(Shell->SessionLog().Items()[0],
                                 std::regex(R"(\d\d-\d\d-\d{4}, \d\d:\d\d\.\d\d : -not set-)")))
        << Shell->SessionLog().Items()[0];
    EXPECT_EQ(Ui.SoundsPlayed, std::vector<std::string>{Home + "Sounds/click.wav"});
    EXPECT_EQ(Shell->MenuCaption("MenuActivepickup"), "Auto Retrieve+Send mail every 30 minutes");
    EXPECT_FALSE(Shell->CollectTimer().Enabled);
    EXPECT_EQ(Shell->CollectTimer().IntervalMs, 1800000);
}

TEST_F(ShellStartTest, MissingClickSoundSwitchesSoundsOff) {
    fs::remove_all(Home + "Sounds");
    ASSERT_TRUE(Shell->FormCreate().Ok);
    EXPECT_TRUE(Shell->SoundsOff());
    EXPECT_TRUE(Ui.SoundsPlayed.empty());
    Shell->CloseWriteSettings();
    EXPECT_TRUE(TSettings(Home).GetBool(TSettingKey::NoTunesPlease));
}

TEST_F(ShellStartTest, UncreatableDirectoryEndsWithExitCode99) {
    fs::remove_all(Home);
    WriteFile(Dir.Path() + "home", "a file where the data home should be");
    Shell = MakeShell();
    const TCreateResult result = Shell->FormCreate();
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.ExitCode, 99);
    EXPECT_EQ(result.FailedDirectory, Home);
    EXPECT_EQ(Ui.Beeps, 1);
    const TPopupRecord* popup = Ui.LastPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->Request.Caption, "Warning:");
    EXPECT_EQ(popup->Request.Text,
              "Error: Creating Project-directory Failed! Disk full?!\r\n" + Home);
    EXPECT_EQ(popup->Request.DisplayMs, 8000);
    EXPECT_EQ(popup->Request.TextSize, 14);
    EXPECT_FALSE(popup->Request.Modeless);
}

TEST_F(ShellStartTest, RegistryDirectoriesAndTheirFallback) {
    const std::string store = Dir.Path() + "elsewhere/store";
    WriteFile(Home + "registry.ini", "[General Settings]\nMailStore=" + store + "\nTempDir=D:\n");
    WriteFile(Home + "pelmora.ini", "[System]\nBackupDir=" + Dir.Path() + "bak\n");
    ASSERT_TRUE(Shell->FormCreate().Ok);
    EXPECT_EQ(Shell->Dirs().Store, store + "/");
    EXPECT_TRUE(fs::is_directory(store));
    EXPECT_EQ(Shell->Dirs().TempRoot, Home + "Temp/");
    EXPECT_EQ(Shell->Dirs().Temp, Home + "Temp/" + PrivateTempName() + "/");
    EXPECT_EQ(Shell->Dirs().Backup, Dir.Path() + "bak/");
    EXPECT_TRUE(fs::is_directory(Dir.Path() + "bak"));
}

TEST_F(ShellStartTest, FirstActivation) {
    ASSERT_TRUE(Shell->FormCreate().Ok);
    EXPECT_TRUE(Shell->FirstActivationStart());
    EXPECT_FALSE(Shell->StartingUp);
    EXPECT_FALSE(Shell->FirstActivation);
    EXPECT_EQ(Ui.SoundsPlayed.back(), Home + "Sounds/intro.wav");
    EXPECT_EQ(Ui.WaitedMs, 4000);
    EXPECT_FALSE(Shell->FirstActivationStart());
    EXPECT_EQ(Ui.WaitedMs, 4000);
}

TEST_F(ShellStartTest, LowDiskWarnings) {
    ASSERT_TRUE(Shell->FormCreate().Ok);
    Shell->WarnLowDisk();
    EXPECT_TRUE(Ui.Popups.empty());
    FreeBytes = 19'999'999;
    Shell->WarnLowDisk();
    ASSERT_EQ(Ui.Popups.size(), 2u);
    EXPECT_EQ(Ui.Popups[0].Request.Text, Shell->Text(1, 37) + " (<20MB)");
    EXPECT_EQ(Ui.Popups[1].Request.Text, Shell->Text(1, 36) + " (<20MB)");
    EXPECT_EQ(Ui.Popups[1].Request.TextSize, 13);
    EXPECT_EQ(Ui.Popups[1].Request.DisplayMs, 12000);
    EXPECT_FALSE(Ui.Popups[1].Request.Modeless);
}

TEST_F(ShellStartTest, DamagedLanguageFileIsReportedOnce) {
    WriteFile(Home + "langdefmod2.dat", "too short to be a module");
    // The program, the window creation and the core each ask for the texts.
    Shell->LoadMessageTexts();
    Shell->LoadMessageTexts();
    ASSERT_TRUE(Shell->FormCreate().Ok);
    EXPECT_EQ(Ui.Beeps, 1);
    int errors = 0;
    for (const TPopupRecord& popup : Ui.Popups)
        errors += popup.Request.Text.find("langdefmod2.dat") != std::string::npos;
    EXPECT_EQ(errors, 1);
}

TEST_F(ShellStartTest, LargeMailLogQuestion) {
    ASSERT_TRUE(Shell->FormCreate().Ok);
    std::string log;
    for (int i = 0; i < 10000; ++i) {
        log += "line\r\n";
    }
    WriteFile(Home + "mail.log", log);
    EXPECT_FALSE(Shell->AskPurgeLargeMailLog());
    EXPECT_TRUE(Ui.Questions.empty());
    WriteFile(Home + "mail.log", log + "one more");
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    EXPECT_TRUE(Shell->AskPurgeLargeMailLog());
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(1, 8));
    EXPECT_EQ(Ui.Questions[0].Caption, "Warning:");
    EXPECT_FALSE(Ui.Questions[0].CheckEnabled);
}

TEST_F(ShellStartTest, FirstActivationOffersThePurgeBeforeTheDiskWarnings) {
    ASSERT_TRUE(Shell->FormCreate().Ok);
    std::string log;
    for (int i = 0; i < 10001; ++i)
        log += "01-12-2026, 10:00.00 : POP3>line\r\n";
    WriteFile(Home + "mail.log", log);
    FreeBytes = 1000;
    int purges = 0;
    Shell->PurgeMailLogHook = [&] { ++purges; };
    for (int answer : {kAskSecond, kAskFirst}) {
        Ui.ClearRecords();
        Ui.AskAnswers.push_back({answer, std::nullopt});
        Shell->FirstActivationChecks();
        ASSERT_EQ(Ui.Questions.size(), 1u);
        EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(1, 8));
        ASSERT_EQ(Ui.Popups.size(), 2u);
        EXPECT_LT(Ui.Questions[0].Sequence, Ui.Popups[0].Sequence);
    }
    EXPECT_EQ(purges, 1); // only the Yes purges
}

TEST_F(ShellStartTest, LockedTransferIsReportedWithASound) {
    ASSERT_TRUE(Shell->FormCreate().Ok);
    Ui.ClearRecords();
    Shell->ShowTransferLocked();
    ASSERT_EQ(Ui.Popups.size(), 1u);
    EXPECT_EQ(Ui.Popups[0].Request.Caption, "Warning:");
    EXPECT_NE(Ui.Popups[0].Request.Text.find("Another Pelmora process"), std::string::npos);
    EXPECT_TRUE(Ui.Popups[0].Request.Modeless);
    ASSERT_EQ(Ui.SoundsPlayed.size(), 1u);
    EXPECT_NE(Ui.SoundsPlayed[0].find("attention"), std::string::npos);
}

struct TCloseCase {
    const char* Name;
    bool TransferRunning;
    int Answer;
    bool Closes;
};

class CloseTransferTest : public TShellFixture, public ::testing::WithParamInterface<TCloseCase> {};

TEST_P(CloseTransferTest, AsksOnlyWhileATransferRuns) {
    ASSERT_TRUE(Shell->FormCreate().Ok);
    Shell->TransferRunning = GetParam().TransferRunning;
    Ui.AskAnswers.push_back({GetParam().Answer, std::nullopt});
    EXPECT_EQ(Shell->CloseAskAbortTransfer(), GetParam().Closes);
    if (GetParam().TransferRunning) {
        ASSERT_EQ(Ui.Questions.size(), 1u);
        EXPECT_EQ(Ui.Questions[0].Text,
                  "The program is busy retrieving and/or sending e-mail, abort this session?!");
        EXPECT_EQ(Ui.Questions[0].TextSize, 12);
    } else {
        EXPECT_TRUE(Ui.Questions.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, CloseTransferTest,
                         ::testing::Values(TCloseCase{"Idle", false, kAskSecond, true},
                                           TCloseCase{"RunningYes", true, kAskFirst, true},
                                           TCloseCase{"RunningNo", true, kAskSecond, false},
                                           TCloseCase{"RunningClosed", true, kAskClosed, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ShellStartTest, CloseFlagsFilesAndWait) {
    Start(*Shell);
    Shell->CloseSetFlags();
    EXPECT_TRUE(Shell->AbortRequested);
    EXPECT_TRUE(Shell->Closing);
    EXPECT_FALSE(Shell->CollectTimer().Enabled);

    WriteFile(Home + "MailTo.Flag", "mailto:a@b.c\r\n");
    Shell->CloseDeleteMailToFlag();
    EXPECT_FALSE(fs::exists(Home + "MailTo.Flag"));

    Ui.WaitedMs = 0;
    Shell->CloseFinalWait();
    EXPECT_EQ(Ui.WaitedMs, 3850);
    Shell->MenuStopplayingsillysoundsClick();
    Ui.WaitedMs = 0;
    Shell->CloseFinalWait();
    EXPECT_EQ(Ui.WaitedMs, 1000);
}

// Closing empties only the program's own directory inside the temporary directory: the
// directory the user chose may hold anything.
TEST_F(ShellStartTest, ClosingRemovesOnlyTheProgramsOwnTemporaryFiles) {
    ASSERT_TRUE(Shell->FormCreate().Ok);
    const std::string own = Shell->Dirs().Temp;
    ASSERT_EQ(own, Home + "Temp/" + PrivateTempName() + "/");
    EXPECT_EQ(fs::status(own).permissions() & fs::perms::all, fs::perms::owner_all);
    WriteFile(own + "part.html", "<p>");
    WriteFile(own + "extract/inner.eml", "x");
    WriteFile(Home + "Temp/other.txt", "y");
    Shell->CloseRemoveTempFiles();
    EXPECT_TRUE(fs::is_directory(own));
    EXPECT_TRUE(fs::is_empty(own));
    EXPECT_TRUE(fs::exists(Home + "Temp/other.txt"));

    // A "TempDir" of the user's that holds documents, its name saying "temp".
    const std::string documents = Dir.Path() + "My Temp Documents/";
    WriteFile(documents + "report.odt", "report");
    WriteFile(documents + "drafts/letter.txt", "letter");
    ASSERT_TRUE(Shell->Registry().SetTempDir(documents));
    Shell = MakeShell();
    ASSERT_TRUE(Shell->FormCreate().Ok);
    ASSERT_EQ(Shell->Dirs().TempRoot, documents);
    ASSERT_EQ(Shell->Dirs().Temp, documents + PrivateTempName() + "/");
    WriteFile(Shell->Dirs().Temp + "receipt.txt", "x");
    Shell->CloseRemoveTempFiles();
    EXPECT_FALSE(fs::exists(Shell->Dirs().Temp + "receipt.txt"));
    EXPECT_EQ(ReadFile(documents + "report.odt"), "report");
    EXPECT_EQ(ReadFile(documents + "drafts/letter.txt"), "letter");

    // The program's name in the user's directory taken by a link to other files: the program
    // works in a directory of its own and never empties the linked one.
    const std::string linked = Dir.Path() + "linked/";
    WriteFile(linked + "keep.txt", "keep");
    const std::string shared = Dir.Path() + "shared/";
    fs::create_directories(shared);
    fs::create_directory_symlink(linked, shared + PrivateTempName());
    ASSERT_TRUE(Shell->Registry().SetTempDir(shared));
    Shell = MakeShell();
    ASSERT_TRUE(Shell->FormCreate().Ok);
    EXPECT_EQ(Shell->Dirs().Temp.rfind(shared + "pelmora-", 0), 0u);
    EXPECT_NE(Shell->Dirs().Temp, shared + PrivateTempName() + "/");
    WriteFile(Shell->Dirs().Temp + "part.html", "<p>");
    Shell->CloseRemoveTempFiles();
    EXPECT_TRUE(fs::is_empty(Shell->Dirs().Temp));
    EXPECT_EQ(ReadFile(linked + "keep.txt"), "keep");
}

TEST_F(ShellStartTest, AutoRunEntryFollowsTheMenu) {
    Start(*Shell);
    const std::string entry = Dir.Path() + "config/autostart/pelmora.desktop";
    ASSERT_EQ(AutoStartFilePath(), entry);
    Shell->MenuAutorunClick();
    ASSERT_TRUE(Shell->CloseUpdateAutoRun());
    const std::string text = ReadFile(entry);
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("Exec=\"/usr/bin/pelmora\" \"--home\" \"" + Home + "\"\n"),
              std::string::npos)
        << text;
    Shell->MenuAutorunClick();
    ASSERT_TRUE(Shell->CloseUpdateAutoRun());
    EXPECT_FALSE(fs::exists(entry));
}

TEST(AutoStartTextTest, ArgumentsAreQuotedForTheDesktopEntry) {
    const std::string text = AutoStartFileText({"/opt/my app/pel$mora", "100%", "a\"b\\c"});
    EXPECT_NE(text.find(R"(Exec="/opt/my app/pel\\$mora" "100%%" "a\\"b\\\\c")"), std::string::npos)
        << text;
}

} // namespace
} // namespace pelmora
