// SMTP client.
//   RFC 5321  Simple Mail Transfer Protocol (EHLO/HELO, MAIL, RCPT, DATA, RSET, QUIT,
//             dot-stuffing, multi-line replies)
//   RFC 3207  SMTP Service Extension for Secure SMTP over TLS (STARTTLS)
//   RFC 4954  SMTP Service Extension for Authentication (AUTH)
//   RFC 4616  The PLAIN SASL mechanism; the LOGIN mechanism as servers commonly offer it
//   RFC 8314  Cleartext considered obsolete (submission over TLS from the first byte)
//   RFC 3834  Automatic responses leave with the null reverse-path "MAIL FROM:<>"
#include "transport/smtp_client.h"

#include "mime/mail_message.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace pelmora {

namespace {

bool HasUnsafeByte(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string Lower(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// One line of base64, as SASL wants it.
std::string Base64Line(std::string_view bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                     (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) {
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// The reply code each step expects.
int ExpectedCode(TalkStep step) {
    switch (step) {
    case TalkStep::Greeting:
    case TalkStep::StartTls:
        return 220;
    case TalkStep::AuthLogin:
    case TalkStep::AuthUserName:
        return 334;
    case TalkStep::AuthPassword:
    case TalkStep::AuthPlain:
        return 235;
    case TalkStep::Data:
        return 354;
    case TalkStep::Quit:
        return 221;
    default:
        return 250;
    }
}

int ReplyCode(std::string_view reply) {
    if (reply.size() < 3) {
        return -1;
    }
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(reply[i]))) {
            return -1;
        }
        code = code * 10 + (reply[i] - '0');
    }
    return code;
}

// A reply is whole when its last line is a final one: "ddd" or "ddd " + text, not "ddd-".
// Lines may end with a bare LF.
bool IsFinalReply(std::string_view reply) {
    if (!reply.ends_with('\n')) {
        return false;
    }
    std::string_view body = reply.substr(0, reply.size() - 1);
    if (body.ends_with('\r')) {
        body.remove_suffix(1);
    }
    std::size_t start = body.rfind('\n');
    std::string_view last = start == std::string_view::npos ? body : body.substr(start + 1);
    return last.size() < 4 || last[3] != '-';
}

} // namespace

bool IsAutomaticResponse(const TMailMessage& message) {
    const std::string value = Lower(Trim(message.HeaderValue("Auto-Submitted")));
    return !value.empty() && value != "no";
}

std::vector<std::string> EnvelopeRecipients(std::string_view commaText) {
    std::vector<std::string> items;
    std::string current;
    bool quoted = false;
    for (std::size_t i = 0; i < commaText.size(); ++i) {
        char c = commaText[i];
        if (quoted) {
            if (c == '"' && i + 1 < commaText.size() && commaText[i + 1] == '"') {
                current += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            items.emplace_back(Trim(current));
            current.clear();
        } else {
            current += c;
        }
    }
    items.emplace_back(Trim(current));
    std::erase_if(items, [](const std::string& item) { return item.empty(); });
    std::stable_sort(items.begin(), items.end(), [](const std::string& a, const std::string& b) {
        return Lower(a) < Lower(b);
    });
    items.erase(std::unique(items.begin(), items.end(),
                            [](const std::string& a, const std::string& b) {
                                return Lower(a) == Lower(b);
                            }),
                items.end());
    return items;
}

std::string StuffMessageText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 64 + 8);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.starts_with('.')) {
            out += '.';
        }
        out.append(line);
        out.append("\r\n");
        start = next;
    }
    out.append(".\r\n");
    return out;
}

std::string StuffMessageText(std::string&& text) {
    const std::string_view view(text);
    bool ready = view.ends_with("\r\n") && !view.starts_with('.');
    for (std::size_t at = view.find('\n'); ready && at != std::string_view::npos;
         at = view.find('\n', at + 1)) {
        ready = view[at - 1] == '\r' && (at + 1 == view.size() || view[at + 1] != '.');
    }
    if (!ready)
        return StuffMessageText(view);
    text.append(".\r\n");
    return std::move(text);
}

