// Automatic answers and receipts as they leave: through a real SMTP server (envelope read by
// the server) and read back by Python's email package, and against a server that refuses
// the null envelope sender.

#include "processing/answering_machine.h"

#include "processing/auto_reply_history.h"
#include "processing/receipts.h"
#include "processing_fixture.h"
#include "shell/atomic_file.h"
#include "shell/message_texts.h"
#include "shell/scripted_ui.h"
#include "shell/shell_state.h"
#include "store/account_settings.h"
#include "support/scripted_server.h"
#include "support/smtp_test_server.h"
#include "transport/smtp_client.h"

#include <cstdio>
#include <filesystem>

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::ReadData;
using pelmora::testing::ReadLine;
using pelmora::testing::Say;
using pelmora::testing::TReceivedMail;
using pelmora::testing::TScriptedServer;
using pelmora::testing::TScriptStep;
using pelmora::testing::TSmtpTestServer;

// A reply from a person that names two senders, asks for a receipt for two addresses and
// continues a thread.
const char* const kIncoming =
    "Return-Path: <jane@example.com>\n"
    "From: =?utf-8?q?Roe=2C_Jane_B=C3=BCro?= <jane@example.com>, Bob Birch <bob@b.example>\n"
    "Sender: jane@example.com\n"
    "To: Max Muster <max@muster.example>\n"
    "Cc: team@example.org\n"
    "Subject: Budget 2025\n"
    "Date: Tue, 12 Mar 2024 09:30:00 +0100\n"
    "Message-ID: <budget.3@example.com>\n"
    "In-Reply-To: <budget.2@muster.example>\n"
    "References: <budget.1@example.com>\n <budget.2@muster.example>\n"
    "Disposition-Notification-To: Jane <jane@example.com>, boss@example.org\n";

// What Python's email package reads in a message text.
std::string ReadWithPython(const std::string& dir, const std::string& text) {
    const std::string path = dir + "read.eml";
    EXPECT_TRUE(WriteFileAtomically(path, text));
    const std::string command = std::string("/usr/bin/python3 '") + PELMORA_TEST_DATA +
                                "/processing/auto_reply/read_answer.py' '" + path + "' 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return "cannot run python3";
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    EXPECT_EQ(pclose(pipe), 0) << output;
    return output;
}

class AutoReplySendTest : public ::testing::Test {
protected:
    void SetUp() override {
        Root = NewTestDirectory("autosend").string() + "/";
        Books = Root + "AddressBooks/";
        Account.AccountNumber = 4;
        Account.AccountName = "Max Muster (max@muster.example)";
        Account.DisplayName = "Max Muster";
        Account.EmailAddress = "max@muster.example";
        ASSERT_TRUE(PrepareAnswerFiles(Books, 4, "Away until Monday, %SENDER."));
        ASSERT_TRUE(WriteAnswerActive(AnswerSwitchPath(Books, 4), true));
    }
    void TearDown() override { fs::remove_all(Root); }

    // The answering machine's reply to kIncoming.
    void Answer(TMailMessage& reply) {
        auto incoming = ParseMail(kIncoming);
        ASSERT_TRUE(AnswerMessage(AnswerRequestFor(*incoming, Account), TAnsweringMode::Normal,
                                  Books, reply));
    }

    std::string Root;
    std::string Books;
    AccountSettings Account;
    TScriptedUi Ui;
};

