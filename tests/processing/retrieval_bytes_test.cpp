// Retrieved mail is stored exactly as the server sends it. A mailbox of varied real-world
// shapes (Python's test-suite samples and messages built by Python's email package) is read
// once by Python's poplib, as another mail program sees it, and then retrieved by a transfer
// run; every stored file must be the peer's copy byte for byte, apart from the two header
// lines the program puts in front.

#include "processing/transfer_run.h"

#include "processing/uidl_store.h"
#include "store/message_files.h"
#include "transfer_fixture.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TDovecotServer;
using pelmora::testing::TTempDir;

// Runs a command and returns what it printed; empty when it failed.
std::string RunCommand(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    return ::pclose(pipe) == 0 ? output : std::string();
}

std::string Script(const std::string& relative) {
    return "python3 '" + std::string(PELMORA_SOURCE_DIR) + "/" + relative + "'";
}

// Every message file below the store, read whole.
std::vector<std::string> StoredFiles(const std::string& store) {
    std::vector<std::string> texts;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(store, ec)) {
        if (entry.is_regular_file() && IsMessageFileName(entry.path().filename().string()))
            texts.push_back(SlurpFile(entry.path().string()));
    }
    return texts;
}

class RetrievalBytesTest : public TransferFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(RetrievalBytesTest, StoredFilesAreTheServersMessagesByteForByte) {
    const bool leave = GetParam();
    TTempDir work("pelmora-retrieval-bytes");
    const std::string samples = work.Path() + "samples/";
    const std::string peer = work.Path() + "peer/";
    ASSERT_FALSE(RunCommand(Script("tests/processing/mailbox_samples.py") + " '" + samples +
                            "' --large")
                     .empty());
    TDovecotServer server;
    ASSERT_TRUE(StartDovecot(server, {"varied"})) << server.Log();
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(samples))
        names.push_back(entry.path());
    std::sort(names.begin(), names.end());
    for (const fs::path& name : names)
        ASSERT_TRUE(server.AddMessage("varied", SlurpFile(name.string())));

    const int count = std::atoi(RunCommand(Script("tests/support/pop3_peer.py") +
                                           " 127.0.0.1 " + std::to_string(server.Pop3Port()) +
                                           " varied '" + kMailboxPassword + "' '" + peer + "'")
                                    .c_str());
    ASSERT_EQ(count, static_cast<int>(names.size()));
    // The peer's copies; a message written with CR LF and with bare LF reads the same.
    std::multimap<std::string, int> expected;
    for (int n = 1; n <= count; ++n)
        expected.emplace(SlurpFile(peer + std::to_string(n) + ".eml"), n);

    UseMailbox("varied", server.Pop3Port());
    SetAccountValue(kNodeLeaveMailOnServer, leave ? "Yes" : "No");
    TTransferRun run(*Workspace);
    run.RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(run.RetrieveErrors, 0) << Shell->SessionLog().Joined();
    EXPECT_EQ(run.Downloaded, count);

    const std::vector<std::string> stored = StoredFiles(Store);
    EXPECT_EQ(static_cast<int>(stored.size()), count);
    std::multimap<std::string, int> unmatched = expected;
    for (const std::string& file : stored) {
        auto match = unmatched.find(WithoutAddedHeaders(file));
        if (match != unmatched.end())
            unmatched.erase(match);
        else
            ADD_FAILURE() << "stored file is no message of the server (" << file.size()
                          << " bytes):\n"
                          << file.substr(0, 600);
    }
    for (const auto& [text, n] : unmatched)
        ADD_FAILURE() << "message " << n << " (" << text.size() << " bytes) was not stored whole";
    EXPECT_EQ(server.MessageCount("varied"), leave ? count : 0);

    // A second run finds nothing new, whether the messages were left or deleted.
    TTransferRun again(*Workspace);
    again.RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(again.Downloaded, 0) << Shell->SessionLog().Joined();
    EXPECT_EQ(StoredFiles(Store).size(), stored.size());
}

