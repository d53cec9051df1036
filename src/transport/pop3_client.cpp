#include "transport/pop3_client.h"

#include "mime/mail_message.h"
#include "transport/multi_line_reader.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace pelmora {

namespace {

constexpr std::string_view kMultiLineEnd = "\r\n.\r\n";
// Message numbers beyond this are taken as a broken listing rather than allocated for.
constexpr std::int64_t kMaxMessageNumber = 4'000'000;
// Room for the framing of a message reply beyond its text: status line and end line.
constexpr std::size_t kFramingRoom = 4096;

bool HasUnsafeByte(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The next line of text without its line end (CR LF or a bare LF); the line is removed from
// text.
std::string_view NextLine(std::string_view& text) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    return line;
}

bool ParseNumber(std::string_view text, std::int64_t& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::string_view FirstToken(std::string_view line) {
    return line.substr(0, line.find(' '));
}

std::string_view StatusLine(std::string_view reply) {
    return NextLine(reply);
}

std::size_t SaturatingSum(std::size_t a, std::size_t b) {
    return a > std::numeric_limits<std::size_t>::max() - b ? std::numeric_limits<std::size_t>::max()
                                                           : a + b;
}

} // namespace

TPop3Client::TPop3Client(TUiServices& ui) : Talk(ui) {
    Talk.Sender = this;
    Talk.OnReplyComplete = [](TSocketTalk&, TalkStep, bool& accepted, const std::string& reply) {
        accepted = reply.starts_with("+OK");
    };
    // A negative (or unreadable) status line ends a multi-line wait at once instead of
    // waiting for an end mark that never comes. Only the start of the reply is judged, so
    // message text that happens to begin a piece with "-ERR" cannot end a fetch.
    Talk.OnChunk = [](TSocketTalk& talk, TalkStep, bool&, std::string_view) {
        const std::string& reply = talk.ReplyBuffer;
        std::size_t lineEnd = reply.find('\n');
        if (lineEnd != std::string::npos && !reply.starts_with("+OK")) {
            talk.StopWaiting();
        }
    };
    Talk.OnTalkFailure = [](TSocketTalk& talk, TalkStep, TalkOutcome) { talk.StopWaiting(); };
    Talk.OnPeerClosed = [this](TSocketTalk&) { Disconnected(); };
}

void TPop3Client::Disconnected() {
    ServerMessageCount = -1;
    Connected = false;
    LoggedIn = false;
    MessageSizes.clear();
}

bool TPop3Client::Refuse(std::string reason) {
    LastReplyText = std::move(reason);
    return false;
}

bool TPop3Client::Usable() const {
    return Connected && LoggedIn && Talk.IsOpen();
}

bool TPop3Client::Command(const std::string& text, TalkStep step, bool multiLine,
                          std::size_t maxReply) {
    Talk.TimeOut = TimeOut;
    Talk.Deadline = Deadline;
    Talk.Send(text, multiLine ? kMultiLineEnd : std::string_view("\r\n"), step, maxReply);
    Talk.WaitReply();
    const std::string& reply = Talk.ReplyBuffer;
    if (Talk.ReplyAccepted) {
        LastReplyText = StatusLine(reply);
        return true;
    }
    // A whole "-ERR" line is a refusal; anything else (silence, a reply broken off, cut at its
    // bound or past its deadline, an unreadable status) leaves the conversation out of step:
    // whatever the server sends next cannot be told apart from the rest of this reply.
    if (reply.starts_with("-ERR") && reply.find('\n') != std::string::npos) {
        LastReplyText = StatusLine(reply);
        return false;
    }
    if (!Talk.ErrorText().empty()) {
        LastReplyText = Talk.ErrorText();
    } else if (reply.empty()) {
        LastReplyText = "no reply from the server";
    } else if (reply.starts_with("+OK")) {
        LastReplyText = "the server's reply broke off";
    } else {
        LastReplyText =
            "the server's reply cannot be read: " + std::string(StatusLine(reply).substr(0, 200));
    }
    if (Connected && Talk.IsOpen()) {
        DropConnection();
    }
    return false;
}

bool TPop3Client::OpenSession() {
    if (Connected || Talk.IsOpen() || Host.empty()) {
        return Refuse("the session is open already or the server name is empty");
    }
    Certificate = {};
    Talk.TimeOut = TimeOut;
    Talk.Deadline = Deadline;
    Talk.ArmWait(TalkStep::Greeting);
    // The greeting is one line, however many pieces it arrives in.
    Talk.Terminator = "\r\n";
    if (!Talk.Open(Host, Port)) {
        return Refuse(Talk.ErrorText());
    }
    if (Security == TSecurity::SslTls) {
        std::string failure;
        if (!SecureConnection(Talk, Host, Port, Tls, Certificate, failure)) {
            Talk.StopWaiting();
            Disconnected();
            return Refuse(failure);
        }
    }
    Talk.WaitReply();
    if (Talk.ReplyAccepted || Talk.ErrorText().empty()) {
        LastReplyText = Talk.ReplyBuffer.empty() ? "no greeting from the server"
                                                 : std::string(StatusLine(Talk.ReplyBuffer));
    } else {
        LastReplyText = Talk.ErrorText();
    }
    Connected = Talk.ReplyAccepted;
    if (!Connected) {
        DropConnection();
        return false;
    }
    if (Security == TSecurity::StartTls) {
        if (!Command("STLS\r\n", TalkStep::StartTls, false)) {
            std::string reply = LastReplyText;
            DropConnection();
            return Refuse("the server does not allow TLS: " + reply);
        }
        std::string failure;
        if (!SecureConnection(Talk, Host, Port, Tls, Certificate, failure)) {
            DropConnection();
            return Refuse(failure);
        }
    }
    return true;
}

bool TPop3Client::SignIn() {
    if (!Connected || !Talk.IsOpen()) {
        return Refuse("not connected");
    }
    if (HasUnsafeByte(UserName) || HasUnsafeByte(Password)) {
        return Refuse("the user name or password contains a line break or NUL");
    }
    if (!Command("USER " + UserName + "\r\n", TalkStep::User, false)) {
        return false;
    }
    if (!Command("PASS " + Password + "\r\n", TalkStep::Pass, false)) {
        return false;
    }
    LoggedIn = true;
    bool listed = Command("LIST\r\n", TalkStep::List, true, MaxListingSize);
    if (!listed) {
        LastReplyText = "the server's message listing failed: " + LastReplyText;
    } else if (!ReadListing(Talk.ReplyBuffer)) {
        listed = false;
        LastReplyText = "the server's message listing cannot be read";
    }
    // A long listing's buffer is not kept for the rest of the session.
    std::string status(StatusLine(Talk.ReplyBuffer));
    std::string().swap(Talk.ReplyBuffer);
    Talk.ReplyBuffer = status.empty() ? status : status + "\r\n";
    return listed && LoggedIn;
}

bool TPop3Client::ReadListing(std::string_view reply) {
    MessageSizes.clear();
    ServerMessageCount = -1;
    std::string_view rest = reply;
    NextLine(rest); // the status line
    std::int64_t last = 0;
    while (!rest.empty()) {
        std::string_view line = Trim(NextLine(rest));
        if (line == ".") {
            break;
        }
        std::int64_t n = 0;
        if (!ParseNumber(FirstToken(line), n) || n < 0 || n > kMaxMessageNumber) {
            // A listing that cannot be read is no listing: nothing will be fetched from it.
            MessageSizes.clear();
            return false;
        }
        last = n;
        if (n == 0) {
            continue;
        }
        if (MessageSizes.size() < static_cast<std::size_t>(n) + 1) {
            MessageSizes.resize(static_cast<std::size_t>(n) + 1, 0);
        }
        std::size_t space = line.find(' ');
        std::int64_t size = 0;
        if (space != std::string_view::npos) {
            std::string_view rest = FirstToken(Trim(line.substr(space + 1).substr(0, 99)));
            if (!ParseNumber(rest, size) || size < 0) {
                size = 0; // unknown: the message is fetched without a reservation
            }
        }
        MessageSizes[static_cast<std::size_t>(n)] = size;
    }
    if (!MessageSizes.empty()) {
        MessageSizes[0] = 0;
    }
    // The number of the last entry is the number of messages.
    ServerMessageCount = static_cast<int>(last);
    return true;
}

bool TPop3Client::Retrieve(const std::string& command, int n, bool whole) {
    LastMessageText.clear();
    if (!Usable()) {
        return Refuse("not signed in");
    }
    const std::string which = "message " + std::to_string(n);
    const std::string limit = std::to_string(MaxMessageSize) + " bytes";
    std::int64_t listed = 0;
    if (n >= 0 && static_cast<std::size_t>(n) < MessageSizes.size()) {
        listed = MessageSizes[static_cast<std::size_t>(n)];
    }
    if (whole && static_cast<std::uint64_t>(listed) > MaxMessageSize) {
        return Refuse(which + " is listed with " + std::to_string(listed) +
                      " bytes, more than the limit of " + limit + "; it stays on the server");
    }
    // The listed size is a hint for the room to reserve, never trusted beyond the limit; the
    // text is unstuffed as it arrives, so the message is held once.
    std::size_t reserve = whole ? SaturatingSum(static_cast<std::size_t>(listed), kFramingRoom) : 0;
    TMultiLineReader reader(LastMessageText.Mutable(), reserve, MaxMessageSize);
    Talk.OnBody = [this, &reader](std::string_view data) {
        bool ended = reader.Feed(data);
        if (reader.Overflowed()) {
            Talk.StopWaiting();
        }
        return ended;
    };
    Talk.OnProgress = OnProgress;
    Talk.ExpectedSize = static_cast<std::uint64_t>(listed) > MaxMessageSize
                            ? static_cast<std::int64_t>(MaxMessageSize)
                            : listed;
    // Only a first line that never ends is bounded by the talk; the text by the reader.
    std::size_t bound =
        SaturatingSum(SaturatingSum(MaxMessageSize, MaxMessageSize / 2), kStatusReplyLimit);
    bool accepted = Command(command, TalkStep::Retrieve, true, bound);
    Talk.OnBody = nullptr;
    Talk.ExpectedSize = 0;
    if (reader.Overflowed()) {
        if (Connected) {
            DropConnection(); // the rest of the message is still on its way
        }
        return Refuse(which + " is larger than the limit of " + limit + "; it stays on the server");
    }
    if (!accepted) {
        LastMessageText.clear();
        if (LastReplyText.starts_with("-ERR")) {
            return false; // the server's own refusal says it best
        }
        return Refuse(which + " could not be retrieved (" + LastReplyText +
                      "); it stays on the server");
    }
    reader.Finish();
    return true;
}

bool TPop3Client::FetchMessage(int n) {
    // The message parsed before lets go of its text first, so that only one is held.
    if (MailMessage != nullptr) {
        MailMessage->ResetMessage();
    }
    if (!Retrieve("RETR " + std::to_string(n) + "\r\n", n, true)) {
        return false;
    }
    if (MailMessage != nullptr) {
        MailMessage->ResetMessage();
        MailMessage->ParseText(LastMessageText, true);
    }
    if (DeleteOnRetrieve) {
        DeleteOnServer(n);
    }
    return true;
}

bool TPop3Client::FetchHeaders(int n, int lines) {
    if (lines < 0) {
        lines = 0;
    }
    if (!Retrieve("TOP " + std::to_string(n) + " " + std::to_string(lines) + "\r\n", n, false)) {
        return false;
    }
    if (MailMessage != nullptr) {
        MailMessage->ResetMessage();
        std::vector<std::string> headerLines;
        std::string_view rest = LastMessageText;
        while (!rest.empty()) {
            headerLines.emplace_back(NextLine(rest));
        }
        MailMessage->HeaderLines = std::move(headerLines);
    }
    return true;
}

bool TPop3Client::DeleteOnServer(int n) {
    if (!Usable()) {
        return Refuse("not signed in");
    }
    return Command("DELE " + std::to_string(n) + "\r\n", TalkStep::Delete, false);
}

bool TPop3Client::FetchUniqueIds() {
    UniqueIds.clear();
    if (!Usable()) {
        return Refuse("not signed in");
    }
    if (!Command("UIDL\r\n", TalkStep::UniqueIds, true, MaxListingSize)) {
        return false;
    }
    ReadUniqueIds(Talk.ReplyBuffer);
    std::string status(StatusLine(Talk.ReplyBuffer));
    std::string().swap(Talk.ReplyBuffer);
    Talk.ReplyBuffer = status + "\r\n";
    return true;
}

void TPop3Client::ReadUniqueIds(const std::string& reply) {
    std::string_view rest = reply;
    NextLine(rest); // the status line
    while (!rest.empty()) {
        std::string_view line = Trim(NextLine(rest));
        if (line == ".") {
            break;
        }
        std::int64_t n = 0;
        std::size_t space = line.find(' ');
        if (space == std::string_view::npos || !ParseNumber(line.substr(0, space), n) || n <= 0 ||
            n > kMaxMessageNumber) {
            continue;
        }
        if (UniqueIds.size() < static_cast<std::size_t>(n) + 1) {
            UniqueIds.resize(static_cast<std::size_t>(n) + 1);
        }
        UniqueIds[static_cast<std::size_t>(n)] = Trim(line.substr(space + 1));
    }
}

bool TPop3Client::CloseSession() {
    if (!Connected || !Talk.IsOpen()) {
        return Refuse("not connected");
    }
    if (!Command("QUIT\r\n", TalkStep::Quit, false)) {
        return false;
    }
    Talk.Close();
    Disconnected();
    return true;
}

void TPop3Client::DropConnection() {
    Talk.StopWaiting();
    Talk.Close();
    Disconnected();
}

} // namespace pelmora
