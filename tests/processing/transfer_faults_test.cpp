#include "processing/transfer_run.h"

#include "store/folder_index.h"
#include "store/message_files.h"
#include "store/store_layout.h"
#include "transfer_fixture.h"

#include <sys/types.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <unistd.h>

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TDovecotOptions;
using pelmora::testing::TDovecotServer;

std::string Mail(const std::string& subject) {
    return "From: a@example.net\r\nTo: Me Myself <me@example.org>\r\nSubject: " + subject +
           "\r\nDate: Thu, 10 Dec 2026 10:00:00 +0000\r\nMessage-ID: <" + subject +
           "@example.net>\r\n\r\nBody of " + subject + "\r\n";
}

class TransferFaultsTest : public TransferFixture {
protected:
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

    // Starts a Dovecot for `user` holding the messages of the given subjects (a subject
    // followed by a size gets a body of that many bytes) and points the account at it.
    void StartServer(TDovecotServer& server, const std::string& user,
                     const std::vector<std::pair<std::string, int>>& messages,
                     const std::string& uidlFormat = TDovecotOptions().UidlFormat) {
        ASSERT_TRUE(StartDovecot(server, {user}, uidlFormat)) << server.Log();
        for (const auto& [subject, size] : messages)
            ASSERT_TRUE(server.AddMessage(user, Mail(subject) + std::string(size, 'y') + "\r\n"));
        UseMailbox(user, server.Pop3Port());
    }

    // Every folder of the project: as many index rows as message files, none twice.
    void ExpectIndexesMatchFiles() const {
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

    // Runs a retrieval in a child process that SIGKILLs itself once two messages are in the
    // inbox: right after the second one's index row was written (before the run recorded it
    // as retrieved) or once it was completely handled. Then retrieves again in this process:
    // every message is stored exactly once and the server is empty.
    void KillMidRunThenRetrieveAgain(bool killAfterFiling) {
        TDovecotServer server;
        constexpr int kCount = 6;
        std::vector<std::pair<std::string, int>> messages;
        for (int i = 1; i <= kCount; ++i)
            messages.emplace_back("killed" + std::to_string(i), 0);
        StartServer(server, "killed", messages);
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
                if (stored >= 2 && (killAfterFiling ? stored != lastCount : stored == lastCount))
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
        EXPECT_EQ(CountMessageFiles(inbox + "*.eml?").Total, 2);

        TTransferRun run(*Workspace);
        run.RunTransfer(1, kRetrieveOnly, true, false);
        EXPECT_EQ(run.RetrieveErrors, 0) << Shell->SessionLog().Joined();
        std::map<std::string, int> all;
        for (int i = 1; i <= kCount; ++i)
            all["killed" + std::to_string(i)] = 1;
        EXPECT_EQ(Subjects(111), all);
        EXPECT_EQ(server.MessageCount("killed"), 0);
        ExpectIndexesMatchFiles();
    }
};

// The program dies between two messages of a run, before the session ended, so the server
// never deleted what it stored.
TEST_F(TransferFaultsTest, ProcessKilledBetweenMessagesNextRunStoresEachMessageOnce) {
    KillMidRunThenRetrieveAgain(false);
}

// The program dies after a message's file and index row were written but before the run
// noted it as retrieved.
TEST_F(TransferFaultsTest, ProcessKilledWhileFilingNextRunStoresEachMessageOnce) {
    KillMidRunThenRetrieveAgain(true);
}

// A unique temporary file system of `size` mounted on `dir` for the lifetime of the object;
// Mounted() is false where mounting is not allowed (not root, no mount namespace rights).
class TSmallDisk {
public:
    TSmallDisk(const std::string& dir, const std::string& size) : Dir(dir) {
        const std::string command = "mount -t tmpfs -o size=" + size + " tmpfs '" + dir +
                                    "' 2>/dev/null";
        Ok = ::geteuid() == 0 && std::system(command.c_str()) == 0;
    }
    ~TSmallDisk() {
        if (Ok)
            std::system(("umount -l '" + Dir + "'").c_str());
    }
    bool Mounted() const { return Ok; }
    bool Grow(const std::string& size) const {
        return std::system(("mount -o remount,size=" + size + " '" + Dir + "'").c_str()) == 0;
    }

private:
    std::string Dir;
    bool Ok = false;
};

// The store runs out of space in the middle of a run: the message that does not fit leaves no
// file and no index row and stays on the server; once there is room it arrives, once.
TEST_F(TransferFaultsTest, FullDiskKeepsTheMessageOnTheServer) {
    TDovecotServer server;
    StartServer(server, "full", {{"small1", 0}, {"large", 2 << 20}});

    const std::string inbox = FolderPath(Store, DefaultProject, 111);
    TSmallDisk disk(inbox, "1m");
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a small file system here";

    TTransferRun run(*Workspace);
    run.RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(run.RetrieveErrors, 1) << Shell->SessionLog().Joined();
    EXPECT_EQ(Subjects(111), (std::map<std::string, int>{{"small1", 1}}));
    EXPECT_EQ(server.MessageCount("full"), 1);
    ExpectIndexesMatchFiles();
    for (const auto& entry : fs::directory_iterator(inbox))
        EXPECT_EQ(entry.path().string().find(".saving"), std::string::npos) << entry.path();

    ASSERT_TRUE(disk.Grow("16m"));
    TTransferRun again(*Workspace);
    again.RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(again.RetrieveErrors, 0) << Shell->SessionLog().Joined();
    EXPECT_EQ(Subjects(111), (std::map<std::string, int>{{"small1", 1}, {"large", 1}}));
    EXPECT_EQ(server.MessageCount("full"), 0);
    ExpectIndexesMatchFiles();
}

// Mail left on a server without usable unique ids is fetched by number: a message that could
// not be stored keeps the run's "last retrieved" number below it, so the next run fetches it
// (and, to be safe, what came after it) instead of skipping it.
TEST_F(TransferFaultsTest, MessageNotStoredIsFetchedAgainWhenNumbersTrackTheMailbox) {
    TDovecotServer server;
    // "%08Xv" is the mailbox's id: every message gets the same one.
    StartServer(server, "numbers", {{"first", 0}, {"bulky", 2 << 20}, {"last", 0}}, "%08Xv");
    SetAccountValue(109, "Yes");

    const std::string inbox = FolderPath(Store, DefaultProject, 111);
    TSmallDisk disk(inbox, "1m");
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    TTransferRun run(*Workspace);
    run.RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(run.RetrieveErrors, 1) << Shell->SessionLog().Joined();
    EXPECT_EQ(Subjects(111), (std::map<std::string, int>{{"first", 1}, {"last", 1}}));

    ASSERT_TRUE(disk.Grow("16m"));
    TTransferRun again(*Workspace);
    again.RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(again.RetrieveErrors, 0) << Shell->SessionLog().Joined();
    EXPECT_EQ(Subjects(111)["bulky"], 1);
    EXPECT_EQ(server.MessageCount("numbers"), 3);
    ExpectIndexesMatchFiles();
}

} // namespace
} // namespace pelmora
