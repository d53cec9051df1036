// Reading: parsing text into the part tree, decoding bodies, and classifying the tree.

#include "mime/mail_message.h"

#include "mime/base64.h"
#include "mime/charset.h"
#include "mime/encoded_words.h"
#include "mime/header_write.h"
#include "mime/mail_ids.h"
#include "mime/mime_text.h"
#include "mime/mime_types.h"
#include "mime/quoted_printable.h"
#include "mime/uuencode.h"

#include "mime/large_buffer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

constexpr std::string_view UuBeginMark = "begin 6";
constexpr std::string_view UuEndMark = "end";
constexpr std::size_t UuNameOffset = 10;
constexpr std::size_t UuNameMaxLength = 999;

// Walks the lines of a text in place. A line ends at CR LF; a lone CR or LF belongs to the
// line. A last line without CR LF still counts.
class TLineCursor {
public:
    explicit TLineCursor(std::string_view text, std::size_t start = 0) : Text_(text), Pos_(start) {}

    bool Next() {
        if (Pos_ >= Text_.size()) return false;
        LineStart = Pos_;
        std::size_t search = Pos_;
        while (true) {
            const void* lf = std::memchr(Text_.data() + search, '\n', Text_.size() - search);
            if (!lf) {
                LineEnd = Text_.size();
                NextStart = Text_.size();
                break;
            }
            std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lf) - Text_.data());
            if (at > LineStart && Text_[at - 1] == '\r') {
                LineEnd = at - 1;
                NextStart = at + 1;
                break;
            }
            search = at + 1;
        }
        Pos_ = NextStart;
        return true;
    }

    // Moves to the next line that begins with prefix; pattern is CR LF followed by prefix.
    // The search skips whole stretches of lines at memory speed.
    bool NextStartingWith(std::string_view prefix, std::string_view pattern) {
        if (Pos_ >= Text_.size()) return false;
        if (Text_.compare(Pos_, prefix.size(), prefix) != 0) {
            const void* hit = memmem(Text_.data() + Pos_, Text_.size() - Pos_, pattern.data(), pattern.size());
            if (!hit) {
                Pos_ = Text_.size();
                return false;
            }
            Pos_ = static_cast<std::size_t>(static_cast<const char*>(hit) - Text_.data()) + 2;
        }
        return Next();
    }

    std::string_view Line() const { return Text_.substr(LineStart, LineEnd - LineStart); }

    std::size_t LineStart = 0;
    std::size_t LineEnd = 0;
    std::size_t NextStart = 0;

private:
    std::string_view Text_;
    std::size_t Pos_;
};

} // namespace

std::string NormaliseHeaderEntry(std::string_view entry) {
    std::size_t colon = entry.find(':');
    std::string result;
    result.reserve(entry.size() + 1);
    std::string_view value = entry;
    if (colon != std::string_view::npos) {
        for (std::size_t i = 0; i <= colon; ++i) {
            char c = entry[i];
            result += (i == 0 || entry[i - 1] == '-') ? UpperAscii(c) : LowerAscii(c);
        }
        if (colon >= 3 && entry[colon - 3] == '-' && UpperAscii(entry[colon - 2]) == 'I' &&
            UpperAscii(entry[colon - 1]) == 'D')
            result[colon - 1] = 'D';
        result += ' ';
        value = entry.substr(colon + 1);
    }
    auto white = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t begin = 0;
    while (begin < value.size() && white(value[begin])) ++begin;
    std::size_t end = value.size();
    while (end > begin && white(value[end - 1])) --end;
    // Most values hold no tab and no double space: nothing to change (a long recipient
    // list then costs two fast searches).
    std::string_view inner = value.substr(begin, end - begin);
    bool plain = true;
    for (std::size_t i = 0; i < inner.size() && plain; ++i)
        plain = inner[i] != '\t' && (inner[i] != ' ' || i + 1 == inner.size() || inner[i + 1] != ' ');
    if (plain) {
        result.append(inner);
        return result;
    }
    bool quoted = false;
    for (std::size_t i = begin; i < end;) {
        char c = value[i];
        if (!quoted && white(c)) {
            std::size_t runEnd = i;
            while (runEnd < end && white(value[runEnd])) ++runEnd;
            if (value[runEnd - 1] == ' ') {
                result += ' ';
            } else {
                result.append(value.substr(i, runEnd - i));
            }
            i = runEnd;
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
            result += c;
            ++i;
            continue;
        }
        // The run up to the next quote or (outside quotes) white space goes in one piece.
        std::size_t run = i + 1;
        while (run < end && value[run] != '"' && (quoted || !white(value[run]))) ++run;
        result.append(value.data() + i, run - i);
        i = run;
    }
    return result;
}

