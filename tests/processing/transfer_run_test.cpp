#include "processing/transfer_run.h"

#include "addressbook/blacklist.h"
#include "processing/index_row.h"
#include "processing/uidl_store.h"
#include "processing_fixture.h"
#include "store/folder_index.h"
#include "store/message_files.h"
#include "store/store_layout.h"
#include "support/dovecot_server.h"
#include "support/smtp_test_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TDovecotOptions;
using pelmora::testing::TDovecotServer;
using pelmora::testing::TSmtpTestServer;
using pelmora::testing::TTempDir;
using pelmora::testing::TTestCa;
using pelmora::testing::TTestCertificate;

const std::string kPassword = "pop secret";
constexpr int kPop3PortNode = 121;
constexpr int kPop3SecurityNode = 122;
constexpr int kSmtpPortNode = 123;

std::string Mail(const std::string& from, const std::string& subject,
                 const std::string& extra = "") {
    return "From: " + from + "\r\nTo: Me Myself <me@example.org>\r\nSubject: " + subject +
           "\r\nDate: Thu, 10 Dec 2026 10:00:00 +0000\r\nMessage-ID: <" + subject +
           "@example.net>\r\n" + extra + "\r\nBody of " + subject + "\r\n";
}

// A port on which nothing listens (bound and closed again).
int ClosedPort() {
    return 1;
}

// A started workspace whose first account (1, default project 100000, user project 1001)
// talks to local servers.
class TransferTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        Start();
        AccountNode = Workspace->AccountTree.First();
        Workspace->AccountTree.Add(AccountNode, ProjectNodeText(1001, "Work", "#251080"));
        DefaultProject = Workspace->ReadAccountSettings(AccountNode).DefaultProject;
        ASSERT_GT(DefaultProject, 99999);
        ASSERT_TRUE(EnsureProjectDirectories(Store, 1001));
        ASSERT_TRUE(EnsureProjectDirectories(Store, DefaultProject));
        SetAccountValue(104, "127.0.0.1");
        SetAccountValue(108, "127.0.0.1");
        SetAccountValue(kSmtpPortNode, std::to_string(ClosedPort()));
        SetAccountValue(202, "me@example.org");
        SetAccountValue(203, "Me Myself");
        SetAccountValue(110, "No");
        Run = std::make_unique<TTransferRun>(*Workspace);
    }
    void TearDown() override {
        Run.reset();
        WorkspaceTest::TearDown();
    }

    void SetAccountValue(int code, const std::string& value) {
        SetAccountParameter(*Workspace, AccountNode, code, value);
    }
    void UseMailbox(const std::string& user, int port) {
        SetAccountValue(105, user);
        SetAccountValue(106, kPassword);
        SetAccountValue(kPop3PortNode, std::to_string(port));
    }
    AccountSettings Settings() { return Workspace->ReadAccountSettings(AccountNode); }

    // Message file names of a folder, sorted.
    std::vector<std::string> Files(int project, int folder) const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(FolderPath(Store, project, folder), ec))
            if (entry.is_regular_file() && IsMessageFileName(entry.path().filename().string()))
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // How often each subject was stored in a folder.
    std::map<std::string, int> Subjects(int project, int folder) const {
        std::map<std::string, int> subjects;
        for (const std::string& name : Files(project, folder)) {
            auto message = std::make_unique<TMailMessage>();
            EXPECT_TRUE(message->LoadMessageFile(FolderPath(Store, project, folder) + name));
            ++subjects[message->GetSubject()];
        }
        return subjects;
    }
    std::vector<TListRow> IndexRows(int project, int folder) const {
        TMessageList list;
        LoadIndex(FolderPath(Store, project, folder) + "tree.lst", list);
        return list.AllRows();
    }
    std::string Log() const { return Shell->SessionLog().Joined(); }
    const std::string& Text(int module, int slot) const { return Shell->Text(module, slot); }

    TNode* AccountNode = nullptr;
    int DefaultProject = 0;
    std::unique_ptr<TTransferRun> Run;
};

// ---------------------------------------------------------------------------------------
// Guards that decide before any server is involved.

