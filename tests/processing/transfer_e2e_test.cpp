#include "processing/transfer_run.h"

#include "processing/answering_machine.h"
#include "processing/receipts.h"
#include "store/folder_index.h"
#include "store/message_files.h"
#include "support/smtp_test_server.h"
#include "transfer_fixture.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TDovecotServer;
using pelmora::testing::TSmtpTestServer;

std::string Mail(const std::string& subject, const std::string& extra) {
    return "From: a@example.net\r\nTo: Me Myself <me@example.org>\r\nSubject: " + subject +
           "\r\nDate: Thu, 10 Dec 2026 10:00:00 +0000\r\nMessage-ID: <" +
           std::to_string(std::hash<std::string>{}(subject)) + "@example.net>\r\n" + extra +
           "\r\nBody.\r\n";
}

class TransferRoutingTest : public TransferFixture {
protected:
    // How often each subject was stored in a folder's files, with the state its name gives.
    std::map<std::string, int> Subjects(int project, int folder) const {
        std::map<std::string, int> subjects;
        const std::string dir = FolderPath(Store, project, folder);
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir, ec)) {
            if (!entry.is_regular_file() || !IsMessageFileName(entry.path().filename().string()))
                continue;
            auto message = std::make_unique<TMailMessage>();
            EXPECT_TRUE(message->LoadMessageFile(entry.path().string()));
            ++subjects[message->GetSubject() + " " +
                       std::to_string(MessageStateFromName(entry.path().filename().string()))];
        }
        return subjects;
    }
};

// Kinds of retrieved mail, fetched from a real server in one session, each land in their
// project, folder and state.
TEST_F(TransferRoutingTest, RetrievedKindsLandInTheirFolders) {
    TDovecotServer server;
    ASSERT_TRUE(StartDovecot(server, {"kinds"})) << server.Log();
    const std::string ours = "References: <a.1@PXID1001>\r\n";
    const std::vector<std::tuple<std::string, std::string, int, int, int>> cases = {
        {"Re: offer -> Tracking number: 1001$20240101", "", 1001, 111, kStateUnread},
        {"urgent", "X-Priority: 1 (Highest)\r\n" + ours, 1001, 111, kStateFlag},
        {"read",
         "Content-Type: multipart/report; report-type=disposition-notification; "
         "boundary=\"b1\"\r\n" + ours,
         1001, 112, kStateUnread},
        {"Re. Re. hello", "References: <1.2.3@PELMORA_ANS>\r\n", DefaultProject, 111,
         kStateOrphan},
    };
    std::map<std::pair<int, int>, std::map<std::string, int>> expected;
    for (const auto& [subject, extra, project, folder, state] : cases) {
        ASSERT_TRUE(server.AddMessage("kinds", Mail(subject, extra)));
        ++expected[{project, folder}][subject + " " + std::to_string(state)];
    }
    UseMailbox("kinds", server.Pop3Port());

    TTransferRun run(*Workspace);
    run.RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(run.RetrieveErrors, 0) << Shell->SessionLog().Joined();
    EXPECT_EQ(run.Downloaded, static_cast<int>(cases.size()));
    EXPECT_EQ(server.MessageCount("kinds"), 0);
    for (const auto& [where, subjects] : expected)
        EXPECT_EQ(Subjects(where.first, where.second), subjects)
            << "project " << where.first << " folder " << where.second;
}

