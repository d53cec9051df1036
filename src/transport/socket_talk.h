#pragma once
// TSocketTalk: the command-and-reply conversation under the POP3 and SMTP clients. It owns one
// non-blocking TCP socket (IPv4 or IPv6, optionally wrapped in TLS) and waits for replies on
// the calling thread: poll() in slices of at most 20 ms with TUiServices::Pump() between them,
// so the interface stays alive. Nothing is raised: every failure ends the wait with
// ReplyAccepted false and an Outcome; the owning client turns that into a false result.
// Replies are bounded (MaxReplySize) so a peer that never ends a reply cannot exhaust memory,
// and every command has an overall deadline besides the inactivity time-out, so a peer that
// trickles a byte now and then cannot hold a wait open for long. Line ends are matched with
// the CR optional: a peer that ends its lines with a bare LF is understood.

#include "transport/tls_session.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct addrinfo;

namespace pelmora {

class TUiServices;

// Result of the last wait: the six socket error kinds, a time-out, or no error.
enum class TalkOutcome : int {
    GeneralError = 0,
    SendError = 1,
    ReceiveError = 2,
    ConnectError = 3,
    DisconnectError = 4,
    AcceptError = 5,
    TimeOut = 6,
    NoError = 7,
};

// Which client command a reply belongs to.
enum class TalkStep : int {
    None = 0,
    Greeting = 1,
    User = 2,
    Pass = 3,
    List = 5,
    Retrieve = 6, // RETR or TOP
    Delete = 7,
    Helo = 9,
    MailFrom = 10,
    RcptTo = 11,
    Ehlo = 12,
    AuthUserName = 13,
    AuthPassword = 14,
    AuthLogin = 15,
    Data = 17,
    MessageText = 18,
    Quit = 19,
    StartTls = 20,  // POP3 STLS or SMTP STARTTLS
    AuthPlain = 21, // SMTP AUTH PLAIN with its initial response
    UniqueIds = 22, // POP3 UIDL
    Reset = 23,     // SMTP RSET after a refused transaction
};

// Transfer progress: sender is the client that owns the talk, total and current in bytes.
using TTransferProgress =
    std::function<void(const void* sender, std::int64_t total, std::int64_t current)>;

// Largest status reply (one line or an SMTP multi-line reply) accepted without its end.
constexpr std::size_t kStatusReplyLimit = 64 * 1024;

class TSocketTalk {
public:
    using TReplyHandler =
        std::function<void(TSocketTalk&, TalkStep, bool& accepted, const std::string& reply)>;
    using TChunkHandler =
        std::function<void(TSocketTalk&, TalkStep, bool& accepted, std::string_view chunk)>;
    using TFailureHandler = std::function<void(TSocketTalk&, TalkStep, TalkOutcome)>;
    using TClosedHandler = std::function<void(TSocketTalk&)>;

    explicit TSocketTalk(TUiServices& ui);
    ~TSocketTalk();
    TSocketTalk(const TSocketTalk&) = delete;
    TSocketTalk& operator=(const TSocketTalk&) = delete;

    int TimeOut = 60; // seconds without data before a wait fails
    // Seconds a whole command (sending it and receiving its reply) may take; 0 or less: ten
    // times TimeOut. Every DeadlineRate bytes moved in the command add one second, so a long
    // transfer at a modest rate still ends while a trickle cannot stretch the wait.
    int Deadline = 0;
    std::int64_t DeadlineRate = 64 * 1024;
    std::string Terminator;        // the reply must end with it; empty: any data completes
    std::string ReplyBuffer;       // everything received since the last send
    std::int64_t ExpectedSize = 0; // announced reply size, for progress only
    std::size_t ChunkSize = 0;     // piece size for the next send; reset after every send
    std::size_t MaxReplySize = kStatusReplyLimit; // a longer unfinished reply is an error
    TalkOutcome Outcome = TalkOutcome::NoError;
    TalkStep CurrentStep = TalkStep::None;
    std::int64_t ReceivedBytes = 0; // bytes received for the current command
    bool Waiting = false;
    bool ReplyAccepted = false;

