#include "transport/socket_talk.h"

#include "shell/ui_services.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pelmora {

namespace {

constexpr int kSliceMs = 20;
constexpr int kSendRetryMs = 10;
// Upper bound read in one go before the reply is looked at and the interface pumped.
constexpr std::size_t kReadBurst = 4 * 1024 * 1024;

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool HasUnsafeByte(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

} // namespace

bool EndsWithTerminator(std::string_view text, std::string_view terminator) {
    std::size_t i = text.size();
    std::size_t j = terminator.size();
    while (j > 0) {
        if (i > 0 && text[i - 1] == terminator[j - 1]) {
            --i;
            --j;
        } else if (terminator[j - 1] == '\r') {
            --j; // a line may end with a bare LF
        } else {
            return false;
        }
    }
    return true;
}

TSocketTalk::TSocketTalk(TUiServices& ui) : Ui(ui) {}

TSocketTalk::~TSocketTalk() {
    Close();
}

void TSocketTalk::ArmWait(TalkStep step, std::size_t maxReply) {
    Terminator.clear();
    ReplyBuffer.clear();
    ExpectedSize = 0;
    Outcome = TalkOutcome::NoError;
    CurrentStep = step;
    MaxReplySize = maxReply;
    Waiting = true;
    ReplyAccepted = false;
    ReceivedBytes = 0;
    SentBytes = 0;
    BodyEnded = false;
    CommandStartMs = NowMs();
}

void TSocketTalk::Send(std::string_view text, std::string_view terminator, TalkStep step,
                       std::size_t maxReply) {
    Terminator = terminator;
    CurrentStep = step;
    ReplyBuffer.clear();
    MaxReplySize = maxReply;
    Outcome = TalkOutcome::NoError;
    Waiting = true;
    ReplyAccepted = false;
    ReceivedBytes = 0;
    SentBytes = 0;
    BodyEnded = false;
    CommandStartMs = NowMs();
    LastError.clear();
    std::size_t chunk = ChunkSize;
    ChunkSize = 0;
    if (Socket < 0) {
        Fail(TalkOutcome::SendError, "the connection is closed");
        return;
    }
    if (chunk == 0 || text.size() <= chunk) {
        WriteAll(text);
        return;
    }
    const auto total = static_cast<std::int64_t>(text.size());
    Report(total, 0);
    // The pieces are written one by one for progress; corking lets the network send them as
    // full packets instead of one small packet per piece.
    SetCorked(true);
    std::size_t written = 0;
    while (written < text.size()) {
        std::size_t piece = std::min(chunk, text.size() - written);
        if (!WriteAll(text.substr(written, piece))) {
            SetCorked(false);
            return;
        }
        written += piece;
        Report(total, static_cast<std::int64_t>(written));
        PumpIfDue();
    }
    SetCorked(false);
    Report(total, total);
}

std::int64_t TSocketTalk::TimeOutMs() const {
    // A time-out of 0 or less would fail every wait at once; it means the default.
    return static_cast<std::int64_t>(TimeOut > 0 ? TimeOut : 60) * 1000;
}

std::int64_t TSocketTalk::DeadlineLeftMs() const {
    std::int64_t allowed =
        Deadline > 0 ? static_cast<std::int64_t>(Deadline) * 1000 : TimeOutMs() * 10;
    if (DeadlineRate > 0) {
        allowed += (ReceivedBytes + SentBytes) / DeadlineRate * 1000;
    }
    return allowed - (NowMs() - CommandStartMs);
}

std::string TSocketTalk::DeadlineText() const {
    return "the server did not finish its answer within " +
           std::to_string((NowMs() - CommandStartMs) / 1000) + " seconds";
}

void TSocketTalk::WaitReply() {
    std::int64_t lastData = NowMs();
    while (Waiting && !ReplyAccepted) {
        if (Socket < 0) {
            Fail(TalkOutcome::ReceiveError, "the connection is closed");
            break;
        }
        std::int64_t left = TimeOutMs() - (NowMs() - lastData);
        if (left <= 0) {
            Fail(TalkOutcome::TimeOut, "no answer from the server within " +
                                           std::to_string(TimeOutMs() / 1000) + " seconds");
            break;
        }
        std::int64_t deadline = DeadlineLeftMs();
        if (deadline <= 0) {
            Fail(TalkOutcome::TimeOut, DeadlineText());
            break;
        }
        left = std::min(left, deadline);
        bool readable = Tls != nullptr && Tls->HasPending();
        if (!readable) {
            pollfd entry{Socket, POLLIN, 0};
            int ready = poll(&entry, 1, static_cast<int>(std::min<std::int64_t>(kSliceMs, left)));
            readable = ready > 0;
            if (ready < 0 && errno != EINTR) {
                Fail(TalkOutcome::GeneralError, std::strerror(errno));
                break;
            }
        }
        if (readable) {
            std::int64_t before = ReceivedBytes;
            ReadAvailable();
            if (ReceivedBytes != before) {
                lastData = NowMs();
            }
        }
        // The interface is served every slice of waiting, but not after every quick reply:
        // a conversation of many short commands would otherwise spend its time pumping.
        PumpIfDue();
    }
}

void TSocketTalk::StopWaiting() {
    Outcome = TalkOutcome::NoError;
    CurrentStep = TalkStep::None;
    Terminator.clear();
    ExpectedSize = 0;
    Waiting = false;
    ReplyAccepted = false;
}

void TSocketTalk::Fail(TalkOutcome outcome, std::string text) {
    LastError = std::move(text);
    TalkStep step = CurrentStep;
    Outcome = outcome;
    ExpectedSize = 0;
    Terminator.clear();
    Waiting = false;
    ReplyAccepted = false;
    if (OnTalkFailure) {
        OnTalkFailure(*this, step, outcome);
    }
    CurrentStep = TalkStep::None;
}

void TSocketTalk::PeerClosed() {
    if (LastError.empty()) {
        LastError = "the server closed the connection";
    }
    Close();
    if (OnPeerClosed) {
        OnPeerClosed(*this);
    }
    Waiting = false;
    CurrentStep = TalkStep::None;
    Terminator.clear();
    ExpectedSize = 0;
    ChunkSize = 0;
}

void TSocketTalk::ReadAvailable() {
    std::size_t oldSize = ReplyBuffer.size();
    std::size_t burst = 0;
    bool closed = false;
    char buffer[64 * 1024];
    while (burst < kReadBurst) {
        std::size_t count = 0;
        TIo io = ReadSome(buffer, sizeof buffer, count);
        if (io == TIo::Done) {
            ReplyBuffer.append(buffer, count);
            burst += count;
            // Less than asked for: nothing more was there. Asking again would only be told so
            // (a call per reply of every short command); the next wait finds what comes.
            if (count < sizeof buffer) break;
            continue;
        }
        if (io == TIo::Closed) {
            closed = true;
        } else if (io == TIo::Failed) {
            if (ReplyBuffer.size() != oldSize) {
                HandleData(oldSize);
            }
            if (Waiting) {
                Fail(TalkOutcome::ReceiveError, LastError);
            }
            Close();
            return;
        }
        break;
    }
    if (ReplyBuffer.size() != oldSize) {
        HandleData(oldSize);
    }
    if (closed) {
        PeerClosed();
    }
}

void TSocketTalk::HandleData(std::size_t oldSize) {
    if (!Waiting) {
        return; // data after an early stop belongs to no command
    }
    ReceivedBytes += static_cast<std::int64_t>(ReplyBuffer.size() - oldSize);
    Outcome = TalkOutcome::NoError;
    if (OnChunk) {
        OnChunk(*this, CurrentStep, ReplyAccepted, std::string_view(ReplyBuffer).substr(oldSize));
        if (!Waiting) {
            return;
        }
    }
    bool complete = false;
    if (OnBody) {
        // The first line stays in ReplyBuffer; the rest goes to OnBody as it arrives.
        std::size_t lineEnd = ReplyBuffer.find('\n');
        if (lineEnd != std::string::npos && lineEnd + 1 < ReplyBuffer.size()) {
            std::string_view body = std::string_view(ReplyBuffer).substr(lineEnd + 1);
            BodyEnded = BodyEnded || OnBody(body);
            ReplyBuffer.resize(lineEnd + 1);
            if (!Waiting) {
                return;
            }
        }
        complete = BodyEnded;
    } else {
        complete = Terminator.empty() || EndsWithTerminator(ReplyBuffer, Terminator);
        if (complete && IsReplyComplete && !IsReplyComplete(ReplyBuffer)) {
            complete = false;
        }
    }
    if (ExpectedSize > 0 && OnProgress) {
        OnProgress(Sender, ExpectedSize, ReceivedBytes);
    }
    if (!complete) {
        if (static_cast<std::uint64_t>(ReceivedBytes) > MaxReplySize) {
            Fail(TalkOutcome::ReceiveError,
                 "the server's reply exceeds " + std::to_string(MaxReplySize) + " bytes");
        } else if (OnBody && ReplyBuffer.size() > kStatusReplyLimit) {
            Fail(TalkOutcome::ReceiveError, "the first line of the server's reply exceeds " +
                                                std::to_string(kStatusReplyLimit) + " bytes");
        }
        return;
    }
    Outcome = TalkOutcome::NoError;
    ExpectedSize = 0;
    Terminator.clear();
    Waiting = false;
    if (OnReplyComplete) {
        OnReplyComplete(*this, CurrentStep, ReplyAccepted, ReplyBuffer);
    }
    CurrentStep = TalkStep::None;
}

bool TSocketTalk::WriteAll(std::string_view piece) {
    std::int64_t lastProgress = NowMs();
    while (!piece.empty()) {
        std::size_t count = 0;
        short waitFor = POLLOUT;
        TIo io = WriteSome(piece.data(), piece.size(), count, waitFor);
        if (io == TIo::Done) {
            piece.remove_prefix(count);
            SentBytes += static_cast<std::int64_t>(count);
            lastProgress = NowMs();
            continue;
        }
        if (io != TIo::WouldBlock) {
            Fail(TalkOutcome::SendError, LastError);
            Close();
            return false;
        }
        if (NowMs() - lastProgress > TimeOutMs()) {
            Fail(TalkOutcome::SendError, "the server accepts no data");
            return false;
        }
        if (DeadlineLeftMs() <= 0) {
            Fail(TalkOutcome::SendError, "the server did not take the data within " +
                                             std::to_string((NowMs() - CommandStartMs) / 1000) +
                                             " seconds");
            return false;
        }
        WaitFor(waitFor, kSendRetryMs);
        PumpIfDue();
    }
    return true;
}

TSocketTalk::TIo TSocketTalk::ReadSome(char* buffer, std::size_t size, std::size_t& count) {
    count = 0;
    if (Socket < 0) {
        return TIo::Closed;
    }
    if (Tls) {
        switch (Tls->Read(buffer, size, count)) {
        case TTlsIo::Done:
            return TIo::Done;
        case TTlsIo::WantRead:
        case TTlsIo::WantWrite:
            return TIo::WouldBlock;
        case TTlsIo::Closed:
            return TIo::Closed;
        case TTlsIo::Failed:
            LastError = Tls->Error();
            return TIo::Failed;
        }
    }
    for (;;) {
        ssize_t got = recv(Socket, buffer, size, 0);
        if (got > 0) {
            count = static_cast<std::size_t>(got);
            return TIo::Done;
        }
        if (got == 0) {
            return TIo::Closed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return TIo::WouldBlock;
        }
        if (errno == ECONNRESET) {
            LastError = "the server reset the connection";
            return TIo::Closed;
        }
        LastError = std::strerror(errno);
        return TIo::Failed;
    }
}

TSocketTalk::TIo TSocketTalk::WriteSome(const char* buffer, std::size_t size, std::size_t& count,
                                        short& waitFor) {
    count = 0;
    waitFor = POLLOUT;
    if (Socket < 0) {
        LastError = "the connection is closed";
        return TIo::Failed;
    }
    if (Tls) {
        switch (Tls->Write(buffer, size, count)) {
        case TTlsIo::Done:
            return TIo::Done;
        case TTlsIo::WantRead:
            waitFor = POLLIN;
            return TIo::WouldBlock;
        case TTlsIo::WantWrite:
            return TIo::WouldBlock;
        case TTlsIo::Closed:
        case TTlsIo::Failed:
            LastError = Tls->Error().empty() ? "the connection was closed" : Tls->Error();
            return TIo::Failed;
        }
    }
    for (;;) {
        ssize_t sent = send(Socket, buffer, size, MSG_NOSIGNAL);
        if (sent >= 0) {
            count = static_cast<std::size_t>(sent);
            return TIo::Done;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return TIo::WouldBlock;
        }
        LastError = std::strerror(errno);
        return TIo::Failed;
    }
}

void TSocketTalk::SetCorked(bool corked) {
    if (Socket >= 0) {
        int value = corked ? 1 : 0;
        setsockopt(Socket, IPPROTO_TCP, TCP_CORK, &value, sizeof value);
    }
}

bool TSocketTalk::WaitFor(short events, int milliseconds) {
    pollfd entry{Socket, events, 0};
    return poll(&entry, 1, milliseconds) > 0;
}

void TSocketTalk::Report(std::int64_t total, std::int64_t current) {
    if (OnProgress) {
        OnProgress(Sender, total, current);
    }
}

void TSocketTalk::PumpIfDue() {
    std::int64_t now = NowMs();
    if (now - LastPumpMs >= kSliceMs) {
        Ui.Pump();
        LastPumpMs = now;
    }
}

namespace {

// A name lookup handed to the resolver's own thread, with everything it points to.
struct TLookup {
    std::string Host;
    std::string Port;
    addrinfo Hints{};
    gaicb Request{};
};

} // namespace

int TSocketTalk::Resolve(const std::string& host, const std::string& port, const addrinfo& hints,
                         addrinfo*& list) {
    list = nullptr;
    if ((hints.ai_flags & AI_NUMERICHOST) != 0) {
        return getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
    }
    // Asking a name service can take seconds: the lookup runs aside while the interface is
    // pumped, and gives up after the time-out like any other wait.
    auto lookup = std::make_unique<TLookup>();
    lookup->Host = host;
    lookup->Port = port;
    lookup->Hints = hints;
    lookup->Request.ar_name = lookup->Host.c_str();
    lookup->Request.ar_service = lookup->Port.c_str();
    lookup->Request.ar_request = &lookup->Hints;
    gaicb* requests[1] = {&lookup->Request};
    if (getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr) != 0) {
        return getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
    }
    std::int64_t start = NowMs();
    int state = EAI_INPROGRESS;
    while ((state = gai_error(&lookup->Request)) == EAI_INPROGRESS) {
        if (NowMs() - start > TimeOutMs()) {
            int cancelled = gai_cancel(&lookup->Request);
            if (cancelled == EAI_ALLDONE) {
                break; // finished meanwhile: take the answer after all
            }
            if (cancelled != EAI_CANCELED) {
                // Still in the resolver's hands: the request must outlive this call.
                static_cast<void>(lookup.release());
            }
            return EAI_AGAIN;
        }
        const gaicb* waiting[1] = {&lookup->Request};
        timespec slice{0, kSliceMs * 1000000L};
        gai_suspend(waiting, 1, &slice);
        Ui.Pump();
    }
    state = gai_error(&lookup->Request);
    if (state == 0) {
        list = lookup->Request.ar_result;
    }
    return state;
}

