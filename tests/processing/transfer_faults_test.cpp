#include "processing/transfer_run.h"

#include "processing_fixture.h"
#include "store/folder_index.h"
#include "store/message_files.h"
#include "store/store_layout.h"
#include "support/dovecot_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

#include <sys/types.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <unistd.h>

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TDovecotOptions;
using pelmora::testing::TDovecotServer;
using pelmora::testing::TTempDir;
using pelmora::testing::TTestCa;
using pelmora::testing::TTestCertificate;

const std::string kPassword = "pop secret";

std::string Mail(const std::string& subject) {
    return "From: a@example.net\r\nTo: Me Myself <me@example.org>\r\nSubject: " + subject +
           "\r\nDate: Thu, 10 Dec 2026 10:00:00 +0000\r\nMessage-ID: <" + subject +
           "@example.net>\r\n\r\nBody of " + subject + "\r\n";
}

class TransferFaultsTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        AccountNode = Workspace->AccountTree.First();
        DefaultProject = Workspace->ReadAccountSettings(AccountNode).DefaultProject;
        ASSERT_GT(DefaultProject, 99999);
        ASSERT_TRUE(EnsureProjectDirectories(Store, DefaultProject));
        SetAccountValue(104, "127.0.0.1");
        SetAccountValue(108, "127.0.0.1");
        SetAccountValue(123, "1");
        SetAccountValue(202, "me@example.org");
        SetAccountValue(203, "Me Myself");
        SetAccountValue(110, "No");
    }

    void SetAccountValue(int code, const std::string& value) {
        SetAccountParameter(*Workspace, AccountNode, code, value);
    }
    void UseMailbox(const std::string& user, int port) {
        SetAccountValue(105, user);
        SetAccountValue(106, kPassword);
        SetAccountValue(121, std::to_string(port));
    }
    // How often each subject was stored in a folder's files.
    std::map<std::string, int> Subjects(int folder) const {
        std::map<std::string, int> subjects;
        const std::string dir = FolderPath(Store, DefaultProject, folder);
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir, ec)) {
            if (!entry.is_regular_file() || !IsMessageFileName(entry.path().filename().string()))
                continue;
            auto message = std::make_unique<TMailMessage>();
            EXPECT_TRUE(message->LoadMessageFile(entry.path().string()));
            ++subjects[message->GetSubject()];
        }
        return subjects;
    }

    TNode* AccountNode = nullptr;
    int DefaultProject = 0;
};

// The program dies (SIGKILL) after the first messages of a run were stored and before the
// session ended, so the server never deleted them: the next run stores every remaining
// message once, and files and index agree on each folder.
TEST_F(TransferFaultsTest, ProcessKilledMidRunNextRunStoresEachMessageOnce) {
    TTempDir files("pelmora-transfer-kill");
    TTestCa ca(files.Path());
    ASSERT_TRUE(ca.Ok());
    TTestCertificate certificate = ca.Issue({"localhost", {"localhost"}, {"127.0.0.1"}});
    TDovecotOptions options;
    options.CertPath = certificate.CertPath;
    options.KeyPath = certificate.KeyPath;
    options.Users.emplace_back("killed", kPassword);
    TDovecotServer server;
    ASSERT_TRUE(server.Start(options)) << server.Log();
    constexpr int kCount = 6;
    std::map<std::string, int> all;
    for (int i = 1; i <= kCount; ++i) {
        ASSERT_TRUE(server.AddMessage("killed", Mail("k" + std::to_string(i))));
        all["k" + std::to_string(i)] = 1;
    }
    UseMailbox("killed", server.Pop3Port());
    const std::string inbox = FolderPath(Store, DefaultProject, 111);

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        TTransferRun run(*Workspace);
        // The little jobs run once when a row is filed and once when the message is done
        // with; the second time with the same file count the message is fully handled.
        int lastCount = -1;
        run.Hooks.StartLittleJobs = [&] {
            const int stored = CountMessageFiles(inbox + "*.eml?").Total;
            if (stored >= 2 && stored == lastCount)
                kill(getpid(), SIGKILL);
            lastCount = stored;
        };
        run.RunTransfer(1, kRetrieveOnly, true, false);
        _exit(3); // the run ended without storing two messages
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child exit status " << WEXITSTATUS(status);
    ASSERT_EQ(WTERMSIG(status), SIGKILL);
    const int before = CountMessageFiles(inbox + "*.eml?").Total;
    EXPECT_GE(before, 2);
    EXPECT_LT(before, kCount);

    TTransferRun run(*Workspace);
    run.RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(run.RetrieveErrors, 0) << Shell->SessionLog().Joined();
    EXPECT_EQ(Subjects(111), all);
    EXPECT_EQ(server.MessageCount("killed"), 0);

    // Every folder of the project: as many index rows as message files, none twice.
    for (int folder = 111; folder <= 117; ++folder) {
        const std::string dir = FolderPath(Store, DefaultProject, folder);
        TMessageList list;
        LoadIndex(dir + "tree.lst", list);
        const std::vector<TListRow> rows = list.AllRows();
        EXPECT_EQ(static_cast<int>(rows.size()), CountMessageFiles(dir + "*.eml?").Total)
            << "folder " << folder;
        std::map<std::string, int> captions;
        for (const TListRow& row : rows)
            EXPECT_EQ(++captions[std::string(row.Caption())], 1)
                << "folder " << folder << ": " << row.Caption();
    }
}

} // namespace
} // namespace pelmora