TEST_F(TransferTest, IncompleteSingleAccountRefusesToStart) {
    SetAccountValue(105, "-not set-");
    Run->RunTransfer(1, kRetrieveAndSend, false, false);
    EXPECT_TRUE(Ui.PopupShown(Text(0, 28)));
    EXPECT_FALSE(Shell->TransferRunning);
    EXPECT_FALSE(fs::exists(Home / "mail.log"));
    EXPECT_EQ(Sounds(), std::vector<std::string>{"attention"});
}

TEST_F(TransferTest, AllAccountsRunCountsIncompleteAccount) {
    SetAccountValue(104, "");
    Run->RunTransfer(-1, kRetrieveAndSend, false, true);
    EXPECT_EQ(Run->SendErrors, 1);
    EXPECT_NE(Log().find(Text(0, 28)), std::string::npos);
    EXPECT_TRUE(Ui.PopupShown(std::string("1 ") + Text(2, 7), true));
    EXPECT_FALSE(Shell->TransferRunning);
}

TEST_F(TransferTest, SecondStartOnlyShowsTheProgressWindow) {
    int shown = 0;
    Run->Hooks.ShowProgressWindow = [&] { ++shown; };
    Shell->TransferRunning = true;
    Shell->SessionLog().Add("earlier");
    const std::vector<std::string> before = Shell->SessionLog().Items();
    Run->RunTransfer(-1, kRetrieveAndSend, false, true);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(Shell->SessionLog().Items(), before);
    EXPECT_TRUE(Shell->TransferRunning);
}

struct TCommandCase {
    const char* Name;
    TTransferCommand Command;
    bool NeedsAddress;
    int WarningMs;
};

class TransferCommands : public TransferTest, public ::testing::WithParamInterface<TCommandCase> {};

