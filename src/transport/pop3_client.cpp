// POP3 client.
//   RFC 1939  Post Office Protocol - Version 3 (USER, PASS, LIST, RETR, TOP, DELE, UIDL, QUIT)
//   RFC 2595  Using TLS with IMAP, POP3 and ACAP (STLS)
//   RFC 8314  Cleartext considered obsolete (POP3 over TLS from the first byte)
#include "transport/pop3_client.h"

#include "mime/mail_message.h"

#include <algorithm>
#include <charconv>

namespace pelmora {

namespace {

constexpr std::string_view kMultiLineEnd = "\r\n.\r\n";
// A listing of a very large mailbox still fits; an endless one does not.
constexpr std::size_t kListingLimit = 64 * 1024 * 1024;
// A message whose size was not listed.
constexpr std::size_t kUnlistedMessageLimit = 256 * 1024 * 1024;
// Message numbers beyond this are taken as a broken listing rather than allocated for.
constexpr std::int64_t kMaxMessageNumber = 4'000'000;

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

// Lines of a reply without their line ends; a final line end opens no further line.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool ParseNumber(std::string_view text, std::int64_t& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::string_view FirstToken(std::string_view line) {
    return line.substr(0, line.find(' '));
}

std::string_view StatusLine(std::string_view reply) {
    std::string_view line = reply.substr(0, reply.find('\n'));
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    return line;
}

} // namespace

std::string UnstuffMultiLine(std::string_view reply) {
    std::size_t statusEnd = reply.find('\n');
    if (statusEnd == std::string_view::npos) {
        return {};
    }
    std::string_view body = reply.substr(statusEnd + 1);
    if (body == ".\r\n" || body == ".") {
        return {};
    }
    if (body.ends_with("\r\n.\r\n")) {
        body.remove_suffix(3);
    } else if (body.ends_with("\n.\n")) {
        body.remove_suffix(2);
    }
    std::string text;
    text.reserve(body.size() + 2);
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find('\n', start);
        if (end == std::string_view::npos) {
            end = body.size();
        }
        std::string_view line = body.substr(start, end - start);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.starts_with('.')) {
            line.remove_prefix(1);
        }
        text.append(line);
        text.append("\r\n");
        start = end + 1;
    }
    return text;
}

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
        std::size_t lineEnd = reply.find("\r\n");
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
    Talk.Send(text, multiLine ? kMultiLineEnd : std::string_view("\r\n"), step, maxReply);
    Talk.WaitReply();
    if (Talk.ReplyBuffer.empty()) {
        LastReplyText = Talk.ErrorText().empty() ? "no reply from the server" : Talk.ErrorText();
    } else {
        LastReplyText = StatusLine(Talk.ReplyBuffer);
    }
    return Talk.ReplyAccepted;
}

bool TPop3Client::OpenSession() {
    if (Connected || Talk.IsOpen() || Host.empty()) {
        return Refuse("the session is open already or the server name is empty");
    }
    Certificate = {};
    Talk.TimeOut = TimeOut;
    Talk.ArmWait(TalkStep::Greeting);
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
    LastReplyText = Talk.ReplyBuffer.empty() ? Talk.ErrorText() : StatusLine(Talk.ReplyBuffer);
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
    if (Command("LIST\r\n", TalkStep::List, true, kListingLimit)) {
        ReadListing(Talk.ReplyBuffer);
    }
    return LoggedIn;
}

void TPop3Client::ReadListing(const std::string& reply) {
    MessageSizes.clear();
    std::vector<std::string_view> lines = SplitLines(reply);
    if (lines.size() < 3) {
        ServerMessageCount = 0;
        return;
    }
    std::int64_t count = -1;
    if (!ParseNumber(FirstToken(Trim(lines[lines.size() - 2])), count) || count < 0 ||
        count > kMaxMessageNumber) {
        ServerMessageCount = -1;
        return;
    }
    ServerMessageCount = static_cast<int>(count);
    if (count == 0) {
        return;
    }
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        std::string_view line = Trim(lines[i]);
        std::int64_t n = 0;
        if (!ParseNumber(FirstToken(line), n) || n < 0 || n > kMaxMessageNumber) {
            // A listing that cannot be read is no listing: nothing will be fetched from it.
            ServerMessageCount = -1;
            MessageSizes.clear();
            return;
        }
        if (MessageSizes.size() < static_cast<std::size_t>(n) + 1) {
            MessageSizes.resize(static_cast<std::size_t>(n) + 1, 0);
        }
        if (n > 0) {
            std::size_t space = line.find(' ');
            std::int64_t size = 0;
            if (space != std::string_view::npos) {
                std::string_view rest = Trim(line.substr(space + 1).substr(0, 99));
                rest = FirstToken(rest);
                if (!ParseNumber(rest, size) || size < 0) {
                    size = 0;
                }
            }
            MessageSizes[static_cast<std::size_t>(n)] = size;
        }
    }
    if (MessageSizes.empty()) {
        MessageSizes.push_back(0);
    }
    MessageSizes[0] = 0;
}

bool TPop3Client::Retrieve(const std::string& command, int n) {
    LastMessageText.clear();
    if (!Usable()) {
        return Refuse("not signed in");
    }
    std::int64_t listed = 0;
    if (n >= 0 && static_cast<std::size_t>(n) < MessageSizes.size()) {
        listed = MessageSizes[static_cast<std::size_t>(n)];
    }
    std::size_t limit = kUnlistedMessageLimit;
    if (listed > 0) {
        limit = static_cast<std::size_t>(listed) * 2 + 1024 * 1024;
    }
    Talk.OnProgress = OnProgress;
    Talk.ExpectedSize = listed;
    // Room for the whole listed message at once (its status line and framing aside).
    Talk.ReplyBuffer.clear();
    Talk.ReplyBuffer.reserve(
        static_cast<std::size_t>(std::min<std::int64_t>(listed, static_cast<std::int64_t>(limit))) +
        4096);
    bool accepted = Command(command, TalkStep::Retrieve, true, limit);
    Talk.ExpectedSize = 0;
    if (!accepted) {
        return false;
    }
    LastMessageText = UnstuffMultiLine(Talk.ReplyBuffer);
    // The message now lives in LastMessageText; keep only the status line of its reply.
    std::string status(StatusLine(Talk.ReplyBuffer));
    std::string().swap(Talk.ReplyBuffer);
    Talk.ReplyBuffer = status + "\r\n";
    return true;
}

bool TPop3Client::FetchMessage(int n) {
    if (!Retrieve("RETR " + std::to_string(n) + "\r\n", n)) {
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
    if (!Retrieve("TOP " + std::to_string(n) + " " + std::to_string(lines) + "\r\n", n)) {
        return false;
    }
    if (MailMessage != nullptr) {
        MailMessage->ResetMessage();
        std::vector<std::string> headerLines;
        for (std::string_view line : SplitLines(LastMessageText)) {
            headerLines.emplace_back(line);
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
    if (!Command("UIDL\r\n", TalkStep::UniqueIds, true, kListingLimit)) {
        return false;
    }
    ReadUniqueIds(Talk.ReplyBuffer);
    return true;
}

void TPop3Client::ReadUniqueIds(const std::string& reply) {
    std::vector<std::string_view> lines = SplitLines(reply);
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        std::string_view line = Trim(lines[i]);
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
