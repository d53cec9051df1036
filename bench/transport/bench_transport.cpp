// Transport benchmark: the POP3 and SMTP clients against local servers (Dovecot, aiosmtpd)
// beside Python's poplib and smtplib doing the same work in the same run, and the CPU time of
// a wait on a silent server.
//
// Both input sets of transport_inputs.h are measured. Every round runs both sides once, the
// order turning round by round (ours first in even rounds, the peer first in odd ones). Each
// side times its own work, interpreter start-up excluded: wall time and CPU time (user +
// system of the working thread; of the peer's process). Every run is checked before it
// counts: the messages fetched, their number, bytes and texts, against what the server was
// given; the messages the SMTP server stored against what was sent, and their envelopes
// against those of the other side (smtplib's come from Python's mail parser reading the
// same headers). A failed check stops the measure without a ratio and makes the exit status
// 1. Per measure the report gives each side's median with its spread (smallest-largest) and
// the ratio of the medians (ours / peer: below 1 is faster), for wall and CPU time.
//
//   pelmora_bench_transport [--rounds N (5)] [--set 1|2] [--only pop3|smtp|idle] [--quick]
//
// --quick: one round and a 5-second idle wait.
#include "mime/mail_message.h"
#include "shell/scripted_ui.h"
#include "support/dovecot_server.h"
#include "support/scripted_server.h"
#include "support/smtp_test_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"
#include "transport/pop3_client.h"
#include "transport/smtp_client.h"
#include "transport_inputs.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

using namespace pelmora;
using namespace pelmora::testing;

