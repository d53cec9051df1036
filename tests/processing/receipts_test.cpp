#include "processing/outbox_sending.h"
#include "processing/receipts.h"

#include "shell/atomic_file.h"
#include "processing/mail_log.h"
#include "processing_fixture.h"
#include "shell/message_texts.h"
#include "shell/session_log.h"
#include "store/account_settings.h"
#include "store/message_files.h"
#include "store/store_layout.h"

#include <filesystem>

namespace pelmora {
namespace {

namespace fs = std::filesystem;

struct TReceiptCase {
    const char* Name;
    const char* Header;
    const char* Body;
    bool Receipt;
};

class ReceiptDetection : public testing::TestWithParam<TReceiptCase> {};

TEST_P(ReceiptDetection, ReportReferenceOrNotificationPart) {
    auto message = ParseMail(GetParam().Header, GetParam().Body);
    EXPECT_EQ(IsReceipt(*message), GetParam().Receipt);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReceiptDetection,
    testing::Values(
        TReceiptCase{"MultipartReport",
                     "Content-Type: Multipart/Report; report-type=disposition-notification; "
                     "boundary=\"b\"",
                     "--b\r\nContent-Type: text/plain\r\n\r\nread\r\n--b--\r\n", true},
        TReceiptCase{"ReferenceHeader", "X-PelmoraReference: <a@PXID1001>", "x\r\n", true},
        TReceiptCase{"NotificationAttachment", "Content-Type: multipart/mixed; boundary=\"b\"",
                     "--b\r\nContent-Type: text/plain\r\n\r\nread\r\n--b\r\n"
                     "Content-Type: message/disposition-notification; name=\"rfc822.txt\"\r\n"
                     "Content-Disposition: attachment; filename=\"rfc822.txt\"\r\n\r\n"
                     "Disposition: displayed\r\n--b--\r\n",
                     true},
        TReceiptCase{"ReportOnlyInParameter", "Content-Type: text/plain; name=\"report.txt\"",
                     "x\r\n", false},
        TReceiptCase{"PlainReply", "Subject: Re: report\nReferences: <a@PXID1001>", "x\r\n",
                     false}),
    [](const testing::TestParamInfo<TReceiptCase>& info) { return info.param.Name; });

class QueueReceiptTest : public testing::Test {
protected:
    void SetUp() override {
        Root = NewTestDirectory("rcpt").string() + "/";
        Job.StoreDir = Root + "Projects/";
        Job.TempDir = Root + "Temp/";
        fs::create_directories(Job.TempDir);
        EnsureProjectDirectories(Job.StoreDir, 1001);
        Texts.LoadDefaults();
        Job.Texts = &Texts;
        Job.Log = &Log;
        Job.AppendRow = [this](const TIndexRow& row) {
            Rows.push_back(row);
            return true;
        };
        Account.AccountName = "Max Muster (max@muster.example)";
        Account.DisplayName = "Max Muster";
        Account.EmailAddress = "max@muster.example";
        Account.ReplyTo = "office@muster.example";
    }
    void TearDown() override { fs::remove_all(Root); }