namespace {

// True when a header line is already written as NormaliseHeaderEntry would write it, but for
// the case of its name: a colon, one space, and a value without tabs, doubled spaces or white
// space at either end.
bool IsPlainEntry(std::string_view line) {
    if (line.front() == ' ' || line.front() == '\t') return false; // a folded line
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 2 >= line.size() ||
        line[colon + 1] != ' ')
        return false;
    const std::string_view value = line.substr(colon + 2);
    if (value.front() == ' ' || value.back() == ' ' || value.back() == '\t') return false;
    if (value.find('\t') != std::string_view::npos) return false;
    return value.find("  ") == std::string_view::npos;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

std::string Quoted(std::string_view text) {
    std::string result = "\"";
    result += text;
    result += '"';
    return result;
}

} // namespace

void TMailPart::ParseText(std::string_view text, bool withHeaders) {
    std::string copy;
    ReserveLarge(copy, text.size());
    copy.assign(text);
    const TBodyText whole = TBodyText::Own(std::move(copy));
    ParseAt(whole, whole.View(), withHeaders, 0);
}

void TMailPart::ParseText(const TBodyText& text, bool withHeaders) {
    // Held here: the text may be this part's own body, which the reset below lets go.
    const TBodyText whole = text;
    ParseAt(whole, whole.View(), withHeaders, 0);
}

void TMailPart::ResetPartContent() {
    TMailMessage* message = OwningMessage;
    if (message == this) {
        // Forget the classification first so destroying the parts costs nothing per part.
        message->Attachments.clear();
        message->ExtraTextParts.clear();
        message->PlainTextPart = message->HtmlTextPart = nullptr;
        message->MixedContainer = message->RelatedContainer = nullptr;
        message->AlternativeContainer = message->InnerContainer = nullptr;
    }
    SubParts.clear();
    HeaderLines.clear();
    DropRawHeader();
    SubPartBoundary_.reset();
    if (message == this) message->ForgetHeaderSources();
    NoteHeaderChange();
    RawBody.clear();
    DecodedData.clear();
    IsDecoded = false;
    IsEmbedded = false;
    message->BodyStale = true;
    message->StructureStale = true;
    message->PartMapStale = true;
}

