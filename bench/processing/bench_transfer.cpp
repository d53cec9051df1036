// Transfer benchmark: whole transfer runs (TTransferRun::RunTransfer) against local servers,
// each beside peer programs doing the same work on the same data in the same run:
//   - retrieving a mailbox of 1,000 messages (about 200 MB) from Dovecot into a fresh data
//     home, deleting on the server, beside fetchmail (one BSMTP file; per-message MDA) and
//     getmail6 (Maildir); then the same into an inbox that already holds 50,000 rows;
//   - sending 500 queued messages of one project to aiosmtpd, beside Python's smtplib (one
//     connection) and msmtp (one process per message).
// Every side gets an identical freshly filled mailbox or outbox; filling is not timed. Prints
// one line per measurement with the ratio and, where there is one, the target.
//
//   pelmora_bench_transfer OUTDIR [--quick] [--only retrieve|send] [--rounds N] [--ours-only]
//
// --ours-only skips the peers (for profiling our side).
// OUTDIR holds the data homes and the peers' files while they are measured.
#include "mime/mail_message.h"
#include "processing/index_row.h"
#include "processing/transfer_run.h"
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
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <pwd.h>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace pelmora;
using pelmora::testing::TDovecotOptions;
using pelmora::testing::TDovecotServer;
using pelmora::testing::TSmtpTestServer;
using pelmora::testing::TTempDir;
using pelmora::testing::TTestCa;
using pelmora::testing::TTestCertificate;

constexpr int kMailboxSize = 1000;
constexpr int kBigInboxRows = 50000;
constexpr int kOutboxSize = 500;
constexpr int kSendProject = 1001;
constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench";

// Set by --ours-only (for profiling our side): the peers are skipped.
bool OursOnly = false;

using TClock = std::chrono::steady_clock;

double Seconds(TClock::time_point start) {
    return std::chrono::duration<double>(TClock::now() - start).count();
}

double Best(const std::vector<double>& values) {
    double best = -1;
    for (double value : values)
        if (value >= 0 && (best < 0 || value < best))
            best = value;
    return best;
}

// Set when any measurement failed: the exit status is then 1.
bool AnyFailed = false;

void Fail(const std::string& what) {
    AnyFailed = true;
    std::fprintf(stderr, "pelmora_bench_transfer: %s\n", what.c_str());
    std::fflush(stderr);
}

