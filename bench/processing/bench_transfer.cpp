// Transfer benchmark: the real program ("pelmora --collect --account 1", a child process
// started the way a timer starts it) against local servers, each beside peer programs doing
// the same work on the same data in the same run, in alternating order:
//   - retrieving a mailbox from Dovecot into a fresh data home, deleting on the server,
//     beside fetchmail writing one BSMTP file (getmail6 and fetchmail with a per-message MDA
//     with --all-peers); then the same into an inbox that already holds 50,000 rows;
//   - sending 500 queued messages of one project to aiosmtpd ("--collect --account 1
//     --send-only", the run of "Send Mail for this Account"), beside Python's smtplib over
//     one connection (msmtp, one process per message, with --all-peers).
// Both input sets of transfer_mail.h are measured; set 2 sends with AUTH. Every run is
// checked before it counts: the stored messages byte for byte against the mailbox, the
// messages the server received counted. Prints the inputs' sizes and, per measure, the median
// and spread of the wall and CPU times of each side and their ratios.
//
//   pelmora_bench_transfer OUTDIR --program PELMORA [--rounds N] [--only retrieve|send]
//                          [--set 1|2] [--all-peers] [--ours-only]
//
// --ours-only skips the peers (for profiling our side; PELMORA_BENCH_WRAP="perf record -g -o
// FILE" runs the program under a profiler). OUTDIR holds the data homes and the
// peers' files while they are measured.
#include "mime/mail_message.h"
#include "processing/index_row.h"
#include "processing/transfer_run.h"
#include "bench_process.h"
#include "processing_fixture.h"
#include "store/folder_index.h"
#include "store/message_files.h"
#include "store/message_list.h"
#include "store/store_layout.h"
#include "support/dovecot_server.h"
#include "support/smtp_test_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"
#include "transfer_mail.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <pwd.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace pelmora;
using pelmora::testing::TDovecotOptions;
using pelmora::testing::TDovecotServer;
using pelmora::testing::TSmtpTestServer;
using pelmora::testing::TTempDir;
using pelmora::testing::TTestCa;
using pelmora::testing::TTestCertificate;

constexpr int kBigInboxRows = 50000;
constexpr int kSendProject = 1001;
constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench";

// Set by --ours-only (for profiling our side): the peers are skipped.
bool OursOnly = false;

// Set when any measurement failed: the exit status is then 1.
bool AnyFailed = false;

void Fail(const std::string& what) {
    AnyFailed = true;
    std::fprintf(stderr, "pelmora_bench_transfer: %s\n", what.c_str());
    std::fflush(stderr);
}

// Writes back what the other sides left in the page cache, so that no side pays for the
// write-back of another, and lets the files the last run removed age: ext4 without a journal
// steps past every inode freed in the last 5 seconds, at a cost, when it creates a file, so
// a run started right after another side's clean-up pays for that clean-up.
void Settle() {
    ::sync();
    ::sleep(5);
}

// Removals wait until the end of the program. On ext4 without a journal (as on the machines
// the benchmark runs on) creating a file right after many were deleted is slow, and the
// clean-up after one side must not slow down the next one.
class TTrash {
public:
    void Open(const std::string& dir) {
        Dir = dir;
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    // Moves a file or directory out of the way (a rename: nothing is freed yet).
    void Put(const std::string& path) {
        std::error_code ec;
        if (fs::exists(path, ec))
            fs::rename(path, Dir + std::to_string(++Count), ec);
        if (ec)
            fs::remove_all(path, ec);
    }
    void Empty() {
        std::error_code ec;
        fs::remove_all(Dir, ec);
    }

private:
    std::string Dir;
    int Count = 0;
};

TTrash Trash;

// --- Processes -------------------------------------------------------------------------

using bench::Median;
using bench::RunTimed;
using bench::TCommand;
using bench::TRunTimes;
using bench::TSamples;

// The program measured (--program).
std::string Program;
bool AllPeers = false;

int CountFiles(const std::string& dir) {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(dir, ec))
        count += entry.is_regular_file() ? 1 : 0;
    return count;
}