TSmtpClient::TSmtpClient(TUiServices& ui) : Talk(ui) {
    Talk.Sender = this;
    Talk.OnReplyComplete = [](TSocketTalk&, TalkStep step, bool& accepted,
                              const std::string& reply) {
        int code = ReplyCode(reply);
        // 251: the server will forward to the recipient, which is success as well.
        accepted = code == ExpectedCode(step) || (step == TalkStep::RcptTo && code == 251);
    };
    // A whole permanent refusal ends the wait at once.
    Talk.OnChunk = [](TSocketTalk& talk, TalkStep, bool&, std::string_view) {
        if (ReplyCode(talk.ReplyBuffer) > 499 && IsFinalReply(talk.ReplyBuffer)) {
            talk.StopWaiting();
        }
    };
    Talk.IsReplyComplete = [](std::string_view reply) { return IsFinalReply(reply); };
    Talk.OnTalkFailure = [](TSocketTalk& talk, TalkStep, TalkOutcome) { talk.StopWaiting(); };
    Talk.OnPeerClosed = [this](TSocketTalk&) { Connected = false; };
}

bool TSmtpClient::Refuse(std::string reason) {
    LastReplyText = std::move(reason);
    return false;
}

// The server's reply, or why there is no whole reply (with the start of what came).
std::string TSmtpClient::ReplyOrFailure() const {
    const std::string& reply = Talk.ReplyBuffer;
    if (Talk.ReplyAccepted || Talk.ErrorText().empty()) {
        return reply.empty() ? "no reply from the server" : reply;
    }
    if (reply.empty()) {
        return Talk.ErrorText();
    }
    return Talk.ErrorText() + "; the server said: " + reply.substr(0, 200);
}

bool TSmtpClient::Command(std::string_view text, TalkStep step) {
    SendCommand(text, step);
    return CommandAccepted();
}

void TSmtpClient::SendCommand(std::string_view text, TalkStep step) {
    Talk.TimeOut = TimeOut;
    Talk.Deadline = Deadline;
    Talk.Send(text, "\r\n", step);
}

bool TSmtpClient::CommandAccepted() {
    Talk.WaitReply();
    LastReplyText = ReplyOrFailure();
    return Talk.ReplyAccepted;
}

bool TSmtpClient::OpenSession() {
    if (Connected || Talk.IsOpen() || Host.empty()) {
        return Refuse("the session is open already or the server name is empty");
    }
    Authenticated = false;
    EhloSeen = false;
    Extensions.clear();
    Certificate = {};
    Talk.TimeOut = TimeOut;
    Talk.Deadline = Deadline;
    Talk.ArmWait(TalkStep::Greeting);
    if (!Talk.Open(Host, Port)) {
        return Refuse(Talk.ErrorText());
    }
    if (Security == TSecurity::SslTls) {
        std::string failure;
        if (!SecureConnection(Talk, Host, Port, Tls, Certificate, failure)) {
            Talk.StopWaiting();
            return Refuse(failure);
        }
    }
    Talk.WaitReply();
    std::string replies = ReplyOrFailure();
    if (!Talk.ReplyAccepted) {
        DropConnection();
        return Refuse(replies);
    }
    if (Handshaking == hsManual) {
        Connected = true;
        LastReplyText = replies;
        return true;
    }
    Connected = true;
    bool greeted = SayEhlo();
    replies += LastReplyText;
    if (!greeted && Connected) {
        greeted = SayHelo();
        replies += LastReplyText;
    }
    LastReplyText = replies;
    Connected = greeted && Talk.IsOpen();
    if (Connected && Security == TSecurity::StartTls) {
        Connected = StartTls();
        if (Connected) {
            Connected = SayEhlo();
        }
        if (!Connected) {
            std::string reason = LastReplyText;
            DropConnection();
            LastReplyText = replies + reason;
        }
    }
    return Connected;
}

