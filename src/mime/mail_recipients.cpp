#include "mime/mail_recipients.h"

#include "mime/charset.h"
#include "mime/encoded_words.h"
#include "mime/header_write.h"
#include "mime/mail_message.h"
#include "mime/mime_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelmora {

namespace {

bool IsFoldingSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// What a short text holds that matters for taking it as a name or an address: bytes of 128
// or more, "=" or NUL (an encoded word, or a byte no header text keeps), folding white space.
// Kept as bits of one word: flags in separate bytes cost a stalled read when handed back.
struct TByteKinds {
    static constexpr unsigned HighBit = 1;
    static constexpr unsigned EqualsOrNulBit = 2;
    static constexpr unsigned SpaceBit = 4;
    unsigned Bits = 0;
    bool High() const { return (Bits & HighBit) != 0; }
    bool EqualsOrNul() const { return (Bits & EqualsOrNulBit) != 0; }
    bool Space() const { return (Bits & SpaceBit) != 0; }
};

namespace swar {
constexpr std::uint64_t Ones = 0x0101010101010101ULL;
constexpr std::uint64_t Highs = 0x8080808080808080ULL;
constexpr std::uint64_t ZeroBytes(std::uint64_t v) { return (v - Ones) & ~v & Highs; }
constexpr std::uint64_t Bytes(std::uint64_t v, char c) {
    return ZeroBytes(v ^ (Ones * static_cast<unsigned char>(c)));
}
unsigned Kinds(std::uint64_t v) {
    const std::uint64_t special = ZeroBytes(v) | Bytes(v, '=');
    const std::uint64_t space = Bytes(v, ' ') | Bytes(v, '\t') | Bytes(v, '\r') | Bytes(v, '\n');
    return ((v & Highs) != 0 ? TByteKinds::HighBit : 0u) |
           (special != 0 ? TByteKinds::EqualsOrNulBit : 0u) |
           (space != 0 ? TByteKinds::SpaceBit : 0u);
}
} // namespace swar

[[gnu::always_inline]] inline unsigned CharKinds(char c) {
    return (static_cast<unsigned char>(c) >= 0x80 ? TByteKinds::HighBit : 0u) |
           (c == '=' || c == '\0' ? TByteKinds::EqualsOrNulBit : 0u) |
           (IsFoldingSpace(c) ? TByteKinds::SpaceBit : 0u);
}

#if defined(__SSE2__)
// Bit i set when byte i of the chunk is one of Chars.
template <char... Chars>
[[gnu::always_inline]] inline int CharMask(__m128i chunk) {
    __m128i hit = _mm_setzero_si128();
    ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(Chars)))), ...);
    return _mm_movemask_epi8(hit);
}
#endif

// A set of bytes to stop at, given as the bytes themselves.
template <char... Chars>
struct TStopAt {
    static constexpr bool StopsAtSpace = ((Chars == ' ') || ...) && ((Chars == '\t') || ...) &&
                                         ((Chars == '\r') || ...) && ((Chars == '\n') || ...);
    static constexpr bool StopsAtNul = ((Chars == '\0') || ...);
    static bool Is(char c) { return ((c == Chars) || ...); }
#if defined(__SSE2__)
    [[gnu::always_inline]] static int Mask(__m128i chunk) { return CharMask<Chars...>(chunk); }
#endif
};