void WriteOrFail(const std::string& path, const std::string& text, unsigned mode = 0600) {
    if (!pelmora::testing::WriteTextFile(path, text))
        Fail("cannot write " + path);
    ::chmod(path.c_str(), mode);
}

// --- Data homes ---------------------------------------------------------------------------

// A fresh data home with a started shell and workspace (the store tests' fixture) and one
// account whose settings the benchmark fills in. Put into the trash when it goes.
class TBenchHome : public WorkspaceTest {
public:
    explicit TBenchHome(const std::string& dir) {
        Home = dir;
        Trash.Put(dir);
        fs::create_directories(Home);
        Start();
        Account = Workspace->AccountTree.First();
        DefaultProject = Workspace->ReadAccountSettings(Account).DefaultProject;
        EnsureProjectDirectories(Store, DefaultProject);
        Set(104, "127.0.0.1");
        Set(105, kUser);
        Set(106, kPassword);
        Set(108, "127.0.0.1");
        Set(202, bench::kOurAddress);
        Set(203, "Me Myself");
        Set(110, "No");
    }
    ~TBenchHome() override {
        Workspace.reset();
        Shell.reset();
        Trash.Put(Home.string());
    }
    void TestBody() override {}

    void Set(int code, const std::string& value) {
        SetAccountParameter(*Workspace, Account, code, value);
    }
    TWorkspace& Work() { return *Workspace; }
    // Writes what the program reads at its start.
    bool HandOver() { return Workspace->SaveAccountTree() && Shell->Settings().Save(); }
    std::string HomeDir() const { return Home.string(); }
    const std::string& StoreDir() const { return Store; }
    std::string SessionLog() const { return Shell->SessionLog().Joined(); }

    TNode* Account = nullptr;
    int DefaultProject = 0;
};

// Fills the default project's inbox with `rows` message files and their index, as a folder
// that was listed before: every row has its file, so the index is current, and "tree.cnt"
// agrees with it. The files are links to one small message (a folder of that size costs
// nothing to make that way; only its names and its index matter to a transfer).
bool FillInbox(TBenchHome& home, int rows) {
    const std::string inbox = FolderPath(home.StoreDir(), home.DefaultProject, kFolderInbox);
    const std::string model = home.StoreDir() + "model.eml";
    const std::string text = "From: Old Friend <old@example.com>\r\nTo: me@example.org\r\n"
                             "Subject: an older message\r\nDate: Mon, 4 Mar 2019 10:00:00 +0100\r\n"
                             "Message-ID: <old@example.com>\r\n\r\nSome text.\r\n";
    if (!pelmora::testing::WriteTextFile(model, text))
        return false;
    TMessageList list;
    list.BeginBulk();
    for (int i = 0; i < rows; ++i) {
        char stem[32];
        std::snprintf(stem, sizeof stem, "1032019%09d", i);
        const bool unread = i % 7 == 0;
        const std::string name = std::string(unread ? "_" : "") + stem + ".eml";
        if (::link(model.c_str(), (inbox + name).c_str()) != 0)
            return false;
        AppendMessageRow(
            list, static_cast<std::int64_t>(text.size()), unread ? kStateUnread : kStateRead, false,
            "<" + std::to_string(i) + ".old@example.com>", inbox + name,
            "an older message #" + std::to_string(i), "",
            "Old Friend " + std::to_string(i % 400) + " (old@example.com)", "04-03-2019 10:00", -1);
    }
    list.EndBulk();
    return SaveIndex(inbox + "tree.lst", list);
}

// --- Retrieving ---------------------------------------------------------------------------