// Writes back what the other sides left in the page cache, so that no side pays for the
// write-back of another.
void Settle() {
    ::sync();
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

// --- Peer processes ---------------------------------------------------------------------

struct TCommand {
    std::vector<std::string> Argv;
    std::vector<std::string> Env; // added to this program's environment
    std::string In = "/dev/null";
    std::string Out = "/dev/null";
    std::string Err = "/dev/null";
};

// Runs a command to its end; its exit status, or -1 when it could not be started.
int RunCommand(const TCommand& command) {
    std::vector<char*> argv;
    for (const std::string& arg : command.Argv)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e)
        envp.push_back(*e);
    for (const std::string& e : command.Env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, command.In.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, command.Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, command.Err.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

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

// The POP3 server and the mailbox every side retrieves: the messages are written once and
// linked into the user's Maildir before each side's run.
class TMailbox {
public:
    bool Start() {
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
        for (int n = 0; n < kMailboxSize; ++n) {
            const std::string text = bench::IncomingMessage(n);
            const std::string path = Pristine + std::to_string(n);
            if (!pelmora::testing::WriteTextFile(path, text))
                return false;
            if (::getuid() == 0 && ::chown(path.c_str(), owner.st_uid, owner.st_gid) != 0)
                return false;
            Bytes += static_cast<std::int64_t>(text.size());
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
        for (int n = 0; n < kMailboxSize; ++n) {
            char name[64];
            std::snprintf(name, sizeof name, "%d.R%dQ%d.bench", 1700000000 + Round * 10000 + n,
                          Round, n);
            if (::link((Pristine + std::to_string(n)).c_str(), (Maildir + "new/" + name).c_str()))
                return false;
        }
        return Server.MessageCount(kUser) == kMailboxSize;
    }
    int Left() const { return Server.MessageCount(kUser); }
    // True when the message files of `inbox` that are not in `before` are exactly the
    // mailbox, each the server's text byte for byte behind the two header lines we add.
    bool StoredWhole(const std::string& inbox, const std::set<std::string>& before,
                     std::string& problem) const {
        std::map<std::size_t, int> left = Expected;
        int files = 0;
        for (const auto& entry : fs::directory_iterator(inbox)) {
            const std::string name = entry.path().filename().string();
            if (!IsMessageFileName(name) || before.count(name))
                continue;
            ++files;
            const std::string text =
                WithoutAddedHeaders(pelmora::testing::ReadTextFile(entry.path().string()));
            auto it = left.find(std::hash<std::string>{}(text));
            if (it == left.end() || it->second == 0) {
                problem = name + " is not a message of the mailbox";
                return false;
            }
            --it->second;
        }
        if (files != kMailboxSize) {
            problem = std::to_string(files) + " files stored";
            return false;
        }
        return true;
    }
    int Port() const { return Server.Pop3Port(); }
    std::int64_t Bytes = 0;

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

// Our side: a full unattended run of the account in `home`. Seconds, or -1 on failure.
double OurRetrieve(TMailbox& mailbox, TBenchHome& home) {
    home.Set(121, std::to_string(mailbox.Port()));
    if (!mailbox.Fill()) {
        Fail("cannot fill the mailbox");
        return -1;
    }
    const std::string inbox = FolderPath(home.StoreDir(), home.DefaultProject, kFolderInbox);
    std::set<std::string> before;
    for (const auto& entry : fs::directory_iterator(inbox))
        before.insert(entry.path().filename().string());
    Settle();
    TTransferRun run(home.Work());
    const auto start = TClock::now();
    run.RunTransfer(1, kRetrieveOnly, true, false);
    const double took = Seconds(start);
    if (run.Downloaded != kMailboxSize || run.RetrieveErrors != 0 || mailbox.Left() != 0) {
        Fail("our retrieve fetched " + std::to_string(run.Downloaded) + ", " +
             std::to_string(run.RetrieveErrors) + " errors, " + std::to_string(mailbox.Left()) +
             " left on the server\n" + home.SessionLog().substr(0, 4000));
        return -1;
    }
    std::string problem;
    if (!mailbox.StoredWhole(inbox, before, problem)) {
        Fail("our retrieve did not store the mailbox whole: " + problem);
        return -1;
    }
    return took;
}

// A peer's run on a freshly filled mailbox: seconds, or -1 when it failed or left mail.
double PeerRetrieve(TMailbox& mailbox, const std::string& name, const TCommand& command,
                    const std::function<bool()>& check, const std::function<void()>& reset) {
    // A second try for a peer that fails now and then on its own (getmail's wait for its
    // delivery child can miss the child's exit).
    for (int attempt = 1;; ++attempt) {
        if (!mailbox.Fill()) {
            Fail("cannot fill the mailbox");
            return -1;
        }
        Settle();
        const auto start = TClock::now();
        const int status = RunCommand(command);
        const double took = Seconds(start);
        if (status == 0 && mailbox.Left() == 0 && check())
            return took;
        const std::string what = name + " failed (exit status " + std::to_string(status) + ", " +
                                 std::to_string(mailbox.Left()) + " left on the server; see " +
                                 command.Err + ")";
        if (attempt == 2) {
            Fail(what);
            return -1;
        }
        std::fprintf(stderr, "pelmora_bench_transfer: %s; trying again\n", what.c_str());
        reset();
    }
}

void PrintRatio(const std::string& name, double ours, const std::string& peerName, double peer,
                double target) {
    const double ratio = ours > 0 && peer > 0 ? ours / peer : 0;
    std::string verdict;
    if (target > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "  (target <= %.1f): %s", target,
                      ratio > 0 && ratio <= target ? "met" : "NOT met");
        verdict = text;
    }
    std::printf("%-40s pelmora %8.3f s  %-16s %8.3f s  ratio %5.2f%s\n", name.c_str(), ours,
                peerName.c_str(), peer, ratio, verdict.c_str());
    std::fflush(stdout);
}

void BenchRetrieve(const std::string& out, int rounds) {
    TMailbox mailbox;
    if (!mailbox.Start())
        return;
    std::printf("mailbox: %d messages, %.1f MB\n", kMailboxSize,
                static_cast<double>(mailbox.Bytes) / 1e6);
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

    std::vector<double> ours, big, toFileTimes, getmailTimes, perMessageTimes;
    auto peersRound = [&] {
        toFileTimes.push_back(PeerRetrieve(
            mailbox, "fetchmail --bsmtp", toFile,
            [&] { return fs::file_size(bsmtp) > static_cast<std::uintmax_t>(mailbox.Bytes); },
            [&] { Trash.Put(bsmtp); }));
        Trash.Put(bsmtp);
        Settle();

        for (const char* sub : {"", "cur", "new", "tmp"}) {
            fs::create_directories(getmailMaildir + sub);
            if (nobody && ::chown((getmailMaildir + sub).c_str(), nobody->pw_uid, nobody->pw_gid))
                Fail("cannot hand the Maildir to nobody");
        }
        getmailTimes.push_back(PeerRetrieve(
            mailbox, "getmail", getmail, [&] { return CountFiles(getmailMaildir) == kMailboxSize; },
            [&] {
                std::vector<std::string> delivered;
                for (const char* sub : {"cur", "new", "tmp"})
                    for (const auto& entry : fs::directory_iterator(getmailMaildir + sub))
                        delivered.push_back(entry.path().string());
                for (const std::string& path : delivered)
                    Trash.Put(path);
            }));
        Trash.Put(getmailMaildir);
        for (const auto& entry : fs::directory_iterator(getmailDir))
            if (entry.path().filename().string().starts_with("oldmail"))
                Trash.Put(entry.path().string());
        Settle();

        fs::create_directories(mdaDir);
        perMessageTimes.push_back(PeerRetrieve(
            mailbox, "fetchmail --mda", perMessage,
            [&] { return CountFiles(mdaDir) == kMailboxSize; },
            [&] {
                Trash.Put(mdaDir);
                fs::create_directories(mdaDir);
            }));
        Trash.Put(mdaDir);
        Settle();
    };
    for (int round = 0; round < rounds; ++round) {
        {
            TBenchHome home(out + "home-retrieve/");
            ours.push_back(OurRetrieve(mailbox, home));
        }
        Settle();
        if (OursOnly)
            std::printf("retrieve 1,000: %.3f s\n", ours.back());
        else
            peersRound();
        {
            TBenchHome home(out + "home-big-inbox/");
            if (!FillInbox(home, kBigInboxRows)) {
                Fail("cannot fill the inbox");
                big.push_back(-1);
            } else {
                big.push_back(OurRetrieve(mailbox, home));
            }
        }
        Settle();
        if (OursOnly)
            std::printf("retrieve 1,000 into 50,000 rows: %.3f s\n", big.back());
    }
    if (OursOnly)
        return;
    PrintRatio("retrieve 1,000 (~200 MB)", Best(ours), "fetchmail bsmtp", Best(toFileTimes), 1.0);
    PrintRatio("retrieve 1,000 (~200 MB)", Best(ours), "getmail Maildir", Best(getmailTimes), 0);
    PrintRatio("retrieve 1,000 (~200 MB)", Best(ours), "fetchmail mda", Best(perMessageTimes), 0);
    PrintRatio("retrieve 1,000 into 50,000-row inbox", Best(big), "empty inbox", Best(ours), 1.2);
}

// --- Sending ------------------------------------------------------------------------------

// The texts every side sends, one file per message, in sending order.
bool WriteOutgoing(const std::string& dir) {
    fs::create_directories(dir);
    for (int n = 0; n < kOutboxSize; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "1032024%09d.eml", n);
        if (!pelmora::testing::WriteTextFile(dir + name, bench::OutgoingMessage(n)))
            return false;
    }
    return true;
}

// Queues the outgoing messages in project 1001's outbox with their index rows, as composing
// does.
bool FillOutbox(TBenchHome& home, const std::string& texts) {
    const std::string outbox = FolderPath(home.StoreDir(), kSendProject, 115);
    fs::create_directories(outbox);
    TMessageList list;
    list.BeginBulk();
    for (int n = 0; n < kOutboxSize; ++n) {
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

// A sink for one side; the sinks stay until the end (their spools are removed then).
TSmtpTestServer* NewSink(std::vector<std::unique_ptr<TSmtpTestServer>>& sinks) {
    sinks.push_back(std::make_unique<TSmtpTestServer>());
    if (!sinks.back()->Start()) {
        Fail("SMTP sink did not start");
        return nullptr;
    }
    return sinks.back().get();
}

double OurSend(const std::string& out, const std::string& texts, TSmtpTestServer& sink) {
    TBenchHome home(out + "home-send/");
    home.Work().AccountTree.Add(home.Account, ProjectNodeText(kSendProject, "Work", "#251080"));
    EnsureProjectDirectories(home.StoreDir(), kSendProject);
    home.Set(121, "110");
    home.Set(123, std::to_string(sink.Port()));
    if (!FillOutbox(home, texts)) {
        Fail("cannot fill the outbox");
        return -1;
    }
    Settle();
    TTransferRun run(home.Work());
    const auto start = TClock::now();
    run.RunTransfer(1, kSendOnly, true, false);
    const double took = Seconds(start);
    const int left =
        CountMessageFiles(FolderPath(home.StoreDir(), kSendProject, 115) + "*.eml?").Total;
    const int filed =
        CountMessageFiles(FolderPath(home.StoreDir(), kSendProject, 113) + "*.eml?").Total;
    if (run.SendErrors != 0 || run.Refused != 0 || left != 0 || filed != kOutboxSize ||
        sink.ReceivedCount() != kOutboxSize) {
        Fail("our send: " + std::to_string(sink.ReceivedCount()) + " received, " +
             std::to_string(filed) + " filed, " + std::to_string(left) + " left in the outbox\n" +
             home.SessionLog().substr(0, 4000));
        return -1;
    }
    return took;
}

double SmtplibSend(const std::string& out, const std::string& texts, TSmtpTestServer& sink) {
    TCommand command;
    command.Argv = {"/usr/bin/python3", PELMORA_BENCH_DIR "/peer_send.py",
                    std::to_string(sink.Port()), texts};
    command.Out = out + "smtplib.out";
    command.Err = out + "smtplib.log";
    Settle();
    if (RunCommand(command) != 0 || sink.ReceivedCount() != kOutboxSize) {
        Fail("smtplib failed, see " + command.Err);
        return -1;
    }
    double seconds = -1;
    std::sscanf(pelmora::testing::ReadTextFile(command.Out).c_str(), "%lf", &seconds);
    return seconds;
}

double MsmtpSend(const std::string& out, const std::string& texts, TSmtpTestServer& sink) {
    const std::string rc = out + "msmtprc";
    WriteOrFail(rc, "defaults\nauth off\ntls off\nsyslog off\n\naccount bench\nhost 127.0.0.1\n"
                    "port " +
                        std::to_string(sink.Port()) + "\nfrom " + bench::kOurAddress +
                        "\n\naccount default : bench\n");
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(texts))
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    Settle();
    const auto start = TClock::now();
    for (const std::string& file : files) {
        TCommand command;
        command.Argv = {"msmtp", "-C", rc, "-t"};
        command.In = file;
        command.Err = out + "msmtp.log";
        if (RunCommand(command) != 0) {
            Fail("msmtp failed, see " + command.Err);
            return -1;
        }
    }
    const double took = Seconds(start);
    if (sink.ReceivedCount() != kOutboxSize) {
        Fail("msmtp: the sink got " + std::to_string(sink.ReceivedCount()));
        return -1;
    }
    return took;
}

void BenchSend(const std::string& out, int rounds) {
    const std::string texts = out + "outgoing/";
    Trash.Put(texts);
    if (!WriteOutgoing(texts)) {
        Fail("cannot write the outgoing messages");
        return;
    }
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(texts))
        bytes += entry.file_size();
    std::printf("outbox: %d messages, %.1f MB\n", kOutboxSize, static_cast<double>(bytes) / 1e6);
    std::fflush(stdout);

    std::vector<std::unique_ptr<TSmtpTestServer>> sinks;
    std::vector<double> ours, smtplib, msmtp;
    for (int round = 0; round < rounds; ++round) {
        TSmtpTestServer* sink = NewSink(sinks);
        ours.push_back(sink ? OurSend(out, texts, *sink) : -1);
        if (OursOnly) {
            std::printf("send 500 queued: %.3f s\n", ours.back());
            continue;
        }
        sink = NewSink(sinks);
        smtplib.push_back(sink ? SmtplibSend(out, texts, *sink) : -1);
        if (round == 0) {
            // One process per message takes long: measured once.
            sink = NewSink(sinks);
            msmtp.push_back(sink ? MsmtpSend(out, texts, *sink) : -1);
        }
    }
    if (OursOnly)
        return;
    PrintRatio("send 500 queued", Best(ours), "smtplib 1 conn", Best(smtplib), 1.0);
    PrintRatio("send 500 queued", Best(ours), "msmtp per message", Best(msmtp), 0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: pelmora_bench_transfer OUTDIR [--quick] [--only retrieve|send] "
                     "[--rounds N]\n");
        return 2;
    }
    std::error_code ec;
    std::string out = fs::absolute(argv[1], ec).string();
    if (out.back() != '/')
        out += '/';
    std::string only;
    int retrieveRounds = 3;
    int sendRounds = 5;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            retrieveRounds = sendRounds = 1;
        } else if (std::strcmp(argv[i], "--ours-only") == 0) {
            OursOnly = true;
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            const char* text = argv[++i];
            int rounds = 1;
            std::from_chars(text, text + std::strlen(text), rounds);
            retrieveRounds = sendRounds = std::max(1, rounds);
        }
    }
    fs::create_directories(out);
    Trash.Open(out + "trash/");
    if (only.empty() || only == "retrieve")
        BenchRetrieve(out, retrieveRounds);
    if (only.empty() || only == "send")
        BenchSend(out, sendRounds);
    Trash.Empty();
    return AnyFailed ? 1 : 0;
}
