#include "processing/outbox_sending.h"

#include "mime/mail_message.h"
#include "processing/answering_machine.h"
#include "processing/index_row.h"
#include "processing/transfer_run.h"
#include "processing_fixture.h"
#include "store/folder_index.h"
#include "store/message_files.h"
#include "store/store_layout.h"
#include "support/dovecot_server.h"
#include "support/scripted_server.h"
#include "support/smtp_test_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TDovecotOptions;
using pelmora::testing::TDovecotServer;
using pelmora::testing::TSmtpTestOptions;
using pelmora::testing::TSmtpTestServer;
using pelmora::testing::TTempDir;
using pelmora::testing::TTestCa;

const std::string kPassword = "pop secret";
const std::string kRefusedAddress = "nobody@example.org";

struct TFilingCase {
    const char* Name;
    const char* Header;
    bool Receipt;
};

class SentFiling : public ::testing::TestWithParam<TFilingCase> {};

TEST_P(SentFiling, ReceiptsGoToOutgoingReceipts) {
    auto message = ParseMail(GetParam().Header);
    EXPECT_EQ(IsSentReceipt(*message), GetParam().Receipt);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SentFiling,
    ::testing::Values(TFilingCase{"PlainMessage", "Subject: hi\nContent-Type: text/plain\n", false},
                      TFilingCase{"ReferenceHeader", "X-PelmoraReference: <a@PXID1001>\n", true},
                      TFilingCase{
                          "ReportContentType",
                          "Content-Type: multipart/REPORT; report-type=disposition-notification;"
                          " boundary=\"b\"\n",
                          true},
                      TFilingCase{"ReportOnlyInSubject", "Subject: report\n", false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SentFileNameTest, DropsOnlyTheUnreadMark) {
    EXPECT_EQ(SentFileName("_1012026101010123.eml"), "1012026101010123.eml");
    EXPECT_EQ(SentFileName("1012026101010123.emlf"), "1012026101010123.emlf");
    EXPECT_EQ(SentFileName("__x.eml"), "_x.eml");
}

std::string Outgoing(const std::string& toName, const std::string& to, const std::string& subject,
                     const std::string& extra = "") {
    return "From: Me Myself <me@example.org>\r\nTo: " + toName + " <" + to +
           ">\r\nSubject: " + subject +
           "\r\nDate: Thu, 10 Dec 2026 10:00:00 +0000\r\nMessage-ID: <old." + subject +
           "@PXID1001>\r\n" + extra +
           "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=\"utf-8\"\r\n\r\nText of " +
           subject + "\r\n";
}

// The Message-ID lines the session log shows for messages sent to an address.
std::vector<std::string> LoggedMessageIds(const TSessionLog& log) {
    std::vector<std::string> ids;
    for (const std::string& line : log.Items())
        if (line.rfind("Message-ID:", 0) == 0 || line.rfind("Message-Id:", 0) == 0)
            ids.push_back(line);
    return ids;
}

class OutboxSendingTest : public WorkspaceTest {
protected:
    static void SetUpTestSuite() {
        CaFiles = std::make_unique<TTempDir>("pelmora-outbox-ca");
        Ca = std::make_unique<TTestCa>(CaFiles->Path());
        ASSERT_TRUE(Ca->Ok());
        auto certificate = Ca->Issue({"localhost", {"localhost"}, {"127.0.0.1"}});
        TDovecotOptions options;
        options.CertPath = certificate.CertPath;
        options.KeyPath = certificate.KeyPath;
        options.Users.emplace_back("pbs", kPassword);
        options.Users.emplace_back("answer", kPassword);
        Pop3 = std::make_unique<TDovecotServer>();
        ASSERT_TRUE(Pop3->Start(options)) << Pop3->Log();
    }
    static void TearDownTestSuite() {
        Pop3.reset();
        Ca.reset();
        CaFiles.reset();
    }

    void SetUp() override {
        WorkspaceTest::SetUp();
        TSmtpTestOptions smtpOptions;
        smtpOptions.Refused.push_back(kRefusedAddress);
        ASSERT_TRUE(Smtp.Start(smtpOptions)) << Smtp.Log();
        Start();
        AccountNode = Workspace->AccountTree.First();
        Workspace->AccountTree.Add(AccountNode, ProjectNodeText(1001, "Work", "#251080"));
        ASSERT_TRUE(EnsureProjectDirectories(Store, 1001));
        SetAccountValue(104, "127.0.0.1");
        SetAccountValue(105, "pbs");
        SetAccountValue(106, kPassword);
        SetAccountValue(121, std::to_string(Pop3->Pop3Port()));
        SetAccountValue(108, "127.0.0.1");
        SetAccountValue(123, std::to_string(Smtp.Port()));
        SetAccountValue(202, "me@example.org");
        Run = std::make_unique<TTransferRun>(*Workspace);
    }
    void TearDown() override {
        Run.reset();
        WorkspaceTest::TearDown();
    }
    void SetAccountValue(int code, const std::string& value) {
        SetAccountParameter(*Workspace, AccountNode, code, value);
    }
    // Queues a file in the outbox of 1001 with its index row, as composing does.
    void Queue(const std::string& name, const std::string& text) {
        const std::string outbox = FolderPath(Store, 1001, 115);
        PutFile(outbox + name, text);
        TIndexRow row;
        row.FolderPath = outbox;
        row.FilePath = outbox + name;
        row.State = MessageStateFromName(name);
        row.Subject = name;
        row.Size = static_cast<std::int64_t>(text.size());
        ASSERT_TRUE(AppendToFolderIndex(row));
    }
    std::vector<std::string> Files(int folder) const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(FolderPath(Store, 1001, folder), ec))
            if (entry.is_regular_file() && IsMessageFileName(entry.path().filename().string()))
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<TListRow> IndexRows(int folder) const {
        TMessageList list;
        LoadIndex(FolderPath(Store, 1001, folder) + "tree.lst", list);
        return list.AllRows();
    }
    std::string Log() const { return Shell->SessionLog().Joined(); }
    const std::string& Text(int module, int slot) const { return Shell->Text(module, slot); }

    static inline std::unique_ptr<TTempDir> CaFiles;
    static inline std::unique_ptr<TTestCa> Ca;
    static inline std::unique_ptr<TDovecotServer> Pop3;
    TSmtpTestServer Smtp;
    TNode* AccountNode = nullptr;
    std::unique_ptr<TTransferRun> Run;
};

TEST_F(OutboxSendingTest, SentFiledRefusedAndEmptyStayInOutbox) {
    Queue("_1012026100000001.eml", Outgoing("Bob", "bob@example.org", "hello"));
    Queue("1012026100000002.eml",
          Outgoing("Ann", "ann@example.org", "receipt", "X-PelmoraReference: <x@example.net>\r\n"));
    Queue("1012026100000003.eml", Outgoing("Nobody", kRefusedAddress, "refused"));
    Queue("1012026100000004.eml", "");

    Run->RunTransfer(1, kSendOnly, false, false);

    const auto received = Smtp.Received();
    ASSERT_EQ(received.size(), 2u) << Log();
    for (const auto& mail : received) {
        EXPECT_NE(mail.Data.find("@PXID1001>"), std::string::npos);
        EXPECT_EQ(mail.Data.find("<old."), std::string::npos) << "a new Message-ID per attempt";
    }
    EXPECT_EQ(Files(113), std::vector<std::string>{"1012026100000001.eml"});
    EXPECT_EQ(Files(114), std::vector<std::string>{"1012026100000002.eml"});
    EXPECT_EQ(Files(115),
              (std::vector<std::string>{"1012026100000003.eml", "1012026100000004.eml"}));
    EXPECT_EQ(Run->Refused, 2);
    EXPECT_EQ(Run->SendErrors, 1);

    const std::string sent = SlurpFile(FolderPath(Store, 1001, 113) + "1012026100000001.eml");
    EXPECT_NE(sent.find("@PXID1001>"), std::string::npos);
    const std::vector<TListRow> sentRows = IndexRows(113);
    ASSERT_EQ(sentRows.size(), 1u);
    EXPECT_EQ(sentRows[0].StateIndex, kStateRead);
    EXPECT_EQ(sentRows[0].SubItem(1), "Bob (bob@example.org)");
    EXPECT_EQ(IndexRows(114).size(), 1u);
    const std::vector<TListRow> outboxRows = IndexRows(115);
    ASSERT_EQ(outboxRows.size(), 2u);
    EXPECT_NE(outboxRows[0].Caption().find("1012026100000003.eml"), std::string::npos);
    EXPECT_NE(outboxRows[1].Caption().find("1012026100000004.eml"), std::string::npos);
    EXPECT_NE(Log().find(Text(1, 286) + Text(1, 87) + " " + Text(4, 32) + " " + kRefusedAddress +
                         Text(2, 9)),
              std::string::npos)
        << Log();

    // The refused message is tried again with yet another Message-ID.
    const std::vector<std::string> firstIds = LoggedMessageIds(Shell->SessionLog());
    Run->RunTransfer(1, kSendOnly, false, false);
    const std::vector<std::string> secondIds = LoggedMessageIds(Shell->SessionLog());
    ASSERT_EQ(secondIds.size(), 1u) << Log();
    EXPECT_EQ(std::count(firstIds.begin(), firstIds.end(), secondIds[0]), 0);
    EXPECT_EQ(Files(115).size(), 2u);
}

TEST_F(OutboxSendingTest, LastSentFileLeavesAnEmptyOutboxIndex) {
    Queue("1012026100000001.eml", Outgoing("Bob", "bob@example.org", "only"));
    Run->RunTransfer(1, kSendOnly, true, false);
    EXPECT_EQ(Smtp.ReceivedCount(), 1) << Log();
    EXPECT_TRUE(Files(115).empty());
    EXPECT_TRUE(IndexRows(115).empty());
    EXPECT_TRUE(fs::exists(FolderPath(Store, 1001, 115) + "tree.lst"));
}

// A large queued message is read and sent with the interface served by time, not line by line
// or packet by packet: besides a few pumps per conversation step, at most a few per 20 ms.
TEST_F(OutboxSendingTest, LargeMessagePumpsByTimeNotByLine) {
    std::string text = Outgoing("Bob", "bob@example.org", "large");
    for (int i = 0; i < 60000; ++i)
        text += "line " + std::to_string(i) + " of a long letter\r\n";
    Queue("1012026100000002.eml", text);
    Ui.PumpCount = 0;
    const auto start = std::chrono::steady_clock::now();
    Run->RunTransfer(1, kSendOnly, true, false);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_EQ(Smtp.ReceivedCount(), 1) << Log();
    EXPECT_LE(Ui.PumpCount, ms / 20 * 3 + 40) << ms << " ms";
}

// More messages than one batch of filing holds, a receipt and a refused one among them: each
// sent message is filed once with one row, the outbox keeps only the refused file and its row,
// and every "tree.cnt" agrees with its index.
TEST_F(OutboxSendingTest, ManyMessagesAreFiledOnceAcrossBatches) {
    const int count = static_cast<int>(TSentFiling::kBatchMessages) + 30;
    for (int n = 0; n < count; ++n) {
        const std::string subject = "m" + std::to_string(n);
        char name[32];
        std::snprintf(name, sizeof name, "_1012026%09d.eml", n);
        if (n == 7)
            Queue(name, Outgoing("Nobody", kRefusedAddress, subject));
        else if (n == 60)
            Queue(name, Outgoing("Ann", "ann@example.org", subject,
                                 "X-PelmoraReference: <x@example.net>\r\n"));
        else
            Queue(name, Outgoing("Bob", "bob@example.org", subject));
    }

    Run->RunTransfer(1, kSendOnly, true, false);

    EXPECT_EQ(Smtp.ReceivedCount(), count - 1) << Log();
    EXPECT_EQ(Run->Refused, 1);
    EXPECT_EQ(Files(113).size(), static_cast<std::size_t>(count - 2));
    EXPECT_EQ(Files(114), std::vector<std::string>{"1012026000000060.eml"});
    EXPECT_EQ(Files(115), std::vector<std::string>{"_1012026000000007.eml"});
    for (int folder : {113, 114, 115}) {
        const std::vector<TListRow> rows = IndexRows(folder);
        std::vector<std::string> listed;
        for (const TListRow& row : rows) {
            const std::string caption(row.Caption());
            listed.push_back(caption.substr(caption.rfind('/') + 1,
                                            caption.rfind('>') - caption.rfind('/') - 1));
        }
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, Files(folder)) << "folder " << folder;
        const auto summary =
            ReadFolderSummary(SummaryPathFor(FolderPath(Store, 1001, folder) + "tree.lst"));
        ASSERT_TRUE(summary.has_value()) << "folder " << folder;
        EXPECT_EQ(summary->Total, static_cast<int>(rows.size())) << "folder " << folder;
    }
    // Every copy, whether written as a new file or over a removed outbox file, is the message
    // as the server got it.
    std::set<std::string> received;
    for (const auto& mail : Smtp.Received())
        received.insert(mail.Data);
    for (const std::string& name : Files(113)) {
        const std::string copy =
            ReadWholeFile(FolderPath(Store, 1001, 113) + name).value_or("missing " + name);
        EXPECT_TRUE(received.count(copy) || received.count(copy.substr(0, copy.size() - 2)))
            << name << ":\n" << copy;
    }
}

