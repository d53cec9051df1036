#include "mime/quoted_printable.h"

#include "mime/large_buffer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelmora {
namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr std::size_t MaxLineBeforeSoftBreak = 71;

// Characters written as themselves (CR and LF are decided by their neighbours).
constexpr std::array<bool, 256> MakeLiteralTable(bool header) {
    std::array<bool, 256> table{};
    for (int c = 0; c < 128; ++c) table[c] = c >= 32 || c == '\t';
    table['='] = false;
    if (header) {
        for (int c = 0; c <= 32; ++c) table[c] = false;
        for (char c : {'"', '\'', '(', ')', '<', '>', '?', '_'}) table[static_cast<unsigned char>(c)] = false;
    }
    return table;
}

constexpr std::array<bool, 256> BodyLiteral = MakeLiteralTable(false);
constexpr std::array<bool, 256> HeaderLiteral = MakeLiteralTable(true);

constexpr std::array<signed char, 256> MakeHexTable() {
    std::array<signed char, 256> table{};
    for (auto& v : table) v = -1;
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<signed char>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<signed char>(c - 'A' + 10);
    // Lower-case digits are accepted too: many senders write them.
    for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<signed char>(c - 'a' + 10);
    return table;
}

constexpr std::array<signed char, 256> HexValue = MakeHexTable();

void AppendEscape(std::string& out, unsigned char c) {
    out += '=';
    out += HexDigits[c >> 4];
    out += HexDigits[c & 15];
}

std::string EncodeHeader(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (HeaderLiteral[c]) {
            out += ch;
        } else {
            AppendEscape(out, c);
        }
    }
    return out;
}

// Body mode in one pass: trailing white space before a line break is escaped, and a line
// that would exceed 71 characters gets a soft break before the element (a literal character
// or an escape triple) that does not fit, so no triple is ever cut.
std::string EncodeBody(std::string_view text) {
    std::string out;
    if (text.empty()) return out;
    out.reserve(text.size() + text.size() / 8 + 8);
    std::size_t lineLen = 0;
    auto emit = [&](const char* element, std::size_t len) {
        if (lineLen + len > MaxLineBeforeSoftBreak) {
            out += "=\r\n";
            lineLen = 0;
        }
        out.append(element, len);
        lineLen += len;
    };
    auto emitEscape = [&](unsigned char c) {
        const char triple[3] = {'=', HexDigits[c >> 4], HexDigits[c & 15]};
        emit(triple, 3);
    };
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < n && text[i + 1] == '\n') {
            out += "\r\n";
            lineLen = 0;
            i += 2;
            continue;
        }
        if (c == ' ' || c == '\t') {
            std::size_t end = i;
            while (end < n && (text[end] == ' ' || text[end] == '\t')) ++end;
            bool beforeBreak = end + 1 < n && text[end] == '\r' && text[end + 1] == '\n';
            for (std::size_t k = i; k < end; ++k) {
                if (beforeBreak) {
                    emitEscape(static_cast<unsigned char>(text[k]));
                } else {
                    emit(&text[k], 1);
                }
            }
            i = end;
            continue;
        }
        if (BodyLiteral[c]) {
            // Copy a run of plain characters, breaking where the line is full.
            std::size_t end = i + 1;
            while (end < n && BodyLiteral[static_cast<unsigned char>(text[end])] &&
                   text[end] != ' ' && text[end] != '\t')
                ++end;
            while (i < end) {
                if (lineLen >= MaxLineBeforeSoftBreak) {
                    out += "=\r\n";
                    lineLen = 0;
                }
                std::size_t take = std::min(end - i, MaxLineBeforeSoftBreak - lineLen);
                out.append(text.data() + i, take);
                lineLen += take;
                i += take;
            }
            continue;
        }
        emitEscape(c);
        ++i;
    }
    if (lineLen > 0) out += "\r\n"; // every encoded line ends with a line break
    return out;
}

bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

// What an "=" starts, decided from the text after it.
enum class TEquals { Escape, SoftBreak, Text, Undecided };

// Looks at the "=" at p (p < end). On Escape, *byte is the decoded byte; on SoftBreak, *next
// is where the text goes on. Undecided only when the text ends too early and more may follow
// (final false); at the final end a run of white space after "=" is a soft break and
// anything else short is text.
TEquals ClassifyEquals(const char* p, const char* end, bool final, char* byte, const char** next) {
    const std::size_t left = static_cast<std::size_t>(end - p);
    if (left >= 3) {
        const int high = HexValue[static_cast<unsigned char>(p[1])];
        const int low = HexValue[static_cast<unsigned char>(p[2])];
        if ((high | low) >= 0) {
            *byte = static_cast<char>(high * 16 + low);
            return TEquals::Escape;
        }
    } else if (!final && (left == 1 || HexValue[static_cast<unsigned char>(p[1])] >= 0)) {
        return TEquals::Undecided; // "=" or "=4" at the end of a piece
    }
    // "=" before the line break (white space may stand between): a soft line break.
    const char* q = p + 1;
    const char* const spaceEnd =
        end - q > static_cast<std::ptrdiff_t>(TQuotedPrintableDecoder::MaxSoftBreakSpace)
            ? q + TQuotedPrintableDecoder::MaxSoftBreakSpace + 1
            : end;
    while (q < spaceEnd && IsSpaceOrTab(*q))
        ++q;
    if (q == end) {
        if (!final)
            return TEquals::Undecided;
        *next = end;
        return TEquals::SoftBreak;
    }
    if (q - (p + 1) > static_cast<std::ptrdiff_t>(TQuotedPrintableDecoder::MaxSoftBreakSpace))
        return TEquals::Text;
    if (*q == '\n') {
        *next = q + 1;
        return TEquals::SoftBreak;
    }
    if (*q == '\r') {
        if (q + 1 == end)
            return final ? TEquals::Text : TEquals::Undecided;
        if (q[1] == '\n') {
            *next = q + 2;
            return TEquals::SoftBreak;
        }
    }
    // Anything else is not an escape: the "=" is text and nothing is lost.
    return TEquals::Text;
}