bool TSmtpClient::SayEhlo() {
    if (!Usable()) {
        return Refuse("not connected");
    }
    bool accepted = Command("EHLO " + Talk.LocalHostName() + "\r\n", TalkStep::Ehlo);
    Extensions.clear();
    EhloSeen = accepted;
    if (accepted) {
        std::string_view reply = Talk.ReplyBuffer;
        std::size_t start = reply.find('\n');
        while (start != std::string_view::npos && start + 1 < reply.size()) {
            std::size_t end = reply.find('\n', start + 1);
            std::string_view line = reply.substr(start + 1, end - start - 1);
            if (line.ends_with('\r')) {
                line.remove_suffix(1);
            }
            if (line.size() > 4) {
                Extensions.emplace_back(line.substr(4));
            }
            start = end;
        }
    }
    return accepted;
}

bool TSmtpClient::SayHelo() {
    if (!Usable()) {
        return Refuse("not connected");
    }
    return Command("HELO " + Talk.LocalHostName() + "\r\n", TalkStep::Helo);
}

bool TSmtpClient::StartTls() {
    if (!Usable()) {
        return Refuse("not connected");
    }
    if (!Command("STARTTLS\r\n", TalkStep::StartTls)) {
        return Refuse("the server does not allow TLS: " + LastReplyText);
    }
    std::string failure;
    if (!SecureConnection(Talk, Host, Port, Tls, Certificate, failure)) {
        Connected = false;
        return Refuse(failure);
    }
    // What the server said before TLS no longer counts.
    Extensions.clear();
    EhloSeen = false;
    Authenticated = false;
    return true;
}

bool TSmtpClient::OffersAuth(std::string_view mechanism) const {
    for (const std::string& extension : Extensions) {
        std::string line = Lower(extension);
        if (!line.starts_with("auth ") && !line.starts_with("auth=")) {
            continue;
        }
        std::string wanted = Lower(mechanism);
        std::size_t start = 5;
        while (start <= line.size()) {
            std::size_t end = line.find(' ', start);
            if (end == std::string::npos) {
                end = line.size();
            }
            if (line.substr(start, end - start) == wanted) {
                return true;
            }
            start = end + 1;
        }
    }
    return false;
}

bool TSmtpClient::AuthLogin() {
    Authenticated = false;
    if (!Usable()) {
        return Refuse("not connected");
    }
    if (HasUnsafeByte(UserName) || HasUnsafeByte(Password)) {
        return Refuse("the user name or password contains a line break or NUL");
    }
    bool offersAny = false;
    for (const std::string& extension : Extensions) {
        offersAny = offersAny || Lower(extension).starts_with("auth");
    }
    if (EhloSeen && offersAny && !OffersAuth("LOGIN") && OffersAuth("PLAIN")) {
        std::string credentials;
        credentials += '\0';
        credentials += UserName;
        credentials += '\0';
        credentials += Password;
        Authenticated =
            Command("AUTH PLAIN " + Base64Line(credentials) + "\r\n", TalkStep::AuthPlain);
        return Authenticated;
    }
    Authenticated = Command("AUTH LOGIN\r\n", TalkStep::AuthLogin) &&
                    Command(Base64Line(UserName) + "\r\n", TalkStep::AuthUserName) &&
                    Command(Base64Line(Password) + "\r\n", TalkStep::AuthPassword);
    return Authenticated;
}

bool TSmtpClient::SendMail() {
    if (MailMessage == nullptr) {
        return Refuse("no message to send");
    }
    std::string recipients = MailMessage->ToRecipients.AddressesCommaText();
    for (const TMailRecipients* list : {&MailMessage->CcRecipients, &MailMessage->BccRecipients}) {
        std::string more = list->AddressesCommaText();
        if (more.empty()) {
            continue;
        }
        if (!recipients.empty()) {
            recipients += ',';
        }
        recipients += more;
    }
    if (IsAutomaticResponse(*MailMessage)) {
        // No failure report may come back to an automatic response, or two responders could
        // keep answering each other.
        if (SendMailTo("", recipients)) {
            return true;
        }
        if (!NullSenderRefused) {
            return false;
        }
        // Some submission servers refuse the null reverse-path outright; the response then
        // leaves with the sender's address rather than not at all.
    }
    return SendMailTo(MailMessage->GetSender().Address, recipients);
}

