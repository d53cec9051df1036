#include "mime/mail_recipients.h"

#include "mime/charset.h"
#include "mime/encoded_words.h"
#include "mime/header_write.h"
#include "mime/mail_message.h"
#include "mime/mime_text.h"

#include <algorithm>
#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelmora {

namespace {

bool IsFoldingSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Characters that end a run of ordinary text in an address list: folding white space and
// the characters the list parser acts on.
constexpr std::array<bool, 256> MakeRunStops() {
    std::array<bool, 256> stops{};
    for (unsigned char c : std::string_view(" \t\r\n\"(<>:,;")) stops[c] = true;
    return stops;
}
constexpr std::array<bool, 256> RunStops = MakeRunStops();

// The end of the run of ordinary text that starts at i: the first run stop at or after i.
// Sixteen bytes at a time where the processor offers it; addresses are mostly runs of 15 to
// 30 bytes.
std::size_t RunEnd(std::string_view value, std::size_t i) {
    const std::size_t n = value.size();
#if defined(__SSE2__)
    const char* data = value.data();
    while (i + 16 <= n) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        __m128i hit = _mm_cmpeq_epi8(chunk, _mm_set1_epi8(' '));
        for (char stop : {'\t', '\r', '\n', '"', '(', '<', '>', ':', ',', ';'})
            hit = _mm_or_si128(hit, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(stop)));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
        i += 16;
    }
#endif
    while (i < n && !RunStops[static_cast<unsigned char>(value[i])]) ++i;
    return i;
}

// Appends text to a phrase with runs of white space made one space.
void AppendPhrase(std::string& phrase, std::string_view text, bool& pendingSpace) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsFoldingSpace(text[i])) {
            pendingSpace = !phrase.empty();
            ++i;
            continue;
        }
        std::size_t run = i + 1;
        while (run < text.size() && !IsFoldingSpace(text[run])) ++run;
        if (pendingSpace) phrase += ' ';
        pendingSpace = false;
        phrase.append(text.data() + i, run - i);
        i = run;
    }
}

// An angle address may carry an obsolete route ("<@relay,@relay2:user@host>"); only the
// address after it counts. The text itself when it holds neither a route nor white space,
// else the address written into buffer, whose room is reused from entry to entry.
std::string_view AngleAddress(std::string_view text, std::string& buffer) {
    if (!text.empty() && text.front() != '@' &&
        std::none_of(text.begin(), text.end(), IsFoldingSpace))
        return text;
    buffer.clear();
    for (char c : text) {
        if (!IsFoldingSpace(c)) buffer += c;
    }
    if (!buffer.empty() && buffer.front() == '@') {
        std::size_t colon = buffer.find(':');
        if (colon != std::string::npos) buffer.erase(0, colon + 1);
    }
    return buffer;
}

constexpr int MaxCommentDepth = 50;

bool IsAscii(std::string_view text) {
    unsigned char any = 0;
    for (char c : text) any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

// DecodeWords of a collected phrase, written into out; the trimmed phrase itself when there
// is nothing to decode. out keeps its room from entry to entry, so a list of many thousand
// names costs no allocation per name.
std::string_view DecodedPhrase(std::string_view phrase, std::string& out) {
    bool plain = true; // no NUL, no "=", no 8-bit byte: nothing to decode
    for (char c : phrase) {
        if (c == '\0' || c == '=' || static_cast<unsigned char>(c) >= 0x80) {
            plain = false;
            break;
        }
    }
    if (plain) return TrimMail(phrase);
    for (std::size_t i = 0; i < phrase.size(); ++i) {
        const char c = phrase[i];
        if (c == '\0' || (c == '=' && i + 1 < phrase.size() && phrase[i + 1] == '?')) {
            out = DecodeWords(phrase);
            return out;
        }
    }
    if (!IsAscii(phrase) && !IsValidUtf8(phrase)) {
        out = DecodeWords(phrase);
        return out;
    }
    return TrimMail(phrase);
}

// HeaderBytesToUtf8 of a collected address, written into out; the address itself when it is
// UTF-8 already.
std::string_view AddressUtf8(std::string_view address, std::string& out) {
    if (IsAscii(address) || IsValidUtf8(address)) return address;
    out = HeaderBytesToUtf8(address);
    return out;
}

} // namespace