// Where a run of ordinary text in an address list ends: at white space or any other control
// character, and at the characters the list reader acts on (" ( < > : , ;). The pairs ( ,
// and : ; and < > differ in one bit each, so a chunk is tested with five comparisons, not
// eleven.
struct TRunStops {
    static constexpr bool StopsAtSpace = true;
    static constexpr bool StopsAtNul = true;
    static bool Is(char c) {
        return static_cast<unsigned char>(c) <= ' ' || c == '"' || (c | 4) == ',' ||
               (c | 1) == ';' || (c | 2) == '>';
    }
#if defined(__SSE2__)
    [[gnu::always_inline]] static int Mask(__m128i chunk) {
        const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(chunk, _mm_set1_epi8(' ')), chunk);
        const __m128i quote = _mm_cmpeq_epi8(chunk, _mm_set1_epi8('"'));
        auto pair = [&](char bit, char c) {
            return _mm_cmpeq_epi8(_mm_or_si128(chunk, _mm_set1_epi8(bit)), _mm_set1_epi8(c));
        };
        return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(control, quote),
                                              _mm_or_si128(pair(4, ','), _mm_or_si128(pair(1, ';'), pair(2, '>')))));
    }
#endif
};

#if defined(__SSE2__)
// The kinds of the bytes of a chunk whose bit is set in valid, leaving out what the caller
// stops at, so that no byte passed over can be one.
template <typename TStops>
[[gnu::always_inline]] inline unsigned ChunkKinds(__m128i chunk, int valid) {
    unsigned bits = (_mm_movemask_epi8(chunk) & valid) != 0 ? TByteKinds::HighBit : 0u;
    const int special = TStops::StopsAtNul ? CharMask<'='>(chunk) : CharMask<'=', '\0'>(chunk);
    if ((special & valid) != 0) bits |= TByteKinds::EqualsOrNulBit;
    if constexpr (!TStops::StopsAtSpace)
        bits |= (CharMask<' ', '\t', '\r', '\n'>(chunk) & valid) != 0 ? TByteKinds::SpaceBit : 0u;
    return bits;
}
#endif

// The first byte of TStops at or after i, or the end of the text; the kinds of the bytes
// passed over are added to bits, so that a name or an address is classified while it is
// found. Sixteen bytes at a time where the processor offers it, the last sixteen of a text
// read once more rather than byte by byte: names and addresses are mostly runs of 10 to 30
// bytes.
template <typename TStops>
[[gnu::always_inline]] inline std::size_t FindStop(std::string_view text, std::size_t i, unsigned& bits) {
    const std::size_t n = text.size();
    const char* data = text.data();
#if defined(__SSE2__)
    if (n >= 16) {
        for (; i + 16 <= n; i += 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            const int mask = TStops::Mask(chunk);
            if (mask != 0) {
                bits |= ChunkKinds<TStops>(chunk, (mask & -mask) - 1);
                return i + static_cast<std::size_t>(__builtin_ctz(mask));
            }
            bits |= ChunkKinds<TStops>(chunk, 0xFFFF);
        }
        if (i >= n) return n;
        const std::size_t last = n - 16;
        const int shift = static_cast<int>(i - last);
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + last));
        const int mask = TStops::Mask(chunk) >> shift;
        const int passed = mask != 0 ? (mask & -mask) - 1 : 0xFFFF >> shift;
        bits |= ChunkKinds<TStops>(chunk, passed << shift);
        return mask != 0 ? i + static_cast<std::size_t>(__builtin_ctz(mask)) : n;
    }
#endif
    for (; i < n; ++i) {
        const char c = data[i];
        if (TStops::Is(c)) return i;
        bits |= CharKinds(c);
    }
    return n;
}

// The end of the run of ordinary text that starts at i: the next white space, control
// character or character the list parser acts on.
[[gnu::always_inline]] inline std::size_t RunEnd(std::string_view value, std::size_t i, unsigned& bits) {
    return FindStop<TRunStops>(value, i, bits);
}

TByteKinds KindsOf(std::string_view text) {
    const char* data = text.data();
    const std::size_t n = text.size();
#if defined(__SSE2__)
    if (n >= 16) {
        int high = 0;
        int special = 0;
        int space = 0;
        auto add = [&](std::size_t at) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
            high |= _mm_movemask_epi8(chunk);
            special |= CharMask<'=', '\0'>(chunk);
            space |= CharMask<' ', '\t', '\r', '\n'>(chunk);
        };
        std::size_t i = 0;
        for (; i + 16 <= n; i += 16) add(i);
        if (i < n) add(n - 16);
        return {(high != 0 ? TByteKinds::HighBit : 0u) |
                (special != 0 ? TByteKinds::EqualsOrNulBit : 0u) |
                (space != 0 ? TByteKinds::SpaceBit : 0u)};
    }
