// Which retrieved messages get an automatic answer or a receipt, and where it goes. Every row
// runs the answering machine (switched on) and the receipt queue on one message: real-world
// shapes from tests/data/processing/auto_reply/ and short headers for single rules.

#include "processing/auto_reply_policy.h"

#include "processing/answering_machine.h"
#include "processing/receipts.h"
#include "processing_fixture.h"
#include "shell/message_texts.h"
#include "shell/shell_state.h"
#include "store/account_settings.h"
#include "store/message_files.h"
#include "store/store_layout.h"

#include <filesystem>
#include <ostream>

namespace pelmora {

void PrintTo(TAutoReplyVerdict verdict, std::ostream* out) {
    *out << AutoReplyVerdictText(verdict);
}

namespace {

namespace fs = std::filesystem;
using V = TAutoReplyVerdict;

constexpr const char* kOtherAccount = "max.private@home.example";

struct TAutoReplyCase {
    const char* Name;
    // A file of tests/data/processing/auto_reply/ (ending ".eml") or header lines.
    const char* Source;
    int Folder; // where the filters filed it
    V Answer;
    const char* AnswerTo; // the one address answered
    V Receipt;
    const char* ReceiptTo;
};

void PrintTo(const TAutoReplyCase& row, std::ostream* out) {
    *out << row.Name;
}

// A message from a person, asking for a receipt to the sending address.
#define PERSONAL                                                                                   \
    "From: Jane Roe <jane@example.com>\nTo: Max Muster <max@muster.example>\n"                     \
    "Subject: Meeting on Friday\nDate: Mon, 11 Mar 2024 10:00:00 +0100\n"                          \
    "Message-ID: <in.1@example.com>\n"
#define ASKING PERSONAL "Disposition-Notification-To: Jane Roe <jane@example.com>\n"

class AutoReplyTable : public testing::TestWithParam<TAutoReplyCase> {
protected:
    void SetUp() override {
        Root = NewTestDirectory("autoreply").string() + "/";
        Books = Root + "AddressBooks/";
        Account.AccountNumber = 4;
        Account.AccountName = "Max Muster (max@muster.example)";
        Account.DisplayName = "Max Muster";
        Account.EmailAddress = "max@muster.example";
        Account.ReplyTo = "office@muster.example";
        ASSERT_TRUE(PrepareAnswerFiles(Books, 4, "Away until Monday, %SENDER."));
        ASSERT_TRUE(WriteAnswerActive(AnswerSwitchPath(Books, 4), true));
        Texts.LoadDefaults();
        Job.StoreDir = Root + "Projects/";
        Job.TempDir = Root + "Temp/";
        fs::create_directories(Job.TempDir);
        ASSERT_TRUE(EnsureProjectDirectories(Job.StoreDir, 1001));
        Job.Texts = &Texts;
    }
    void TearDown() override { fs::remove_all(Root); }

    std::unique_ptr<TMailMessage> Load(const std::string& source) {
        if (!source.ends_with(".eml"))
            return ParseMail(source);
        auto message = std::make_unique<TMailMessage>();
        EXPECT_TRUE(message->LoadMessageFile(std::string(PELMORA_TEST_DATA) +
                                             "/processing/auto_reply/" + source));
        message->MapParts();
        return message;
    }