// The POP3 server and the mailbox every side retrieves: the messages of one input set are
// written once and linked into the user's Maildir before each run. Set 0: no messages (the
// server the sending runs sign in to first).
class TMailbox {
public:
    bool Start(int set) {
        Size = set == 0 ? 0 : bench::MailboxSize(set);
        Certificate = Ca.Issue({"localhost", {"localhost"}, {"127.0.0.1"}});
        TDovecotOptions options{{{kUser, kPassword}}, Certificate.CertPath, Certificate.KeyPath};
        if (!Server.Start(options)) {
            Fail("Dovecot did not start:\n" + Server.Log());
            return false;
        }
        Maildir = Server.Dir() + "home/" + kUser + "/Maildir/";
        struct stat owner {};
        if (::stat(Maildir.c_str(), &owner) != 0)
            return false;
        Pristine = Server.Dir() + "pristine/";
        fs::create_directories(Pristine);
        for (int n = 0; n < Size; ++n) {
            const std::string text = bench::IncomingMessage(n, set);
            const std::string path = Pristine + std::to_string(n);
            if (!pelmora::testing::WriteTextFile(path, text))
                return false;
            if (::getuid() == 0 && ::chown(path.c_str(), owner.st_uid, owner.st_gid) != 0)
                return false;
            Bytes += static_cast<std::int64_t>(text.size());
            if (text.size() > Largest)
                Largest = text.size();
            ++Expected[std::hash<std::string>{}(text)];
        }
        return true;
    }
    // Puts the whole mailbox into the Maildir again (the server sees it at the next sign-in).
    bool Fill() {
        ++Round;
        // What a failed side left behind goes first.
        for (const char* sub : {"new/", "cur/"}) {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(Maildir + sub, ec))
                fs::remove(entry.path(), ec);
        }
        for (int n = 0; n < Size; ++n) {
            char name[64];
            std::snprintf(name, sizeof name, "%d.R%dQ%d.bench", 1700000000 + Round * 10000 + n,
                          Round, n);
            if (::link((Pristine + std::to_string(n)).c_str(), (Maildir + "new/" + name).c_str()))
                return false;
        }
        return Server.MessageCount(kUser) == Size;
    }
    int Left() const { return Server.MessageCount(kUser); }
    // True when the message files of `inbox` that are not in `before` are exactly the
    // mailbox, each the server's text byte for byte behind the two header lines we add.
    bool StoredWhole(const std::string& inbox, const std::set<std::string>& before,
                     std::string& problem) const {
        std::map<std::size_t, int> left = Expected;
        int files = 0;
        std::int64_t bytes = 0;
        for (const auto& entry : fs::directory_iterator(inbox)) {
            const std::string name = entry.path().filename().string();
            if (!IsMessageFileName(name) || before.count(name))
                continue;
            ++files;
            const std::string text =
                WithoutAddedHeaders(pelmora::testing::ReadTextFile(entry.path().string()));
            bytes += static_cast<std::int64_t>(text.size());
            auto it = left.find(std::hash<std::string>{}(text));
            if (it == left.end() || it->second == 0) {
                problem = name + " is not a message of the mailbox (" +
                          std::to_string(text.size()) + " bytes)";
                return false;
            }
            --it->second;
        }
        if (files != Size || bytes != Bytes) {
            problem = std::to_string(files) + " files of " + std::to_string(bytes) +
                      " bytes stored, expected " + std::to_string(Size) + " of " +
                      std::to_string(Bytes);
            return false;
        }
        return true;
    }
    int Port() const { return Server.Pop3Port(); }
    int Size = 0;
    std::int64_t Bytes = 0;
    std::size_t Largest = 0;

private:
    TTempDir CaFiles{"pelmora-bench-transfer-ca"};
    TTestCa Ca{CaFiles.Path()};
    TTestCertificate Certificate;
    TDovecotServer Server;
    std::string Maildir;
    std::string Pristine;
    std::map<std::size_t, int> Expected; // hash of a message's text -> how often
    int Round = 0;
};

// Keeps a copy of the data home of a failed run beside the logs, for looking into.
void KeepFailedHome(TBenchHome& home, const std::string& out) {
    std::error_code ec;
    fs::remove_all(out + "failed-home", ec);
    fs::copy(home.HomeDir(), out + "failed-home", fs::copy_options::recursive, ec);
}