void TMailPart::ParseAt(const TBodyText& whole, std::string_view text, bool withHeaders, int depth) {
    TMailMessage* message = OwningMessage;
    if (!message) return;
    ResetPartContent();
    const bool progress = message == this && depth == 0 && static_cast<bool>(message->OnProgress);
    const auto total = static_cast<std::int64_t>(text.size());
    if (progress) message->ReportProgress(total, 0);
    // Progress is told every 64 KB of text, not every line: a listener that redraws or
    // pumps events would otherwise cost more than the reading.
    constexpr std::size_t ProgressStep = 64 * 1024;
    std::size_t reported = 0;
    auto reportLine = [&](const TLineCursor& cursor) {
        if (!progress || cursor.NextStart - reported < ProgressStep) return;
        reported = cursor.NextStart;
        message->ReportProgress(total, static_cast<std::int64_t>(cursor.NextStart) + 1);
    };

    TLineCursor cursor(text);
    std::size_t bodyStart = 0;
    if (withHeaders && message != this) {
        // A part's header whose every line is plain stays a slice of the text: many tiny parts
        // then cost no line strings. Otherwise it is read again below into lines.
        bool plain = true;
        bool blank = false;
        std::size_t headerEnd = 0;
        while (cursor.Next()) {
            const std::string_view line = cursor.Line();
            if (line.empty()) {
                blank = true;
                break;
            }
            if (!IsPlainEntry(line)) {
                plain = false;
                break;
            }
            headerEnd = cursor.LineEnd;
        }
        if (plain && KeepRawHeader(text.substr(0, headerEnd))) {
            if (RawHeaderSize_ != 0) message->KeepHeaderSource(whole);
            bodyStart = blank ? cursor.NextStart : text.size();
            withHeaders = false;
        } else {
            cursor = TLineCursor(text);
        }
    }
    if (withHeaders) {
        std::string entry;
        bool haveEntry = false;
        bodyStart = text.size();
        while (cursor.Next()) {
            reportLine(cursor);
            std::string_view line = cursor.Line();
            if (line.empty()) {
                bodyStart = cursor.NextStart;
                break;
            }
            if ((line.front() == ' ' || line.front() == '\t') && haveEntry) {
                std::string_view rest = line.substr(1);
                while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
                entry += ' ';
                entry += rest;
                continue;
            }
            if (haveEntry) HeaderLines.push_back(NormaliseHeaderEntry(entry));
            entry.assign(line);
            haveEntry = true;
        }
        if (haveEntry) HeaderLines.push_back(NormaliseHeaderEntry(entry));
    }

    const std::string contentType = ContentTypeLower();
    const bool multipart = contentType.compare(0, 10, "multipart/") == 0 && depth < MaxNestingDepth;
    if (!multipart && HasHeader("Content-Type")) {
        RawBody = whole.Slice(text.substr(bodyStart));
        if (progress) {
            while (cursor.Next()) reportLine(cursor);
            message->ReportProgress(total, total);
        }
        return;
    }

    if (multipart) {
        const std::string boundary = Boundary();
        const std::string delimiter = "--" + boundary;
        const std::string pattern = Concat({"\r\n", delimiter});
        bool seenDelimiter = false;
        bool lastWasClosing = false;
        std::size_t sectionStart = 0;
        while (progress ? cursor.Next() : cursor.NextStartingWith(delimiter, pattern)) {
            reportLine(cursor);
            std::string_view line = cursor.Line();
            // Only a whole delimiter line counts: the delimiter, "--" for the closing one, and
            // nothing but white space after it. A text line that merely begins with the
            // boundary is text.
            if (!StartsWith(line, delimiter)) continue;
            std::string_view after = line.substr(delimiter.size());
            const bool closing = StartsWith(after, "--");
            if (closing) after.remove_prefix(2);
            if (!TrimAllWhite(after).empty()) continue;
            if (!seenDelimiter) {
                RawBody = whole.Slice(text.substr(bodyStart, cursor.LineStart - bodyStart));
                seenDelimiter = true;
            } else if (cursor.LineStart > sectionStart) {
                TMailPart* part = AddSubPart(boundary);
                part->ParseAt(whole, text.substr(sectionStart, cursor.LineStart - 2 - sectionStart),
                              true, depth + 1);
            }
            sectionStart = cursor.NextStart;
            lastWasClosing = closing;
            // The epilogue after the closing delimiter holds no parts, whatever it looks like.
            if (closing) break;
        }
        if (progress) {
            while (cursor.Next()) reportLine(cursor);
        }
        if (!seenDelimiter) {
            // The boundary never comes: everything after the header is the body.
            RawBody = whole.Slice(text.substr(bodyStart));
        } else if (!lastWasClosing && sectionStart < text.size()) {
            // A last part that no delimiter closes (a cut-off message) is kept, not lost.
            std::string_view section = text.substr(sectionStart);
            if (section.size() >= 2 && section.substr(section.size() - 2) == "\r\n")
                section.remove_suffix(2);
            TMailPart* part = AddSubPart(boundary);
            part->ParseAt(whole, section, true, depth + 1);
        }
        if (progress) message->ReportProgress(total, total);
        return;
    }

    // No Content-Type: a plain body that may carry uuencoded files.
    std::string boundary;
    TMailPart* file = nullptr;
    bool inFile = false;
    bool converted = false;
    auto finishFile = [&] {
        if (!file) return;
        file->RawBody.clear();
        EncodeBase64To(file->DecodedData, file->RawBody.Mutable());
        file->SetHeaderValue("Content-Transfer-Encoding", "base64");
        file->IsDecoded = true;
        file = nullptr;
    };
    // Text between an "end" line and the next file, or after the last one, is kept as a text
    // part of its own.
    std::size_t textStart = std::string_view::npos;
    auto keepText = [&](std::size_t end) {
        if (textStart == std::string_view::npos || end <= textStart) return;
        std::string_view between = text.substr(textStart, end - textStart);
        textStart = std::string_view::npos;
        if (TrimAllWhite(between).empty()) return;
        TMailPart* textPart = AddSubPart(boundary);
        textPart->RawBody = EncodeQuotedPrintable(between, TQpMode::Body);
        // No charset label: the body had none, so it reads as UTF-8 when it is valid UTF-8 and
        // as windows-1252 otherwise.
        textPart->SetHeaderValue("Content-Type", "text/plain");
        textPart->SetHeaderValue("Content-Transfer-Encoding", "quoted-printable");
    };
    const std::string beginPattern = Concat({"\r\n", UuBeginMark});
    while (progress || inFile ? cursor.Next() : cursor.NextStartingWith(UuBeginMark, beginPattern)) {
        reportLine(cursor);
        std::string_view line = cursor.Line();
        if (!inFile && StartsWith(line, UuBeginMark)) {
            keepText(cursor.LineStart);
            if (!converted) {
                converted = true;
                RawBody = whole.Slice(text.substr(bodyStart, cursor.LineStart - bodyStart));
                boundary = NewBoundary();
                TMailPart* textPart = AddSubPart(boundary);
                textPart->RawBody = EncodeQuotedPrintable(RawBody, TQpMode::Body);
                textPart->SetHeaderValue("Content-Type", "text/plain");
                textPart->SetHeaderValue("Content-Transfer-Encoding", "quoted-printable");
                RemoveHeader("Content-Type");
                SetHeaderValue("Content-Type", "multipart/mixed");
                SetHeaderParam("Content-Type", "boundary", Quoted(boundary));
            }
            std::string name(TrimMail(line.size() > UuNameOffset
                                          ? line.substr(UuNameOffset, UuNameMaxLength)
                                          : std::string_view()));
            std::string encodedName = QuotedNameWords(name, message->Charset);
            file = AddSubPart(boundary);
            file->SetHeaderValue("Content-Type", MimeTypeForFile(name));
            SetFileNameParam(*file, "Content-Type", "name", name, message->Charset);
            file->SetHeaderValue("Content-Disposition", "attachment");
            SetFileNameParam(*file, "Content-Disposition", "filename", name, message->Charset);
            file->SetHeaderValue("X-Pelmora-Attachment", encodedName);
            file->SetHeaderParam("X-Pelmora-Attachment", "embedded", "no");
            inFile = true;
            continue;
        }
        if (inFile) {
            if (StartsWith(line, UuEndMark)) {
                finishFile();
                inFile = false;
                textStart = cursor.NextStart;
            } else {
                UudecodeLineTo(line, file->DecodedData.Mutable());
            }
        }
    }
    finishFile(); // a file whose "end" line is missing keeps what was decoded
    keepText(text.size());
    if (!converted) RawBody = whole.Slice(text.substr(bodyStart));
    if (progress) message->ReportProgress(total, total);
}

