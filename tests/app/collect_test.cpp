// "pelmora --collect": the unattended transfer run started from cron or a timer, run as the
// real program against local servers.
#include "program_run.h"
#include "paramtree/tree_file.h"
#include "processing/index_row.h"
#include "processing/processing_fixture.h"
#include "shell/atomic_file.h"
#include "store/message_files.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "support/dovecot_server.h"
#include "support/smtp_test_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"
#include "shell/transfer_lock.h"


#include <filesystem>
#include <memory>

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TDovecotOptions;
using pelmora::testing::TDovecotServer;
using pelmora::testing::RunProgram;
using pelmora::testing::TProgramRun;
using pelmora::testing::TSmtpTestServer;
using pelmora::testing::TTempDir;
using pelmora::testing::TTestCa;

const std::string kPassword = "collect secret";

std::string Mail(const std::string& subject) {
    return "From: Ann <ann@example.net>\r\nTo: me@example.org\r\nSubject: " + subject +
           "\r\nDate: Thu, 10 Dec 2026 10:00:00 +0000\r\nMessage-ID: <" + subject +
           "@example.net>\r\n\r\nBody of " + subject + "\r\n";
}

class CollectTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        ASSERT_TRUE(Ca.Ok());
        auto certificate = Ca.Issue({"localhost", {"localhost"}, {"127.0.0.1"}});
        TDovecotOptions options;
        options.CertPath = certificate.CertPath;
        options.KeyPath = certificate.KeyPath;
        options.Users.emplace_back("collect", kPassword);
        ASSERT_TRUE(Pop3.Start(options)) << Pop3.Log();
        ASSERT_TRUE(Smtp.Start()) << Smtp.Log();
        Start();
        AccountNode = Workspace->AccountTree.First();
        Project = Workspace->ReadAccountSettings(AccountNode).DefaultProject;
        ASSERT_TRUE(EnsureProjectDirectories(Store, Project));
        for (const auto& [code, value] :
             std::vector<std::pair<int, std::string>>{{104, "127.0.0.1"},
                                                      {105, "collect"},
                                                      {106, kPassword},
                                                      {121, std::to_string(Pop3.Pop3Port())},
                                                      {108, "127.0.0.1"},
                                                      {123, std::to_string(Smtp.Port())},
                                                      {202, "me@example.org"},
                                                      {203, "Me Myself"},
                                                      {110, "No"}})
            SetAccountParameter(*Workspace, AccountNode, code, value);
    }
    // Writes what the program reads at start and lets go of the data home.
    void HandOver() {
        ASSERT_TRUE(Workspace->SaveAccountTree());
        Shell->Settings().Save();
    }
    std::vector<std::string> Files(int folder) const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(FolderPath(Store, Project, folder), ec))
            if (IsMessageFileName(entry.path().filename().string()))
                names.push_back(entry.path().filename().string());
        return names;
    }
    // A message for bob@example.com in the project's outbox, with its row.
    void QueueMail(const std::string& outbox) {
        const std::string queued = "To: bob@example.com\r\nFrom: me@example.org\r\nSubject: queued\r\n"
                                   "\r\nHello Bob.\r\n";
        PutFile(outbox + "queued.eml", queued);
        TIndexRow row;
        row.FolderPath = outbox;
        row.FilePath = outbox + "queued.eml";
        row.State = MessageStateFromName("queued.eml");
        row.Subject = "queued";
        row.Size = static_cast<std::int64_t>(queued.size());
        ASSERT_TRUE(AppendToFolderIndex(row));
    }
    TProgramRun Collect(std::vector<std::string> more = {}) {
        std::vector<std::string> args{"--collect", "--home", Home.string()};
        args.insert(args.end(), more.begin(), more.end());
        return RunProgram(PELMORA_PROGRAM, args, Scratch.Path());
    }

    TTempDir Scratch{"pelmora-collect"};
    TTestCa Ca{Scratch.Path()};
    TDovecotServer Pop3;
    TSmtpTestServer Smtp;
    TNode* AccountNode = nullptr;
    int Project = 0;
};

// The run fetches, files and sends, prints its session log and exits 0.
TEST_F(CollectTest, RetrievesAndSendsWithoutAWindow) {
    ASSERT_TRUE(Pop3.AddMessage("collect", Mail("first")));
    ASSERT_TRUE(Pop3.AddMessage("collect", Mail("second")));
    QueueMail(FolderPath(Store, Project, kFolderOutbox));
    HandOver();

    const TProgramRun run = Collect();
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("127.0.0.1"), std::string::npos) << run.Out;
    EXPECT_EQ(Files(kFolderInbox).size(), 2u);
    EXPECT_EQ(Pop3.MessageCount("collect"), 0);
    ASSERT_EQ(Smtp.ReceivedCount(), 1) << run.Out << Smtp.Log();
    EXPECT_EQ(Smtp.Received()[0].To, std::vector<std::string>{"bob@example.com"});
    EXPECT_TRUE(Files(kFolderOutbox).empty());
    EXPECT_EQ(Files(kFolderSent).size(), 1u);
}