// Runs "pelmora --collect" on a data home handed over; the session log goes to `log`. With
// sendOnly the run only sends (--send-only), as "Send Mail for this Account" does.
TRunTimes RunCollect(TBenchHome& home, const std::string& log, bool sendOnly = false) {
    if (!home.HandOver()) {
        Fail("cannot write the data home's settings");
        return {};
    }
    TCommand command;
    // PELMORA_BENCH_WRAP puts a profiler in front of the program ("perf record -g -o FILE").
    if (const char* wrap = std::getenv("PELMORA_BENCH_WRAP")) {
        std::istringstream words(wrap);
        for (std::string word; words >> word;)
            command.Argv.push_back(word);
    }
    for (const std::string& arg : {Program, std::string("--collect"), std::string("--account"),
                                   std::string("1"), std::string("--home"), home.HomeDir()})
        command.Argv.push_back(arg);
    if (sendOnly)
        command.Argv.push_back("--send-only");
    command.Out = log;
    command.Err = log + ".err";
    Settle();
    return RunTimed(command);
}

// Our side: the program's run of the account in `home`. Failed runs give times of -1.
TRunTimes OurRetrieve(TMailbox& mailbox, TBenchHome& home, const std::string& out) {
    home.Set(121, std::to_string(mailbox.Port()));
    if (!mailbox.Fill()) {
        Fail("cannot fill the mailbox");
        return {};
    }
    const std::string inbox = FolderPath(home.StoreDir(), home.DefaultProject, kFolderInbox);
    std::set<std::string> before;
    for (const auto& entry : fs::directory_iterator(inbox))
        before.insert(entry.path().filename().string());
    const std::string log = out + "pelmora-retrieve.log";
    TRunTimes times = RunCollect(home, log);
    std::string problem;
    if (times.Status != 0 || mailbox.Left() != 0) {
        problem = "exit status " + std::to_string(times.Status) + ", " +
                  std::to_string(mailbox.Left()) + " left on the server";
    } else if (!mailbox.StoredWhole(inbox, before, problem)) {
        problem = "the mailbox was not stored whole: " + problem;
    }
    if (!problem.empty()) {
        KeepFailedHome(home, out);
        Fail("our retrieve: " + problem + "; see " + log + " and " + out + "failed-home");
        return {};
    }
    return times;
}

// A peer's run on a freshly filled mailbox; times of -1 when it failed or left mail.
TRunTimes PeerRetrieve(TMailbox& mailbox, const std::string& name, const TCommand& command,
                       const std::function<bool()>& check, const std::function<void()>& reset) {
    // A second try for a peer that fails now and then on its own (getmail's wait for its
    // delivery child can miss the child's exit).
    for (int attempt = 1;; ++attempt) {
        if (!mailbox.Fill()) {
            Fail("cannot fill the mailbox");
            return {};
        }
        Settle();
        const TRunTimes times = RunTimed(command);
        if (times.Status == 0 && mailbox.Left() == 0 && check())
            return times;
        const std::string what = name + " failed (exit status " + std::to_string(times.Status) +
                                 ", " + std::to_string(mailbox.Left()) +
                                 " left on the server; see " + command.Err + ")";
        if (attempt == 2) {
            Fail(what);
            return {};
        }
        std::fprintf(stderr, "pelmora_bench_transfer: %s; trying again\n", what.c_str());
        reset();
    }
}

void Add(TSamples& samples, const TRunTimes& times) {
    samples.Add(times.Wall, times.Cpu);
}