#endif
    if (n >= 8 && n <= 16) {
        std::uint64_t first;
        std::uint64_t last;
        std::memcpy(&first, data, 8);
        std::memcpy(&last, data + n - 8, 8);
        return {swar::Kinds(first) | swar::Kinds(last)};
    }
    unsigned bits = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = data[i];
        if (static_cast<unsigned char>(c) >= 0x80) bits |= TByteKinds::HighBit;
        if (c == '=' || c == '\0') bits |= TByteKinds::EqualsOrNulBit;
        if (IsFoldingSpace(c)) bits |= TByteKinds::SpaceBit;
    }
    return {bits};
}



// Copies a piece of an entry into the listing text; names and addresses are mostly 8 to 32
// bytes, copied here in two overlapping moves instead of a call per piece.
[[gnu::always_inline]] inline char* CopyPiece(char* to, std::string_view piece) {
    const char* from = piece.data();
    const std::size_t n = piece.size();
    if (n >= 8 && n <= 16) {
        std::uint64_t a;
        std::uint64_t b;
        std::memcpy(&a, from, 8);
        std::memcpy(&b, from + n - 8, 8);
        std::memcpy(to, &a, 8);
        std::memcpy(to + n - 8, &b, 8);
#if defined(__SSE2__)
    } else if (n > 16 && n <= 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + n - 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + n - 16), b);