    std::string Root;
    TMessageTexts Texts;
    TSessionLog Log;
    TReceiptJob Job;
    AccountSettings Account;
    std::vector<TIndexRow> Rows;
};

const char* const kAsking = "From: \"Jane Roe\" <jane@example.com>\n"
                            "To: max@muster.example\n"
                            "Subject:  Budget 2025 \n"
                            "Date: Tue, 05 Mar 2024 14:07:09 +0000\n"
                            "Message-ID: <orig.42@example.com>\n"
                            "Disposition-Notification-To: \"Jane's Desk\" <desk@example.com>\n";

TEST_F(QueueReceiptTest, ReceiptIsBuiltWrittenAndIndexed) {
    auto retrieved = ParseMail(kAsking);
    TMailMessage work;
    std::vector<std::string> actions;
    Job.ShowAction = [&](const std::string& text) { actions.push_back(text); };
    TQueuedReceipt queued = QueueReceipt(*retrieved, Account, 1001, Job, work);
    ASSERT_TRUE(queued.Saved);
    // The progress window says what happens, as the log does.
    EXPECT_EQ(actions, std::vector<std::string>{Texts.Text(4, 50) + "jane@example.com"});
    EXPECT_TRUE(queued.WithNotification);
    EXPECT_TRUE(queued.IndexRowAdded);
    const std::string outbox = Job.StoreDir + "1001/outbox/";
    ASSERT_EQ(queued.Path.rfind(outbox, 0), 0u);
    EXPECT_EQ(MessageStateFromName(fs::path(queued.Path).filename().string()), kStateRead);
    EXPECT_EQ(SlurpFile(Job.TempDir + "rfc822.txt"),
              "Reporting-UA: Sorvath Pelmora v.3.0.5\r\n"
              "Final-Recipient: rfc822;max@muster.example\r\n"
              "Original-Message-ID: <orig.42@example.com>\r\n"
              "Disposition: automatic-action/MDN-sent-automatically; displayed\r\n");

    TMailMessage saved;
    ASSERT_TRUE(saved.LoadMessageFile(queued.Path));
    saved.MapParts();
    EXPECT_TRUE(IsReceipt(saved));
    EXPECT_EQ(saved.GetSender(), (TMailAddress{"Max Muster", "max@muster.example"}));
    EXPECT_EQ(saved.GetReplyTarget(), (TMailAddress{"Max Muster", "office@muster.example"}));
    ASSERT_EQ(saved.ToRecipients.Count(), 1);
    EXPECT_EQ(saved.ToRecipients.NameAt(0), "Jane's Desk");
    EXPECT_EQ(saved.ToRecipients.AddressAt(0), "desk@example.com");
    EXPECT_EQ(saved.GetSubject(), "Read: Budget 2025");
    EXPECT_EQ(saved.HeaderValue("References"), "<orig.42@example.com>");
    EXPECT_EQ(saved.HeaderValue("X-PelmoraReference"), "<orig.42@example.com>");
    const std::string id = saved.GetMessageId();
    EXPECT_EQ(id.substr(id.size() - 10), "@PXID1001>");
    EXPECT_NE(saved.ContentTypeLower().find("multipart/mixed"), std::string::npos);
    ASSERT_EQ(saved.Attachments.size(), 1u);
    EXPECT_EQ(saved.Attachments[0]->ContentTypeLower(), "message/disposition-notification");
    std::string text;
    for (std::string_view line : saved.PlainTextLines)
        text.append(line).append("\n");
    EXPECT_NE(text.find("This is a receipt for the mail you sent to Max Muster "
                        "(max@muster.example) at "),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("-2024 "), std::string::npos) << text; // the date of the message

    ASSERT_EQ(Rows.size(), 1u);
    EXPECT_EQ(Rows[0].FolderPath, outbox);
    EXPECT_EQ(Rows[0].State, kStateRead);
    EXPECT_EQ(Rows[0].AttachmentIcon, kNoAttachmentIcon);
    EXPECT_EQ(Rows[0].AddressColumn, "Jane's Desk (desk@example.com)");
    EXPECT_EQ(Rows[0].Subject, "Read: Budget 2025");
    EXPECT_EQ(Rows[0].Size, static_cast<std::int64_t>(fs::file_size(queued.Path)));
    EXPECT_EQ(Rows[0].MessageId, id);
    ASSERT_EQ(Log.Items().size(), 1u);
    EXPECT_NE(Log.Items()[0].find(" : Saving a requested receipt for jane@example.com"),
              std::string::npos);
}

TEST_F(QueueReceiptTest, RecipientAndReplyToRules) {
    struct TRow {
        const char* Header;
        const char* ReplyTo;
        TMailAddress To;
        bool HasReplyTo;
    };
    const TRow rows[] = {
        {"From: \"Jane Roe\" <jane@example.com>\nDisposition-Notification-To: desk@example.com\n",
         "office@muster.example",
         {"Jane Roe", "desk@example.com"},
         true},
        {"From: jane@example.com\nDisposition-Notification-To: \"Desk\" <desk@example.com>\n",
         "-not set-",
         {"Desk", "desk@example.com"},
         false},
    };
    for (const TRow& row : rows) {
        Account.ReplyTo = row.ReplyTo;
        TMailMessage work;
        ASSERT_TRUE(QueueReceipt(*ParseMail(row.Header), Account, 1001, Job, work).Saved);
        ASSERT_EQ(work.ToRecipients.Count(), 1);
        EXPECT_EQ(work.ToRecipients.NameAt(0), row.To.Name) << row.Header;
        EXPECT_EQ(work.ToRecipients.AddressAt(0), row.To.Address);
        EXPECT_EQ(work.HasHeader("Reply-To"), row.HasReplyTo);
    }
}

// A receipt for a message that names no Message-ID carries no reference; it is filed among
// the sent receipts all the same, by its notification part.
TEST_F(QueueReceiptTest, ReceiptWithoutReferenceIsFiledAsAReceipt) {
    std::string asking = kAsking;
    asking.erase(asking.find("Message-ID: "), std::string("Message-ID: <orig.42@example.com>\n").size());
    TMailMessage work;
    TQueuedReceipt queued = QueueReceipt(*ParseMail(asking), Account, 1001, Job, work);
    ASSERT_TRUE(queued.Saved);
    ASSERT_TRUE(queued.WithNotification);
    TMailMessage queuedFile;
    ASSERT_TRUE(queuedFile.LoadMessageFile(queued.Path).Ok);
    EXPECT_FALSE(queuedFile.HasHeader(kReferenceHeader));
    EXPECT_TRUE(IsSentReceipt(queuedFile));
}

TEST_F(QueueReceiptTest, UnwritableNotificationGivesTextOnlyReceipt) {
    Job.TempDir = Root + "missing/";
    TMailMessage work;
    TQueuedReceipt queued = QueueReceipt(*ParseMail(kAsking), Account, 1001, Job, work);
    EXPECT_TRUE(queued.Saved);
    EXPECT_FALSE(queued.WithNotification);
    EXPECT_TRUE(work.Attachments.empty());
}

TEST_F(QueueReceiptTest, UnwritableOutboxAddsNoRow) {
    fs::remove_all(Job.StoreDir + "1001/outbox");
    TMailMessage work;
    TQueuedReceipt queued = QueueReceipt(*ParseMail(kAsking), Account, 1001, Job, work);
    EXPECT_FALSE(queued.Saved);
    EXPECT_FALSE(queued.IndexRowAdded);
    EXPECT_TRUE(Rows.empty());
}

class FindReceiptTest : public testing::Test {
protected:
    void SetUp() override { Dir = NewTestDirectory("find").string() + "/"; }
    void TearDown() override { fs::remove_all(Dir); }
    std::string Put(const std::string& name, const std::string& header) {
        const std::string path = Dir + name;
        EXPECT_TRUE(WriteFileAtomically(path, header + "\r\nbody\r\n"));
        return path;
    }
    std::string Dir;
};

TEST_F(FindReceiptTest, ReceiptOfSentMessage) {
    const std::vector<std::string> receipts = {
        Dir + "gone.eml",
        Put("a.eml", "References: <other@PXID1001>\r\n"),
        Put("b.eml", "X-PelmoraReference: <sent.7@PXID1001>\r\n"),
        Put("c.eml", "References: <sent.7@PXID1001>\r\n"),
    };
    EXPECT_EQ(FindReceiptOfMessage("<sent.7@PXID1001>", receipts).Row, 2);
    EXPECT_EQ(FindReceiptOfMessage("<nothing@PXID1001>", receipts).Status, TFindStatus::NotFound);
    EXPECT_EQ(FindReceiptOfMessage("  <> ", receipts).Status, TFindStatus::NoMessageId);
    bool abort = true;
    EXPECT_EQ(FindReceiptOfMessage("<sent.7@PXID1001>", receipts, &abort).Status,
              TFindStatus::NotFound);
}

TEST_F(FindReceiptTest, SourceOfReceipt) {
    const std::vector<std::string> ids = {"", "<a.1@example.com>", "<orig.42@example.com>"};
    struct TRow {
        const char* Header;
        TFindStatus Status;
        int Row;
    };
    const TRow rows[] = {
        {"References: <orig.42@example.com>\r\n", TFindStatus::Found, 2},
        {"X-PelmoraReference: <a.1@example.com>\r\n", TFindStatus::Found, 1},
        {"Content-Type: multipart/report; boundary=\"b\"\r\n"
         "X-PelmoraReference: <a.1@example.com>\r\n",
         TFindStatus::NotFound, -1},
        {"Subject: just mail\r\n", TFindStatus::NotAReceipt, -1},
    };
    for (const TRow& row : rows) {
        TFindResult result = FindSourceOfReceipt(Put("r.eml", row.Header), ids);
        EXPECT_EQ(result.Status, row.Status) << row.Header;
        EXPECT_EQ(result.Row, row.Row) << row.Header;
    }
    EXPECT_EQ(FindSourceOfReceipt(Dir + "gone.eml", ids).Status, TFindStatus::FileMissing);
    EXPECT_EQ(SourceFolderOfReceipts(kFolderInReceipts), kFolderSent);
    EXPECT_EQ(SourceFolderOfReceipts(kFolderOutReceipts), kFolderInbox);
    EXPECT_EQ(SourceFolderOfReceipts(kFolderInbox), -1);
}

class ReportFindTest : public WorkspaceTest {};

TEST_F(ReportFindTest, FindFailuresAreReported) {
    Start();
    struct TRow {
        TFindStatus Status;
        bool Source;
        std::string Text;
        int Ms;
        const char* Sound;
    };
    const TRow rows[] = {
        {TFindStatus::NoMessageId, false,
         "Aborting: Message-ID header missing from message. Very unusual!", 5000, "popped"},
        {TFindStatus::NotFound, false, Shell->Text(1, 350), 6000, "popped"},
        {TFindStatus::NotFound, true, Shell->Text(1, 350), 5000, "popped"},
        {TFindStatus::NotAReceipt, true, Shell->Text(0, 27), 5000, "attention"},
        {TFindStatus::FileMissing, true, Shell->Text(0, 25), 5000, "attention"},
    };
    for (const TRow& row : rows) {
        Ui.ClearRecords();
        ReportFindFailure(*Shell, {row.Status, -1}, row.Source);
        ASSERT_TRUE(Ui.LastPopup());
        EXPECT_EQ(Ui.LastPopup()->Request.Text, row.Text);
        EXPECT_EQ(Ui.LastPopup()->Request.DisplayMs, row.Ms);
        EXPECT_EQ(Sounds(), std::vector<std::string>{row.Sound});
    }
    Ui.ClearRecords();
    ReportFindFailure(*Shell, {TFindStatus::Found, 3}, false);
    EXPECT_TRUE(Ui.Popups.empty());
}

} // namespace
} // namespace pelmora

