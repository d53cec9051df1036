#include "mime/mail_message.h"

#include "mime/encoded_words.h"
#include "mime/header_fold.h"
#include "mime/header_write.h"
#include "mime/mail_date.h"
#include "mime/mail_ids.h"
#include "mime/mime_text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <climits>
#include <sys/uio.h>
#include <unistd.h>

namespace pelmora {

TMailMessage::TMailMessage() : TMailPart(nullptr) { OwningMessage = this; }

TMailMessage::~TMailMessage() {
    Destroying_ = true;
    Attachments.clear();
    ClearSubParts();
    OwningMessage = nullptr;
}

void TMailMessage::ForgetPart(const TMailPart* part) {
    if (Destroying_ || part == this) return;
    for (TMailPart** ref : {&PlainTextPart, &HtmlTextPart, &MixedContainer, &RelatedContainer,
                            &AlternativeContainer, &InnerContainer}) {
        if (*ref == part) *ref = nullptr;
    }
    if (!BulkDestroy_ && !Attachments.empty()) std::erase(Attachments, part);
    if (!BulkDestroy_ && !ExtraTextParts.empty()) std::erase(ExtraTextParts, part);
}

void TMailMessage::ReportProgress(std::int64_t total, std::int64_t current) {
    if (OnProgress) OnProgress(*this, total, current);
}

// The whole header is read, so a ";" or quotes in a display name do not cut it short.
TMailAddress TMailMessage::GetSender() const { return ParseSenderValue(HeaderText("From")); }
TMailAddress TMailMessage::GetReplyTarget() const { return ParseSenderValue(HeaderText("Reply-To")); }
TMailAddress TMailMessage::GetReceiptTarget() const {
    return ParseSenderValue(HeaderText("Disposition-Notification-To"));
}

namespace {

void SetAddressHeader(TMailMessage& message, std::string_view header, std::string_view name,
                      std::string_view address) {
    if (address.empty()) {
        message.RemoveHeader(header);
        return;
    }
    if (name.empty()) {
        message.SetHeaderValue(header, Concat({"<", address, ">"}));
        return;
    }
    message.SetHeaderValue(header, Concat({EncodePhrase(name, message.Charset), " <", address, ">"}));
}

} // namespace

void TMailMessage::SetSender(std::string_view name, std::string_view address) {
    SetAddressHeader(*this, "From", name, address);
}
void TMailMessage::SetReplyTarget(std::string_view name, std::string_view address) {
    SetAddressHeader(*this, "Reply-To", name, address);
}
void TMailMessage::SetReceiptTarget(std::string_view name, std::string_view address) {
    SetAddressHeader(*this, "Disposition-Notification-To", name, address);
}

std::string TMailMessage::GetSubject() const { return DecodeWords(TrimMail(HeaderText("Subject"))); }

void TMailMessage::SetSubject(std::string_view text) {
    if (text.empty()) {
        RemoveHeader("Subject");
        return;
    }
    std::string entry = Concat({"Subject: ", EncodeHeaderText(text, Charset)});
    int index = FindHeader("Subject");
    if (index < 0) {
        HeaderLines.push_back(std::move(entry));
        ++HeaderVersion;
    } else {
        ++HeaderVersion;
        HeaderLines[index] = std::move(entry);
    }
}

int TMailMessage::GetPriority() const {
    std::string value = HeaderValue("X-Priority");
    std::string_view text = value;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == ' ' || c == '\t') {
            ++i;
        } else if (c == '(' || c == '"') {
            std::size_t close = text.find(c == '(' ? ')' : '"', i + 1);
            i = close == std::string_view::npos ? text.size() : close + 1;
        } else {
            std::size_t end = i;
            while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '(' &&
                   text[end] != '"')
                ++end;
            std::string_view token = text.substr(i, end - i);
            int number = 0;
            auto result = std::from_chars(token.data(), token.data() + token.size(), number);
            if (result.ec != std::errc() || result.ptr != token.data() + token.size()) return 2;
            return number - 1;
        }
    }
    return 2;
}

void TMailMessage::SetPriority(int priority) { SetHeaderValue("X-Priority", DecimalText(priority + 1)); }

double TMailMessage::GetDate() const { return ParseMailDate(HeaderValue("Date")); }

void TMailMessage::SetDate(double t) { SetHeaderValue("Date", FormatMailDate(t)); }

std::string TMailMessage::GetMessageId() const { return HeaderValue("Message-ID"); }

void TMailMessage::NewMessageId(std::string_view domain) { SetHeaderValue("Message-ID", MakeMessageId(domain)); }

void TMailMessage::AddReceivedHeader(std::string_view fromHost, std::string_view byHost,
                                     std::string_view forAddress, std::string_view withText) {
    std::string entry = "Received:";
    if (!fromHost.empty()) entry += Concat({" from ", fromHost});
    if (!byHost.empty()) entry += Concat({" by ", byHost});
    if (!withText.empty()) entry += Concat({" with ", withText});
    if (!forAddress.empty()) entry += Concat({" for <", forAddress, ">"});
    entry += "; ";
    entry += FormatMailDate(NowLocal());
    for (char& c : entry) {
        if (c == '\r' || c == '\n') c = ' '; // one line, whatever the server sent
    }
    HeaderLines.insert(HeaderLines.begin(), std::move(entry));
    ++HeaderVersion;
}