// The copy in "sent" is written while the server takes the text; a server that refuses the
// text after all leaves no copy, and the message stays queued.
TEST_F(OutboxSendingTest, TextRefusedAfterDataLeavesNoCopy) {
    using namespace pelmora::testing;
    TScriptedServer server({Say("220 hi\r\n"), ReadLine(), Say("250 ok\r\n"), ReadLine(),
                            Say("250 ok\r\n"), ReadLine(), Say("250 ok\r\n"), ReadLine(),
                            Say("354 go ahead\r\n"), ReadData(), Say("554 5.6.0 not today\r\n"),
                            ReadLine(), Say("221 bye\r\n")});
    SetAccountValue(123, std::to_string(server.Port()));
    Queue("_1012026100000001.eml", Outgoing("Bob", "bob@example.org", "refused late"));

    Run->RunTransfer(1, kSendOnly, true, false);
    server.Join();

    EXPECT_EQ(Run->Refused, 1) << Log();
    EXPECT_TRUE(Files(113).empty());
    EXPECT_TRUE(IndexRows(113).empty());
    EXPECT_EQ(Files(115), std::vector<std::string>{"_1012026100000001.eml"});
    EXPECT_EQ(IndexRows(115).size(), 1u);
}

struct TPopBeforeSendCase {
    const char* Name;
    int Mode;
    bool Pop3Reachable;
    bool SignInLine;
    bool Failure;
};

