#include "mime/quoted_printable.h"

#include <algorithm>
#include <array>
#include <cstring>

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

} // namespace

std::string EncodeQuotedPrintable(std::string_view text, TQpMode mode) {
    return mode == TQpMode::Header ? EncodeHeader(text) : EncodeBody(text);
}

void DecodeQuotedPrintableTo(std::string_view text, std::string& out) {
    out.reserve(out.size() + text.size());
    std::size_t pos = 0;
    const std::size_t n = text.size();
    while (pos < n) {
        const void* eq = std::memchr(text.data() + pos, '=', n - pos);
        if (!eq) {
            out.append(text.data() + pos, n - pos);
            return;
        }
        std::size_t at = static_cast<const char*>(eq) - text.data();
        out.append(text.data() + pos, at - pos);
        // "=" before the line break (white space may stand between): a soft line break.
        std::size_t after = at + 1;
        while (after < n && (text[after] == ' ' || text[after] == '\t')) ++after;
        if (after == n) return;
        if (text[after] == '\n') {
            pos = after + 1;
            continue;
        }
        if (text[after] == '\r' && after + 1 < n && text[after + 1] == '\n') {
            pos = after + 2;
            continue;
        }
        if (at + 2 < n) {
            int high = HexValue[static_cast<unsigned char>(text[at + 1])];
            int low = HexValue[static_cast<unsigned char>(text[at + 2])];
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                pos = at + 3;
                continue;
            }
        }
        // Anything else is not an escape: the "=" is text and nothing is lost.
        out += '=';
        pos = at + 1;
    }
}

std::string DecodeQuotedPrintable(std::string_view text) {
    std::string out;
    DecodeQuotedPrintableTo(text, out);
    return out;
}

} // namespace pelmora