TEST_F(AutoReplySendTest, AnswerAndReceiptLeaveMarkedToOneAddressWithoutReturnPath) {
    TSmtpTestServer sink;
    ASSERT_TRUE(sink.Start()) << sink.Log();
    TMailMessage reply;
    Answer(reply);
    TMessageTexts texts;
    texts.LoadDefaults();
    TReceiptJob job;
    job.StoreDir = Root + "Projects/";
    job.TempDir = Root + "Temp/";
    job.Texts = &texts;
    fs::create_directories(job.TempDir);
    ASSERT_TRUE(EnsureProjectDirectories(job.StoreDir, 1001));
    TMailMessage receipt;
    ASSERT_TRUE(QueueReceipt(*ParseMail(kIncoming), Account, 1001, job, receipt).Saved);

    TSmtpClient smtp(Ui);
    smtp.Host = "127.0.0.1";
    smtp.Port = sink.Port();
    smtp.TimeOut = 10;
    ASSERT_TRUE(smtp.OpenSession()) << smtp.LastReply();
    for (TMailMessage* message : {&reply, &receipt}) {
        smtp.MailMessage = message;
        EXPECT_TRUE(smtp.SendMail()) << smtp.LastReply();
    }
    smtp.CloseSession();

    const std::vector<TReceivedMail> sent = sink.Received();
    ASSERT_EQ(sent.size(), 2u) << sink.Log();
    for (const TReceivedMail& mail : sent) {
        EXPECT_EQ(mail.From, "<>");
        EXPECT_EQ(mail.To, std::vector<std::string>{"jane@example.com"});
    }
    EXPECT_EQ(ReadWithPython(Root, sent[0].Data),
              "Auto-Submitted: auto-replied\n"
              "Date: ok\n"
              "In-Reply-To: <budget.3@example.com>\n"
              "References: <budget.1@example.com> <budget.2@muster.example> "
              "<budget.3@example.com>\n"
              "Recipients: 1 jane@example.com\n"
              "Defects: 0\n");
    EXPECT_EQ(ReadWithPython(Root, sent[1].Data), "Auto-Submitted: auto-replied\n"
                                                  "Date: ok\n"
                                                  "In-Reply-To: (missing)\n"
                                                  "References: <budget.3@example.com>\n"
                                                  "Recipients: 1 jane@example.com\n"
                                                  "Defects: 0\n");
}

// A submission server that refuses "<>" for good gets the answer with the account's address
// as envelope sender; a passing refusal is not retried.
TEST_F(AutoReplySendTest, RefusedNullSenderFallsBackToTheAccountAddress) {
    struct TRow {
        const char* Refusal;
        bool Sent;
        std::vector<std::string> Said; // after EHLO, without the message text
    };
    const TRow rows[] = {
        {"553 5.7.1 <>: sender address rejected\r\n",
         true,
         {"MAIL FROM:<>", "RSET", "MAIL FROM:<max@muster.example>", "RCPT TO:<jane@example.com>",
          "DATA"}},
        {"451 4.3.0 try again later\r\n", false, {"MAIL FROM:<>", "RSET"}},
    };
    for (const TRow& row : rows) {
        std::vector<TScriptStep> script = {Say("220 hi\r\n"),   ReadLine(),       Say("250 ok\r\n"),
                                           ReadLine(),          Say(row.Refusal), ReadLine(),
                                           Say("250 reset\r\n")};
        if (row.Sent) {
            for (const char* reply : {"250 ok\r\n", "250 ok\r\n"}) {
                script.push_back(ReadLine());
                script.push_back(Say(reply));
            }
            script.push_back(ReadLine());
            script.push_back(Say("354 go on\r\n"));
            script.push_back(ReadData());
            script.push_back(Say("250 queued\r\n"));
        }
        TScriptedServer server(script);
        TMailMessage reply;
        fs::remove(AnswerHistoryPath(Books, 4)); // each row answers anew
        Answer(reply);
        TSmtpClient smtp(Ui);
        smtp.Host = "127.0.0.1";
        smtp.Port = server.Port();
        smtp.TimeOut = 5;
        smtp.MailMessage = &reply;
        ASSERT_TRUE(smtp.OpenSession()) << smtp.LastReply();
        EXPECT_EQ(smtp.SendMail(), row.Sent) << row.Refusal << smtp.LastReply();
        smtp.DropConnection();
        server.Join();
        std::vector<std::string> said = server.Received();
        ASSERT_FALSE(said.empty());
        said.erase(said.begin()); // EHLO
        if (row.Sent && !said.empty())
            said.pop_back(); // the message text
        EXPECT_EQ(said, row.Said) << row.Refusal;
    }
}

} // namespace
} // namespace pelmora
