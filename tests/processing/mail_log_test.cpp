#include "processing/mail_log.h"

#include "shell/atomic_file.h"
#include "processing_fixture.h"
#include "shell/session_log.h"

#include <filesystem>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

// Three sessions on three days, with a header dump and a continuation line in the middle one.
const std::vector<std::string> kLog = {
    "01-03-2024, 10:00.00 : -not set-",                          // 0
    "01-03-2024, 10:00.05 : POP3>Connected",                     // 1
    "02-03-2024, 09:00.00 : -not set-",                          // 2
    ">------------------",                                       // 3
    "Date: 03-03-2024 is not an event",                          // 4
    "03-03-2024 but the colon: comes far too late for an event", // 5
    "<------------------",                                       // 6
    "02-03-2024, 09:00.07 : Error: Could not log in",            // 7
    "Please check the POP3-ServerName",                          // 8
    "04-03-2024, 08:00.00 : -not set-",                          // 9
};

struct TPurgeCase {
    const char* Name;
    TLogDate KeepFrom;
    std::size_t Removed;
};

class MailLogPurge : public testing::TestWithParam<TPurgeCase> {};

TEST_P(MailLogPurge, KeepsLastLineOfTheDayAndAfter) {
    EXPECT_EQ(PurgeCount(kLog, GetParam().KeepFrom), GetParam().Removed);
}

INSTANTIATE_TEST_SUITE_P(Rows, MailLogPurge,
                         testing::Values(TPurgeCase{"BeforeEverything", {2024, 2, 28}, 0},
                                         TPurgeCase{"FirstDay", {2024, 3, 1}, 1},
                                         TPurgeCase{"DumpLinesAreNoAnchors", {2024, 3, 3}, 7},
                                         TPurgeCase{"LastDayKeepsLastLine", {2024, 3, 4}, 9},
                                         TPurgeCase{"LaterYear", {2025, 1, 1}, 9}),
                         [](const testing::TestParamInfo<TPurgeCase>& info) {
                             return info.param.Name;
                         });

TEST(MailLogLine, DatesOfEventLinesOnly) {
    EXPECT_EQ(LogLineDate("09-12-2026, 04:05.06 : POP3>x"), (TLogDate{2026, 12, 9}));
    EXPECT_EQ(LogLineDate("9-1-2026"), (TLogDate{2026, 1, 9}));
    for (const char* line : {"", ">------------------", "Received: from x", "32-01-2026, 1:2.3 :",
                             "01-13-2026, 1:2.3 :", "01-01-26, 10:00.00 : x", "aa-bb-cccc"})
        EXPECT_FALSE(LogLineDate(line)) << line;
}

class MailLogTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        Path = MailLogPath(Shell->Dirs().Program);
    }
    std::string Path;
};

TEST_F(MailLogTest, AppendKeepsOldLinesAndSplitsEvents) {
    PutFile(Path, "old line");
    TSessionLog log;
    log.Add("first");
    AddLogEvent(log, "SMTP>Error\r\nsecond part");
    ASSERT_TRUE(AppendSessionLog(Path, log));
    std::optional<std::vector<std::string>> lines = ReadMailLog(Path);
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 4u);
    EXPECT_EQ((*lines)[0], "old line");
    EXPECT_EQ((*lines)[1], "first");
    EXPECT_TRUE(LogLineDate((*lines)[2]));
    EXPECT_EQ((*lines)[2].substr(20), " : SMTP>Error");
    EXPECT_EQ((*lines)[3], "second part");
    EXPECT_EQ(SlurpFile(Path).substr(0, 17), "old line\r\nfirst\r\n");
}

TEST_F(MailLogTest, UnreadableLogIsNeverReplaced) {
    // A log that exists but cannot be read (here: a directory in its place) stays as it is.
    fs::create_directories(Path + "/kept");
    TSessionLog log;
    log.Add("new");
    EXPECT_FALSE(AppendSessionLog(Path, log));
    EXPECT_TRUE(fs::is_directory(Path + "/kept"));
}

TEST_F(MailLogTest, PurgeAskedAnsweredAndShown) {
    std::string text;
    for (const std::string& line : kLog)
        text += line + "\r\n";
    PutFile(Path, text);

    // No: unchanged, still shown.
    Ui.AskAnswers = {{kAskSecond, std::nullopt}};
    MenuPurgeMailLogFileClick(*Shell, {2024, 3, 3});
    EXPECT_EQ(SlurpFile(Path), text);
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Ui.Questions[0].Text, Shell->Text(1, 50));
    EXPECT_FALSE(Ui.Questions[0].CheckEnabled);
    ASSERT_TRUE(Ui.LastPopup());
    EXPECT_EQ(Ui.LastPopup()->Request.Caption, Shell->Text(1, 48));
    EXPECT_EQ(Ui.LastPopup()->Request.Text + "\r\n", text);

    // Yes: the lines before the anchor go.
    Ui.ClearRecords();
    Ui.AskAnswers = {{kAskFirst, std::nullopt}};
    MenuPurgeMailLogFileClick(*Shell, {2024, 3, 3});
    EXPECT_EQ(ReadMailLog(Path), (std::vector<std::string>{kLog[7], kLog[8], kLog[9]}));
    EXPECT_EQ(SlurpFile(Path).find(kLog[7] + "\r\n"), 0u);
    EXPECT_EQ(Sounds(), std::vector<std::string>{"attention"});
}

TEST_F(MailLogTest, ShowCommands) {
    MenuShowLogFileClick(*Shell);
    ASSERT_TRUE(Ui.LastPopup());
    EXPECT_EQ(Ui.LastPopup()->Request.Text, "");
    fs::create_directory(Path); // a log that cannot be read
    Ui.ClearRecords();
    MenuShowLogFileClick(*Shell);
    EXPECT_TRUE(Ui.Popups.empty());
    EXPECT_EQ(Ui.Beeps, 1);

    // Before any run the last session is the start line.
    MenuShowlastMailLogClick(*Shell);
    ASSERT_TRUE(Ui.LastPopup());
    EXPECT_EQ(Ui.LastPopup()->Request.Caption, Shell->Text(1, 121));
    const std::string& shown = Ui.LastPopup()->Request.Text;
    EXPECT_TRUE(LogLineDate(shown));
    EXPECT_EQ(shown.substr(20), " : " + Shell->Text(3, 14));
    EXPECT_EQ(PurgeDialogNote(*Shell),
              "\r\nThis will delete entries from the logfile before the selected date to "
              "free-up disk space");
}

TEST(MailLogDialog, LatestDateIsYesterday) {
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 2; // March
    local.tm_mday = 1;
    local.tm_hour = 9;
    local.tm_isdst = -1;
    auto when = std::chrono::system_clock::from_time_t(std::mktime(&local));
    EXPECT_EQ(PurgeDialogLatestDate(when), (TLogDate{2024, 2, 29}));
}

} // namespace
} // namespace pelmora
