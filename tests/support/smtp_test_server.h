#pragma once
// TSmtpTestServer: a local SMTP server (the aiosmtpd library, driven by smtp_sink.py) for
// tests and benchmarks. It listens on 127.0.0.1 on a free port (and, with a certificate, a
// second port that speaks TLS from the start and offers STARTTLS on the first), optionally
// wants AUTH, refuses chosen recipients, and stores every accepted message with its envelope
// in a spool directory that Received() reads back. Stopped and reaped when the object goes.

#include "support/child_process.h"
#include "support/temp_dir.h"

#include <string>
#include <vector>

namespace pelmora::testing {

struct TSmtpTestOptions {
    std::string CertPath; // enables STARTTLS and the TLS port
    std::string KeyPath;
    std::string UserName; // enables AUTH LOGIN and PLAIN
    std::string Password;
    bool AuthRequired = false;        // refuse MAIL FROM before AUTH
    bool PlainOnly = false;           // offer AUTH PLAIN only
    bool RefuseEhlo = false;          // answer EHLO with 502 (HELO still works)
    std::vector<std::string> Refused; // recipients answered with 550
};

struct TReceivedMail {
    std::string From;
    std::vector<std::string> To;
    std::string Data; // as received, without the end mark and with dots unstuffed
};

class TSmtpTestServer {
public:
    ~TSmtpTestServer();

    bool Start(const TSmtpTestOptions& options = {});
    void Stop();

    int Port() const { return PlainPort; }
    int TlsPort() const { return SecurePort; }

    // Accepted messages in the order they arrived.
    std::vector<TReceivedMail> Received() const;
    int ReceivedCount() const;
    std::string Log() const;

private:
    bool StartOnce(const TSmtpTestOptions& options);

    TTempDir Temp{"pelmora-smtp"};
    TChildProcess Process;
    int PlainPort = 0;
    int SecurePort = 0;
};

// The directory holding smtp_sink.py (for scripts that start the server themselves).
std::string SupportScriptDir();

} // namespace pelmora::testing
