#include "processing/answering_machine.h"

#include "shell/atomic_file.h"
#include "processing_fixture.h"
#include "shell/message_texts.h"
#include "shell/shell_state.h"
#include "store/account_settings.h"

#include <filesystem>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

class AnsweringMachineTest : public testing::Test {
protected:
    void SetUp() override {
        Books = NewTestDirectory("am").string() + "/";
        Account.AccountNumber = 4;
        Account.DisplayName = "Max Muster";
        Account.EmailAddress = "max@muster.example";
        Account.WebAddress = "https://muster.example/";
        Texts.LoadDefaults();
    }
    void TearDown() override { fs::remove_all(Books); }
    // Both files of account 4 with the given switch state and text.
    void Files(bool active, const std::string& text) {
        ASSERT_TRUE(PrepareAnswerFiles(Books, 4, text));
        ASSERT_TRUE(WriteAnswerActive(AnswerSwitchPath(Books, 4), active));
    }
    std::string Books;
    AccountSettings Account;
    TMessageTexts Texts;
};

const char* const kIncoming = "From: \"Jane Roe\" <jane@example.com>\n"
                              "To: max@muster.example\n"
                              "Subject:   Meeting on Friday  \n"
                              "Message-ID: <in.1@example.com>\n";

struct TModeCase {
    const char* Name;
    TAnsweringMode Mode;
    bool Files;
    bool Active;
    bool Answers;
};

class AnsweringModes : public AnsweringMachineTest,
                       public testing::WithParamInterface<TModeCase> {};