void TMailMessage::ResetMessage() {
    Attachments.clear();
    ExtraTextParts.clear();
    PlainTextPart = HtmlTextPart = nullptr;
    MixedContainer = RelatedContainer = AlternativeContainer = InnerContainer = nullptr;
    ClearSubParts();
    HeaderLines.clear();
    ++HeaderVersion;
    RawBody.clear();
    DecodedData.clear();
    PlainTextLines.clear();
    HtmlTextLines.clear();
    BodyStale = StructureStale = PartMapStale = false;
    FileCounter = 0;
}

namespace {

// Appends text with every CR, LF and CR LF written as CR LF. pendingCr carries a CR that ended
// the previous chunk.
void AppendNormalised(std::string_view text, std::string& out, bool& pendingCr) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (pendingCr) {
            pendingCr = false;
            if (c == '\n') {
                start = i + 1;
                continue;
            }
        }
        if (c != '\r' && c != '\n') continue;
        out.append(text.data() + start, i - start);
        out += "\r\n";
        start = i + 1;
        if (c == '\r') pendingCr = true;
    }
    out.append(text.data() + start, text.size() - start);
}

// Whether every CR and LF of text stands in a CR LF pair: such text is written as it is.
bool HasOnlyCrLf(std::string_view text) {
    std::size_t lineFeeds = 0;
    for (const char* at = text.data(), *end = text.data() + text.size();;) {
        const void* found = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
        if (!found) break;
        const char* lf = static_cast<const char*>(found);
        if (lf == text.data() || lf[-1] != '\r') return false;
        ++lineFeeds;
        at = lf + 1;
    }
    // Each LF has its CR; one more CR stands alone.
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r')) == lineFeeds;
}

} // namespace

int TMailMessage::WriteMessageFile(int fd, std::size_t* written) const {
    std::size_t total = 0;
    // Writes the pieces in order with as few calls as the system takes; 0 or the errno.
    auto put = [&](std::initializer_list<std::string_view> pieces) {
        std::vector<iovec> vectors;
        for (std::string_view piece : pieces) {
            if (!piece.empty())
                vectors.push_back({const_cast<char*>(piece.data()), piece.size()});
        }
        std::size_t next = 0;
        while (next < vectors.size()) {
            const int count = static_cast<int>(std::min<std::size_t>(vectors.size() - next, IOV_MAX));
            const ssize_t n = ::writev(fd, vectors.data() + next, count);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return n < 0 && errno != 0 ? errno : EIO;
            total += static_cast<std::size_t>(n);
            for (std::size_t left = static_cast<std::size_t>(n); left > 0;) {
                iovec& first = vectors[next];
                const std::size_t taken = std::min(left, first.iov_len);
                first.iov_base = static_cast<char*>(first.iov_base) + taken;
                first.iov_len -= taken;
                left -= taken;
                if (first.iov_len == 0) ++next;
            }
            while (next < vectors.size() && vectors[next].iov_len == 0) ++next;
        }
        return 0;
    };
    std::string header;
    for (const std::string& entry : HeaderLines) {
        if (entry.empty()) continue;
        header += entry;
        header += "\r\n";
    }
    std::string chunk = FoldHeaderText(header);
    chunk += "\r\n";
    bool pendingCr = false;
    std::string normalisedHeader;
    AppendNormalised(chunk, normalisedHeader, pendingCr);
    const std::string_view body = RawBody;
    // Every line, the last included, ends in CR LF.
    const std::string_view lastEnd =
        !body.empty() && body.back() != '\r' && body.back() != '\n' ? "\r\n" : "";
    int failure = 0;
    if (HasOnlyCrLf(body)) {
        failure = put({normalisedHeader, body, lastEnd});
    } else {
        failure = put({normalisedHeader});
        constexpr std::size_t ChunkSize = 1 << 20;
        std::string buffer;
        for (std::size_t pos = 0; failure == 0 && pos < body.size(); pos += ChunkSize) {
            buffer.clear();
            const std::string_view piece = body.substr(pos, ChunkSize);
            buffer.reserve(piece.size() + piece.size() / 16 + 2); // room for the added CRs
            AppendNormalised(piece, buffer, pendingCr);
            failure = put({buffer});
        }
        if (failure == 0) failure = put({lastEnd});
    }
    if (written) *written = total;
    return failure;
}

TMimeStatus TMailMessage::SaveMessageFile(const std::string& path) const {
    // Written beside the target and renamed over it, so a failure leaves the old file whole.
    // The temporary name is created afresh, never through a link planted there, and only
    // its owner may read it.
    const std::string temporary = path + ".saving";
    ::unlink(temporary.c_str());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return TMimeStatus::Failure("Cannot write message file " + path + ": " + std::strerror(errno));
    }
    int failure = WriteMessageFile(fd);
    bool ok = failure == 0;
    if (::close(fd) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return TMimeStatus::Failure("Cannot write message file " + path + ": " + std::strerror(failure));
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        failure = errno;
        ::unlink(temporary.c_str());
        return TMimeStatus::Failure("Cannot write message file " + path + ": " + std::strerror(failure));
    }
    return {};
}

void TMailMessage::KeepHeaderSource(const TBodyText& text) {
    // Parts of one text share it: it is kept once.
    const std::string_view view = text.View();
    for (const TBodyText& kept : HeaderSources_) {
        const std::string_view known = kept.View();
        if (view.data() >= known.data() && view.data() + view.size() <= known.data() + known.size())
            return;
    }
    HeaderSources_.push_back(text);
}

} // namespace pelmora
