#include "mime/mail_recipients.h"

#include "mime/charset.h"
#include "mime/encoded_words.h"
#include "mime/header_write.h"
#include "mime/mail_message.h"
#include "mime/mime_text.h"

#include <algorithm>
#include <array>

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
// address after it counts. Written into address, whose room is reused from entry to entry.
void AngleAddress(std::string_view text, std::string& address) {
    if (!text.empty() && text.front() != '@' &&
        std::none_of(text.begin(), text.end(), IsFoldingSpace)) {
        address.assign(text);
        return;
    }
    address.clear();
    for (char c : text) {
        if (!IsFoldingSpace(c)) address += c;
    }
    if (!address.empty() && address.front() == '@') {
        std::size_t colon = address.find(':');
        if (colon != std::string::npos) address.erase(0, colon + 1);
    }
}

constexpr int MaxCommentDepth = 50;

bool IsAscii(std::string_view text) {
    unsigned char any = 0;
    for (char c : text) any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

// DecodeWords of a collected phrase; a copy of it when there is nothing to decode. The
// collecting buffer keeps its room for the next entry, so a list of many thousand names costs
// one allocation per long name and none per short one.
std::string DecodedPhrase(std::string_view phrase) {
    for (std::size_t i = 0; i < phrase.size(); ++i) {
        const char c = phrase[i];
        if (c == '\0' || (c == '=' && i + 1 < phrase.size() && phrase[i + 1] == '?'))
            return DecodeWords(phrase);
    }
    if (!IsAscii(phrase) && !IsValidUtf8(phrase)) return DecodeWords(phrase);
    return std::string(TrimMail(phrase));
}

// HeaderBytesToUtf8 of a collected address; a copy of it when it is UTF-8 already.
std::string AddressUtf8(std::string_view address) {
    if (IsAscii(address) || IsValidUtf8(address)) return std::string(address);
    return HeaderBytesToUtf8(address);
}

} // namespace

// RFC 5322 address lists, leniently: quoted strings with backslash escapes, comments (nested,
// with escapes; a comment after a bare address is its display name), angle addresses,
// groups ("Team: a@x, b@y;" lists its members, never the group's name; "undisclosed-
// recipients:;" lists nobody), and "," or ";" between entries. Nothing fails: text that fits
// no rule is taken as it stands.
template <typename TAddEntry>
void ScanAddressList(std::string_view value, TAddEntry&& addEntry) {
    std::string phrase;     // display name, or a bare address, as collected
    std::string comment;    // text of the comments of the current entry
    std::string angle;      // address in angle brackets
    bool haveAngle = false;
    bool phraseQuoted = false; // the phrase holds a quoted string: it is a name, not an address
    bool pendingSpace = false;
    auto emit = [&] {
        TMailAddress entry;
        if (haveAngle) {
            entry.Name = DecodedPhrase(phrase);
            if (entry.Name.empty()) entry.Name = DecodedPhrase(comment);
            entry.Address = AddressUtf8(angle);
        } else if (phraseQuoted && phrase.find('@') == std::string::npos) {
            entry.Name = DecodedPhrase(phrase);
        } else {
            if (std::none_of(phrase.begin(), phrase.end(), IsFoldingSpace)) {
                entry.Address = AddressUtf8(phrase);
            } else {
                std::string address;
                for (char c : phrase) {
                    if (!IsFoldingSpace(c)) address += c;
                }
                entry.Address = AddressUtf8(address);
            }
            entry.Name = DecodedPhrase(comment);
        }
        // Empty entries (a trailing or doubled separator) name nobody and are skipped.
        if (!entry.Name.empty() || !entry.Address.empty())
            addEntry(std::move(entry.Name), std::move(entry.Address));
        phrase.clear();
        comment.clear();
        angle.clear();
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
            AngleAddress(value.substr(i + 1, end - i - 1), angle);
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
        std::size_t run = i;
        while (run < n && !RunStops[static_cast<unsigned char>(value[run])]) ++run;
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
    ScanAddressList(value, [&](std::string&& name, std::string&& address) {
        entries.push_back({std::move(name), std::move(address)});
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
    Names_.clear();
    Addresses_.clear();
    const std::string prefix = HeaderName + ":";
    // Room for about one entry per "@", so that a list of many thousand recipients is not
    // moved again and again as it grows.
    std::size_t expected = 0;
    for (const std::string& entry : OwningMessage->HeaderLines) {
        if (StartsWithNoCase(entry, prefix))
            expected += static_cast<std::size_t>(std::count(entry.begin(), entry.end(), '@'));
    }
    Names_.reserve(expected);
    Addresses_.reserve(expected);
    for (const std::string& entry : OwningMessage->HeaderLines) {
        if (!StartsWithNoCase(entry, prefix)) continue;
        ScanAddressList(std::string_view(entry).substr(prefix.size()),
                        [&](std::string&& name, std::string&& address) {
                            Names_.push_back(std::move(name));
                            Addresses_.push_back(std::move(address));
                        });
    }
    ParsedFrom_ = current;
    Parsed_ = true;
}

int TMailRecipients::Count() const {
    Refresh();
    return static_cast<int>(Addresses_.size());
}

namespace {
const std::string NoEntry;
} // namespace

const std::string& TMailRecipients::NameAt(int i) const {
    Refresh();
    return i >= 0 && i < static_cast<int>(Names_.size()) ? Names_[i] : NoEntry;
}

const std::string& TMailRecipients::AddressAt(int i) const {
    Refresh();
    return i >= 0 && i < static_cast<int>(Addresses_.size()) ? Addresses_[i] : NoEntry;
}

std::string TMailRecipients::NamesCommaText() const {
    Refresh();
    return CommaText(Names_);
}

std::string TMailRecipients::AddressesCommaText() const {
    Refresh();
    return CommaText(Addresses_);
}

const std::vector<std::string>& TMailRecipients::Names() const {
    Refresh();
    return Names_;
}

const std::vector<std::string>& TMailRecipients::Addresses() const {
    Refresh();
    return Addresses_;
}

void TMailRecipients::Add(std::string_view name, std::string_view address) {
    Refresh();
    Names_.emplace_back(name);
    Addresses_.emplace_back(address);
    WriteHeader();
}

void TMailRecipients::Clear() {
    Names_.clear();
    Addresses_.clear();
    WriteHeader();
}

void TMailRecipients::WriteHeader() {
    OwningMessage->RemoveHeader(HeaderName);
    if (!Addresses_.empty()) {
        std::string value;
        for (std::size_t i = 0; i < Addresses_.size(); ++i) {
            if (i > 0) value += ", ";
            value += FormatAddress(Names_[i], Addresses_[i], OwningMessage->Charset);
        }
        OwningMessage->SetHeaderValue(HeaderName, value);
    }
    ParsedFrom_ = CurrentMarker();
    Parsed_ = true;
}

} // namespace pelmora