namespace pelmora {
namespace {

TEST_F(FindReceiptTest, SearchesStraightOverTheStore) {
    const std::string store = Dir + "Projects/";
    EnsureProjectDirectories(store, 1001);
    const std::string sent = store + "1001/sent/";
    const std::string inReceipts = store + "1001/inreceipts/";
    ASSERT_TRUE(WriteFileAtomically(sent + "1012024100000001.eml",
                                    "Message-ID: <one@PXID1001>\r\n\r\nbody\r\n"));
    ASSERT_TRUE(WriteFileAtomically(sent + "2012024100000001.eml",
                                    "Message-ID: <two@PXID1001>\r\n\r\nbody\r\n"));
    ASSERT_TRUE(WriteFileAtomically(sent + "notes.txt", "Message-ID: <two@PXID1001>\r\n\r\n"));
    // A link named like a message points at a file outside the store: never a message.
    ASSERT_TRUE(WriteFileAtomically(store + "outside.txt", "Message-ID: <two@PXID1001>\r\n\r\n"));
    std::filesystem::create_symlink(store + "outside.txt", sent + "3012024100000001.eml");
    ASSERT_TRUE(WriteFileAtomically(inReceipts + "_3012024100000001.eml",
                                    "Content-Type: multipart/report; boundary=\"b\"\r\n"
                                    "References: <two@PXID1001>\r\n\r\n--b--\r\n"));

    EXPECT_EQ(FolderMessageFiles(sent), (std::vector<std::string>{sent + "1012024100000001.eml",
                                                                  sent + "2012024100000001.eml"}));
    EXPECT_EQ(FindReceiptFileOfMessage(store, 1001, "<two@PXID1001>"),
              inReceipts + "_3012024100000001.eml");
    EXPECT_EQ(FindReceiptFileOfMessage(store, 1001, "<one@PXID1001>"), "");
    EXPECT_EQ(FindSourceFileOfReceipt(store, 1001, inReceipts + "_3012024100000001.eml",
                                      kFolderInReceipts),
              sent + "2012024100000001.eml");
    EXPECT_EQ(FindSourceFileOfReceipt(store, 1001, inReceipts + "_3012024100000001.eml",
                                      kFolderOutReceipts),
              "");
}

} // namespace
} // namespace pelmora

namespace pelmora {
namespace {

// A receipt written by another mail program: a report, but no "References" header.
TEST_F(FindReceiptTest, ForeignReceiptIsFiledButCannotBeMatched) {
    const std::string path = std::string(PELMORA_TEST_DATA) + "/processing/foreign_receipt.eml";
    TMailMessage receipt;
    ASSERT_TRUE(receipt.LoadMessageFile(path));
    receipt.MapParts();
    EXPECT_TRUE(IsReceipt(receipt));
    EXPECT_EQ(ReceiptReferences(receipt), "");
    TFindResult result =
        FindSourceOfReceipt(path, {"<20240305140709.1A2B.3C4D@PXID1001>", "<x@y>"});
    EXPECT_EQ(result.Status, TFindStatus::NotFound);
}

} // namespace
} // namespace pelmora