// RFC 5322 address lists, leniently: quoted strings with backslash escapes, comments (nested,
// with escapes; a comment after a bare address is its display name), angle addresses,
// groups ("Team: a@x, b@y;" lists its members, never the group's name; "undisclosed-
// recipients:;" lists nobody), and "," or ";" between entries. Nothing fails: text that fits
// no rule is taken as it stands.
//
// The collecting buffers come from the caller, so that a header of thousands of lines reuses
// their room from line to line instead of allocating it again for every line.
struct TScanBuffers {
    std::string Phrase;   // display name, or a bare address, as collected
    std::string Comment;  // text of the comments of the current entry
    std::string Angle;    // address in angle brackets
    std::string Name;     // the entry's name and address as given to addEntry
    std::string Address;
    std::string Squeezed; // a bare address without its white space
};

template <typename TAddEntry>
void ScanAddressList(std::string_view value, TScanBuffers& buffers, TAddEntry&& addEntry) {
    std::string& phrase = buffers.Phrase;
    std::string& comment = buffers.Comment;
    std::string& angle = buffers.Angle;
    std::string& name = buffers.Name;
    std::string& address = buffers.Address;
    std::string& squeezed = buffers.Squeezed;
    phrase.clear();
    comment.clear();
    bool haveAngle = false;
    bool phraseQuoted = false; // the phrase holds a quoted string: it is a name, not an address
    bool pendingSpace = false;
    std::string_view angleAddress; // the address in angle brackets: in value or in angle
    auto emit = [&] {
        // Views into the value, the collecting buffers or name and address.
        std::string_view entryName;
        std::string_view entryAddress;
        if (haveAngle) {
            entryName = DecodedPhrase(phrase, name);
            if (entryName.empty()) entryName = DecodedPhrase(comment, name);
            entryAddress = AddressUtf8(angleAddress, address);
        } else if (phraseQuoted && phrase.find('@') == std::string::npos) {
            entryName = DecodedPhrase(phrase, name);
        } else {
            if (std::none_of(phrase.begin(), phrase.end(), IsFoldingSpace)) {
                entryAddress = AddressUtf8(phrase, address);
            } else {
                squeezed.clear();
                for (char c : phrase) {
                    if (!IsFoldingSpace(c)) squeezed += c;
                }
                entryAddress = AddressUtf8(squeezed, address);
            }
            entryName = DecodedPhrase(comment, name);
        }
        // Empty entries (a trailing or doubled separator) name nobody and are skipped.
        if (!entryName.empty() || !entryAddress.empty()) addEntry(entryName, entryAddress);
        phrase.clear();
        comment.clear();
        angleAddress = {};
        haveAngle = false;
        phraseQuoted = false;
        pendingSpace = false;
    };
    const std::size_t n = value.size();
    std::size_t i = 0;
    while (i < n) {
        char c = value[i];
        if (c == '"') {
            // quoted string; an unclosed one runs to the end
            if (pendingSpace && !phrase.empty()) phrase += ' ';
            pendingSpace = false;
            ++i;
            while (i < n && value[i] != '"') {
                if (value[i] == '\\' && i + 1 < n) ++i;
                std::size_t run = i + 1;
                while (run < n && value[run] != '"' && value[run] != '\\') ++run;
                phrase.append(value.data() + i, run - i);
                i = run;
            }
            ++i;
            phraseQuoted = true;
            continue;
        }
        if (c == '(') {
            int depth = 0;
            std::string text;
            while (i < n) {
                char d = value[i];
                if (d == '\\' && i + 1 < n) {
                    text += value[i + 1];
                    i += 2;
                    continue;
                }
                ++i;
                if (d == '(') {
                    if (depth++ > 0 && depth < MaxCommentDepth) text += d;
                    continue;
                }
                if (d == ')') {
                    if (--depth == 0) break;
                    text += d;
                    continue;
                }
                text += d;
            }
            if (!comment.empty()) comment += ' ';
            comment += TrimAllWhite(text);
            pendingSpace = !phrase.empty();
            continue;
        }
        if (c == '<') {
            std::size_t close = value.find('>', i + 1);
            std::size_t end = close == std::string_view::npos ? n : close;
            angleAddress = AngleAddress(value.substr(i + 1, end - i - 1), angle);
            haveAngle = true;
            i = end == n ? n : end + 1;
            continue;
        }
        if (c == ':' && !haveAngle) {
            // a group's name: what follows are its members
            phrase.clear();
            comment.clear();
            phraseQuoted = false;
            pendingSpace = false;
            ++i;
            continue;
        }
        if (c == ',' || c == ';') {
            emit();
            ++i;
            continue;
        }
        if (c == '>') {
            ++i;
            continue;
        }
        // Ordinary text: the run up to the next special character or white space goes in one
        // piece, so long lists cost no call per character.
        const std::size_t run = RunEnd(value, i);
        if (run == i) {
            AppendPhrase(phrase, value.substr(i, 1), pendingSpace); // white space, or a lone ':'
            ++i;
            continue;
        }
        if (pendingSpace) phrase += ' ';
        pendingSpace = false;
        phrase.append(value.data() + i, run - i);
        i = run;
    }
    emit();
}