void BenchRetrieve(const std::string& out, int set, int rounds) {
    TMailbox mailbox;
    if (!mailbox.Start(set))
        return;
    std::printf("\nretrieve, set %d: %d messages, %.1f MB (largest %.1f MB)\n", set, mailbox.Size,
                static_cast<double>(mailbox.Bytes) / 1e6,
                static_cast<double>(mailbox.Largest) / 1e6);
    std::fflush(stdout);

    const std::string peers = out + "peers/";
    Trash.Put(peers);
    fs::create_directories(peers);
    const std::string port = std::to_string(mailbox.Port());
    // fetchmail: a private run-control file, ids file and lock; no syslog, plain POP3.
    const std::string fetchmailHome = peers + "fetchmail/";
    fs::create_directories(fetchmailHome);
    ::chmod(fetchmailHome.c_str(), 0700);
    const std::string rc = fetchmailHome + "fetchmailrc";
    WriteOrFail(rc, "poll 127.0.0.1 proto pop3 port " + port + " auth password\n    user \"" +
                        kUser + "\" password \"" + kPassword + "\" is root here\n");
    const std::string bsmtp = peers + "all.bsmtp";
    const std::string mdaDir = peers + "mda/";
    auto fetchmail = [&](std::vector<std::string> delivery) {
        TCommand command;
        command.Argv = {"fetchmail",  "-f",
                        rc,           "--nosyslog",
                        "--all",      "--nokeep",
                        "--sslproto", "",
                        "--idfile",   fetchmailHome + "fetchids",
                        "--pidfile",  fetchmailHome + "fetchmail.pid",
                        "--silent"};
        command.Argv.insert(command.Argv.end(), delivery.begin(), delivery.end());
        command.Env = {"FETCHMAILHOME=" + fetchmailHome};
        command.Err = peers + "fetchmail.log";
        return command;
    };
    const TCommand toFile = fetchmail({"--bsmtp", bsmtp});
    auto fetchmailToFile = [&] {
        const TRunTimes times = PeerRetrieve(
            mailbox, "fetchmail --bsmtp", toFile,
            [&] { return fs::file_size(bsmtp) > static_cast<std::uintmax_t>(mailbox.Bytes); },
            [&] { Trash.Put(bsmtp); });
        Trash.Put(bsmtp);
        return times;
    };

    TSamples ours, big, toFileTimes;
    for (int round = 0; round < rounds; ++round) {
        auto oursOnce = [&] {
            TBenchHome home(out + "home-retrieve/");
            Add(ours, OurRetrieve(mailbox, home, out));
        };
        // The sides take turns at going first, so neither always meets a warmer cache.
        if (round % 2 == 0 || OursOnly) {
            oursOnce();
            if (!OursOnly)
                Add(toFileTimes, fetchmailToFile());
        } else {
            Add(toFileTimes, fetchmailToFile());
            oursOnce();
        }
        if (set == 1) {
            TBenchHome home(out + "home-big-inbox/");
            if (!FillInbox(home, kBigInboxRows)) {
                Fail("cannot fill the inbox");
                Add(big, {});
            } else {
                Add(big, OurRetrieve(mailbox, home, out));
            }
        }
        if (OursOnly)
            std::printf("  round %d: %.3f s wall, %.3f s cpu\n", round + 1, ours.Wall.back(),
                        ours.Cpu.back());
    }
    if (OursOnly)
        return;
    const std::string what = "retrieve set " + std::to_string(set) + ", " +
                             std::to_string(mailbox.Size) + " messages";
    if (!bench::PrintComparison(what, ours, "fetchmail --bsmtp", toFileTimes, 1.0))
        AnyFailed = true;
    if (set == 1 && !bench::PrintComparison("retrieve set 1 into a 50,000-row inbox", big,
                                            "empty inbox", ours, 1.2))
        AnyFailed = true;
    if (!AllPeers)
        return;

    // The other peers once each, for their times beside ours (no target).
    const TCommand perMessage = fetchmail({"--mda", "cat > " + mdaDir + "$$"});
    // getmail6: a Maildir destination, deleting on the server. As root it delivers only as
    // another user.
    const passwd* nobody = ::getuid() == 0 ? ::getpwnam("nobody") : nullptr;
    const std::string getmailDir = peers + "getmail/";
    const std::string getmailMaildir = peers + "Maildir/";
    fs::create_directories(getmailDir);
    WriteOrFail(getmailDir + "getmailrc",
                "[retriever]\ntype = SimplePOP3Retriever\nserver = 127.0.0.1\nport = " + port +
                    "\nusername = " + kUser + "\npassword = " + kPassword + "\ntimeout = 20" +
                    "\n\n[destination]\ntype = Maildir\npath = " + getmailMaildir +
                    (nobody ? "\nuser = nobody" : "") +
                    "\n\n[options]\ndelete = true\nread_all = true\nverbose = 0\n"
                    "message_log_syslog = false\n");
    TCommand getmail;
    getmail.Argv = {"getmail",  "--quiet",  "--getmaildir",
                    getmailDir, "--rcfile", getmailDir + "getmailrc"};
    getmail.Err = peers + "getmail.log";
    for (const char* sub : {"", "cur", "new", "tmp"}) {
        fs::create_directories(getmailMaildir + sub);
        if (nobody && ::chown((getmailMaildir + sub).c_str(), nobody->pw_uid, nobody->pw_gid))
            Fail("cannot hand the Maildir to nobody");
    }
    TSamples getmailTimes, perMessageTimes;
    Add(getmailTimes,
        PeerRetrieve(
            mailbox, "getmail", getmail,
            [&] { return CountFiles(getmailMaildir) == mailbox.Size; },
            [&] {
                std::vector<std::string> delivered;
                for (const char* sub : {"cur", "new", "tmp"})
                    for (const auto& entry : fs::directory_iterator(getmailMaildir + sub))
                        delivered.push_back(entry.path().string());
                for (const std::string& path : delivered)
                    Trash.Put(path);
            }));
    Trash.Put(getmailMaildir);
    fs::create_directories(mdaDir);
    Add(perMessageTimes, PeerRetrieve(
                             mailbox, "fetchmail --mda", perMessage,
                             [&] { return CountFiles(mdaDir) == mailbox.Size; },
                             [&] {
                                 Trash.Put(mdaDir);
                                 fs::create_directories(mdaDir);
                             }));
    Trash.Put(mdaDir);
    TSamples oursOnce;
    oursOnce.Add(Median(ours.Wall), Median(ours.Cpu));
    bench::PrintComparison(what + " (our median)", oursOnce, "getmail Maildir", getmailTimes, 0);
    bench::PrintComparison(what + " (our median)", oursOnce, "fetchmail --mda", perMessageTimes,
                           0);
}