void TSmtpClient::Reset() {
    // Ends the half-made transaction so that the next message can start with MAIL FROM.
    // Only after a whole refusal: without an answer the conversation is out of step anyway.
    std::string reason = LastReplyText;
    if (Usable() && IsFinalReply(Talk.ReplyBuffer)) {
        Command("RSET\r\n", TalkStep::Reset);
    }
    LastReplyText = reason;
}

bool TSmtpClient::SendMailTo(const std::string& sender, const std::string& recipients) {
    NullSenderRefused = false;
    if (!Usable()) {
        return Refuse("not connected");
    }
    if (MailMessage == nullptr) {
        return Refuse("no message to send");
    }
    if (MailMessage->BodyStale) {
        return Refuse("the message has not been built");
    }
    std::vector<std::string> list = EnvelopeRecipients(recipients);
    if (list.empty()) {
        return Refuse("the message has no recipients");
    }
    if (HasUnsafeByte(sender)) {
        return Refuse("the sender address contains a line break or NUL");
    }
    for (const std::string& recipient : list) {
        if (HasUnsafeByte(recipient)) {
            return Refuse("a recipient address contains a line break or NUL");
        }
    }
    // The text is made while the server takes MAIL FROM, so that it is ready when DATA is
    // answered.
    SendCommand("MAIL FROM:<" + sender + ">\r\n", TalkStep::MailFrom);
    if (Trim(MailMessage->GetMessageId()).empty()) {
        std::string address = Talk.LocalAddress();
        if (address.find(':') != std::string::npos) {
            address = "[IPv6:" + address + "]";
        }
        MailMessage->NewMessageId(address);
    }
    std::vector<std::string> savedHeader = MailMessage->HeaderLines;
    MailMessage->RemoveHeader("Bcc");
    std::string text = StuffMessageText(MailMessage->FullText());
    MailMessage->HeaderLines = std::move(savedHeader);
    if (!CommandAccepted()) {
        NullSenderRefused = sender.empty() && Usable() && Talk.ReplyBuffer.starts_with("5");
        Reset();
        return false;
    }
    for (const std::string& recipient : list) {
        if (!Command("RCPT TO:<" + recipient + ">\r\n", TalkStep::RcptTo)) {
            Reset();
            return false;
        }
    }
    bool accepted = false;
    if (Command("DATA\r\n", TalkStep::Data)) {
        Talk.TimeOut = TimeOut;
        Talk.Deadline = Deadline;
        // Every piece is a system call; progress, shown at most every ProgressInterval, needs
        // no pieces smaller than MinimumPiece.
        Talk.ChunkSize = std::max(PacketSize, MinimumPiece);
        // Progress goes on at most every ProgressInterval besides its first and last report:
        // whoever shows it pumps the interface, and a packet takes far less time than that.
        Talk.OnProgress = nullptr;
        if (OnProgress) {
            Talk.OnProgress = [this, last = std::chrono::steady_clock::time_point()](
                                  const void* sender, std::int64_t total,
                                  std::int64_t current) mutable {
                const auto now = std::chrono::steady_clock::now();
                if (current != 0 && current != total && now - last < ProgressInterval)
                    return;
                last = now;
                OnProgress(sender, total, current);
            };
        }
        Talk.Send(text, "\r\n", TalkStep::MessageText);
        if (OnTextSent && Talk.IsOpen()) {
            OnTextSent();
        }
        Talk.WaitReply();
        LastReplyText = ReplyOrFailure();
        accepted = Talk.ReplyAccepted;
    } else {
        Reset();
    }
    return accepted;
}

bool TSmtpClient::CloseSession() {
    if (!Usable()) {
        return Refuse("not connected");
    }
    if (!Command("QUIT\r\n", TalkStep::Quit)) {
        return false;
    }
    Talk.Close();
    Connected = false;
    return true;
}

void TSmtpClient::DropConnection() {
    Talk.StopWaiting();
    Talk.Close();
    Connected = false;
}

} // namespace pelmora