void TMailPart::DecodeBody() {
    if (IsDecoded) return;
    IsDecoded = true;
    if (RawBody.empty()) return;
    DecodedData.clear();
    std::string encoding = LowerAsciiCopy(HeaderValue("Content-Transfer-Encoding"));
    if (encoding == "quoted-printable") {
        DecodeQuotedPrintableTo(RawBody, DecodedData.Mutable());
    } else if (encoding == "base64") {
        DecodeBase64BodyTo(RawBody, DecodedData.Mutable());
    } else if (encoding == "uucode" || encoding == "x-uuencode") {
        UudecodeBodyTo(RawBody, DecodedData.Mutable());
        RawBody.clear();
        EncodeBase64To(DecodedData, RawBody.Mutable());
        SetHeaderValue("Content-Transfer-Encoding", "base64");
    } else {
        DecodedData = RawBody;
    }
}

std::string_view TMailPart::DecodedView(std::string& scratch) const {
    if (IsDecoded) return DecodedData;
    if (RawBody.empty()) return {};
    const std::string encoding = LowerAsciiCopy(HeaderValue("Content-Transfer-Encoding"));
    scratch.clear();
    if (encoding == "quoted-printable") {
        DecodeQuotedPrintableTo(RawBody, scratch);
    } else if (encoding == "base64") {
        DecodeBase64BodyTo(RawBody, scratch);
    } else if (encoding == "uucode" || encoding == "x-uuencode") {
        UudecodeBodyTo(RawBody, scratch);
    } else {
        return RawBody;
    }
    return scratch;
}

