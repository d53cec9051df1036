// Transport benchmark: the POP3 and SMTP clients against local servers (Dovecot, aiosmtpd)
// beside Python's poplib and smtplib doing the same work in the same run, and the CPU time of
// a wait on a silent server. Prints one line per measurement with the ratio to the peer.
//   pelmora_bench_transport [--quick] [--only pop3|smtp|idle]
#include "mime/mail_message.h"
#include "shell/scripted_ui.h"
#include "support/dovecot_server.h"
#include "support/scripted_server.h"
#include "support/smtp_test_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"
#include "transport/pop3_client.h"
#include "transport/smtp_client.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace pelmora;
using namespace pelmora::testing;

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A message of roughly the given size, in lines of 76 characters.
std::string MakeMessage(int n, std::size_t size) {
    std::string text = "From: Ann <ann@example.org>\r\nTo: bob@example.org\r\nSubject: message " +
                       std::to_string(n) + "\r\nMessage-ID: <" + std::to_string(n) +
                       ".bench@example.org>\r\n\r\n";
    std::string line(76, 'a' + static_cast<char>(n % 26));
    int lineNumber = 0;
    while (text.size() < size) {
        // Now and then a line that needs dot-stuffing.
        text += (++lineNumber % 50 == 0 ? "." : "") + line + "\r\n";
    }
    return text;
}

std::size_t MixedSize(int n) {
    // 70 % small, 25 % medium, 5 % large; fixed so runs compare.
    int bucket = (n * 37) % 100;
    if (bucket < 70) {
        return 1500 + static_cast<std::size_t>((n * 131) % 3000);
    }
    if (bucket < 95) {
        return 15000 + static_cast<std::size_t>((n * 977) % 30000);
    }
    return 150000 + static_cast<std::size_t>((n * 7919) % 200000);
}

std::string RunPeer(const std::string& arguments) {
    std::string command = "/usr/bin/python3 " PELMORA_BENCH_DIR "/peer_clients.py " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {};
    }
    char buffer[256] = {};
    std::string output;
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    pclose(pipe);
    return output;
}

double PeerSeconds(const std::string& arguments) {
    std::string output = RunPeer(arguments);
    double value = -1;
    std::sscanf(output.c_str(), "%lf", &value);
    return value;
}

void Report(const char* name, double ours, double peer, const char* peerName) {
    std::printf("%-44s pelmora %8.3f s   %-8s %8.3f s   ratio %.2fx\n", name, ours, peerName, peer,
                peer > 0 ? ours / peer : 0.0);
    std::fflush(stdout);
}

double FetchAll(TUiServices& ui, int port, const std::string& user, std::int64_t& bytes) {
    auto start = std::chrono::steady_clock::now();
    TPop3Client client(ui);
    client.Host = "127.0.0.1";
    client.Port = port;
    client.UserName = user;
    client.Password = "bench";
    client.TimeOut = 120;
    if (!client.OpenSession() || !client.SignIn()) {
        std::fprintf(stderr, "POP3 sign-in failed: %s\n", client.LastReply().c_str());
        return -1;
    }
    bytes = 0;
    for (int n = 1; n <= client.ServerMessageCount; ++n) {
        if (!client.FetchMessage(n)) {
            std::fprintf(stderr, "RETR %d failed: %s\n", n, client.LastReply().c_str());
            return -1;
        }
        bytes += static_cast<std::int64_t>(client.LastMessageText.size());
    }
    client.CloseSession();
    return Seconds(start);
}

