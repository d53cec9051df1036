#include "support/smtp_test_server.h"

#include <filesystem>
#include <sstream>

namespace pelmora::testing {

namespace fs = std::filesystem;

std::string SupportScriptDir() {
    return PELMORA_SUPPORT_DIR "/";
}

TSmtpTestServer::~TSmtpTestServer() {
    Stop();
}

bool TSmtpTestServer::Start(const TSmtpTestOptions& options) {
    // A port picked as free can be taken by someone else before the server binds it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (StartOnce(options)) {
            return true;
        }
    }
    return false;
}

bool TSmtpTestServer::StartOnce(const TSmtpTestOptions& options) {
    const std::string& dir = Temp.Path();
    if (dir.empty()) {
        return false;
    }
    fs::create_directories(dir + "spool");
    PlainPort = PickFreePort();
    std::vector<std::string> argv = {"/usr/bin/python3", SupportScriptDir() + "smtp_sink.py",
                                     "--port",           std::to_string(PlainPort),
                                     "--spool",          dir + "spool"};
    if (!options.CertPath.empty()) {
        SecurePort = PickFreePort();
        while (SecurePort == PlainPort) {
            SecurePort = PickFreePort();
        }
        argv.insert(argv.end(), {"--tls-port", std::to_string(SecurePort), "--cert",
                                 options.CertPath, "--key", options.KeyPath});
    }
    if (!options.UserName.empty()) {
        argv.insert(argv.end(), {"--user", options.UserName, "--password", options.Password});
    }
    if (options.AuthRequired) {
        argv.push_back("--auth-required");
    }
    if (options.PlainOnly) {
        argv.push_back("--plain-only");
    }
    if (options.RefuseEhlo) {
        argv.push_back("--refuse-ehlo");
    }
    for (const std::string& refused : options.Refused) {
        argv.insert(argv.end(), {"--refuse", refused});
    }
    if (!Process.Start(argv, dir + "server.log")) {
        return false;
    }
    bool up = WaitForServer(Process, PlainPort, 15000) &&
              (SecurePort == 0 || WaitForServer(Process, SecurePort, 5000));
    if (!up) {
        Stop();
    }
    return up;
}

void TSmtpTestServer::Stop() {
    Process.Stop();
}

int TSmtpTestServer::ReceivedCount() const {
    int count = 0;
    std::error_code error;
    for (auto& entry : fs::directory_iterator(Temp.Path() + "spool", error)) {
        count += entry.path().extension() == ".env" ? 1 : 0;
    }
    return count;
}

std::vector<TReceivedMail> TSmtpTestServer::Received() const {
    std::vector<TReceivedMail> mails;
    for (int n = 1;; ++n) {
        std::string base = Temp.Path() + "spool/" + std::to_string(n);
        if (!fs::exists(base + ".env")) {
            break;
        }
        TReceivedMail mail;
        std::istringstream envelope(ReadTextFile(base + ".env"));
        std::string line;
        while (std::getline(envelope, line)) {
            if (line.starts_with("FROM ")) {
                mail.From = line.substr(5);
            } else if (line.starts_with("TO ")) {
                mail.To.push_back(line.substr(3));
            }
        }
        mail.Data = ReadTextFile(base + ".eml");
        mails.push_back(std::move(mail));
    }
    return mails;
}

std::string TSmtpTestServer::Log() const {
    return ReadTextFile(Temp.Path() + "server.log");
}

} // namespace pelmora::testing
