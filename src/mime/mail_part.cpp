#include "mime/mail_part.h"

#include "mime/base64.h"
#include "mime/charset.h"
#include "mime/header_fold.h"
#include "mime/mail_message.h"
#include "mime/mime_text.h"
#include "mime/quoted_printable.h"

#include <algorithm>

namespace pelmora {
namespace {

// Segments of an entry's text after the first ":", split at ";" outside double quotes.
struct TSegment {
    std::size_t Begin;
    std::size_t End;
};

std::vector<TSegment> SplitSegments(std::string_view entry, std::size_t from) {
    std::vector<TSegment> segments;
    bool quoted = false;
    std::size_t begin = from;
    for (std::size_t i = from; i < entry.size(); ++i) {
        char c = entry[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            segments.push_back({begin, i});
            begin = i + 1;
        }
    }
    segments.push_back({begin, entry.size()});
    return segments;
}

// End of the main value: the first ";" outside double quotes, or the end.
std::size_t MainValueEnd(std::string_view entry, std::size_t from) {
    bool quoted = false;
    for (std::size_t i = from; i < entry.size(); ++i) {
        if (entry[i] == '"') {
            quoted = !quoted;
        } else if (entry[i] == ';' && !quoted) {
            return i;
        }
    }
    return entry.size();
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// Trimmed value with one pair of enclosing double quotes removed, trimmed again, then one more
// pair of double or single quotes removed when the rest is longer than 2 characters.
std::string StripQuotes(std::string_view raw) {
    std::string_view value = TrimMail(raw);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    value = TrimMail(value);
    if (value.size() > 2 && IsQuote(value.front()) && IsQuote(value.back()))
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

// A header entry is one unfolded line: line breaks in a value written into it become spaces,
// so no value can start a header field of its own.
std::string OneLine(std::string_view value) {
    std::string line(TrimMail(value));
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return line;
}

bool EntryMatches(std::string_view entry, std::string_view name) {
    return entry.size() > name.size() && entry[name.size()] == ':' &&
           StartsWithNoCase(entry, name);
}

} // namespace

TMailPart::TMailPart(TMailMessage* owningMessage) : OwningMessage(owningMessage) {}

TMailPart::~TMailPart() {
    SubParts.clear();
    if (OwningMessage) OwningMessage->ForgetPart(this);
}

std::string_view TMailPart::ParentBoundary() const {
    if (!ParentPart || !ParentPart->SubPartBoundary_) return {};
    return *ParentPart->SubPartBoundary_;
}

void TMailPart::SetSubPartBoundary(std::string_view boundary) {
    if (!SubPartBoundary_)
        SubPartBoundary_ = std::make_unique<std::string>(boundary);
    else if (*SubPartBoundary_ != boundary)
        SubPartBoundary_->assign(boundary);
}

bool TMailPart::KeepRawHeader(std::string_view header) const {
    if (header.size() > UINT32_MAX) {
        DropRawHeader();
        return false;
    }
    RawHeaderData_ = header.data();
    RawHeaderSize_ = static_cast<std::uint32_t>(header.size());
    return true;
}

void TMailPart::NoteHeaderChange() {
    if (OwningMessage == this) ++static_cast<TMailMessage*>(this)->HeaderVersion;
}

const std::vector<std::string>& TMailPart::Header() const {
    MakeHeaderLines();
    return HeaderLines;
}

void TMailPart::MakeHeaderLines() const {
    if (RawHeaderSize_ == 0) return;
    if (HeaderLines.empty()) {
        std::string_view rest = RawHeader();
        while (!rest.empty()) {
            const std::size_t end = rest.find("\r\n");
            HeaderLines.push_back(NormaliseHeaderEntry(rest.substr(0, end)));
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
        }
    }
    DropRawHeader();
}

void TMailPart::MakeTreeHeaderLines() const {
    MakeHeaderLines();
    for (const auto& child : SubParts) child->MakeTreeHeaderLines();
}

std::string_view TMailPart::FindEntry(std::string_view name, int n) const {
    if (!HeaderLines.empty() || RawHeaderSize_ == 0) {
        for (const std::string& entry : HeaderLines) {
            if (EntryMatches(entry, name) && n-- == 0) return entry;
        }
        return {};
    }
    std::string_view rest = RawHeader();
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        const std::string_view entry = rest.substr(0, end);
        if (EntryMatches(entry, name) && n-- == 0) return entry;
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
    }
    return {};
}

int TMailPart::FindHeader(std::string_view name, int n) const {
    MakeHeaderLines();
    for (std::size_t i = 0; i < HeaderLines.size(); ++i) {
        if (EntryMatches(HeaderLines[i], name) && n-- == 0) return static_cast<int>(i);
    }
    return -1;
}

bool TMailPart::HasHeader(std::string_view name) const { return !FindEntry(name).empty(); }

std::string_view TMailPart::HeaderText(std::string_view name) const {
    std::string_view entry = FindEntry(name);
    if (entry.empty()) return {};
    return entry.substr(name.size() + 1);
}

std::string TMailPart::HeaderValue(std::string_view name) const {
    std::string_view entry = FindEntry(name);
    if (entry.empty()) return {};
    std::size_t from = name.size() + 1;
    return StripQuotes(entry.substr(from, MainValueEnd(entry, from) - from));
}

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = UpperAscii(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// RFC 2231 extended value: %XX escapes decoded, everything else kept.
void AppendPercentDecoded(std::string_view text, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int high = HexDigitValue(text[i + 1]);
            int low = HexDigitValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
}

// One section of an RFC 2231 parameter: "name*" (n 0, encoded), "name*n" or "name*n*".
struct TParamSection {
    int Number = 0;
    bool Encoded = false;
    std::string_view Value;
};

constexpr int MaxParamSections = 1000;

} // namespace

// Besides the plain form ("name=value"), the RFC 2231 forms are read: "name*=charset'lang'text"
// with %XX escapes, and continuations "name*0=", "name*1*=" ... joined in order. Such a value
// is given in UTF-8, converted from its charset, and wins over a plain value of the same name.
std::string TMailPart::HeaderParam(std::string_view name, std::string_view param) const {
    std::string_view entry = FindEntry(name);
    if (entry.empty()) return {};
    auto segments = SplitSegments(entry, name.size() + 1);
    std::string plain;
    bool havePlain = false;
    std::vector<TParamSection> sections;
    for (std::size_t s = 1; s < segments.size(); ++s) {
        std::string_view segment = entry.substr(segments[s].Begin, segments[s].End - segments[s].Begin);
        std::size_t eq = segment.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = TrimAllWhite(segment.substr(0, eq));
        if (key.size() < param.size() || !EqualsNoCase(key.substr(0, param.size()), param)) continue;
        std::string_view rest = key.substr(param.size());
        std::string_view value = segment.substr(eq + 1);
        if (rest.empty()) {
            if (!havePlain) plain = StripQuotes(value);
            havePlain = true;
            continue;
        }
        if (rest.front() != '*') continue;
        rest.remove_prefix(1);
        TParamSection section;
        section.Value = value;
        if (rest.empty()) {
            section.Encoded = true;
        } else {
            bool encoded = rest.back() == '*';
            if (encoded) rest.remove_suffix(1);
            std::optional<int> number = WholeNumber(rest);
            if (!number || *number < 0 || *number >= MaxParamSections) continue;
            section.Number = *number;
            section.Encoded = encoded;
        }
        sections.push_back(section);
    }
    if (sections.empty()) return plain;
    std::stable_sort(sections.begin(), sections.end(),
                     [](const TParamSection& a, const TParamSection& b) { return a.Number < b.Number; });
    std::string charset;
    std::string bytes;
    int expected = sections.front().Number;
    for (std::size_t k = 0; k < sections.size(); ++k) {
        const TParamSection& section = sections[k];
        if (section.Number != expected) {
            if (section.Number < expected) continue; // a repeated section number
            break;                                   // a gap ends the value
        }
        ++expected;
        std::string_view value = TrimAllWhite(section.Value);
        if (!section.Encoded) {
            bytes += StripQuotes(value);
            continue;
        }
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (k == 0) {
            // charset'language'text; both quotes are required, the fields may be empty
            std::size_t first = value.find('\'');
            std::size_t second = first == std::string_view::npos ? first : value.find('\'', first + 1);
            if (second != std::string_view::npos) {
                charset = std::string(value.substr(0, first));
                value = value.substr(second + 1);
            }
        }
        AppendPercentDecoded(value, bytes);
    }
    return ToUtf8(bytes, charset);
}

bool TMailPart::HasHeaderParam(std::string_view name, std::string_view param) const {
    return !HeaderParam(name, param).empty();
}

void TMailPart::SetHeaderValue(std::string_view name, std::string_view value) {
    NoteHeaderChange();
    int index = FindHeader(name);
    if (value.empty()) {
        if (index >= 0) HeaderLines.erase(HeaderLines.begin() + index);
        return;
    }
    if (index < 0) {
        HeaderLines.push_back(std::string(name) + ": ");
        index = static_cast<int>(HeaderLines.size()) - 1;
    }
    std::string& entry = HeaderLines[index];
    std::size_t from = name.size() + 1;
    std::size_t end = MainValueEnd(entry, from);
    std::string replacement = " ";
    replacement += OneLine(value);
    entry.replace(from, end - from, replacement);
}

void TMailPart::SetHeaderParam(std::string_view name, std::string_view param,
                               std::string_view value) {
    NoteHeaderChange();
    int index = FindHeader(name);
    if (index < 0) {
        HeaderLines.push_back(std::string(name) + ": ");
        index = static_cast<int>(HeaderLines.size()) - 1;
    }
    std::string& entry = HeaderLines[index];
    auto segments = SplitSegments(entry, name.size() + 1);
    for (std::size_t s = 1; s < segments.size(); ++s) {
        std::string_view segment(entry.data() + segments[s].Begin, segments[s].End - segments[s].Begin);
        std::size_t eq = segment.find('=');
        if (eq == std::string_view::npos) continue;
        if (!EqualsNoCase(TrimMail(segment.substr(0, eq)), param)) continue;
        std::size_t valueBegin = segments[s].Begin + eq + 1;
        entry.replace(valueBegin, segments[s].End - valueBegin, OneLine(value));
        return;
    }
    std::string rebuilt(TrimMail(entry));
    rebuilt += "; ";
    rebuilt += OneLine(param);
    rebuilt += '=';
    rebuilt += OneLine(value);
    entry = std::move(rebuilt);
}

void TMailPart::RemoveHeader(std::string_view name) {
    NoteHeaderChange();
    MakeHeaderLines();
    std::erase_if(HeaderLines, [name](const std::string& entry) { return EntryMatches(entry, name); });
}

std::string TMailPart::ContentTypeLower() const { return LowerAsciiCopy(HeaderValue("Content-Type")); }

std::string TMailPart::Boundary() const { return HeaderParam("Content-Type", "boundary"); }

TMailPart* TMailPart::AddSubPart(std::string_view parentBoundary) {
    return InsertSubPart(SubParts.size(), parentBoundary);
}

TMailPart* TMailPart::InsertSubPart(std::size_t index, std::string_view parentBoundary) {
    auto part = std::make_unique<TMailPart>(OwningMessage);
    part->ParentPart = this;
    SetSubPartBoundary(parentBoundary);
    TMailPart* raw = part.get();
    SubParts.insert(SubParts.begin() + static_cast<std::ptrdiff_t>(std::min(index, SubParts.size())),
                    std::move(part));
    return raw;
}

std::unique_ptr<TMailPart> TMailPart::DetachSubPart(const TMailPart* child) {
    auto found = std::find_if(SubParts.begin(), SubParts.end(),
                              [child](const auto& part) { return part.get() == child; });
    if (found == SubParts.end()) return nullptr;
    std::unique_ptr<TMailPart> detached = std::move(*found);
    // The slices lie in a text the message keeps: a part that leaves it takes lines of its own.
    detached->MakeTreeHeaderLines();
    SubParts.erase(found);
    detached->ParentPart = nullptr;
    return detached;
}

void TMailPart::ClearSubParts() { SubParts.clear(); }

std::string TMailPart::FullText() const {
    std::string header;
    for (const std::string& entry : Header()) {
        // An empty entry would end the header early and push the rest into the body.
        if (entry.empty()) continue;
        header += entry;
        header += "\r\n";
    }
    std::string text = FoldHeaderText(header);
    // With room for the ".\r\n" that ends the text on the way to a mail server.
    text.reserve(text.size() + 2 + RawBody.size() + 3);
    text += "\r\n";
    text += RawBody;
    return text;
}

void TMailPart::EncodeBody(TEncodingType encoding) {
    switch (encoding) {
    case etBase64:
        RawBody.clear();
        EncodeBase64To(DecodedData, RawBody.Mutable());
        SetHeaderValue("Content-Transfer-Encoding", "base64");
        break;
    case etQuotedPrintable:
        RawBody.clear();
        SetHeaderValue("Content-Transfer-Encoding", "quoted-printable");
        if (!DecodedData.empty()) RawBody = EncodeQuotedPrintable(DecodedData, TQpMode::Body);
        break;
    case etNoEncoding:
        RawBody = DecodedData;
        RemoveHeader("Content-Transfer-Encoding");
        break;
    }
}

} // namespace pelmora