// --- Sending ------------------------------------------------------------------------------

// The texts every side sends, one file per message, in sending order.
bool WriteOutgoing(const std::string& dir, int set) {
    fs::create_directories(dir);
    for (int n = 0; n < bench::OutboxSize(set); ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "1032024%09d.eml", n);
        if (!pelmora::testing::WriteTextFile(dir + name, bench::OutgoingMessage(n, set)))
            return false;
    }
    return true;
}

// Queues the outgoing messages in project 1001's outbox with their index rows, as composing
// does.
bool FillOutbox(TBenchHome& home, const std::string& texts, int count) {
    const std::string outbox = FolderPath(home.StoreDir(), kSendProject, 115);
    fs::create_directories(outbox);
    TMessageList list;
    list.BeginBulk();
    for (int n = 0; n < count; ++n) {
        char stem[32];
        std::snprintf(stem, sizeof stem, "1032024%09d", n);
        const std::string name = std::string("_") + stem + ".eml";
        const std::string text = pelmora::testing::ReadTextFile(texts + stem + ".eml");
        if (text.empty() || !pelmora::testing::WriteTextFile(outbox + name, text))
            return false;
        TIndexRow row;
        row.FolderPath = outbox;
        row.FilePath = outbox + name;
        row.State = kStateUnread;
        row.Subject = "for you #" + std::to_string(n);
        row.AddressColumn = "Bob Builder (bob@example.net)";
        row.DateText = "04-03-2024 10:00";
        row.Size = static_cast<std::int64_t>(text.size());
        list.Add(ListRowOf(row));
    }
    list.EndBulk();
    return SaveIndex(outbox + "tree.lst", list);
}

// A sink for one run; the sinks stay until the end (their spools are removed then). Set 2's
// sink wants AUTH.
TSmtpTestServer* NewSink(std::vector<std::unique_ptr<TSmtpTestServer>>& sinks, int set) {
    sinks.push_back(std::make_unique<TSmtpTestServer>());
    pelmora::testing::TSmtpTestOptions options;
    if (set != 1) {
        options.UserName = kUser;
        options.Password = kPassword;
        options.AuthRequired = true;
    }
    if (!sinks.back()->Start(options)) {
        Fail("SMTP sink did not start");
        return nullptr;
    }
    return sinks.back().get();
}