void BenchPop3(TUiServices& ui, int rounds) {
    TTempDir files("pelmora-bench-ca");
    TTestCa ca(files.Path());
    TTestCertificate certificate = ca.Issue({"localhost", {"localhost"}, {"127.0.0.1"}});
    TDovecotServer server;
    TDovecotOptions options{
        {{"mixed", "bench"}, {"big", "bench"}}, certificate.CertPath, certificate.KeyPath};
    if (!server.Start(options)) {
        std::fprintf(stderr, "Dovecot did not start:\n%s\n", server.Log().c_str());
        return;
    }
    for (int n = 1; n <= 1000; ++n) {
        server.AddMessage("mixed", MakeMessage(n, MixedSize(n)));
    }
    server.AddMessage("big", MakeMessage(0, 50u * 1024 * 1024));
    for (const auto& [user, name] :
         {std::pair<std::string, const char*>{"mixed", "POP3 fetch 1,000 mixed messages"},
          {"big", "POP3 fetch one 50 MB message"}}) {
        std::int64_t bytes = 0;
        FetchAll(ui, server.Pop3Port(), user, bytes); // warm the server's caches
        std::vector<double> ours;
        std::vector<double> peer;
        for (int round = 0; round < rounds; ++round) {
            ours.push_back(FetchAll(ui, server.Pop3Port(), user, bytes));
            peer.push_back(
                PeerSeconds("pop3 " + std::to_string(server.Pop3Port()) + " " + user + " bench"));
        }
        Report(name, Median(ours), Median(peer), "poplib");
    }
}

void BenchSmtp(TUiServices& ui, int rounds) {
    TTempDir files("pelmora-bench-smtp");
    std::vector<std::unique_ptr<TMailMessage>> messages;
    for (int n = 1; n <= 500; ++n) {
        auto message = std::make_unique<TMailMessage>();
        message->ParseText(MakeMessage(n, std::min<std::size_t>(MixedSize(n), 60000)), true);
        message->BuildBody();
        WriteTextFile(files.Path() + std::to_string(n) + ".eml", message->FullText());
        messages.push_back(std::move(message));
    }
    for (std::size_t packet : {std::size_t{4096}, std::size_t{512}}) {
        std::vector<double> ours;
        std::vector<double> peer;
        for (int round = 0; round < rounds; ++round) {
            TSmtpTestServer server;
            if (!server.Start()) {
                std::fprintf(stderr, "SMTP server did not start\n");
                return;
            }
            auto start = std::chrono::steady_clock::now();
            TSmtpClient client(ui);
            client.Host = "127.0.0.1";
            client.Port = server.Port();
            client.PacketSize = packet;
            if (!client.OpenSession()) {
                std::fprintf(stderr, "SMTP connect failed: %s\n", client.LastReply().c_str());
                return;
            }
            for (auto& message : messages) {
                client.MailMessage = message.get();
                if (!client.SendMail()) {
                    std::fprintf(stderr, "send failed: %s\n", client.LastReply().c_str());
                    return;
                }
            }
            client.CloseSession();
            ours.push_back(Seconds(start));
            TSmtpTestServer peerServer;
            peerServer.Start();
            peer.push_back(
                PeerSeconds("smtp " + std::to_string(peerServer.Port()) + " " + files.Path()));
        }
        std::string name = "SMTP send 500 messages, packet " + std::to_string(packet);
        Report(name.c_str(), Median(ours), Median(peer), "smtplib");
    }
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BenchIdle(TUiServices& ui, int seconds) {
    TScriptedServer server({Hold()});
    TSocketTalk talk(ui);
    talk.TimeOut = seconds;
    talk.OnTalkFailure = [](TSocketTalk& t, TalkStep, TalkOutcome) { t.StopWaiting(); };
    talk.ArmWait(TalkStep::Greeting);
    if (!talk.Open("127.0.0.1", server.Port())) {
        return;
    }
    double cpu = CpuSeconds();
    auto start = std::chrono::steady_clock::now();
    talk.WaitReply();
    double wall = Seconds(start);
    double used = CpuSeconds() - cpu;
    std::printf("%-44s wall %8.3f s   cpu %8.4f s   (%.3f %% of one core)\n",
                ("idle wait " + std::to_string(seconds) + " s").c_str(), wall, used,
                100.0 * used / wall);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        }
    }
    TScriptedUi ui;
    int rounds = quick ? 1 : 5;
    if (only.empty() || only == "pop3") {
        BenchPop3(ui, rounds);
    }
    if (only.empty() || only == "smtp") {
        BenchSmtp(ui, rounds);
    }
    if (only.empty() || only == "idle") {
        BenchIdle(ui, quick ? 5 : 30);
    }
    return 0;
}