INSTANTIATE_TEST_SUITE_P(LeaveOnServer, RetrievalBytesTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Left" : "Deleted"; });

std::string Numbered(const std::string& subject) {
    return "From: a@example.net\r\nTo: me@example.org\r\nSubject: " + subject +
           "\r\nMessage-ID: <" + subject + "@example.net>\r\n\r\nBody of " + subject + "\r\n";
}

struct TRenumberCase {
    const char* Name;
    bool Leave;
    const char* Before[3];
    const char* After[3];
};

// A server that numbers its unique ids from 1 again after its mailbox was rebuilt lists old
// ids for new messages: they are fetched, never deleted or skipped unread.
class RenumberedMailboxTest : public TransferFixture,
                              public ::testing::WithParamInterface<TRenumberCase> {};

TEST_P(RenumberedMailboxTest, NewMessagesUnderOldIdsAreFetched) {
    const TRenumberCase& row = GetParam();
    TDovecotServer server;
    ASSERT_TRUE(StartDovecot(server, {"reused"}, "%u")) << server.Log();
    for (const char* subject : row.Before)
        ASSERT_TRUE(server.AddMessage("reused", Numbered(subject)));
    UseMailbox("reused", server.Pop3Port());
    SetAccountValue(kNodeLeaveMailOnServer, row.Leave ? "Yes" : "No");
    TTransferRun first(*Workspace);
    first.RunTransfer(1, kRetrieveOnly, true, false);
    ASSERT_EQ(first.Downloaded, 3) << Shell->SessionLog().Joined();

    server.Stop();
    if (row.Leave) {
        // Restored from an older backup: the earlier messages are gone.
        const std::string maildir = server.Dir() + "home/reused/Maildir/";
        for (const char* sub : {"new/", "cur/"})
            for (const auto& entry : fs::directory_iterator(maildir + sub))
                fs::remove(entry.path());
    }
    ASSERT_TRUE(server.RebuildMailbox("reused"));
    for (const char* subject : row.After)
        ASSERT_TRUE(server.AddMessage("reused", Numbered(subject)));
    ASSERT_TRUE(StartDovecot(server, {"reused"}, "%u")) << server.Log();
    UseMailbox("reused", server.Pop3Port());

    TTransferRun second(*Workspace);
    second.RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(second.Downloaded, 3) << Shell->SessionLog().Joined();
    EXPECT_EQ(second.RetrieveErrors, 0);
    std::vector<std::string> subjects;
    for (const std::string& file : StoredFiles(Store)) {
        TMailMessage message;
        message.ParseText(file, true);
        subjects.push_back(message.GetSubject());
    }
    std::sort(subjects.begin(), subjects.end());
    std::vector<std::string> all(std::begin(row.Before), std::end(row.Before));
    all.insert(all.end(), std::begin(row.After), std::end(row.After));
    std::sort(all.begin(), all.end());
    EXPECT_EQ(subjects, all);
    EXPECT_EQ(server.MessageCount("reused"), row.Leave ? 3 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RenumberedMailboxTest,
    ::testing::Values(
        // Same sizes: only the Message-ID read with TOP tells the messages apart.
        TRenumberCase{"DeletedSameSizes", false, {"a1", "a2", "a3"}, {"b1", "b2", "b3"}},
        TRenumberCase{"LeftOtherSizes", true, {"a1", "a2", "a3"}, {"bb1", "bb2", "bb3"}}),
    [](const auto& info) { return std::string(info.param.Name); });

// Ids stored by older versions carry no size or Message-ID: a message under such an id whose
// deletion never happened is fetched again rather than deleted unseen.
TEST_F(TransferFixture, BareStoredIdNeverDeletesUnfetched) {
    TDovecotServer server;
    ASSERT_TRUE(StartDovecot(server, {"older"}, "%u")) << server.Log();
    ASSERT_TRUE(server.AddMessage("older", Numbered("kept")));
    UseMailbox("older", server.Pop3Port());
    const AccountSettings account = Workspace->ReadAccountSettings(AccountNode);
    fs::create_directories(Shell->Dirs().Program + "UIDL");
    ASSERT_TRUE(WriteFileAtomically(UidlStorePath(Shell->Dirs().Program, account.AccountNumber),
                                    "# " + UidlMailbox("older", "127.0.0.1") + "\n1\n"));
    TTransferRun run(*Workspace);
    run.RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(run.Downloaded, 1) << Shell->SessionLog().Joined();
    EXPECT_EQ(StoredFiles(Store).size(), 1u);
    EXPECT_EQ(server.MessageCount("older"), 0);
}

} // namespace
} // namespace pelmora
