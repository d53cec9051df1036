#pragma once
// TPop3Client: retrieves mail from a POP3 server for the transfer run. It signs in with USER
// and PASS, lists the messages with their sizes, fetches whole messages (RETR) or their
// headers (TOP), reads unique ids (UIDL), deletes (DELE) and says goodbye (QUIT); plain, with
// STLS, or over TLS from the start. Every operation is one or more command-and-reply steps on
// its own TSocketTalk and returns true or false; nothing is raised, and an operation called
// in the wrong state, or with a user name or password holding CR, LF or NUL, sends nothing.
// The fetched text is kept in LastMessageText and, when MailMessage is set, parsed into it.

#include "transport/connection_security.h"
#include "transport/socket_talk.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pelmora {

class TMailMessage;
class TUiServices;

// Entry n: the listed size of message n; entry 0 is 0.
using TMessageSize = std::vector<std::int64_t>;

class TPop3Client {
public:
    explicit TPop3Client(TUiServices& ui);

    // Settings.
    std::string Host;
    int Port = 110;
    std::string UserName;
    std::string Password;
    int TimeOut = 60;                    // seconds, handed to the talk before every operation
    TMailMessage* MailMessage = nullptr; // Not owned. Filled by every successful fetch.
    TTransferProgress OnProgress;        // fetch progress; sender is this client
    bool DeleteOnRetrieve = false;
    TSecurity Security = TSecurity::None;
    TTlsOptions Tls;

    // State.
    TSocketTalk Talk;
    bool Connected = false;
    bool LoggedIn = false;
    int ServerMessageCount = -1; // -1 before a listing, else the last listed number
    TMessageSize MessageSizes;
    std::string LastMessageText;
    std::vector<std::string> UniqueIds; // entry n: UIDL of message n (after FetchUniqueIds)
    TCertificateState Certificate;      // the last TLS handshake

    bool OpenSession();
    bool SignIn();
    bool FetchMessage(int n);
    bool FetchHeaders(int n, int lines);
    bool DeleteOnServer(int n);
    bool FetchUniqueIds();
    bool CloseSession();
    void DropConnection();

    // The server's last reply, or why the last operation failed before or without one.
    const std::string& LastReply() const { return LastReplyText; }

private:
    // One command and its reply; true when the server answered "+OK".
    bool Command(const std::string& text, TalkStep step, bool multiLine,
                 std::size_t maxReply = kStatusReplyLimit);
    bool Retrieve(const std::string& command, int n);
    bool Usable() const;
    bool Refuse(std::string reason);
    void ReadListing(const std::string& reply);
    void ReadUniqueIds(const std::string& reply);
    void Disconnected();

    std::string LastReplyText;
};

// Undoes the server's framing of a multi-line reply: drops the status line and the final
// ".", removes the stuffed dot of every line that begins with ".", and ends every line with
// CR LF. Lines ended by a bare LF are kept as lines.
std::string UnstuffMultiLine(std::string_view reply);

} // namespace pelmora