TRunTimes OurSend(const std::string& out, const std::string& texts, TMailbox& empty,
                  TSmtpTestServer& sink, int set) {
    const int count = bench::OutboxSize(set);
    TBenchHome home(out + "home-send/");
    home.Work().AccountTree.Add(home.Account, ProjectNodeText(kSendProject, "Work", "#251080"));
    EnsureProjectDirectories(home.StoreDir(), kSendProject);
    // The run sends only, as the peer does; the mailbox is there for a run that would sign
    // in anyway.
    if (!empty.Fill()) {
        Fail("cannot empty the mailbox");
        return {};
    }
    home.Set(121, std::to_string(empty.Port()));
    home.Set(123, std::to_string(sink.Port()));
    if (set != 1) {
        home.Set(111, kUser);
        home.Set(112, kPassword);
    }
    if (!FillOutbox(home, texts, count)) {
        Fail("cannot fill the outbox");
        return {};
    }
    const std::string log = out + "pelmora-send.log";
    const TRunTimes times = RunCollect(home, log, true);
    const int left =
        CountMessageFiles(FolderPath(home.StoreDir(), kSendProject, 115) + "*.eml?").Total;
    const int filed =
        CountMessageFiles(FolderPath(home.StoreDir(), kSendProject, 113) + "*.eml?").Total;
    if (times.Status != 0 || left != 0 || filed != count || sink.ReceivedCount() != count) {
        KeepFailedHome(home, out);
        Fail("our send: exit status " + std::to_string(times.Status) + ", " +
             std::to_string(sink.ReceivedCount()) + " received, " + std::to_string(filed) +
             " filed, " + std::to_string(left) + " left in the outbox; see " + log);
        return {};
    }
    return times;
}

// Python's smtplib over one connection. Its wall time is the one it measures itself (without
// the interpreter's start); its CPU time is the whole process's.
TRunTimes SmtplibSend(const std::string& out, const std::string& texts, TSmtpTestServer& sink,
                      int set) {
    TCommand command;
    command.Argv = {"/usr/bin/python3", PELMORA_BENCH_DIR "/peer_send.py",
                    std::to_string(sink.Port()), texts};
    if (set != 1) {
        command.Argv.push_back(kUser);
        command.Argv.push_back(kPassword);
    }
    command.Out = out + "smtplib.out";
    command.Err = out + "smtplib.log";
    Settle();
    TRunTimes times = RunTimed(command);
    if (times.Status != 0 || sink.ReceivedCount() != bench::OutboxSize(set)) {
        Fail("smtplib failed (" + std::to_string(sink.ReceivedCount()) + " received), see " +
             command.Err);
        return {};
    }
    std::sscanf(pelmora::testing::ReadTextFile(command.Out).c_str(), "%lf", &times.Wall);
    return times;
}

TRunTimes MsmtpSend(const std::string& out, const std::string& texts, TSmtpTestServer& sink,
                    int set) {
    const std::string rc = out + "msmtprc";
    WriteOrFail(rc, "defaults\ntls off\nsyslog off\n\naccount bench\nhost 127.0.0.1\nport " +
                        std::to_string(sink.Port()) + "\nfrom " + bench::kOurAddress +
                        (set != 1 ? std::string("\nauth on\nuser ") + kUser + "\npassword " +
                                        kPassword
                                  : std::string("\nauth off")) +
                        "\n\naccount default : bench\n");
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(texts))
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    Settle();
    TRunTimes total{0, 0, 0};
    for (const std::string& file : files) {
        TCommand command;
        command.Argv = {"msmtp", "-C", rc, "-t"};
        command.In = file;
        command.Err = out + "msmtp.log";
        const TRunTimes one = RunTimed(command);
        if (one.Status != 0) {
            Fail("msmtp failed, see " + command.Err);
            return {};
        }
        total.Wall += one.Wall;
        total.Cpu += one.Cpu;
    }
    if (sink.ReceivedCount() != bench::OutboxSize(set)) {
        Fail("msmtp: the sink got " + std::to_string(sink.ReceivedCount()));
        return {};
    }
    return total;
}

