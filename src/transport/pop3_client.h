#pragma once
// TPop3Client: retrieves mail from a POP3 server for the transfer run. It signs in with USER
// and PASS, lists the messages with their sizes, fetches whole messages (RETR) or their
// headers (TOP), reads unique ids (UIDL), deletes (DELE) and says goodbye (QUIT); plain, with
// STLS, or over TLS from the start. Every operation is one or more command-and-reply steps on
// its own TSocketTalk and returns true or false; nothing is raised, and an operation called
// in the wrong state, or with a user name or password holding CR, LF or NUL, sends nothing.
// The fetched text is kept in LastMessageText and, when MailMessage is set, parsed into it.
// A hostile or broken server cannot make it crash, hang or hoard memory: a message is taken
// only up to MaxMessageSize (the listed size serves for the reservation only, never beyond
// that cap), a listing up to MaxListingSize, every command ends within its deadline, and a
// reply broken off midway drops the connection, since nothing after it can be matched to a
// command. A message that fails leaves LastMessageText empty and stays on the server.

#include "mime/body_text.h"
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
    int TimeOut = 60; // seconds, handed to the talk before every operation
    int Deadline = 0; // seconds for one whole command; 0: ten times TimeOut (see TSocketTalk)
    // Largest message (or header) taken; a larger one is refused and left on the server.
    std::size_t MaxMessageSize = 256 * 1024 * 1024;
    // Largest message listing (LIST, UIDL) taken; a longer one is an error.
    std::size_t MaxListingSize = 64 * 1024 * 1024;
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
    TBodyText LastMessageText; // shared with MailMessage's parts, never copied
    std::vector<std::string> UniqueIds; // entry n: UIDL of message n (after FetchUniqueIds)
    TCertificateState Certificate;      // the last TLS handshake

    bool OpenSession();
    // USER, PASS and LIST. False, with the reason in LastReply, when the server refuses any
    // of them or when the listing cannot be read whole: a mailbox that cannot be listed is
    // an error, never an empty mailbox.
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
    bool Retrieve(const std::string& command, int n, bool whole);
    bool Usable() const;
    bool Refuse(std::string reason);
    bool ReadListing(std::string_view reply);
    void ReadUniqueIds(const std::string& reply);
    void Disconnected();

    std::string LastReplyText;
};

} // namespace pelmora