// With the answering machine switched on, a retrieved message is answered through the
// outgoing server right away; an answer to one of our answers is stored but not answered.
TEST_F(TransferRoutingTest, AnsweringMachineRepliesThroughTheOutgoingServer) {
    TDovecotServer server;
    ASSERT_TRUE(StartDovecot(server, {"away"})) << server.Log();
    TSmtpTestServer sink;
    ASSERT_TRUE(sink.Start()) << sink.Log();
    ASSERT_TRUE(PrepareAnswerFiles(Books, 1, "I am away until Monday."));
    ASSERT_TRUE(WriteAnswerActive(AnswerSwitchPath(Books, 1), true));
    ASSERT_TRUE(server.AddMessage("away", Mail("question", "")));
    ASSERT_TRUE(server.AddMessage("away", Mail("Re. Re. question",
                                               "References: <1.2.3@PELMORA_ANS>\r\n")));
    UseMailbox("away", server.Pop3Port());
    SetAccountValue(123, std::to_string(sink.Port()));

    TTransferRun run(*Workspace);
    run.RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(run.RetrieveErrors, 0) << Shell->SessionLog().Joined();
    EXPECT_EQ(run.Downloaded, 2);
    const std::vector<pelmora::testing::TReceivedMail> sent = sink.Received();
    ASSERT_EQ(sent.size(), 1u) << sink.Log() << Shell->SessionLog().Joined();
    EXPECT_EQ(sent[0].From, "<>") << "an automatic answer has a null envelope sender";
    EXPECT_EQ(sent[0].To, std::vector<std::string>{"a@example.net"});
    TMailMessage reply;
    reply.ParseText(sent[0].Data, true);
    EXPECT_EQ(reply.GetSubject(), "Re. question");
    const std::string original =
        "<" + std::to_string(std::hash<std::string>{}("question")) + "@example.net>";
    EXPECT_NE(sent[0].Data.find("\r\nIn-Reply-To: " + original + "\r\n"), std::string::npos)
        << sent[0].Data;
    EXPECT_NE(sent[0].Data.find("I am away until Monday."), std::string::npos) << sent[0].Data;
}

// A retrieved request for a receipt: the receipt is queued, sent by the next run, filed as
// a sent receipt, and leads back to the message it acknowledges.
TEST_F(TransferRoutingTest, ReceiptRoundTripLeadsBackToItsSource) {
    TDovecotServer server;
    ASSERT_TRUE(StartDovecot(server, {"receipt"})) << server.Log();
    TSmtpTestServer sink;
    ASSERT_TRUE(sink.Start()) << sink.Log();
    ASSERT_TRUE(server.AddMessage("receipt", Mail("first", "References: <q.1@PXID1001>\r\n")));
    ASSERT_TRUE(server.AddMessage(
        "receipt", Mail("please confirm", "References: <q.2@PXID1001>\r\n"
                                          "Disposition-Notification-To: <a@example.net>\r\n")));
    UseMailbox("receipt", server.Pop3Port());
    SetAccountValue(123, std::to_string(sink.Port()));
    SetAccountValue(110, "Yes");

    TTransferRun run(*Workspace);
    run.RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(run.RetrieveErrors, 0) << Shell->SessionLog().Joined();
    EXPECT_EQ(CountMessageFiles(FolderPath(Store, 1001, 115) + "*.eml?").Total, 1);
    EXPECT_EQ(sink.ReceivedCount(), 0);

    TTransferRun send(*Workspace);
    send.RunTransfer(1, kSendOnly, true, false);
    const std::vector<pelmora::testing::TReceivedMail> sent = sink.Received();
    ASSERT_EQ(sent.size(), 1u) << Shell->SessionLog().Joined();
    EXPECT_EQ(sent[0].To, std::vector<std::string>{"a@example.net"});
    EXPECT_EQ(CountMessageFiles(FolderPath(Store, 1001, 115) + "*.eml?").Total, 0);
    const std::string outReceipts = FolderPath(Store, 1001, 114);
    const std::vector<std::string> filed = FolderMessageFiles(outReceipts);
    ASSERT_EQ(filed.size(), 1u);

    TMessageList inbox;
    LoadIndex(FolderPath(Store, 1001, 111) + "tree.lst", inbox);
    std::vector<std::string> ids;
    for (const TListRow& row : inbox.AllRows())
        ids.emplace_back(row.SubItem(4));
    ASSERT_EQ(ids.size(), 2u);
    const TFindResult found = FindSourceOfReceipt(filed[0], ids);
    ASSERT_EQ(found.Status, TFindStatus::Found)
        << ids[0] << " " << ids[1] << "\n" << SlurpFile(filed[0]).substr(0, 900);
    EXPECT_EQ(ids[static_cast<std::size_t>(found.Row)],
              "<" + std::to_string(std::hash<std::string>{}("please confirm")) + "@example.net>");
}

} // namespace
} // namespace pelmora