namespace {

// Set when a measure failed: the exit status is then 1.
bool AnyFailed = false;

void Fail(const std::string& what) {
    AnyFailed = true;
    std::fprintf(stderr, "pelmora_bench_transport: %s\n", what.c_str());
    std::fflush(stderr);
}

// --- Times --------------------------------------------------------------------------------

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The wall time and the CPU time of this thread (the client runs on it; the servers are
// other processes).
struct TStopwatch {
    std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
    double Cpu = CpuSeconds(RUSAGE_THREAD);
    double Wall() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    }
    double CpuUsed() const { return CpuSeconds(RUSAGE_THREAD) - Cpu; }
};

struct TSamples {
    std::vector<double> Wall;
    std::vector<double> Cpu;
    bool Failed = false;
    void Add(double wall, double cpu) {
        Wall.push_back(wall);
        Cpu.push_back(cpu);
    }
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void PrintLine(const char* kind, const std::vector<double>& ours, const char* peer,
               const std::vector<double>& theirs) {
    const auto [ourMin, ourMax] = std::minmax_element(ours.begin(), ours.end());
    const auto [peerMin, peerMax] = std::minmax_element(theirs.begin(), theirs.end());
    std::printf("  %-4s pelmora %7.3f s (%.3f-%.3f)  %-8s %7.3f s (%.3f-%.3f)  ratio %5.2f\n", kind,
                Median(ours), *ourMin, *ourMax, peer, Median(theirs), *peerMin, *peerMax,
                Median(ours) / Median(theirs));
}

void PrintComparison(const std::string& measure, const TSamples& ours, const char* peer,
                     const TSamples& theirs) {
    std::printf("%s (median of %zu runs each, spread in brackets)\n", measure.c_str(),
                ours.Wall.size());
    if (ours.Failed || theirs.Failed || ours.Wall.empty() || theirs.Wall.empty()) {
        std::printf("  a run failed: no ratio\n");
        AnyFailed = true;
    } else {
        PrintLine("wall", ours.Wall, peer, theirs.Wall);
        PrintLine("cpu", ours.Cpu, peer, theirs.Cpu);
    }
    std::fflush(stdout);
}

// Runs both sides `rounds` times, turning the order round by round. A side returns false
// when its run failed its check; the rounds stop there.
void Alternate(int rounds, const std::function<bool()>& ours, const std::function<bool()>& peer) {
    for (int round = 0; round < rounds; ++round) {
        const bool oursFirst = round % 2 == 0;
        if (!(oursFirst ? ours() : peer()) || !(oursFirst ? peer() : ours()))
            return;
    }
}

// --- The peer -----------------------------------------------------------------------------

// Runs peer_clients.py; false when it failed (its own checks included). Its first output
// line is "wall cpu count [bytes]".
bool RunPeer(const std::string& arguments, double& wall, double& cpu, long& count,
             long long& bytes) {
    const std::string command =
        "/usr/bin/python3 " PELMORA_BENCH_DIR "/peer_clients.py " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    char buffer[512] = {};
    std::string output;
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = pclose(pipe);
    bytes = -1;
    if (status != 0 ||
        std::sscanf(output.c_str(), "%lf %lf %ld %lld", &wall, &cpu, &count, &bytes) < 3) {
        Fail("the peer failed: " + command + "\n" + output);
        return false;
    }
    return true;
}

// --- Input sizes --------------------------------------------------------------------------

struct TSize {
    std::size_t Count = 0;
    long long Bytes = 0;
    std::size_t Largest = 0;
};

template <typename Texts> TSize SizeOf(const Texts& texts) {
    TSize size;
    for (const auto& text : texts) {
        ++size.Count;
        size.Bytes += static_cast<long long>(text.size());
        size.Largest = std::max<std::size_t>(size.Largest, text.size());
    }
    return size;
}

std::string Describe(const TSize& size) {
    char text[128];
    std::snprintf(text, sizeof text, "%zu message%s, %.1f MB (largest %.2f MB)", size.Count,
                  size.Count == 1 ? "" : "s", static_cast<double>(size.Bytes) / 1e6,
                  static_cast<double>(size.Largest) / 1e6);
    return text;
}

// --- POP3 ---------------------------------------------------------------------------------

// Fetches every message of the mailbox; keeps the texts (shared, not copied) for the check.
bool FetchAll(TUiServices& ui, int port, const std::string& user, std::vector<TBodyText>& texts) {
    TPop3Client client(ui);
    client.Host = "127.0.0.1";
    client.Port = port;
    client.UserName = user;
    client.Password = "bench";
    client.TimeOut = 120;
    if (!client.OpenSession() || !client.SignIn()) {
        Fail("POP3 sign-in failed: " + client.LastReply());
        return false;
    }
    for (int n = 1; n <= client.ServerMessageCount; ++n) {
        if (!client.FetchMessage(n)) {
            Fail("RETR " + std::to_string(n) + " failed: " + client.LastReply());
            return false;
        }
        texts.push_back(client.LastMessageText);
    }
    client.CloseSession();
    return true;
}

// The fetched texts against the mailbox, as sets of texts (the server numbers the messages
// in an order of its own).
bool SameMessages(const std::vector<TBodyText>& fetched, const std::vector<std::string>& served,
                  std::string& problem) {
    std::vector<std::string_view> got(fetched.begin(), fetched.end());
    std::vector<std::string_view> want(served.begin(), served.end());
    const TSize size = SizeOf(got);
    if (got.size() != want.size() || size.Bytes != SizeOf(want).Bytes) {
        problem = "fetched " + std::to_string(got.size()) + " messages of " +
                  std::to_string(size.Bytes) + " bytes, the server has " +
                  std::to_string(want.size()) + " of " + std::to_string(SizeOf(want).Bytes);
        return false;
    }
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    if (got != want) {
        problem = "a fetched message differs from the server's";
        return false;
    }
    return true;
}

void BenchPop3(TUiServices& ui, int set, int rounds,
               const std::vector<bench::TPop3Mailbox>& boxes) {
    TTempDir files("pelmora-bench-pop3");
    TTestCa ca(files.Path());
    TTestCertificate certificate = ca.Issue({"localhost", {"localhost"}, {"127.0.0.1"}});
    TDovecotServer server;
    TDovecotOptions options{{}, certificate.CertPath, certificate.KeyPath};
    for (const bench::TPop3Mailbox& box : boxes)
        options.Users.push_back({box.User, "bench"});
    if (!server.Start(options)) {
        Fail("Dovecot did not start:\n" + server.Log());
        return;
    }
    for (const bench::TPop3Mailbox& box : boxes) {
        // The server's copy, for the peer's check as for ours.
        const std::string expected = files.Path() + "expected-" + box.User + "/";
        std::filesystem::create_directories(expected);
        for (std::size_t n = 0; n < box.Messages.size(); ++n) {
            if (!server.AddMessage(box.User, box.Messages[n]) ||
                !WriteTextFile(expected + std::to_string(n), box.Messages[n])) {
                Fail("cannot fill the mailbox " + box.User);
                return;
            }
        }
        if (server.Messages(box.User) != box.Messages) {
            Fail("the server's Maildir does not hold the mailbox " + box.User);
            return;
        }
        const TSize size = SizeOf(box.Messages);
        TSamples ours;
        TSamples peer;
        std::vector<TBodyText> warm; // the first fetch warms the server's caches
        if (!FetchAll(ui, server.Pop3Port(), box.User, warm))
            return;
        warm.clear();
        auto oursOnce = [&] {
            std::vector<TBodyText> texts;
            texts.reserve(box.Messages.size());
            const TStopwatch watch;
            const bool fetched = FetchAll(ui, server.Pop3Port(), box.User, texts);
            const double wall = watch.Wall();
            const double cpu = watch.CpuUsed();
            std::string problem;
            if (!fetched || !SameMessages(texts, box.Messages, problem)) {
                Fail("our POP3 fetch of " + box.User + ": " + problem);
                ours.Failed = true;
                return false;
            }
            ours.Add(wall, cpu);
            return true;
        };
        auto peerOnce = [&] {
            double wall = 0, cpu = 0;
            long count = 0;
            long long bytes = 0;
            if (!RunPeer("pop3 " + std::to_string(server.Pop3Port()) + " " + box.User + " bench " +
                             expected,
                         wall, cpu, count, bytes) ||
                count != static_cast<long>(size.Count) || bytes != size.Bytes) {
                Fail("poplib fetched " + std::to_string(count) + " messages of " +
                     std::to_string(bytes) + " bytes from " + box.User);
                peer.Failed = true;
                return false;
            }
            peer.Add(wall, cpu);
            return true;
        };
        Alternate(rounds, oursOnce, peerOnce);
        PrintComparison("POP3 fetch " + box.Title + ", set " + std::to_string(set), ours, "poplib",
                        peer);
    }
}

// --- SMTP ---------------------------------------------------------------------------------

// The envelopes of the stored messages, one line each: the sender, then the recipients in
// sorted order.
std::string Envelopes(const std::vector<TReceivedMail>& received) {
    std::string lines;
    for (const TReceivedMail& mail : received) {
        std::vector<std::string> to = mail.To;
        std::sort(to.begin(), to.end());
        lines += mail.From;
        for (const std::string& address : to)
            lines += " " + address;
        lines += "\n";
    }
    return lines;
}

// What the server stored against the texts sent, in order, and the envelopes against
// `envelopes`: the first run fills it in, every other run (of either side) must match it, so
// both sides do the same work.
bool SameAsSent(const TSmtpTestServer& server, const std::vector<std::string>& sent,
                std::string& envelopes, std::string& problem) {
    const std::vector<TReceivedMail> received = server.Received();
    long long bytes = 0;
    for (const TReceivedMail& mail : received)
        bytes += static_cast<long long>(mail.Data.size());
    if (received.size() != sent.size() || bytes != SizeOf(sent).Bytes) {
        problem = "the server stored " + std::to_string(received.size()) + " messages of " +
                  std::to_string(bytes) + " bytes, " + std::to_string(sent.size()) + " of " +
                  std::to_string(SizeOf(sent).Bytes) + " were sent";
        return false;
    }
    for (std::size_t n = 0; n < sent.size(); ++n) {
        if (received[n].Data != sent[n]) {
            problem = "message " + std::to_string(n + 1) + " arrived changed";
            return false;
        }
    }
    const std::string these = Envelopes(received);
    if (envelopes.empty())
        envelopes = these;
    if (these != envelopes) {
        problem = "the envelopes differ from those of the first run";
        return false;
    }
    return true;
}

void BenchSmtp(TUiServices& ui, int set, int rounds) {
    TTempDir files("pelmora-bench-smtp");
    const bool auth = bench::SmtpWithAuth(set);
    std::vector<std::unique_ptr<TMailMessage>> messages;
    std::vector<std::string> sent; // the texts on the wire, as files for the peer
    int n = 0;
    for (const std::string& text : bench::SmtpMessages(set)) {
        auto message = std::make_unique<TMailMessage>();
        message->ParseText(text, true);
        message->BuildBody();
        sent.push_back(std::string(message->FullText()));
        WriteTextFile(files.Path() + std::to_string(++n) + ".eml", sent.back());
        messages.push_back(std::move(message));
    }
    std::printf("SMTP, set %d: %s%s\n", set, Describe(SizeOf(sent)).c_str(),
                auth ? ", signing in with AUTH" : "");
    TSmtpTestOptions options;
    if (auth) {
        options.UserName = "bench";
        options.Password = "bench";
        options.AuthRequired = true;
    }
    for (std::size_t packet : {std::size_t{4096}, std::size_t{512}}) {
        TSamples ours;
        TSamples peer;
        std::string envelopes;
        auto oursOnce = [&] {
            TSmtpTestServer server;
            if (!server.Start(options)) {
                Fail("SMTP server did not start");
                ours.Failed = true;
                return false;
            }
            const TStopwatch watch;
            TSmtpClient client(ui);
            client.Host = "127.0.0.1";
            client.Port = server.Port();
            client.PacketSize = packet;
            client.UserName = auth ? "bench" : "";
            client.Password = auth ? "bench" : "";
            bool ok = client.OpenSession() && (!auth || client.AuthLogin());
            for (std::size_t m = 0; ok && m < messages.size(); ++m) {
                client.MailMessage = messages[m].get();
                ok = client.SendMail();
            }
            ok = ok && client.CloseSession();
            const double wall = watch.Wall();
            const double cpu = watch.CpuUsed();
            std::string problem = client.LastReply();
            if (!ok || !SameAsSent(server, sent, envelopes, problem)) {
                Fail("our SMTP send: " + problem);
                ours.Failed = true;
                return false;
            }
            ours.Add(wall, cpu);
            return true;
        };
        auto peerOnce = [&] {
            TSmtpTestServer server;
            double wall = 0, cpu = 0;
            long count = 0;
            long long bytes = 0;
            std::string problem;
            if (!server.Start(options) ||
                !RunPeer("smtp " + std::to_string(server.Port()) + " " + files.Path() +
                             (auth ? " bench bench" : ""),
                         wall, cpu, count, bytes) ||
                !SameAsSent(server, sent, envelopes, problem)) {
                Fail("smtplib send: " + problem);
                peer.Failed = true;
                return false;
            }
            peer.Add(wall, cpu);
            return true;
        };
        Alternate(rounds, oursOnce, peerOnce);
        PrintComparison("SMTP send, packet " + std::to_string(packet) + ", set " +
                            std::to_string(set),
                        ours, "smtplib", peer);
    }
}

// --- Idle ---------------------------------------------------------------------------------

void BenchIdle(TUiServices& ui, int seconds) {
    TScriptedServer server({Hold()});
    TSocketTalk talk(ui);
    talk.TimeOut = seconds;
    talk.OnTalkFailure = [](TSocketTalk& t, TalkStep, TalkOutcome) { t.StopWaiting(); };
    talk.ArmWait(TalkStep::Greeting);
    if (!talk.Open("127.0.0.1", server.Port())) {
        Fail("cannot connect to the silent server");
        return;
    }
    const TStopwatch watch;
    talk.WaitReply();
    const double wall = watch.Wall();
    const double used = watch.CpuUsed();
    std::printf("%-44s wall %8.3f s   cpu %8.4f s   (%.3f %% of one core)\n",
                ("idle wait " + std::to_string(seconds) + " s").c_str(), wall, used,
                100.0 * used / wall);
    std::fflush(stdout);
}

int Number(const char* text) {
    int value = 0;
    std::from_chars(text, text + std::strlen(text), value);
    return value;
}

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    std::string only;
    int rounds = 5;
    int onlySet = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, Number(argv[++i]));
        } else if (std::strcmp(argv[i], "--set") == 0 && i + 1 < argc) {
            onlySet = Number(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: pelmora_bench_transport [--rounds N] [--set 1|2] "
                                 "[--only pop3|smtp|idle] [--quick]\n");
            return 2;
        }
    }
    if (quick)
        rounds = 1;
    TScriptedUi ui;
    std::printf("%d rounds, sides alternating\n", rounds);
    for (int set = 1; set <= bench::kTransportSets; ++set) {
        if ((onlySet != 0 && set != onlySet) || only == "idle")
            continue;
        std::printf("\nset %d\n", set);
        if (only.empty() || only == "pop3") {
            const std::vector<bench::TPop3Mailbox> boxes = bench::Pop3Mailboxes(set);
            for (const bench::TPop3Mailbox& box : boxes)
                std::printf("POP3 mailbox %s: %s\n", box.User.c_str(),
                            Describe(SizeOf(box.Messages)).c_str());
            std::fflush(stdout);
            BenchPop3(ui, set, rounds, boxes);
        }
        if (only.empty() || only == "smtp")
            BenchSmtp(ui, set, rounds);
    }
    if (only.empty() || only == "idle")
        BenchIdle(ui, quick ? 5 : 30);
    return AnyFailed ? 1 : 0;
}
