#pragma once
// TDovecotServer: a throw-away POP3 server for tests and benchmarks. It writes its own
// configuration into a temporary directory (run and state directories, log file,
// passwd-file users with plain passwords, one Maildir per user), listens on 127.0.0.1 on two
// free ports (plain POP3 with STLS, and POP3 over TLS), runs in the foreground as a child
// process and is stopped with everything it started when the object goes.

#include "support/child_process.h"
#include "support/temp_dir.h"

#include <string>
#include <utility>
#include <vector>

namespace pelmora::testing {

struct TDovecotOptions {
    std::vector<std::pair<std::string, std::string>> Users; // name, password
    std::string CertPath;                                   // server certificate (PEM)
    std::string KeyPath;                                    // its key
    // How the server forms unique ids; "%08Xv" gives every message the same id, the way
    // servers without usable UIDL look to a client.
    std::string UidlFormat = "%08Xu%08Xv";
};

class TDovecotServer {
public:
    TDovecotServer();
    ~TDovecotServer();

    // Writes the configuration and starts the server; false (see Log()) when it does not
    // come up within a few seconds.
    bool Start(const TDovecotOptions& options);
    void Stop();

    int Pop3Port() const { return PlainPort; }
    int Pop3sPort() const { return TlsPort; }

    // Delivers a message into the user's Maildir; the server sees it at the next sign-in.
    bool AddMessage(const std::string& user, const std::string& text);
    // Forgets the unique ids the server gave the user's messages, as a rebuilt or restored
    // mailbox does: with "%u" ids the next messages are numbered from 1 again. Call it while
    // the server is stopped.
    bool RebuildMailbox(const std::string& user);
    // Messages in the user's Maildir (new and cur).
    int MessageCount(const std::string& user) const;
    // Texts of the messages in the user's Maildir, in file name order.
    std::vector<std::string> Messages(const std::string& user) const;

    std::string Log() const;
    const std::string& Dir() const { return Temp.Path(); }

private:
    std::string MaildirOf(const std::string& user) const;
    bool StartOnce(const TDovecotOptions& options);

    TTempDir Temp{"pelmora-dovecot"};
    TChildProcess Process;
    int PlainPort = 0;
    int TlsPort = 0;
    unsigned MailUid = 0;
    unsigned MailGid = 0;
    int Delivered = 0;
};

} // namespace pelmora::testing
