#pragma once
// TSmtpClient: sends built messages through an SMTP server for the transfer run. It greets
// (EHLO, falling back to HELO), optionally upgrades with STARTTLS or talks TLS from the start,
// authenticates (AUTH LOGIN, or AUTH PLAIN when the server offers only that), and sends the
// attached TMailMessage: envelope from its sender and its To, Cc and Bcc lists (sorted, each
// address once), Bcc hidden from the transmitted header and restored afterwards, the text
// dot-stuffed and sent in pieces of PacketSize with progress (rate-limited). A message marked
// as automatic ("Auto-Submitted" other than "no") is sent with the null envelope sender "<>"
// (with its sender's address when the server refuses "<>"). Every operation returns true or
// false and never raises; an address, user name or password holding CR, LF or NUL is refused
// before anything is sent.

#include "transport/connection_security.h"
#include "transport/socket_talk.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class TMailMessage;
class TUiServices;

enum THandshaking { hsAuto = 0, hsManual = 1 };

class TSmtpClient {
public:
    explicit TSmtpClient(TUiServices& ui);

    // Settings.
    std::string Host;
    int Port = 25;
    int TimeOut = 60; // seconds without data before an operation fails
    int Deadline = 0; // seconds for one whole command; 0: ten times TimeOut (see TSocketTalk)
    TMailMessage* MailMessage = nullptr; // Not owned. The message to send.
    std::size_t PacketSize = 4096;
    // Sending progress, sender is this client: 0 and the whole size, and between them after
    // a packet at most every ProgressInterval.
    TTransferProgress OnProgress;
    static constexpr std::chrono::milliseconds ProgressInterval{20};
    // The text is written in pieces of PacketSize, but none smaller than this.
    static constexpr std::size_t MinimumPiece = 64 * 1024;
    // Called by SendMail once the whole text is handed to the connection, before the server's
    // answer to it arrives: the caller may do work of its own while the server takes the text.
    std::function<void()> OnTextSent;
    THandshaking Handshaking = hsAuto;
    std::string UserName;
    std::string Password;
    TSecurity Security = TSecurity::None;
    TTlsOptions Tls;

    // State.
    TSocketTalk Talk;
    bool Connected = false;
    bool Authenticated = false;
    std::vector<std::string> Extensions; // lines of the last EHLO reply after the first
    TCertificateState Certificate;       // the last TLS handshake

    bool OpenSession();
    bool SayEhlo();
    bool SayHelo();
    // Upgrades the connection (hsManual callers greet again afterwards).
    bool StartTls();
    bool AuthLogin();
    bool SendMail();
    bool SendMailTo(const std::string& sender, const std::string& recipients);
    bool CloseSession();
    void DropConnection();

    // The last reply or replies of the server, or why the operation failed without one.
    const std::string& LastReply() const { return LastReplyText; }

private:
    // Sends a command and waits for its reply: true when the server accepts it. Split in two
    // where work can be done while the server answers.
    bool Command(std::string_view text, TalkStep step);
    void SendCommand(std::string_view text, TalkStep step);
    bool CommandAccepted();
    std::string ReplyOrFailure() const;
    bool Usable() const { return Connected && Talk.IsOpen(); }
    bool Refuse(std::string reason);
    bool OffersAuth(std::string_view mechanism) const;
    void Reset();

    std::string LastReplyText;
    bool EhloSeen = false;
    bool NullSenderRefused = false; // the last SendMailTo failed at "MAIL FROM:<>" with 5xx
};

// True when the message carries "Auto-Submitted" with a value other than "no".
bool IsAutomaticResponse(const TMailMessage& message);

// The envelope recipients of a comma text: trimmed, empty entries dropped, sorted without
// regard to letter case, each address once (compared without regard to case).
std::vector<std::string> EnvelopeRecipients(std::string_view commaText);

// The message text as transmitted after DATA: every line ended by CR LF, every line that
// begins with "." given a second ".", and the end mark "." CR LF appended.
std::string StuffMessageText(std::string_view text);
// The same, reusing text's own storage: a text whose lines all end in CR LF and none begins
// with "." (most mail) only gets the end mark appended, without a copy.
std::string StuffMessageText(std::string&& text);

} // namespace pelmora
