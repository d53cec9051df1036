#include "mime/header_write.h"

#include "mime/base64.h"
#include "mime/charset.h"
#include "mime/mail_part.h"
#include "mime/mime_text.h"

namespace pelmora {
namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
// A parameter section with its name, a TAB and the ";" after it stays within a folded line.
constexpr std::size_t MaxSectionLength = 50;
// Display names go into one encoded word where they fit: readers differ on the white space
// between two encoded words of a name (some keep it), never on one word. 66 characters
// leave room for "Reply-To: " on the same line.
constexpr std::size_t MaxPhraseWordLength = 66;

bool IsPrintableAscii(std::string_view text) {
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u < 32 || u > 126) return false;
    }
    return true;
}

// Atom characters of RFC 5322 (atext).
bool IsAtomChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

// Length of the character starting at text[i] (1 for bytes that start no UTF-8 character).
std::size_t CharLength(std::string_view text, std::size_t i, bool utf8) {
    if (!utf8) return 1;
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t len = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    return std::min(len, text.size() - i);
}

bool QLiteral(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '!' || c == '*' || c == '+' || c == '-' || c == '/';
}

std::size_t QLength(std::string_view chunk) {
    std::size_t length = 0;
    for (char c : chunk) length += (QLiteral(c) || c == ' ') ? 1 : 3;
    return length;
}

void AppendQ(std::string_view chunk, std::string& out) {
    for (char c : chunk) {
        if (QLiteral(c)) {
            out += c;
        } else if (c == ' ') {
            out += '_';
        } else {
            auto u = static_cast<unsigned char>(c);
            out += '=';
            out += HexDigits[u >> 4];
            out += HexDigits[u & 15];
        }
    }
}

// Encoded words for the whole text, each at most MaxEncodedWordLength characters, joined by
// spaces; a character is never split between two words. Q is used for mostly-Latin text,
// B otherwise; base64 words only for file names (no ";" or quote can appear in them).
std::string EncodeWordsOf(std::string_view text, std::string_view charset, bool forceB,
                          std::size_t maxLength = MaxEncodedWordLength) {
    const std::string label = LabelForBytes(text, charset);
    const bool utf8 = label == "utf-8";
    std::size_t plain = 0;
    for (char c : text) plain += QLiteral(c) || c == ' ' ? 1 : 0;
    const bool useB = forceB || plain * 3 < text.size() * 2;
    const std::string head = "=?" + label + (useB ? "?B?" : "?Q?");
    const std::size_t room = maxLength - head.size() - 2;
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = i;
        while (end < text.size()) {
            std::size_t next = end + CharLength(text, end, utf8);
            std::size_t length =
                useB ? (next - i + 2) / 3 * 4 : QLength(text.substr(i, next - i));
            if (length > room && end > i) break;
            end = next;
        }
        if (!out.empty()) out += ' ';
        out += head;
        std::string_view chunk = text.substr(i, end - i);
        if (useB) {
            std::string encoded = EncodeBase64(chunk);
            while (!encoded.empty() && (encoded.back() == '\n' || encoded.back() == '\r')) encoded.pop_back();
            out += encoded;
        } else {
            AppendQ(chunk, out);
        }
        out += "?=";
        i = end;
    }
    return out;
}

bool LooksEncoded(std::string_view text) { return text.find("=?") != std::string_view::npos; }

} // namespace

std::string LabelForBytes(std::string_view text, std::string_view charset) {
    if (IsValidUtf8(text)) return "utf-8";
    std::string label = NormaliseCharsetLabel(charset);
    if (label.empty() || label == "utf-8" || label == "us-ascii") return "windows-1252";
    return label;
}

std::string EncodeHeaderText(std::string_view text, std::string_view charset, bool always) {
    if (!always && IsPrintableAscii(text) && !LooksEncoded(text)) return std::string(text);
    return EncodeWordsOf(text, charset, false);
}

std::string EncodePhrase(std::string_view name, std::string_view charset) {
    std::string_view trimmed = TrimMail(name);
    if (trimmed.empty()) return {};
    if (!IsPrintableAscii(trimmed) || LooksEncoded(trimmed))
        return EncodeWordsOf(trimmed, charset, false, MaxPhraseWordLength);
    bool atoms = true;
    bool lastSpace = true;
    for (char c : trimmed) {
        if (c == ' ') {
            atoms = atoms && !lastSpace;
            lastSpace = true;
            continue;
        }
        lastSpace = false;
        atoms = atoms && IsAtomChar(c);
    }
    if (atoms) return std::string(trimmed);
    std::string quoted = "\"";
    for (char c : trimmed) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string QuotedNameWords(std::string_view name, std::string_view charset) {
    if (IsPrintableAscii(name) && name.size() <= MaxSectionLength && !LooksEncoded(name) &&
        name.find('"') == std::string_view::npos && name.find('\\') == std::string_view::npos)
        return "\"" + std::string(name) + "\"";
    // Unquoted, so that the header folds between the words; base64 words hold no ";".
    return EncodeWordsOf(name, charset, true);
}

void SetFileNameParam(TMailPart& part, std::string_view header, std::string_view param,
                      std::string_view name, std::string_view charset) {
    if (IsPrintableAscii(name) && name.size() <= MaxSectionLength && !LooksEncoded(name) &&
        name.find('"') == std::string_view::npos && name.find('\\') == std::string_view::npos) {
        part.SetHeaderParam(header, param, "\"" + std::string(name) + "\"");
        return;
    }
    const std::string label = LabelForBytes(name, charset);
    const bool utf8 = label == "utf-8";
    std::string encoded;
    std::vector<std::string> sections;
    auto flush = [&] {
        if (!encoded.empty()) sections.push_back(std::move(encoded));
        encoded.clear();
    };
    encoded = label + "''";
    for (std::size_t i = 0; i < name.size();) {
        std::size_t len = CharLength(name, i, utf8);
        std::string piece;
        for (std::size_t k = i; k < i + len; ++k) {
            char c = name[k];
            if (IsAtomChar(c) && c != '%' && c != '\'' && c != '*' && c != '=' && c != '?') {
                piece += c;
            } else {
                auto u = static_cast<unsigned char>(c);
                piece += '%';
                piece += HexDigits[u >> 4];
                piece += HexDigits[u & 15];
            }
        }
        if (encoded.size() + piece.size() > MaxSectionLength) flush();
        encoded += piece;
        i += len;
    }
    flush();
    if (sections.size() == 1) {
        part.SetHeaderParam(header, std::string(param) + "*", sections.front());
        return;
    }
    for (std::size_t s = 0; s < sections.size(); ++s)
        part.SetHeaderParam(header, std::string(param) + "*" + DecimalText(static_cast<long long>(s)) + "*",
                            sections[s]);
}

std::string PercentEncodeLocation(std::string_view name) {
    std::string out;
    for (char c : name) {
        auto u = static_cast<unsigned char>(c);
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_' || c == '~';
        if (keep) {
            out += c;
        } else {
            out += '%';
            out += HexDigits[u >> 4];
            out += HexDigits[u & 15];
        }
    }
    return out;
}

} // namespace pelmora