class PopBeforeSend : public OutboxSendingTest,
                      public ::testing::WithParamInterface<TPopBeforeSendCase> {};

TEST_P(PopBeforeSend, SignsInOnlyInSendOnlyRunsAndSendsAnyway) {
    const TPopBeforeSendCase& c = GetParam();
    SetAccountValue(107, "Yes");
    if (!c.Pop3Reachable)
        SetAccountValue(121, "1");
    Queue("1012026100000001.eml", Outgoing("Bob", "bob@example.org", "pbs"));
    Run->RunTransfer(1, c.Mode, false, false);

    EXPECT_EQ(Smtp.ReceivedCount(), 1) << Log();
    EXPECT_EQ(Log().find(Text(1, 286) + "POP-Before-Send Authentication") != std::string::npos,
              c.SignInLine)
        << Log();
    EXPECT_EQ(Log().find("POP-Before-Send - " + Text(0, 30)) != std::string::npos, c.Failure);
    EXPECT_EQ(Ui.PopupShown(Text(0, 38)), c.Failure);
    EXPECT_EQ(Run->SendErrors, c.Failure ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PopBeforeSend,
    ::testing::Values(TPopBeforeSendCase{"SendOnly", kSendOnly, true, true, false},
                      TPopBeforeSendCase{"SendOnlySignInFails", kSendOnly, false, true, true},
                      TPopBeforeSendCase{"RetrieveAndSend", kRetrieveAndSend, true, false, false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(OutboxSendingTest, UnreachableSmtpServerKeepsTheOutbox) {
    SetAccountValue(123, "1");
    Queue("1012026100000001.eml", Outgoing("Bob", "bob@example.org", "kept"));
    Run->RunTransfer(1, kSendOnly, true, false);
    EXPECT_EQ(Run->SendErrors, 1);
    EXPECT_NE(Log().find(Text(1, 286) + Text(0, 29)), std::string::npos);
    EXPECT_EQ(Files(115).size(), 1u);
    EXPECT_TRUE(Files(113).empty());
}

TEST_F(OutboxSendingTest, UnverifiedSmtpCertificateIsTrustedOnYes) {
    auto certificate = Ca->Issue({"smtp", {"localhost"}, {"127.0.0.1"}});
    TSmtpTestOptions options;
    options.CertPath = certificate.CertPath;
    options.KeyPath = certificate.KeyPath;
    TSmtpTestServer secure;
    ASSERT_TRUE(secure.Start(options)) << secure.Log();
    SetAccountValue(123, std::to_string(secure.TlsPort()));
    SetAccountValue(124, "SSL/TLS");
    Queue("1012026100000001.eml", Outgoing("Bob", "bob@example.org", "secure"));

    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    Run->RunTransfer(1, kSendOnly, false, false);
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_NE(Ui.Questions[0].Text.find(certificate.Fingerprint), std::string::npos);
    EXPECT_EQ(secure.ReceivedCount(), 1) << Log();
    EXPECT_TRUE(Files(115).empty());
}

// A retrieved message that asks for a receipt, with the answering machine on: the answer
// leaves at once over its own session; the receipt waits in the project's outbox for the
// next sending (the outboxes were counted before retrieval) and is then filed among the
// sent receipts.
TEST_F(OutboxSendingTest, RetrievedRequestIsAnsweredAndItsReceiptQueued) {
    ASSERT_TRUE(Pop3->AddMessage("answer",
                                 "From: Jane Roe <jane@example.com>\r\nTo: Me <me@example.org>\r\n"
                                 "Subject: question\r\nReferences: <q.1@PXID1001>\r\n"
                                 "Disposition-Notification-To: Jane Roe <jane@example.com>\r\n"
                                 "Message-ID: <question@example.com>\r\n\r\nWell?\r\n"));
    SetAccountValue(105, "answer");
    SetAccountValue(110, "Yes");
    ASSERT_TRUE(PrepareAnswerFiles(Books, 1, "Away until Monday, %SENDER."));
    ASSERT_TRUE(WriteAnswerActive(AnswerSwitchPath(Books, 1), true));

    Run->RunTransfer(1, kRetrieveAndSend, false, false);

    EXPECT_EQ(Run->Downloaded, 1) << Log();
    auto received = Smtp.Received();
    ASSERT_EQ(received.size(), 1u) << Log();
    EXPECT_NE(received[0].Data.find("@PELMORA_ANS>"), std::string::npos) << received[0].Data;
    EXPECT_NE(received[0].Data.find("Away until Monday"), std::string::npos);
    EXPECT_EQ(received[0].To, std::vector<std::string>{"jane@example.com"});
    EXPECT_EQ(Files(111).size(), 1u);
    EXPECT_EQ(Files(115).size(), 1u);
    EXPECT_TRUE(Ui.QuestionAsked(Text(1, 46)));

    Run->RunTransfer(1, kSendOnly, false, false);
    received = Smtp.Received();
    ASSERT_EQ(received.size(), 2u) << Log();
    EXPECT_NE(received[1].Data.find("@PXID1001>"), std::string::npos);
    EXPECT_EQ(received[1].To, std::vector<std::string>{"jane@example.com"});
    EXPECT_TRUE(Files(115).empty());
    EXPECT_EQ(Files(114).size(), 1u) << "the receipt is filed as a sent receipt";
    EXPECT_TRUE(Files(113).empty());
    EXPECT_EQ(Pop3->MessageCount("answer"), 0);
}

} // namespace
} // namespace pelmora