std::string TMailPart::EffectiveContentType() const {
    std::string type = ContentTypeLower();
    if (!type.empty()) return type;
    if (ParentPart && ParentPart->ContentTypeLower() == "multipart/digest") return "message/rfc822";
    return "text/plain";
}

std::string TMailPart::AttachmentFileName() const {
    // A digest entry names no type and is a message all the same: it is saved as one.
    std::string type = HeaderValue("Content-Type");
    if (!HasHeader("Content-Type") && EffectiveContentType() == "message/rfc822")
        type = "message/rfc822";
    const bool hasType = !type.empty() || HasHeader("Content-Type");
    std::string name = HeaderValue("X-Pelmora-Attachment");
    // The disposition's file name is the one meant for saving; "name" is its older stand-in.
    if (name.empty()) name = HeaderParam("Content-Disposition", "filename");
    if (name.empty()) name = HeaderParam("Content-Type", "name");
    if (name.empty()) name = HeaderValue("Content-ID");
    if (name.empty()) name = HeaderValue("Content-Location");
    if (name.empty() && hasType) name = type + ExtensionForMimeType(type);
    if (name.empty()) name = "unknown";
    name = DecodeWords(name);
    if (name.find('.') == std::string::npos && hasType) name += ExtensionForMimeType(type);
    return SanitizeFileName(name);
}

namespace {

bool IsPlainType(std::string_view type) { return type == "text/plain" || type == "text"; }

// A part meant to be saved rather than read: disposed as an attachment, or given a file name.
bool IsNamedOrAttached(const TMailPart& part) {
    if (LowerAsciiCopy(part.HeaderValue("Content-Disposition")) == "attachment") return true;
    return !part.HeaderParam("Content-Disposition", "filename").empty() ||
           !part.HeaderParam("Content-Type", "name").empty();
}


// True when two parts are two forms of one text: the nearest container holding both is an
// alternative. Parts that meet in a mixed or related container below it (an HTML text split
// around a picture) belong to one form.
bool AlternativeForms(const TMailPart& first, const TMailPart& later) {
    auto depth = [](const TMailPart* p) {
        int n = 0;
        for (; p; p = p->ParentPart) ++n;
        return n;
    };
    const TMailPart* a = first.ParentPart;
    const TMailPart* b = later.ParentPart;
    int depthA = depth(a);
    int depthB = depth(b);
    for (; depthA > depthB; --depthA) a = a->ParentPart;
    for (; depthB > depthA; --depthB) b = b->ParentPart;
    while (a != b) {
        a = a->ParentPart;
        b = b->ParentPart;
    }
    return a && a->ContentTypeLower() == "multipart/alternative";
}

} // namespace

std::string TMailPart::TextUtf8() {
    DecodeBody();
    return ToUtf8(DecodedData, HeaderParam("Content-Type", "charset"));
}