void BenchSend(const std::string& out, int set, int rounds) {
    const std::string texts = out + "outgoing/";
    Trash.Put(texts);
    if (!WriteOutgoing(texts, set)) {
        Fail("cannot write the outgoing messages");
        return;
    }
    std::uintmax_t bytes = 0, largest = 0;
    for (const auto& entry : fs::directory_iterator(texts)) {
        bytes += entry.file_size();
        largest = std::max(largest, entry.file_size());
    }
    std::printf("\nsend, set %d: %d messages, %.1f MB (largest %.1f MB)%s\n", set,
                bench::OutboxSize(set), static_cast<double>(bytes) / 1e6,
                static_cast<double>(largest) / 1e6, set != 1 ? ", with AUTH" : "");
    std::fflush(stdout);
    TMailbox empty;
    if (!empty.Start(0))
        return;

    std::vector<std::unique_ptr<TSmtpTestServer>> sinks;
    TSamples ours, smtplib, msmtp;
    auto oursOnce = [&] {
        TSmtpTestServer* sink = NewSink(sinks, set);
        Add(ours, sink ? OurSend(out, texts, empty, *sink, set) : TRunTimes{});
    };
    auto peerOnce = [&] {
        TSmtpTestServer* sink = NewSink(sinks, set);
        Add(smtplib, sink ? SmtplibSend(out, texts, *sink, set) : TRunTimes{});
    };
    for (int round = 0; round < rounds; ++round) {
        if (OursOnly) {
            oursOnce();
            std::printf("  round %d: %.3f s wall, %.3f s cpu\n", round + 1, ours.Wall.back(),
                        ours.Cpu.back());
            continue;
        }
        if (round % 2 == 0) {
            oursOnce();
            peerOnce();
        } else {
            peerOnce();
            oursOnce();
        }
    }
    if (OursOnly)
        return;
    const std::string what = "send set " + std::to_string(set) + ", " +
                             std::to_string(bench::OutboxSize(set)) + " queued";
    if (!bench::PrintComparison(what, ours, "smtplib 1 conn", smtplib, 1.0))
        AnyFailed = true;
    if (AllPeers) {
        TSmtpTestServer* sink = NewSink(sinks, set);
        Add(msmtp, sink ? MsmtpSend(out, texts, *sink, set) : TRunTimes{});
        TSamples oursMedian;
        oursMedian.Add(Median(ours.Wall), Median(ours.Cpu));
        bench::PrintComparison(what + " (our median)", oursMedian, "msmtp per message", msmtp, 0);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: pelmora_bench_transfer OUTDIR --program PELMORA [--rounds N] "
                             "[--only retrieve|send] [--set 1|2] [--all-peers] [--ours-only]\n");
        return 2;
    }
    std::error_code ec;
    std::string out = fs::absolute(argv[1], ec).string();
    if (out.back() != '/')
        out += '/';
    std::string only;
    int rounds = 5;
    int onlySet = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--ours-only") {
            OursOnly = true;
        } else if (arg == "--all-peers") {
            AllPeers = true;
        } else if (arg == "--program" && i + 1 < argc) {
            Program = fs::absolute(argv[++i], ec).string();
        } else if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if ((arg == "--rounds" || arg == "--set") && i + 1 < argc) {
            const char* text = argv[++i];
            int value = 0;
            std::from_chars(text, text + std::strlen(text), value);
            (arg == "--rounds" ? rounds : onlySet) = std::max(arg == "--rounds" ? 1 : 0, value);
        } else {
            std::fprintf(stderr, "pelmora_bench_transfer: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (Program.empty() || ::access(Program.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "pelmora_bench_transfer: --program must name the pelmora program\n");
        return 2;
    }
    fs::create_directories(out);
    Trash.Open(out + "trash/");
    std::printf("program: %s, %d rounds, sides alternating\n", Program.c_str(), rounds);
    for (int set = 1; set <= bench::kSets; ++set) {
        if (onlySet != 0 && set != onlySet)
            continue;
        if (only.empty() || only == "retrieve")
            BenchRetrieve(out, set, rounds);
        if (only.empty() || only == "send")
            BenchSend(out, set, rounds);
    }
    Trash.Empty();
    return AnyFailed ? 1 : 0;
}