    const void* Sender = nullptr; // Not owned. Handed to OnProgress.
    TTransferProgress OnProgress;
    TReplyHandler OnReplyComplete;
    TFailureHandler OnTalkFailure;
    TChunkHandler OnChunk;
    TClosedHandler OnPeerClosed;
    // Optional: asked after the terminator matched; false keeps waiting (multi-line replies).
    std::function<bool(std::string_view reply)> IsReplyComplete;
    // Optional, for long replies: once the first line of the reply is in ReplyBuffer (and
    // OnChunk has seen it), every further byte is handed to OnBody instead of being kept, and
    // the reply is complete when OnBody returns true; Terminator and IsReplyComplete are then
    // not asked. OnBody may end the wait early with StopWaiting.
    std::function<bool(std::string_view data)> OnBody;

    // Prepares a wait without sending (the greeting after connecting).
    void ArmWait(TalkStep step, std::size_t maxReply = kStatusReplyLimit);
    // Stores terminator and step, empties the reply and writes text (in pieces of ChunkSize
    // with progress when ChunkSize is set). Does not wait for the reply.
    void Send(std::string_view text, std::string_view terminator, TalkStep step,
              std::size_t maxReply = kStatusReplyLimit);
    // Waits until the reply is complete, stopped, timed out, past the deadline or the
    // connection ends.
    void WaitReply();
    void StopWaiting();

    // Connects to host:port (a name, or an IPv4/IPv6 address used as it is). On failure the
    // armed wait ends with ConnectError and false is returned.
    bool Open(const std::string& host, int port);
    // TLS handshake on the open connection; false (connection closed) when it fails. The
    // certificate is judged by the caller through Certificate().
    bool StartTls(const std::string& serverName, const std::string& caFile);
    const TCertificateCheck& Certificate() const { return CertificateCheck; }
    bool IsOpen() const { return Socket >= 0; }
    bool IsSecure() const { return Tls != nullptr; }
    void Close();

    // The machine's host name, and the local address of the connection as text.
    std::string LocalHostName() const;
    std::string LocalAddress() const;
    // A readable description of the last connection or transfer failure.
    const std::string& ErrorText() const { return LastError; }

private:
    enum class TIo { Done, WouldBlock, Closed, Failed };

    void Fail(TalkOutcome outcome, std::string text);
    void PeerClosed();
    void ReadAvailable();
    void HandleData(std::size_t oldSize);
    bool WriteAll(std::string_view piece);
    TIo ReadSome(char* buffer, std::size_t size, std::size_t& count);
    TIo WriteSome(const char* buffer, std::size_t size, std::size_t& count, short& waitFor);
    bool WaitFor(short events, int milliseconds);
    void SetCorked(bool corked);
    int Resolve(const std::string& host, const std::string& port, const addrinfo& hints,
                addrinfo*& list);
    std::int64_t TimeOutMs() const;
    std::int64_t DeadlineLeftMs() const;
    std::string DeadlineText() const;
    void Report(std::int64_t total, std::int64_t current);
    void PumpIfDue();

    TUiServices& Ui; // Not owned.
    int Socket = -1;
    std::unique_ptr<TTlsSession> Tls;
    TCertificateCheck CertificateCheck;
    std::string LastError;
    std::int64_t LastPumpMs = 0;
    std::int64_t CommandStartMs = 0;
    std::int64_t SentBytes = 0; // bytes written for the current command
    bool BodyEnded = false;
};

// True when text ends with terminator, where a CR of the terminator may be missing in text
// ("\r\n.\r\n" also matches "\n.\n").
bool EndsWithTerminator(std::string_view text, std::string_view terminator);

} // namespace pelmora