TBodyText TMailPart::TextUtf8Body() {
    DecodeBody();
    std::string converted;
    const std::string_view text =
        Utf8View(DecodedData, HeaderParam("Content-Type", "charset"), converted);
    if (text.data() == converted.data()) return TBodyText::Own(std::move(converted));
    return DecodedData.Slice(text);
}

void TMailMessage::MapPart(TMailPart* part) {
    const std::string type = part->ContentTypeLower();
    if (type.compare(0, 10, "multipart/") == 0 && !part->SubParts.empty()) {
        if (!MixedContainer && type == "multipart/mixed") {
            MixedContainer = part;
        } else if (!RelatedContainer && type == "multipart/related") {
            RelatedContainer = part;
        } else if (!AlternativeContainer && type == "multipart/alternative") {
            AlternativeContainer = part;
        }
        for (const auto& sub : part->SubParts) MapPart(sub.get());
        return;
    }
    const std::string effective = part->EffectiveContentType();
    const bool plain = IsPlainType(effective);
    const bool html = effective == "text/html";
    if ((plain || html) && !IsNamedOrAttached(*part)) {
        part->DecodeBody();
        if (part->DecodedData.empty()) return; // an empty text is nothing to show or save
        TMailPart*& known = plain ? PlainTextPart : HtmlTextPart;
        TTextLines& lines = plain ? PlainTextLines : HtmlTextLines;
        if (!known) {
            known = part;
            lines.Assign(part->TextUtf8Body());
            return;
        }
        // A later text of the same kind in the same form adds to the shown text (a list
        // footer, the rest of a text split around a picture); another form of an alternative
        // is kept as an attachment.
        if (!AlternativeForms(*known, *part)) {
            ExtraTextParts.push_back(part);
            lines.Append(part->TextUtf8Body());
            return;
        }
    }
    part->IsEmbedded = false;
    for (const TMailPart* p = part->ParentPart; p; p = p->ParentPart) {
        if (p->ContentTypeLower() == "multipart/related") {
            part->IsEmbedded = true;
            break;
        }
        if (p->ContentTypeLower() != "multipart/alternative") break;
    }
    Attachments.push_back(part);
}

void TMailMessage::MapParts() {
    if (!PartMapStale) return;
    Attachments.clear();
    ExtraTextParts.clear();
    PlainTextPart = HtmlTextPart = nullptr;
    MixedContainer = RelatedContainer = AlternativeContainer = nullptr;
    PlainTextLines.clear();
    HtmlTextLines.clear();
    MapPart(this);
    PartMapStale = false;
}

TMimeStatus TMailMessage::LoadMessageFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return TMimeStatus::Failure("Cannot open message file " + path + ": not a readable file");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return TMimeStatus::Failure("Cannot open message file " + path + ": " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size < 0) {
        ::close(fd);
        return TMimeStatus::Failure("Cannot read message file " + path);
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    std::string text;
    ReserveLarge(text, size + 2);
    text.resize(size);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, text.data() + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got < size) return TMimeStatus::Failure("Cannot read message file " + path);
    // Lines may end in CR, LF or CR LF; each becomes CR LF, the last one included. Line breaks
    // are found a block at a time: every LF must follow a CR, and every CR precede an LF.
    bool clean = true;
    const char* data = text.data();
    for (const char* at = data; clean;) {
        at = static_cast<const char*>(std::memchr(at, '\n', size - static_cast<std::size_t>(at - data)));
        if (!at) break;
        clean = at > data && at[-1] == '\r';
        ++at;
    }
    for (const char* at = data; clean;) {
        at = static_cast<const char*>(std::memchr(at, '\r', size - static_cast<std::size_t>(at - data)));
        if (!at) break;
        clean = at + 1 < data + size && at[1] == '\n';
        ++at;
    }
    if (!clean) text = NormaliseLineBreaks(text);
    if (!text.empty() && (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0))
        text += "\r\n";
    ParseText(TBodyText::Own(std::move(text)), true);
    return {};
}

} // namespace pelmora
