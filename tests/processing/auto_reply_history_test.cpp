// The answering machine answers one address at most once in seven days per account, and
// sends nothing when it cannot remember the answer.

#include "processing/auto_reply_history.h"

#include "processing/answering_machine.h"
#include "processing_fixture.h"
#include "shell/atomic_file.h"
#include "shell/shell_state.h"
#include "store/account_settings.h"

#include <filesystem>
#include <sys/stat.h>

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using TClock = std::chrono::system_clock;

class AnswerHistoryTest : public testing::Test {
protected:
    void SetUp() override {
        Books = NewTestDirectory("history").string() + "/";
        for (int account : {4, 5}) {
            ASSERT_TRUE(PrepareAnswerFiles(Books, account, "Away."));
            ASSERT_TRUE(WriteAnswerActive(AnswerSwitchPath(Books, account), true));
        }
    }
    void TearDown() override { fs::remove_all(Books); }

    // Whether account `account` answers a message from `from` at `when`.
    bool Answers(const std::string& from, TClock::time_point when, int account = 4,
                 TAutoReplyVerdict* verdict = nullptr) {
        AccountSettings settings;
        settings.AccountNumber = account;
        settings.DisplayName = "Max Muster";
        settings.EmailAddress = "max@muster.example";
        auto incoming = ParseMail("From: " + from + "\nSubject: hi\nMessage-ID: <m@x.example>\n");
        TAnswerRequest request = AnswerRequestFor(*incoming, settings);
        request.Now = when;
        TMailMessage reply;
        return AnswerMessage(request, TAnsweringMode::Normal, Books, reply, verdict);
    }

    std::string Books;
    // A fixed moment: Tue, 12 Mar 2024 08:00:00 UTC.
    const TClock::time_point T0 = TClock::time_point(1710230400s);
};

TEST_F(AnswerHistoryTest, OneAnswerPerAddressAndAccountInSevenDays) {
    ASSERT_TRUE(Answers("Jane <jane@example.com>", T0));
    // A bounce-and-answer loop or a chatty correspondent: collected again and again.
    TAutoReplyVerdict verdict = TAutoReplyVerdict::Allowed;
    for (std::chrono::minutes later : {1min, 24h * 1 + 0min, 24h * 6 + 23h + 0min})
        EXPECT_FALSE(Answers("JANE@Example.COM", T0 + later, 4, &verdict)) << later.count();
    EXPECT_EQ(verdict, TAutoReplyVerdict::AnsweredRecently);
    // Other addresses and other accounts are counted apart.
    EXPECT_TRUE(Answers("bob@example.com", T0 + 1h));
    EXPECT_TRUE(Answers("jane@example.com", T0 + 1h, 5));
    // After the quiet period the address is answered once more, and then quiet again.
    EXPECT_TRUE(Answers("jane@example.com", T0 + 24h * 7 + 1s));
    EXPECT_FALSE(Answers("jane@example.com", T0 + 24h * 8));
    // A clock set back by weeks does not silence an address for ever.
    EXPECT_TRUE(Answers("jane@example.com", T0 - 24h * 30));
}

TEST_F(AnswerHistoryTest, FileIsPrivateAndToleratesDamage) {
    const std::string path = AnswerHistoryPath(Books, 4);
    EXPECT_EQ(path, Books + "Answering Machine/4.ans.sent");
    ASSERT_TRUE(WriteFileAtomically(path, "garbage\n\n12 \nx jane@example.com\n" +
                                              std::to_string(1710230400 - 3600) +
                                              " jane@example.com\r\n"));
    EXPECT_TRUE(AnsweredRecently(path, "jane@example.com", T0));
    EXPECT_FALSE(AnsweredRecently(path, "bob@example.com", T0));
    ASSERT_TRUE(RememberAnswer(path, "Bob@Example.com", T0));
    // Unreadable lines are dropped when the file is written again; old entries are kept
    // only as long as they count.
    EXPECT_EQ(SlurpFile(path), std::to_string(1710230400 - 3600) + " jane@example.com\n" +
                                   std::to_string(1710230400) + " bob@example.com\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_TRUE(RememberAnswer(path, "carl@example.com", T0 + 24h * 7 - 30min));
    EXPECT_EQ(SlurpFile(path), std::to_string(1710230400) + " bob@example.com\n" +
                                   std::to_string(1710230400 + 7 * 86400 - 1800) +
                                   " carl@example.com\n");
}

TEST_F(AnswerHistoryTest, NoAnswerWhenTheMemoryCannotBeWritten) {
    // A directory where the file belongs: the answer could not be remembered, so it would
    // go out again at every collection.
    ASSERT_TRUE(fs::create_directory(AnswerHistoryPath(Books, 4)));
    TAutoReplyVerdict verdict = TAutoReplyVerdict::Allowed;
    EXPECT_FALSE(Answers("jane@example.com", T0, 4, &verdict));
    EXPECT_EQ(verdict, TAutoReplyVerdict::NotRecorded);
}

} // namespace
} // namespace pelmora