bool TSocketTalk::Open(const std::string& host, int port) {
    Close();
    LastError.clear();
    CertificateCheck = {};
    if (host.empty() || HasUnsafeByte(host) || port <= 0 || port > 65535) {
        Fail(TalkOutcome::ConnectError, "invalid server name or port");
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // A dotted or colon address is used as it is, without asking a name service.
    if (host.find_first_not_of("0123456789.") == std::string::npos ||
        host.find(':') != std::string::npos) {
        hints.ai_flags = AI_NUMERICHOST;
    }
    addrinfo* list = nullptr;
    std::string portText = std::to_string(port);
    int resolved = Resolve(host, portText, hints, list);
    if (resolved != 0) {
        Fail(TalkOutcome::ConnectError,
             "cannot find the server " + host + ": " + gai_strerror(resolved));
        return false;
    }
    std::string failure = "cannot connect to " + host + ":" + portText;
    for (addrinfo* entry = list; entry != nullptr && Socket < 0; entry = entry->ai_next) {
        int fd = socket(entry->ai_family, entry->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                        entry->ai_protocol);
        if (fd < 0) {
            continue;
        }
        int result = connect(fd, entry->ai_addr, entry->ai_addrlen);
        if (result != 0 && errno == EINPROGRESS) {
            std::int64_t start = NowMs();
            int error = ETIMEDOUT;
            while (NowMs() - start < TimeOutMs()) {
                pollfd item{fd, POLLOUT, 0};
                if (poll(&item, 1, kSliceMs) > 0) {
                    socklen_t length = sizeof error;
                    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
                    break;
                }
                Ui.Pump();
            }
            result = error == 0 ? 0 : -1;
            errno = error;
        }
        if (result != 0) {
            failure = "cannot connect to " + host + ":" + portText + ": " + std::strerror(errno);
            ::close(fd);
            continue;
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Socket = fd;
    }
    freeaddrinfo(list);
    if (Socket < 0) {
        Fail(TalkOutcome::ConnectError, failure);
        return false;
    }
    return true;
}

bool TSocketTalk::StartTls(const std::string& serverName, const std::string& caFile) {
    CertificateCheck = {};
    if (Socket < 0) {
        LastError = "the connection is closed";
        return false;
    }
    auto session = std::make_unique<TTlsSession>();
    if (!session->Begin(Socket, serverName, caFile)) {
        LastError = "TLS: " + session->Error();
        Close();
        return false;
    }
    std::int64_t start = NowMs();
    for (;;) {
        TTlsIo io = session->Handshake();
        if (io == TTlsIo::Done) {
            break;
        }
        if (io != TTlsIo::WantRead && io != TTlsIo::WantWrite) {
            LastError = "TLS handshake failed: " + session->Error();
            Close();
            return false;
        }
        if (NowMs() - start > TimeOutMs()) {
            LastError = "TLS handshake timed out";
            Close();
            return false;
        }
        WaitFor(io == TTlsIo::WantRead ? POLLIN : POLLOUT, kSliceMs);
        PumpIfDue();
    }
    CertificateCheck = session->Verification();
    Tls = std::move(session);
    return true;
}

void TSocketTalk::Close() {
    if (Tls) {
        Tls->Shutdown();
        Tls.reset();
    }
    if (Socket >= 0) {
        ::close(Socket);
        Socket = -1;
    }
}

std::string TSocketTalk::LocalHostName() const {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return name;
}

std::string TSocketTalk::LocalAddress() const {
    if (Socket < 0) {
        return {};
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(Socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return {};
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        auto* in = reinterpret_cast<sockaddr_in*>(&address);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    } else if (address.ss_family == AF_INET6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    }
    return text;
}

} // namespace pelmora