// The default account's caption shows "-not set-" instead of an address until one is set.
TEST_P(TransferCommands, AddressCheckGuardsTheRun) {
    const TCommandCase& c = GetParam();
    Workspace->AccountTree.Select(AccountNode);
    SetAccountValue(104, "-not set-"); // an incomplete account: a started run says so
    EXPECT_EQ(StartTransferCommand(*Run, c.Command), !c.NeedsAddress);
    if (c.NeedsAddress) {
        ASSERT_TRUE(Ui.PopupShown(Text(0, 24)));
        EXPECT_EQ(Ui.LastPopup()->Request.DisplayMs, c.WarningMs);
        ASSERT_TRUE(Workspace->AccountTree.Selected());
        EXPECT_EQ(NodeNumber(Workspace->AccountTree.Selected()->Text()), 202);
        EXPECT_FALSE(fs::exists(Home / "mail.log"));
    }

    Ui.ClearRecords();
    Workspace->AccountTree.SetText(AccountNode, AccountNodeText("1", "Me", "me@example.org"));
    Workspace->AccountTree.Select(AccountNode);
    EXPECT_TRUE(StartTransferCommand(*Run, c.Command));
    EXPECT_FALSE(Ui.PopupShown(Text(0, 24)));
    EXPECT_FALSE(Shell->TransferRunning);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TransferCommands,
    ::testing::Values(
        TCommandCase{"SendReceiveAll", TTransferCommand::SendReceiveAll, false, 0},
        TCommandCase{"RetrieveAll", TTransferCommand::RetrieveAll, true, 6000},
        TCommandCase{"SendAll", TTransferCommand::SendAll, false, 0},
        TCommandCase{"SendRetrieveSelected", TTransferCommand::SendRetrieveSelected, true, 5000},
        TCommandCase{"RetrieveSelected", TTransferCommand::RetrieveSelected, true, 5000},
        TCommandCase{"SendSelected", TTransferCommand::SendSelected, true, 5000},
        TCommandCase{"Timer", TTransferCommand::CollectMailTimer, false, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TransferTest, SendOnlyWithEmptyOutboxesConnectsNowhere) {
    UseMailbox("nobody", ClosedPort());
    Run->RunTransfer(1, kSendOnly, false, false);
    EXPECT_EQ(Log().find(Text(2, 28)), std::string::npos) << Log();
    EXPECT_EQ(Run->RetrieveErrors + Run->SendErrors, 0);
}

// ---------------------------------------------------------------------------------------
// Against a real POP3 server.

class TransferRunServerTest : public TransferTest {
protected:
    static void SetUpTestSuite() {
        CaFiles = std::make_unique<TTempDir>("pelmora-transfer-ca");
        Ca = std::make_unique<TTestCa>(CaFiles->Path());
        ASSERT_TRUE(Ca->Ok());
        Certificate = Ca->Issue({"localhost", {"localhost"}, {"127.0.0.1"}});
        Options.CertPath = Certificate.CertPath;
        Options.KeyPath = Certificate.KeyPath;
        for (const char* user :
             {"route", "leave", "resume", "cert", "empty", "abort", "progress", "unwritable", "fold"})
            Options.Users.emplace_back(user, kPassword);
        Server = std::make_unique<TDovecotServer>();
        ASSERT_TRUE(Server->Start(Options)) << Server->Log();
    }
    static void TearDownTestSuite() {
        Server.reset();
        Ca.reset();
        CaFiles.reset();
    }
    // Removes the message of a subject from a mailbox, as another mail client would.
    static void DeleteOnServerBehindOurBack(const std::string& user, const std::string& subject) {
        for (const char* sub : {"new", "cur"}) {
            const fs::path dir = fs::path(Server->Dir()) / "home" / user / "Maildir" / sub;
            for (const auto& entry : fs::directory_iterator(dir)) {
                const std::string text = pelmora::testing::ReadTextFile(entry.path().string());
                if (text.find("Subject: " + subject + "\r\n") != std::string::npos)
                    fs::remove(entry.path());
            }
        }
    }

    static inline std::unique_ptr<TTempDir> CaFiles;
    static inline std::unique_ptr<TTestCa> Ca;
    static inline TTestCertificate Certificate;
    static inline TDovecotOptions Options;
    static inline std::unique_ptr<TDovecotServer> Server;
};

TEST_F(TransferRunServerTest, RoutesStoresIndexesAndDropsBlacklisted) {
    ASSERT_TRUE(Server->AddMessage(
        "route", Mail("Jane Roe <jane@example.com>", "reply", "References: <a.b@PXID1001>\r\n")));
    ASSERT_TRUE(Server->AddMessage("route", Mail("spam@bad.example", "spam")));
    ASSERT_TRUE(Server->AddMessage("route", Mail("who@example.net", "stranger")));
    PutFile(BlackListPath(Books), "  SPAM@Bad.Example \r\n");
    UseMailbox("route", Server->Pop3Port());
    // The project tree shows 1001: only its rows reach the visible list.
    Shell->CurrentProject = 1001;
    std::vector<std::pair<int, int>> shownRows;
    Run->Hooks.RowFiled = [&](int project, int folder, const TIndexRow&) {
        shownRows.emplace_back(project, folder);
    };

    Run->RunTransfer(1, kRetrieveAndSend, false, false);
    EXPECT_EQ(shownRows, (std::vector<std::pair<int, int>>{{1001, 111}}));

    EXPECT_EQ(Run->Downloaded, 2);
    EXPECT_EQ(Run->Blocked, 1);
    EXPECT_EQ(Run->RetrieveErrors, 0) << Log();
    EXPECT_EQ(Server->MessageCount("route"), 0) << "stored and blacklisted mail is deleted";

    const std::vector<std::string> reply = Files(1001, 111);
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(MessageStateFromName(reply[0]), kStateUnread);
    const std::string text = SlurpFile(FolderPath(Store, 1001, 111) + reply[0]);
    EXPECT_EQ(text.rfind("Received: ", 0), 0u) << text.substr(0, 200);
    EXPECT_NE(text.find("X-OriginalArrivalTime: "), std::string::npos);
    const std::vector<TListRow> replyRows = IndexRows(1001, 111);
    ASSERT_EQ(replyRows.size(), 1u);
    EXPECT_EQ(replyRows[0].StateIndex, kStateUnread);
    EXPECT_NE(replyRows[0].Caption().find(reply[0]), std::string::npos);
    EXPECT_EQ(replyRows[0].SubItem(1), "Jane Roe (jane@example.com)");

    const std::vector<std::string> orphan = Files(DefaultProject, 111);
    ASSERT_EQ(orphan.size(), 1u);
    EXPECT_EQ(MessageStateFromName(orphan[0]), kStateOrphan);
    const std::vector<TListRow> orphanRows = IndexRows(DefaultProject, 111);
    ASSERT_EQ(orphanRows.size(), 1u);
    EXPECT_EQ(orphanRows[0].StateIndex, kStateOrphan);
    EXPECT_EQ(orphanRows[0].SubItem(1), "who@example.net");

    EXPECT_NE(Log().find(Text(1, 285) + Text(2, 2) + "spam@bad.example"), std::string::npos);
    EXPECT_EQ(Log().find(Text(1, 286)), std::string::npos) << "nothing to send, no SMTP";
    const std::string mailLog = SlurpFile((Home / "mail.log").string());
    EXPECT_NE(mailLog.find(Text(2, 2) + "spam@bad.example"), std::string::npos);
    EXPECT_TRUE(Ui.PopupShown("1 " + Text(2, 24), true));
    EXPECT_EQ(Shell->Settings().LastRetrieved("route"), 3);
    EXPECT_FALSE(Shell->TransferRunning);
}

TEST_F(TransferRunServerTest, LeftOnServerNothingFetchedTwiceOrSkipped) {
    for (const char* subject : {"m1", "m2", "m3"})
        ASSERT_TRUE(Server->AddMessage("leave", Mail("a@example.net", subject)));
    UseMailbox("leave", Server->Pop3Port());
    SetAccountValue(109, "Yes");

    Run->RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(Run->Downloaded, 3);
    EXPECT_EQ(Server->MessageCount("leave"), 3);
    EXPECT_EQ(Shell->Settings().LastRetrieved("leave"), 3);

    // Another client deletes the first message: the numbers of the rest shift down.
    DeleteOnServerBehindOurBack("leave", "m1");
    ASSERT_TRUE(Server->AddMessage("leave", Mail("a@example.net", "m4")));
    ASSERT_TRUE(Server->AddMessage("leave", Mail("a@example.net", "m5")));
    Run->RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(Run->Downloaded, 2) << Log();

    Run->RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(Run->Downloaded, 0);
    EXPECT_EQ(Subjects(DefaultProject, 111),
              (std::map<std::string, int>{{"m1", 1}, {"m2", 1}, {"m3", 1}, {"m4", 1}, {"m5", 1}}));
    EXPECT_EQ(Server->MessageCount("leave"), 4);
}

TEST_F(TransferRunServerTest, FirstRunWithUniqueIdsTakesOverLastRetrieved) {
    for (const char* subject : {"r1", "r2", "r3"})
        ASSERT_TRUE(Server->AddMessage("resume", Mail("a@example.net", subject)));
    UseMailbox("resume", Server->Pop3Port());
    SetAccountValue(109, "Yes");
    Shell->Settings().SetLastRetrieved("resume", 2);

    Run->RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(Subjects(DefaultProject, 111), (std::map<std::string, int>{{"r3", 1}}));
    EXPECT_NE(Log().find(Text(1, 347) + " " + Text(2, 4) + "3"), std::string::npos) << Log();
    EXPECT_NE(Log().find(Text(2, 5) + "1"), std::string::npos);
}

TEST_F(TransferRunServerTest, RetrieveAndSendWithEmptyOutboxesOnlyTalksPop3) {
    UseMailbox("empty", Server->Pop3Port());
    Run->RunTransfer(1, kRetrieveAndSend, false, false);
    EXPECT_EQ(Run->RetrieveErrors + Run->SendErrors, 0) << Log();
    EXPECT_NE(Log().find(Text(1, 285) + Text(2, 0)), std::string::npos);
    EXPECT_EQ(Log().find(Text(1, 286)), std::string::npos);
    EXPECT_TRUE(Ui.Popups.empty()) << "no mail, no errors: no summary";
}

TEST_F(TransferRunServerTest, UnverifiedCertificateIsAskedAboutOnceAndRemembered) {
    ASSERT_TRUE(Server->AddMessage("cert", Mail("a@example.net", "secure1")));
    UseMailbox("cert", Server->Pop3sPort());
    SetAccountValue(kPop3SecurityNode, "SSL/TLS");

    // Unattended: nobody to ask; the reason is logged and the account fails.
    Run->RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_TRUE(Ui.Questions.empty());
    EXPECT_EQ(Run->RetrieveErrors, 1);
    EXPECT_NE(Log().find(Certificate.Fingerprint), std::string::npos) << Log();
    EXPECT_TRUE(Files(DefaultProject, 111).empty());

    // Attended: asked once with server and fingerprint; Yes stores it and retrieves.
    Ui.AskAnswers.push_back({kAskFirst, std::nullopt});
    Run->RunTransfer(1, kRetrieveOnly, false, false);
    ASSERT_EQ(Ui.Questions.size(), 1u);
    EXPECT_NE(Ui.Questions[0].Text.find(Certificate.Fingerprint), std::string::npos);
    EXPECT_NE(Ui.Questions[0].Text.find("127.0.0.1:" + std::to_string(Server->Pop3sPort())),
              std::string::npos);
    EXPECT_EQ(Run->Downloaded, 1) << Log();
    EXPECT_NE(SlurpFile((Home / "pelmora.ini").string()).find(Certificate.Fingerprint),
              std::string::npos);

    // Trusted from now on, also unattended.
    ASSERT_TRUE(Server->AddMessage("cert", Mail("a@example.net", "secure2")));
    Run->RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Run->Downloaded, 1) << Log();
    EXPECT_EQ(Subjects(DefaultProject, 111),
              (std::map<std::string, int>{{"secure1", 1}, {"secure2", 1}}));
}

TEST_F(TransferRunServerTest, DeclinedCertificateFailsTheAccount) {
    ASSERT_TRUE(Server->AddMessage("cert", Mail("a@example.net", "declined")));
    UseMailbox("cert", Server->Pop3sPort());
    SetAccountValue(kPop3SecurityNode, "SSL/TLS");
    Ui.AskAnswers.push_back({kAskSecond, std::nullopt});
    Run->RunTransfer(1, kRetrieveOnly, false, false);
    EXPECT_EQ(Ui.Questions.size(), 1u);
    EXPECT_EQ(Run->Downloaded, 0);
    EXPECT_EQ(Run->RetrieveErrors, 1);
    EXPECT_EQ(SlurpFile((Home / "pelmora.ini").string()).find(Certificate.Fingerprint),
              std::string::npos);
}

TEST_F(TransferRunServerTest, MessageThatCannotBeWrittenStaysOnTheServerWithoutRow) {
    ASSERT_TRUE(Server->AddMessage(
        "unwritable", Mail("a@example.net", "blocked", "References: <a.b@PXID1001>\r\n")));
    UseMailbox("unwritable", Server->Pop3Port());
    // The inbox cannot take files: a plain file stands where its directory should be.
    const std::string inbox = FolderPath(Store, 1001, 111);
    fs::remove_all(inbox);
    PutFile(inbox.substr(0, inbox.size() - 1), "not a folder");

    Run->RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(Run->RetrieveErrors, 1) << Log();
    EXPECT_EQ(Server->MessageCount("unwritable"), 1);
    EXPECT_FALSE(fs::exists(inbox + "tree.lst"));

    fs::remove(inbox.substr(0, inbox.size() - 1));
    ASSERT_TRUE(EnsureProjectDirectories(Store, 1001));
    Run->RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(Run->RetrieveErrors, 0) << Log();
    EXPECT_EQ(Subjects(1001, 111), (std::map<std::string, int>{{"blocked", 1}}));
    EXPECT_EQ(IndexRows(1001, 111).size(), 1u);
    EXPECT_EQ(Server->MessageCount("unwritable"), 0);
}

TEST_F(TransferRunServerTest, AbortEndsTheRunAndLeavesTheRestOnTheServer) {
    for (const char* subject : {"a1", "a2", "a3"})
        ASSERT_TRUE(Server->AddMessage("abort", Mail("a@example.net", subject)));
    UseMailbox("abort", Server->Pop3Port());
    Run->Hooks.StartLittleJobs = [this] {
        if (Shell->TransferRunning && !Files(DefaultProject, 111).empty())
            Run->AbortClick();
    };
    Run->RunTransfer(1, kRetrieveOnly, false, false);
    EXPECT_EQ(Files(DefaultProject, 111).size(), 1u);
    EXPECT_FALSE(Shell->TransferRunning);
    EXPECT_FALSE(Run->AbortTransfer);
    EXPECT_FALSE(Run->ProgressWindowExists);
    EXPECT_TRUE(fs::exists(Home / "mail.log"));

    // The next run picks up what the aborted one left.
    Run->Hooks.StartLittleJobs = nullptr;
    Run->RunTransfer(1, kRetrieveOnly, false, false);
    EXPECT_EQ(Subjects(DefaultProject, 111),
              (std::map<std::string, int>{{"a1", 1}, {"a2", 1}, {"a3", 1}}));
    EXPECT_EQ(Server->MessageCount("abort"), 0);
}

// Records what a progress window would have shown.
class TRecordingWindow : public TTransferProgressObserver {
public:
    void ProgressChanged(const TTransferProgressState& state) override {
        States.push_back(state);
        MaxDownloaded = std::max(MaxDownloaded, state.Counters.Downloaded);
    }
    std::vector<TTransferProgressState> States;
    int MaxDownloaded = 0;
};

// A sender whose address sits on a continuation line of From (as many mail programs fold a
// long name) is found on the blacklist; the blocked message is deleted unread, counted and no
// longer shown as waiting at the end of the run.
TEST_F(TransferRunServerTest, FoldedBlacklistedSenderIsBlockedAndWaitsNoLonger) {
    ASSERT_TRUE(Server->AddMessage("fold", Mail("a@example.net", "kept")));
    ASSERT_TRUE(Server->AddMessage(
        "fold", Mail("\"Special Offers Department of a Very Long Name\"\r\n <spam@bad.example>",
                     "offer")));
    PutFile(BlackListPath(Books), "spam@bad.example\r\n");
    UseMailbox("fold", Server->Pop3Port());
    TRecordingWindow window;
    Run->Hooks.CreateProgressWindow = [&] { return &window; };
    Run->Hooks.FreeProgressWindow = [] {};

    Run->RunTransfer(1, kRetrieveOnly, false, false);
    EXPECT_EQ(Run->Blocked, 1) << Log();
    EXPECT_EQ(Run->Downloaded, 1);
    EXPECT_EQ(Server->MessageCount("fold"), 0);
    ASSERT_FALSE(window.States.empty());
    EXPECT_EQ(window.States.back().Counters.Blocked, 1);
    EXPECT_EQ(window.States.back().Counters.Waiting, 0);
}

TEST_F(TransferRunServerTest, ProgressWindowFollowsTheRunAndCloses) {
    for (const char* subject : {"p1", "p2"})
        ASSERT_TRUE(Server->AddMessage("progress", Mail("a@example.net", subject)));
    UseMailbox("progress", Server->Pop3Port());
    TRecordingWindow window;
    int freed = 0;
    Run->Hooks.CreateProgressWindow = [&] { return &window; };
    Run->Hooks.FreeProgressWindow = [&] { ++freed; };

    Run->RunTransfer(1, kRetrieveOnly, false, false);
    ASSERT_FALSE(window.States.empty());
    const TTransferProgressState& last = window.States.back();
    EXPECT_EQ(window.MaxDownloaded, 2);
    EXPECT_EQ(last.Counters.Waiting, 0);
    EXPECT_GT(last.Counters.BytesIn, 0);
    EXPECT_EQ(last.AccountLine, PlainCaption(Settings().AccountName));
    EXPECT_EQ(last.ButtonCaption, Text(2, 10));
    EXPECT_EQ(last.ActionLine, Text(2, 8));
    EXPECT_FALSE(last.ActionRed);
    EXPECT_TRUE(Run->ProgressWindowExists);
    EXPECT_EQ(freed, 0);

    // The user ticks "Show Connection LogFile when ready" and closes the finished window with
    // its button: nothing is aborted, the ticks are kept, the log is to be shown, and the
    // window is let go; a window the run no longer shows changes nothing.
    Run->Progress.ShowLogAfterClose = true;
    EXPECT_TRUE(Run->ProgressButtonClick(&window));
    EXPECT_FALSE(Run->AbortTransfer);
    EXPECT_TRUE(Run->ProgressWindowClosing(&window));
    EXPECT_TRUE(Shell->Settings().GetBool(TSettingKey::ShowLogAfterClose));
    EXPECT_FALSE(Shell->Settings().GetBool(TSettingKey::CloseOnReady));
    EXPECT_FALSE(Run->ProgressWindowExists);
    EXPECT_EQ(Run->Progress.Observer, nullptr);
    EXPECT_FALSE(Run->ProgressWindowClosing(&window));
    Shell->Settings().SetBool(TSettingKey::ShowLogAfterClose, false);

    // "Close this window when done": the run frees its window and keeps the choice.
    window.States.clear();
    Shell->Settings().SetBool(TSettingKey::CloseOnReady, true);
    Run->RunTransfer(1, kRetrieveOnly, false, false);
    EXPECT_EQ(freed, 1);
    EXPECT_FALSE(Run->ProgressWindowExists);
    EXPECT_TRUE(Shell->Settings().GetBool(TSettingKey::CloseOnReady));
}

// The server goes away in the middle of a session in which stored messages were deleted:
// such deletions are never carried out, yet the next run stores every message once.
TEST_F(TransferTest, ServerKilledMidRunNextRunStoresEachMessageOnce) {
    auto files = std::make_unique<TTempDir>("pelmora-transfer-crash");
    TTestCa ca(files->Path());
    ASSERT_TRUE(ca.Ok());
    TTestCertificate certificate = ca.Issue({"localhost", {"localhost"}, {"127.0.0.1"}});
    TDovecotOptions options;
    options.CertPath = certificate.CertPath;
    options.KeyPath = certificate.KeyPath;
    options.Users.emplace_back("crash", kPassword);
    TDovecotServer server;
    ASSERT_TRUE(server.Start(options)) << server.Log();
    for (int i = 1; i <= 5; ++i)
        ASSERT_TRUE(server.AddMessage("crash", Mail("a@example.net", "c" + std::to_string(i))));
    UseMailbox("crash", server.Pop3Port());

    bool stopped = false;
    Run->Hooks.StartLittleJobs = [&] {
        if (!stopped && Files(DefaultProject, 111).size() >= 2) {
            stopped = true;
            server.Stop();
        }
    };
    Run->RunTransfer(1, kRetrieveOnly, true, false);
    ASSERT_TRUE(stopped);
    EXPECT_GT(Run->RetrieveErrors, 0);
    const std::size_t before = Files(DefaultProject, 111).size();
    EXPECT_GE(before, 2u);
    EXPECT_LT(before, 5u);

    ASSERT_TRUE(server.Start(options)) << server.Log();
    EXPECT_EQ(server.MessageCount("crash"), 5) << "the deletions were never carried out";
    UseMailbox("crash", server.Pop3Port());
    Run->RunTransfer(1, kRetrieveOnly, true, false);
    EXPECT_EQ(Run->RetrieveErrors, 0) << Log();
    EXPECT_EQ(Subjects(DefaultProject, 111),
              (std::map<std::string, int>{{"c1", 1}, {"c2", 1}, {"c3", 1}, {"c4", 1}, {"c5", 1}}));
    EXPECT_EQ(server.MessageCount("crash"), 0);
}

} // namespace
} // namespace pelmora