std::vector<TMailAddress> ParseAddressList(std::string_view value) {
    std::vector<TMailAddress> entries;
    TScanBuffers buffers;
    ScanAddressList(value, buffers, [&](std::string_view name, std::string_view address) {
        entries.push_back({std::string(name), std::string(address)});
    });
    return entries;
}

TMailAddress ParseSenderValue(std::string_view value) {
    std::vector<TMailAddress> entries = ParseAddressList(value);
    if (entries.empty()) return {};
    return std::move(entries.front());
}

std::string FormatAddress(std::string_view name, std::string_view address, std::string_view charset) {
    std::string value;
    std::string_view trimmedName = TrimMail(name);
    if (!trimmedName.empty()) {
        value += EncodePhrase(trimmedName, charset);
        value += ' ';
    }
    value += '<';
    value += TrimMail(address);
    value += '>';
    return value;
}

std::string CommaText(const std::vector<std::string>& items) {
    if (items.size() == 1 && items.front().empty()) return "\"\"";
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += ',';
        const std::string& item = items[i];
        bool quote = false;
        for (char c : item) {
            if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == ',') {
                quote = true;
                break;
            }
        }
        if (!quote) {
            text += item;
            continue;
        }
        text += '"';
        for (char c : item) {
            if (c == '"') text += '"';
            text += c;
        }
        text += '"';
    }
    return text;
}

TMailRecipients::TMailRecipients(TMailMessage& owningMessage, std::string headerName)
    : OwningMessage(&owningMessage), HeaderName(std::move(headerName)) {}

TMailRecipients::TMarker TMailRecipients::CurrentMarker() const {
    const TMailMessage& message = *OwningMessage;
    TMarker marker;
    marker.Version = message.HeaderVersion;
    marker.Lines = message.HeaderLines.data();
    marker.LineCount = message.HeaderLines.size();
    int first = message.FindHeader(HeaderName);
    if (first >= 0) {
        marker.FirstEntry = message.HeaderLines[first].data();
        marker.FirstEntrySize = message.HeaderLines[first].size();
    }
    return marker;
}

void TMailRecipients::Refresh() const {
    TMarker current = CurrentMarker();
    if (Parsed_ && current == ParsedFrom_) return;
    Entries_.clear();
    Arena_.clear();
    Names_.clear();
    Addresses_.clear();
    StringsMade_ = false;
    const std::string prefix = HeaderName + ":";
    TScanBuffers buffers;
    for (const std::string& entry : OwningMessage->HeaderLines) {
        if (!StartsWithNoCase(entry, prefix)) continue;
        // Room for the line's text and an entry per 32 bytes of it (an address with a short
        // name), grown geometrically, so that a header of one long line is not moved again
        // and again and one of thousands of lines not once per line.
        const std::size_t text = Arena_.size() + entry.size();
        if (text > Arena_.capacity()) Arena_.reserve(std::max(text, 2 * Arena_.capacity()));
        const std::size_t entries = Entries_.size() + entry.size() / 32 + 1;
        if (entries > Entries_.capacity())
            Entries_.reserve(std::max(entries, 2 * Entries_.capacity()));
        ScanAddressList(std::string_view(entry).substr(prefix.size()), buffers,
                        [&](std::string_view name, std::string_view address) {
                            AppendEntry(name, address);
                        });
    }
    ParsedFrom_ = current;
    Parsed_ = true;
}