// Decodes in [p, end) into dest and returns the end of what was written. Stops before an "="
// that stays undecided (only when final is false); *stop is where decoding stopped. Never
// writes beyond as many bytes as it has read.
char* DecodeSpan(const char* p, const char* end, char* out, bool final, const char** stop) {
    while (p < end) {
#if defined(__SSE2__)
        // 16 bytes at a time: copied whole, then the output moves on to the first "=".
        const __m128i equals = _mm_set1_epi8('=');
        while (end - p >= 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), chunk);
            const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, equals)));
            if (found != 0) {
                const int at = std::countr_zero(found);
                p += at;
                out += at;
                goto atEquals;
            }
            p += 16;
            out += 16;
        }
#endif
        {
            const void* eq = std::memchr(p, '=', static_cast<std::size_t>(end - p));
            const char* at = eq ? static_cast<const char*>(eq) : end;
            std::memcpy(out, p, static_cast<std::size_t>(at - p));
            out += at - p;
            p = at;
            if (p == end)
                break;
        }
#if defined(__SSE2__)
    atEquals:
#endif
        // Escapes often come in runs (each byte of a UTF-8 character): take them in a row.
        do {
            char byte = 0;
            const char* next = nullptr;
            switch (ClassifyEquals(p, end, final, &byte, &next)) {
            case TEquals::Escape:
                *out++ = byte;
                p += 3;
                break;
            case TEquals::SoftBreak:
                p = next;
                break;
            case TEquals::Text:
                *out++ = '=';
                ++p;
                break;
            case TEquals::Undecided:
                *stop = p;
                return out;
            }
        } while (p < end && *p == '=');
    }
    *stop = p;
    return out;
}

} // namespace

std::string EncodeQuotedPrintable(std::string_view text, TQpMode mode) {
    return mode == TQpMode::Header ? EncodeHeader(text) : EncodeBody(text);
}

std::size_t TQuotedPrintableDecoder::Decode(std::string_view piece, char* dest) {
    char* out = dest;
    const char* p = piece.data();
    const char* const end = p + piece.size();
    const char* stop = nullptr;
    if (!Kept.empty()) {
        // The kept "=" is decided within the next few bytes: decode it with them.
        const std::size_t kept = Kept.size();
        const std::size_t take = std::min(piece.size(), MaxSoftBreakSpace + 4);
        Kept.append(p, take);
        out = DecodeSpan(Kept.data(), Kept.data() + Kept.size(), out, false, &stop);
        const std::size_t used = static_cast<std::size_t>(stop - Kept.data());
        if (used < kept) { // still undecided: the whole piece was short and is kept too
            Kept.erase(0, used);
            return static_cast<std::size_t>(out - dest);
        }
        p += used - kept;
        Kept.clear();
    }
    out = DecodeSpan(p, end, out, false, &stop);
    Kept.assign(stop, end);
    return static_cast<std::size_t>(out - dest);
}

std::size_t TQuotedPrintableDecoder::Finish(char* dest) {
    const char* stop = nullptr;
    char* out = DecodeSpan(Kept.data(), Kept.data() + Kept.size(), dest, true, &stop);
    Kept.clear();
    return static_cast<std::size_t>(out - dest);
}

std::size_t DecodeQuotedPrintableInto(std::string_view text, char* dest) {
    const char* stop = nullptr;
    return static_cast<std::size_t>(
        DecodeSpan(text.data(), text.data() + text.size(), dest, true, &stop) - dest);
}

// Appending goes through a small buffer rather than growing out first: growing would fill
// the new room with zeros only for the decoder to overwrite them.
void DecodeQuotedPrintableTo(std::string_view text, std::string& out) {
    constexpr std::size_t PieceSize = 32 * 1024;
    char buffer[TQuotedPrintableDecoder::MaxOutput(PieceSize)];
    if (text.size() <= PieceSize) {
        out.append(buffer, DecodeQuotedPrintableInto(text, buffer));
        return;
    }
    ReserveLarge(out, out.size() + text.size());
    TQuotedPrintableDecoder decoder;
    for (std::size_t pos = 0; pos < text.size(); pos += PieceSize)
        out.append(buffer, decoder.Decode(text.substr(pos, PieceSize), buffer));
    out.append(buffer, decoder.Finish(buffer));
}

std::string DecodeQuotedPrintable(std::string_view text) {
    std::string out;
    DecodeQuotedPrintableTo(text, out);
    return out;
}

} // namespace pelmora