// --send-only sends the queued mail as "Send Mail for this Account" does and leaves the
// mailbox alone, even when the mailbox cannot be reached at all.
TEST_F(CollectTest, SendOnlyLeavesTheMailbox) {
    ASSERT_TRUE(Pop3.AddMessage("collect", Mail("waiting")));
    QueueMail(FolderPath(Store, Project, kFolderOutbox));
    SetAccountParameter(*Workspace, AccountNode, 121, "1"); // nothing listens there
    HandOver();

    TProgramRun run = RunProgram(PELMORA_PROGRAM, {"--send-only", "--home", Home.string()}, Scratch.Path());
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Err.find("--send-only only goes with --collect"), std::string::npos) << run.Err;
    EXPECT_EQ(Smtp.ReceivedCount(), 0);

    const int account = NodeNumber(AccountNode->Text());
    run = Collect({"--account", std::to_string(account), "--send-only"});
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    ASSERT_EQ(Smtp.ReceivedCount(), 1) << run.Out << Smtp.Log();
    EXPECT_NE(Smtp.Received()[0].Data.find("Hello Bob."), std::string::npos);
    EXPECT_TRUE(Files(kFolderOutbox).empty());
    EXPECT_EQ(Files(kFolderSent).size(), 1u);
    EXPECT_TRUE(Files(kFolderInbox).empty());
    EXPECT_EQ(Pop3.MessageCount("collect"), 1);
}

// An account without a default project gets one from routing; the run saves it in the account
// tree, so the next run files into the same project instead of creating another.
TEST_F(CollectTest, DefaultProjectCreatedByTheRunIsSaved) {
    Workspace->AccountTree.Delete(FindNumber(Workspace->AccountTree, Project));
    fs::remove_all(Store + std::to_string(Project));
    ASSERT_EQ(Workspace->ReadAccountSettings(AccountNode).DefaultProject, 0);
    HandOver();
    auto defaultProjects = [this] {
        TNodeTree tree;
        EXPECT_TRUE(ReadTreeFile(Store + "folders.tree", tree).Ok);
        std::vector<int> numbers;
        for (const TNode* node : tree.DepthFirst())
            if (node->Level() == 1 && NodeNumber(node->Text()) > 99999)
                numbers.push_back(NodeNumber(node->Text()));
        return numbers;
    };
    ASSERT_TRUE(defaultProjects().empty());

    ASSERT_TRUE(Pop3.AddMessage("collect", Mail("first")));
    TProgramRun run = Collect();
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    const std::vector<int> after = defaultProjects();
    ASSERT_EQ(after.size(), 1u);
    Project = after[0];
    EXPECT_EQ(Files(kFolderInbox).size(), 1u);

    ASSERT_TRUE(Pop3.AddMessage("collect", Mail("second")));
    run = Collect();
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_EQ(defaultProjects(), after);
    EXPECT_EQ(Files(kFolderInbox).size(), 2u);
}

// Every way the run can fail ends with exit code 1 and a reason.
TEST_F(CollectTest, FailuresExitWithOne) {
    ASSERT_TRUE(Pop3.AddMessage("collect", Mail("kept")));
    SetAccountParameter(*Workspace, AccountNode, 106, "wrong password");
    HandOver();
    TProgramRun run = Collect();
    EXPECT_EQ(run.ExitCode, 1) << run.Out << run.Err;
    EXPECT_TRUE(Files(kFolderInbox).empty());
    EXPECT_EQ(Pop3.MessageCount("collect"), 1);

    run = Collect({"--account", "7"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Err.find("there is no account 7"), std::string::npos) << run.Err;

    // A window of this data home is transferring: the run leaves the mail alone.
    SetAccountParameter(*Workspace, AccountNode, 106, kPassword);
    HandOver();
    {
        const auto lock = TTransferLock::TryTake(Home.string() + "/");
        ASSERT_TRUE(lock);
        run = Collect();
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_NE(run.Err.find("Another Pelmora process is transferring"), std::string::npos)
            << run.Err;
        EXPECT_EQ(Pop3.MessageCount("collect"), 1);
    }
    run = Collect();
    EXPECT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_EQ(Files(kFolderInbox).size(), 1u);
}

} // namespace
} // namespace pelmora