void TMailRecipients::AppendEntry(std::string_view name, std::string_view address) const {
    Entries_.push_back({Arena_.size(), name.size(), address.size()});
    Arena_ += name;
    Arena_ += address;
    if (StringsMade_) {
        Names_.emplace_back(name);
        Addresses_.emplace_back(address);
    }
}

void TMailRecipients::MakeStrings() const {
    Refresh();
    if (StringsMade_) return;
    Names_.clear();
    Addresses_.clear();
    Names_.reserve(Entries_.size());
    Addresses_.reserve(Entries_.size());
    for (const TEntry& entry : Entries_) {
        Names_.emplace_back(Arena_, entry.Begin, entry.NameSize);
        Addresses_.emplace_back(Arena_, entry.Begin + entry.NameSize, entry.AddressSize);
    }
    StringsMade_ = true;
}

int TMailRecipients::Count() const {
    Refresh();
    return static_cast<int>(Entries_.size());
}

namespace {
const std::string NoEntry;
} // namespace

const std::string& TMailRecipients::NameAt(int i) const {
    MakeStrings();
    return i >= 0 && i < static_cast<int>(Names_.size()) ? Names_[i] : NoEntry;
}

const std::string& TMailRecipients::AddressAt(int i) const {
    MakeStrings();
    return i >= 0 && i < static_cast<int>(Addresses_.size()) ? Addresses_[i] : NoEntry;
}

std::string_view TMailRecipients::NameView(int i) const {
    Refresh();
    if (i < 0 || i >= static_cast<int>(Entries_.size())) return {};
    const TEntry& entry = Entries_[i];
    return std::string_view(Arena_).substr(entry.Begin, entry.NameSize);
}

std::string_view TMailRecipients::AddressView(int i) const {
    Refresh();
    if (i < 0 || i >= static_cast<int>(Entries_.size())) return {};
    const TEntry& entry = Entries_[i];
    return std::string_view(Arena_).substr(entry.Begin + entry.NameSize, entry.AddressSize);
}

std::string TMailRecipients::ListingText() const {
    Refresh();
    std::string text;
    text.reserve(Arena_.size() + Entries_.size() * 5);
    const std::string_view arena(Arena_);
    for (const TEntry& entry : Entries_) {
        if (!text.empty()) text += "; ";
        const std::string_view name = arena.substr(entry.Begin, entry.NameSize);
        const std::string_view address = arena.substr(entry.Begin + entry.NameSize, entry.AddressSize);
        // A name of nothing but white space shows as no name.
        if (std::all_of(name.begin(), name.end(), IsFoldingSpace)) {
            text += address;
            continue;
        }
        text += name;
        text += " (";
        text += address;
        text += ')';
    }
    return text;
}

std::string TMailRecipients::NamesCommaText() const { return CommaText(Names()); }

std::string TMailRecipients::AddressesCommaText() const { return CommaText(Addresses()); }

const std::vector<std::string>& TMailRecipients::Names() const {
    MakeStrings();
    return Names_;
}

const std::vector<std::string>& TMailRecipients::Addresses() const {
    MakeStrings();
    return Addresses_;
}

void TMailRecipients::Add(std::string_view name, std::string_view address) {
    Refresh();
    AppendEntry(name, address);
    WriteHeader();
}

void TMailRecipients::Clear() {
    Entries_.clear();
    Arena_.clear();
    Names_.clear();
    Addresses_.clear();
    WriteHeader();
}

void TMailRecipients::WriteHeader() {
    OwningMessage->RemoveHeader(HeaderName);
    if (!Entries_.empty()) {
        const std::string_view arena(Arena_);
        std::string value;
        for (std::size_t i = 0; i < Entries_.size(); ++i) {
            if (i > 0) value += ", ";
            const TEntry& entry = Entries_[i];
            value += FormatAddress(arena.substr(entry.Begin, entry.NameSize),
                                   arena.substr(entry.Begin + entry.NameSize, entry.AddressSize),
                                   OwningMessage->Charset);
        }
        OwningMessage->SetHeaderValue(HeaderName, value);
    }
    ParsedFrom_ = CurrentMarker();
    Parsed_ = true;
}

} // namespace pelmora