TEST_P(AnsweringModes, AnswerOnlyWhenModeAndFilesAllow) {
    const TModeCase& c = GetParam();
    if (c.Files)
        Files(c.Active, "Hello %SENDER");
    auto incoming = ParseMail(kIncoming);
    TMailMessage reply;
    reply.SetSubject("untouched");
    EXPECT_EQ(AnswerMessage(AnswerRequestFor(*incoming, Account), c.Mode, Books, reply), c.Answers);
    if (!c.Answers) {
        EXPECT_EQ(reply.GetSubject(), "untouched");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AnsweringModes,
    testing::Values(TModeCase{"NormalActive", TAnsweringMode::Normal, true, true, true},
                    TModeCase{"NormalInactive", TAnsweringMode::Normal, true, false, false},
                    TModeCase{"AllOffBeatsActive", TAnsweringMode::AllOff, true, true, false},
                    TModeCase{"AllOnBeatsInactive", TAnsweringMode::AllOn, true, false, true},
                    TModeCase{"AllOnNeedsFiles", TAnsweringMode::AllOn, false, false, false}),
    [](const testing::TestParamInfo<TModeCase>& info) { return info.param.Name; });

TEST_F(AnsweringMachineTest, ReplyCarriesMarkersAndFilledText) {
    Files(true, "Dear %sender, %MyName (%MYADDRESS) at %mywebsite.\r\n");
    auto incoming = ParseMail(kIncoming);
    TMailMessage reply;
    ASSERT_TRUE(
        AnswerMessage(AnswerRequestFor(*incoming, Account), TAnsweringMode::Normal, Books, reply));
    EXPECT_EQ(reply.GetSender(), (TMailAddress{"Max Muster", "max@muster.example"}));
    EXPECT_EQ(reply.GetReplyTarget(), (TMailAddress{"DoNotReply", "max@muster.example"}));
    EXPECT_EQ(reply.GetSubject(), "Re. Meeting on Friday");
    ASSERT_EQ(reply.ToRecipients.Count(), 1);
    EXPECT_EQ(reply.ToRecipients.AddressAt(0), "jane@example.com");
    EXPECT_EQ(reply.HeaderValue("In-Reply-To"), "<in.1@example.com>");
    EXPECT_EQ(reply.HeaderValue("References"), "<in.1@example.com>");
    const std::string id = reply.GetMessageId();
    EXPECT_EQ(id.substr(id.size() - 13), "@PELMORA_ANS>");
    std::string text;
    for (std::string_view line : reply.PlainTextLines)
        text.append(line).append("\n");
    EXPECT_NE(text.find("Dear Jane Roe (jane@example.com), Max Muster (max@muster.example) at "
                        "https://muster.example/."),
              std::string::npos)
        << text;

    // A reply to this answer is recognised and never answered.
    auto back = ParseMail("From: max@muster.example\nTo: \"DoNotReply\" <max@muster.example>\n"
                          "Subject: Re: x\n");
    EXPECT_TRUE(IsAnswerToAnswer(*back));
    TMailMessage answerOfAnswer;
    answerOfAnswer.ParseText(
        "From: jane@example.com\r\nTo: max@muster.example\r\nReferences: " + id + "\r\n\r\nok\r\n",
        true);
    EXPECT_TRUE(IsAnswerToAnswer(answerOfAnswer));
}

TEST(AnswerToAnswer, Markers) {
    struct TRow {
        const char* Header;
        bool IsAnswer;
    };
    const TRow rows[] = {
        {"To: \"donotREPLY\" <a@b.c>\n", true},
        {"To: \"Office\" <a@b.c>, \"Do Not Reply\" <x@y.z>\n", false},
        {"In-Reply-To: <1.2@pelmora_ans>\n", true},
        {"References: <0@PXID1001>\n <1.2@Pelmora_Ans>\n", true},
        {"References: <0@PXID1001>\n", false},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(IsAnswerToAnswer(*ParseMail(row.Header)), row.IsAnswer) << row.Header;
}

TEST_F(AnsweringMachineTest, ReceiptAddressAndNamelessSender) {
    auto asking = ParseMail("From: \"Jane Roe\" <jane@example.com>\n"
                            "Disposition-Notification-To: \"Jane's Desk\" <desk@example.com>\n");
    TAnswerRequest request = AnswerRequestFor(*asking, Account);
    EXPECT_EQ(request.RecipientAddress, "desk@example.com");
    EXPECT_EQ(request.RecipientName, "Jane's Desk");

    auto nameless = ParseMail("From: jane@example.com\nSubject: hi\n");
    request = AnswerRequestFor(*nameless, Account);
    EXPECT_EQ(ReplaceAnswerPlaceholders("[%SENDER]", "", "", "", request.RecipientName,
                                        request.RecipientAddress),
              "[ (jane@example.com)]");
}

TEST_F(AnsweringMachineTest, PlaceholdersAreNotReplacedInsideTheSendersName) {
    EXPECT_EQ(ReplaceAnswerPlaceholders("%SENDER %myname", "Me", "me@x.y", "", "%MYNAME", "a@b.c"),
              "%MYNAME (a@b.c) Me");
}

TEST_F(AnsweringMachineTest, PrepareFillsMissingOrEmptyTextAndKeepsState) {
    const std::string defaultText = Texts.Text(1, 25);
    ASSERT_TRUE(PrepareAnswerFiles(Books, 4, defaultText));
    EXPECT_EQ(SlurpFile(AnswerTextPath(Books, 4)), defaultText);
    EXPECT_FALSE(ReadAnswerActive(AnswerSwitchPath(Books, 4)));

    ASSERT_TRUE(WriteAnswerActive(AnswerSwitchPath(Books, 4), true));
    ASSERT_TRUE(WriteFileAtomically(AnswerTextPath(Books, 4), "Away."));
    ASSERT_TRUE(PrepareAnswerFiles(Books, 4, defaultText));
    EXPECT_EQ(SlurpFile(AnswerTextPath(Books, 4)), "Away.");
    EXPECT_TRUE(ReadAnswerActive(AnswerSwitchPath(Books, 4)));

    ASSERT_TRUE(WriteFileAtomically(AnswerTextPath(Books, 4), ""));
    ASSERT_TRUE(PrepareAnswerFiles(Books, 4, defaultText));
    EXPECT_EQ(SlurpFile(AnswerTextPath(Books, 4)), defaultText);
}

} // namespace
} // namespace pelmora