#endif
    } else if (n != 0) {
        std::memcpy(to, from, n);
    }
    return to + n;
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
// else the address written into buffer, whose room is reused from entry to entry. kinds: what
// the text holds. The common case is inline, the rest in AngleAddressRewritten.
[[gnu::noinline]] std::string_view AngleAddressRewritten(std::string_view text, std::string& buffer) {
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

[[gnu::always_inline]] inline std::string_view AngleAddress(std::string_view text, TByteKinds kinds,
                                                            std::string& buffer) {
    if (!text.empty() && text.front() != '@' && !kinds.Space()) return text;
    return AngleAddressRewritten(text, buffer);
}

constexpr int MaxCommentDepth = 50;

// DecodeWords of a collected phrase, written into out; the trimmed phrase itself when there
// is nothing to decode. kinds: what the phrase holds. out keeps its room from entry to entry,
// so a list of many thousand names costs no allocation per name. A phrase of plain or UTF-8
// text, nearly every name, is taken inline; the rest in DecodedPhraseText.
[[gnu::noinline]] std::string_view DecodedPhraseText(std::string_view phrase, TByteKinds kinds,
                                                     std::string& out) {
    if (kinds.EqualsOrNul()) {
        for (std::size_t i = 0; i < phrase.size(); ++i) {
            const char c = phrase[i];
            if (c == '\0' || (c == '=' && i + 1 < phrase.size() && phrase[i + 1] == '?')) {
                DecodeWordsTo(phrase, out);
                return out;
            }
        }
    }
    if (kinds.High() && !IsValidUtf8(phrase)) {
        DecodeWordsTo(phrase, out);
        return out;
    }
    return TrimMail(phrase);
}

[[gnu::always_inline]] inline std::string_view DecodedPhrase(std::string_view phrase, TByteKinds kinds,
                                                             std::string& out) {
    if (!kinds.EqualsOrNul() && (!kinds.High() || IsValidUtf8(phrase))) return TrimMail(phrase);
    return DecodedPhraseText(phrase, kinds, out);
}

// HeaderBytesToUtf8 of a collected address, written into out; the address itself when it is
// UTF-8 already. high: whether the address holds bytes of 128 or more.
[[gnu::always_inline]] inline std::string_view AddressUtf8(std::string_view address, bool high,
                                                           std::string& out) {
    if (!high || IsValidUtf8(address)) return address;
    out = HeaderBytesToUtf8(address);
    return out;
}

// Whether a header line starts with "Name:", the name's letters in any case. A header of
// thousands of lines asks this once a line.
bool StartsWithName(std::string_view line, std::string_view prefix) {
    if (line.size() < prefix.size() || line[prefix.size() - 1] != prefix.back()) return false;
    for (std::size_t k = 0; k + 1 < prefix.size(); ++k) {
        const unsigned char a = static_cast<unsigned char>(line[k]);
        const unsigned char b = static_cast<unsigned char>(prefix[k]);
        if (a != b && ((a | 0x20) != (b | 0x20) || static_cast<unsigned char>((b | 0x20) - 'a') > 25))
            return false;
    }
    return true;
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
    unsigned phraseBits = 0;       // the kinds of the phrase's bytes (TByteKinds)
    std::string_view angleAddress; // the address in angle brackets: in value or in angle
    TByteKinds angleKinds;
    auto emit = [&] {
        // Views into the value, the collecting buffers or name and address.
        std::string_view entryName;
        std::string_view entryAddress;
        if (haveAngle) {
            entryName = DecodedPhrase(phrase, {phraseBits}, name);
            if (entryName.empty() && !comment.empty())
                entryName = DecodedPhrase(comment, KindsOf(comment), name);
            entryAddress = AddressUtf8(angleAddress, angleKinds.High(), address);
        } else if (phraseQuoted && phrase.find('@') == std::string::npos) {
            entryName = DecodedPhrase(phrase, {phraseBits}, name);
        } else {
            const TByteKinds kinds{phraseBits};
            if (!kinds.Space()) {
                entryAddress = AddressUtf8(phrase, kinds.High(), address);
            } else {
                squeezed.clear();
                for (char c : phrase) {
                    if (!IsFoldingSpace(c)) squeezed += c;
                }
                entryAddress = AddressUtf8(squeezed, kinds.High(), address);
            }
            if (!comment.empty()) entryName = DecodedPhrase(comment, KindsOf(comment), name);
        }
        // Empty entries (a trailing or doubled separator) name nobody and are skipped.
        if (!entryName.empty() || !entryAddress.empty()) addEntry(entryName, entryAddress);
        phrase.clear();
        phraseBits = 0;
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
            if (pendingSpace && !phrase.empty()) {
                phrase += ' ';
                phraseBits |= TByteKinds::SpaceBit;
            }
            pendingSpace = false;
            ++i;
            while (i < n && value[i] != '"') {
                if (value[i] == '\\' && i + 1 < n) ++i;
                phraseBits |= CharKinds(value[i]);
                const std::size_t run = FindStop<TStopAt<'"', '\\'>>(value, i + 1, phraseBits);
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
            angleKinds = {};
            const std::size_t end = FindStop<TStopAt<'>'>>(value, i + 1, angleKinds.Bits);
            angleAddress = AngleAddress(value.substr(i + 1, end - i - 1), angleKinds, angle);
            haveAngle = true;
            i = end == n ? n : end + 1;
            continue;
        }
        if (c == ':' && !haveAngle) {
            // a group's name: what follows are its members
            phrase.clear();
            phraseBits = 0;
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
        if (IsFoldingSpace(c)) {
            pendingSpace = !phrase.empty();
            ++i;
            continue;
        }
        // Ordinary text: the run up to the next special character or white space goes in one
        // piece, so long lists cost no call per character.
        const std::size_t run = RunEnd(value, i, phraseBits);
        if (run == i) {
            AppendPhrase(phrase, value.substr(i, 1), pendingSpace); // a lone ":" or control
            phraseBits |= KindsOf(phrase).Bits;
            ++i;
            continue;
        }
        if (pendingSpace) {
            phrase += ' ';
            phraseBits |= TByteKinds::SpaceBit;
        }
        pendingSpace = false;
        phrase.append(value.data() + i, run - i);
        i = run;
    }
    emit();
}

// The shapes nearly every list is made of, read without collecting anything: a bare address,
// "quoted name" <address>, name words <address> and <address>, each followed by "," or ";" or
// the end. Entries go to addEntry as views into the value or the buffers. False as soon as the
// value holds anything else (comments, groups, escapes, stray brackets, words without
// brackets): the caller then drops what was added and reads the value with ScanAddressList,
// which gives the same entries for these shapes.
template <typename TAddEntry>
bool ScanSimpleList(std::string_view value, TScanBuffers& buffers, TAddEntry&& addEntry) {
    const std::size_t n = value.size();
    const char* data = value.data();
    std::size_t i = 0;
    auto skipSpace = [&] {
        while (i < n && IsFoldingSpace(data[i])) ++i;
    };
    for (;;) {
        skipSpace();
        if (i == n) return true;
        std::string_view phrase;
        unsigned phraseBits = 0;
        if (data[i] == '"') {
            const std::size_t close = FindStop<TStopAt<'"', '\\'>>(value, i + 1, phraseBits);
            if (close == n || data[close] != '"') return false;
            phrase = value.substr(i + 1, close - i - 1);
            i = close + 1;
            skipSpace();
        } else if (data[i] != '<') {
            const std::size_t begin = i;
            std::size_t end;
            bool words = false;
            for (;;) {
                end = RunEnd(value, i, phraseBits);
                if (end == i) return false;
                // One space and another word: the name goes on, as the reader joins it.
                if (end + 1 < n && data[end] == ' ' && !IsFoldingSpace(data[end + 1]) &&
                    data[end + 1] != '<') {
                    i = end + 1;
                    words = true;
                    continue;
                }
                break;
            }
            phrase = value.substr(begin, end - begin);
            i = end;
            skipSpace();
            if (i == n || data[i] == ',' || data[i] == ';') {
                if (words) return false; // words without brackets: the reader squeezes them
                addEntry(std::string_view(), AddressUtf8(phrase, TByteKinds{phraseBits}.High(),
                                                         buffers.Address));
                if (i < n) ++i;
                continue;
            }
        }
        if (i == n || data[i] != '<') return false;
        TByteKinds angleKinds;
        const std::size_t close = FindStop<TStopAt<'>'>>(value, i + 1, angleKinds.Bits);
        if (close == n) return false;
        const std::string_view angle =
            AngleAddress(value.substr(i + 1, close - i - 1), angleKinds, buffers.Angle);
        i = close + 1;
        skipSpace();
        if (i < n && data[i] != ',' && data[i] != ';') return false;
        const std::string_view name = DecodedPhrase(phrase, TByteKinds{phraseBits}, buffers.Name);
        const std::string_view address = AddressUtf8(angle, angleKinds.High(), buffers.Address);
        if (!name.empty() || !address.empty()) addEntry(name, address);
        if (i < n) ++i;
    }
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
    ArenaSize_ = 0;
    Names_.clear();
    Addresses_.clear();
    StringsMade_ = false;
    if (current.FirstEntry == nullptr) {
        ParsedFrom_ = current;
        Parsed_ = true;
        return;
    }
    const std::string prefix = HeaderName + ":";
    // Room for the text of the whole header and an entry per 32 bytes of it (an address with
    // a short name), taken at once: the listing text is at most about as long as the lines it
    // is read from, so a header of thousands of lines is not moved as it grows. The sizes are
    // read from the line list itself, without visiting the text of every line.
    const std::vector<std::string>& lines = OwningMessage->HeaderLines;
    std::size_t headerBytes = 0;
    for (const std::string& entry : lines) headerBytes += entry.size();
    ReserveArena(headerBytes + headerBytes / 8);
    Entries_.reserve(lines.size() + headerBytes / 32);
    TScanBuffers buffers;
    for (const std::string& entry : lines) {
        if (!StartsWithName(entry, prefix)) continue;
        const std::string_view value = std::string_view(entry).substr(prefix.size());
        auto add = [&](std::string_view name, std::string_view address) {
            AppendEntry(name, address);
        };
        const std::size_t arenaSize = ArenaSize_;
        const std::size_t entryCount = Entries_.size();
        if (!ScanSimpleList(value, buffers, add)) {
            ArenaSize_ = arenaSize;
            Entries_.resize(entryCount);
            ScanAddressList(value, buffers, add);
        }
    }
    ParsedFrom_ = current;
    Parsed_ = true;
}

void TMailRecipients::ReserveArena(std::size_t bytes) const {
    if (ArenaSize_ + bytes <= ArenaRoom_) return;
    const std::size_t room = std::max(ArenaSize_ + bytes, 2 * ArenaRoom_);
    auto fresh = std::make_unique_for_overwrite<char[]>(room);
    if (ArenaSize_ > 0) std::memcpy(fresh.get(), Arena_.get(), ArenaSize_);
    Arena_ = std::move(fresh);
    ArenaRoom_ = room;
}

void TMailRecipients::AppendEntry(std::string_view name, std::string_view address) const {
    // A name of nothing but white space shows as no name, and is kept as none.
    if (!name.empty() && IsFoldingSpace(name.front()) &&
        std::all_of(name.begin(), name.end(), IsFoldingSpace))
        name = {};
    // "; " name " (" address ")"
    ReserveArena(name.size() + address.size() + 5);
    char* const start = Arena_.get();
    char* to = start + ArenaSize_;
    if (!Entries_.empty()) {
        std::memcpy(to, "; ", 2);
        to += 2;
    }
    const std::size_t begin = static_cast<std::size_t>(to - start);
    Entries_.push_back({begin, name.size(), address.size()});
    if (name.empty()) {
        to = CopyPiece(to, address);
    } else {
        to = CopyPiece(to, name);
        std::memcpy(to, " (", 2);
        to = CopyPiece(to + 2, address);
        *to++ = ')';
    }
    ArenaSize_ = static_cast<std::size_t>(to - start);
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
        Names_.emplace_back(ArenaView().substr(entry.Begin, entry.NameSize));
        Addresses_.emplace_back(ArenaView().substr(entry.AddressBegin(), entry.AddressSize));
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
    return ArenaView().substr(entry.Begin, entry.NameSize);
}

std::string_view TMailRecipients::AddressView(int i) const {
    Refresh();
    if (i < 0 || i >= static_cast<int>(Entries_.size())) return {};
    const TEntry& entry = Entries_[i];
    return ArenaView().substr(entry.AddressBegin(), entry.AddressSize);
}

std::string_view TMailRecipients::ListingView() const {
    Refresh();
    return ArenaView();
}

std::string TMailRecipients::ListingText() const { return std::string(ListingView()); }

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
    ArenaSize_ = 0;
    Names_.clear();
    Addresses_.clear();
    WriteHeader();
}

void TMailRecipients::WriteHeader() {
    OwningMessage->RemoveHeader(HeaderName);
    if (!Entries_.empty()) {
        const std::string_view arena = ArenaView();
        std::string value;
        for (std::size_t i = 0; i < Entries_.size(); ++i) {
            if (i > 0) value += ", ";
            const TEntry& entry = Entries_[i];
            value += FormatAddress(arena.substr(entry.Begin, entry.NameSize),
                                   arena.substr(entry.AddressBegin(), entry.AddressSize),
                                   OwningMessage->Charset);
        }
        OwningMessage->SetHeaderValue(HeaderName, value);
    }
    ParsedFrom_ = CurrentMarker();
    Parsed_ = true;
}

} // namespace pelmora