    std::string Root;
    std::string Books;
    AccountSettings Account;
    TMessageTexts Texts;
    TReceiptJob Job;
};

TEST_P(AutoReplyTable, AnswersAndReceiptsOnlyPeopleAtOneAddress) {
    const TAutoReplyCase& c = GetParam();
    auto incoming = Load(c.Source);

    TAnswerRequest request = AnswerRequestFor(*incoming, Account);
    request.FiledFolder = c.Folder;
    request.OwnAddresses.push_back(kOtherAccount);
    TMailMessage reply;
    reply.SetSubject("untouched");
    V answer = V::Allowed;
    EXPECT_EQ(AnswerMessage(request, TAnsweringMode::Normal, Books, reply, &answer),
              c.Answer == V::Allowed);
    EXPECT_EQ(answer, c.Answer);
    if (c.Answer == V::Allowed) {
        EXPECT_EQ(reply.ToRecipients.Addresses(), std::vector<std::string>{c.AnswerTo});
        EXPECT_TRUE(reply.CcRecipients.Addresses().empty());
        EXPECT_EQ(reply.HeaderValue("Auto-Submitted"), "auto-replied");
    } else {
        EXPECT_EQ(reply.GetSubject(), "untouched");
    }

    Job.FiledFolder = c.Folder;
    Job.OwnAddresses = {kOtherAccount};
    TMailMessage work;
    work.SetSubject("untouched");
    const TQueuedReceipt queued = QueueReceipt(*incoming, Account, 1001, Job, work);
    EXPECT_EQ(queued.Verdict, c.Receipt);
    EXPECT_EQ(queued.Saved, c.Receipt == V::Allowed);
    const int outboxFiles =
        CountMessageFiles(FolderPath(Job.StoreDir, 1001, kFolderOutbox) + "*.eml?").Total;
    if (c.Receipt == V::Allowed) {
        EXPECT_EQ(work.ToRecipients.Addresses(), std::vector<std::string>{c.ReceiptTo});
        EXPECT_EQ(outboxFiles, 1);
    } else {
        EXPECT_EQ(work.GetSubject(), "untouched");
        EXPECT_EQ(outboxFiles, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AutoReplyTable,
    testing::Values(
        // Real-world shapes.
        TAutoReplyCase{"BounceWithDeliveryReport", "bounce.eml", 111, V::AutoSubmitted, "",
                       V::NoRecipient, ""},
        TAutoReplyCase{"ListPostWithListId", "list_post.eml", 111, V::MailingList, "",
                       V::MailingList, ""},
        TAutoReplyCase{"ReceiptFromAnotherProgram", "../foreign_receipt.eml", 112, V::Report, "",
                       V::NoRecipient, ""},
        TAutoReplyCase{"NoreplySender", "noreply.eml", 111, V::MachineSender, "", V::NoRecipient,
                       ""},
        TAutoReplyCase{"NewsletterPrecedenceBulk", "newsletter_bulk.eml", 111, V::BulkPrecedence,
                       "", V::NoRecipient, ""},
        TAutoReplyCase{"AutoGeneratedNotice", "auto_generated.eml", 111, V::AutoSubmitted, "",
                       V::NoRecipient, ""},
        TAutoReplyCase{"SeveralFromAnswersTheFirstOnly", "several_from.eml", 111, V::Allowed,
                       "ann@a.example", V::NoRecipient, ""},
        // "<a,b,c>" is one malformed address, not three: the answer goes to the sender and
        // no receipt is sent.
        TAutoReplyCase{"ReceiptRequestWithCommasInsideBrackets", "receipt_to_many.eml", 111,
                       V::Allowed, "promo@sender.example", V::NoRecipient, ""},
        // Single rules.
        TAutoReplyCase{"PersonalMessage", ASKING, 111, V::Allowed, "jane@example.com", V::Allowed,
                       "jane@example.com"},
        TAutoReplyCase{"AutoSubmittedNo", ASKING "Auto-Submitted: no\n", 111, V::Allowed,
                       "jane@example.com", V::Allowed, "jane@example.com"},
        TAutoReplyCase{"AutoSubmittedWithParameter",
                       ASKING "Auto-Submitted: auto-replied; owner-email=\"x@y.example\"\n", 111,
                       V::AutoSubmitted, "", V::AutoSubmitted, ""},
        TAutoReplyCase{"PrecedenceJunk", ASKING "Precedence: junk\n", 111, V::BulkPrecedence, "",
                       V::BulkPrecedence, ""},
        TAutoReplyCase{"PrecedenceList", ASKING "Precedence: LIST\n", 111, V::BulkPrecedence, "",
                       V::BulkPrecedence, ""},
        TAutoReplyCase{"ListUnsubscribeOnly",
                       ASKING "List-Unsubscribe: <mailto:leave@news.example>\n", 111,
                       V::MailingList, "", V::MailingList, ""},
        TAutoReplyCase{"SuppressOutOfOffice", ASKING "X-Auto-Response-Suppress: DR, OOF\n", 111,
                       V::SuppressRequested, "", V::SuppressRequested, ""},
        TAutoReplyCase{"NullReturnPath", "Return-Path: <>\n" ASKING, 111, V::NullSender, "",
                       V::NullSender, ""},
        TAutoReplyCase{"NoFrom",
                       "To: max@muster.example\nSubject: hi\n"
                       "Disposition-Notification-To: jane@example.com\n",
                       111, V::NullSender, "", V::NullSender, ""},
        TAutoReplyCase{"PostmasterSender",
                       "From: postmaster@example.com\nSubject: Mailbox quota\n"
                       "Disposition-Notification-To: postmaster@example.com\n",
                       111, V::MachineSender, "", V::MachineSender, ""},
        TAutoReplyCase{"TaggedNoReplySender",
                       "From: Service <no-reply+x7@service.example>\nSubject: Code 1234\n", 111,
                       V::MachineSender, "", V::NoRecipient, ""},
        TAutoReplyCase{"ListRequestAddress",
                       "From: users-request@lists.example.org\nSubject: Confirm subscription\n",
                       111, V::MachineSender, "", V::NoRecipient, ""},
        TAutoReplyCase{"ReceiptAskedForMailerDaemon",
                       PERSONAL "Disposition-Notification-To: <MAILER-DAEMON@example.com>\n", 111,
                       V::MachineSender, "", V::MachineSender, ""},
        TAutoReplyCase{"OwnAddressSender",
                       "From: Max <MAX@muster.example>\nSubject: note to self\n"
                       "Disposition-Notification-To: max@muster.example\n",
                       111, V::OwnAddress, "", V::OwnAddress, ""},
        TAutoReplyCase{"ReceiptAskedForOwnReplyTo",
                       PERSONAL "Disposition-Notification-To: office@muster.example\n", 111,
                       V::OwnAddress, "", V::OwnAddress, ""},
        TAutoReplyCase{"OtherAccountOfTheUser",
                       "From: max.private@home.example\nSubject: from home\n"
                       "Disposition-Notification-To: max.private@home.example\n",
                       111, V::OwnAddress, "", V::OwnAddress, ""},
        TAutoReplyCase{"FiledInTrash", ASKING, kFolderTrash, V::FiledInTrash, "", V::FiledInTrash,
                       ""},
        TAutoReplyCase{"ReplyToAnAutomaticAnswer", ASKING "References: <17.3@PELMORA_ANS>\n", 111,
                       V::AnswerToAnswer, "", V::AnswerToAnswer, ""},
        TAutoReplyCase{"ReturnPathOfTheRequester", "Return-Path: <jane@example.com>\n" ASKING, 111,
                       V::Allowed, "jane@example.com", V::Allowed, "jane@example.com"},
        TAutoReplyCase{"ReturnPathOfAnotherAddress",
                       "Return-Path: <campaign@sender.example>\n" ASKING, 111, V::Allowed,
                       "jane@example.com", V::ReturnPathDiffers, ""},
        TAutoReplyCase{"CommasInsideBracketsWithoutReturnPath",
                       PERSONAL "Disposition-Notification-To: <a@x.example,b@y.example>\n", 111,
                       V::Allowed, "jane@example.com", V::NoRecipient, ""},
        TAutoReplyCase{"ReceiptRequestForSeveralAddresses",
                       PERSONAL "Disposition-Notification-To: \"Desk\" <desk@example.com>,\n"
                                " boss@example.org, <third@example.net>\n",
                       111, V::Allowed, "desk@example.com", V::Allowed, "desk@example.com"},
        TAutoReplyCase{"QuotedNameWithComma",
                       "From: \"Roe, Jane\" <jane@example.com>\nSubject: hi\n"
                       "Disposition-Notification-To: \"Roe, Jane\" <jane@example.com>\n",
                       111, V::Allowed, "jane@example.com", V::Allowed, "jane@example.com"},
        TAutoReplyCase{"InvalidReceiptAddressFallsBackToSender",
                       PERSONAL "Disposition-Notification-To: not an address\n", 111, V::Allowed,
                       "jane@example.com", V::NoRecipient, ""}),
    [](const testing::TestParamInfo<TAutoReplyCase>& info) { return info.param.Name; });

TEST(AutoReplyAddresses, ValidAddressesAndMachines) {
    for (const char* valid :
         {"jane@example.com", "j.o'neil+tag@mail.example.co.uk", "x@xn--bcher-kva.example"})
        EXPECT_TRUE(IsValidMailAddress(valid)) << valid;
    for (const char* invalid :
         {"", "jane", "jane@localhost", "a@x,b@y.example", "a b@example.com", "<a@example.com>",
          "\"a\"@example.com", ".a@example.com", "a..b@example.com", "a@-x.example",
          "a@[192.0.2.1]", "a@example.com\r\nBcc: b@example.com"})
        EXPECT_FALSE(IsValidMailAddress(invalid)) << invalid;
    EXPECT_FALSE(IsValidMailAddress(std::string(65, 'a') + "@example.com"));

    for (const char* machine :
         {"MAILER-DAEMON@mx.example", "Postmaster@example.com", "noreply-12345@service.example",
          "do-not-reply@bank.example", "owner-users@lists.example", "bounces+1=2@esp.example"})
        EXPECT_TRUE(IsMachineAddress(machine)) << machine;
    for (const char* person : {"jane@example.com", "noreen@example.com", "requester@example.com"})
        EXPECT_FALSE(IsMachineAddress(person)) << person;
}

TEST(AutoReplyAddresses, ThreadingOfTheAnswer) {
    EXPECT_EQ(ReferencesForAnswer("<a@x> <b@x>", "<c@x>"), "<a@x> <b@x> <c@x>");
    EXPECT_EQ(ReferencesForAnswer("", " <c@x> "), "<c@x>");
    EXPECT_EQ(ReferencesForAnswer("<a@x> <c@x>", "<c@x>"), "<a@x> <c@x>");
    EXPECT_EQ(ReferencesForAnswer("<a@x>", "no identifier"), "");
    std::string chain;
    for (int i = 0; i < 50; ++i)
        chain += "<" + std::to_string(i) + "@x>\r\n ";
    const std::string kept = ReferencesForAnswer(chain, "<new@x>");
    EXPECT_EQ(kept.rfind("<0@x> <32@x> ", 0), 0u) << kept;
    EXPECT_TRUE(kept.ends_with("<49@x> <new@x>")) << kept;
    EXPECT_EQ(SafeDisplayName("Evil\", <b@y.example>, \"x\r\n"), "Evil , b@y.example , x");
}

} // namespace
} // namespace pelmora
