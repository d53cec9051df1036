#include "mime/encoded_words.h"

#include "mime/base64.h"
#include "mime/charset.h"
#include "mime/header_write.h"
#include "mime/mime_text.h"
#include "mime/quoted_printable.h"
#include "mime/uuencode.h"

#include <array>

namespace pelmora {

std::string EncodeWord(std::string_view text, std::string_view charset) {
    std::string encoded = EncodeQuotedPrintable(text, TQpMode::Header);
    if (encoded == text) return std::string(text);
    return EncodeHeaderText(text, charset, true);
}

namespace {

// One encoded word found in a header text: "=?" charset "?" letter "?" text "?=".
struct TEncodedWord {
    std::size_t Begin = 0;
    std::size_t End = 0; // one past the closing "?="
    std::string_view Charset;
    char Letter = 'Q';
    std::string_view Text;
};

bool IsWordSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The next well-formed encoded word at or after pos. A "=?" that does not start one is
// ordinary text.
bool FindEncodedWord(std::string_view text, std::size_t pos, TEncodedWord& word) {
    while (true) {
        std::size_t open = text.find("=?", pos);
        if (open == std::string_view::npos) return false;
        std::size_t charsetEnd = open + 2;
        while (charsetEnd < text.size() && text[charsetEnd] != '?' && !IsWordSpace(text[charsetEnd]))
            ++charsetEnd;
        if (charsetEnd > open + 2 && charsetEnd + 2 < text.size() && text[charsetEnd] == '?' &&
            text[charsetEnd + 2] == '?') {
            char letter = UpperAscii(text[charsetEnd + 1]);
            std::size_t close = text.find("?=", charsetEnd + 3);
            if ((letter == 'B' || letter == 'Q' || letter == 'U') && close != std::string_view::npos) {
                word.Begin = open;
                word.End = close + 2;
                word.Charset = text.substr(open + 2, charsetEnd - open - 2);
                word.Letter = letter;
                word.Text = text.substr(charsetEnd + 3, close - charsetEnd - 3);
                return true;
            }
        }
        pos = open + 2;
    }
}

// spaced is scratch space kept between calls.
void DecodeWordBytes(const TEncodedWord& word, std::string& out, std::string& spaced) {
    switch (word.Letter) {
    case 'B':
        DecodeBase64LineTo(word.Text, out);
        break;
    case 'U':
        UudecodeLineTo(word.Text, out);
        break;
    default: {
        if (word.Text.find('_') == std::string_view::npos) {
            DecodeQuotedPrintableTo(word.Text, out);
            break;
        }
        spaced.assign(word.Text);
        for (char& c : spaced) {
            if (c == '_') c = ' ';
        }
        DecodeQuotedPrintableTo(spaced, out);
        break;
    }
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Whether a byte of a Q-encoded word stands for itself: anything but "_", "=", "?" and white
// space. One table lookup a byte: names are decoded byte by byte, and seven comparisons a
// byte cost more than the rest of their decoding.
constexpr auto PlainQ = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = c != '_' && c != '=' && c != '?' && c != ' ' && c != '\t' && c != '\r' && c != '\n';
    return table;
}();
inline bool IsPlainQ(char c) { return PlainQ[static_cast<unsigned char>(c)]; }

// "utf-8" in any case, the label of nearly every encoded word.
bool IsUtf8Label(std::string_view label) {
    return label.size() == 5 && (label[0] | 0x20) == 'u' && (label[1] | 0x20) == 't' &&
           (label[2] | 0x20) == 'f' && label[3] == '-' && label[4] == '8';
}

// The common shape of a name or subject, one UTF-8 (or ASCII) encoded word and nothing else,
// decoded in one pass without the general path's buffers. False, with out unspecified, for
// anything else: the general path then reads the text.
bool DecodeSingleUtf8Word(std::string_view text, std::string& out) {
    const std::size_t n = text.size();
    if (n < 8 || text[0] != '=' || text[1] != '?' || text[n - 2] != '?' || text[n - 1] != '=')
        return false;
    std::size_t charsetEnd = 2;
    while (charsetEnd < n && text[charsetEnd] != '?') ++charsetEnd;
    if (charsetEnd + 3 > n - 2 || text[charsetEnd + 2] != '?') return false;
    const std::string_view charset = text.substr(2, charsetEnd - 2);
    if (!IsUtf8Label(charset) && !EqualsNoCase(charset, "us-ascii")) return false;
    const char letter = UpperAscii(text[charsetEnd + 1]);
    // The text up to the closing "?=". A "?" inside it ends the word earlier: several words
    // (or one followed by text), which the general path reads.
    const std::string_view encoded = text.substr(charsetEnd + 3, n - 2 - (charsetEnd + 3));
    bool nul = false;
    if (letter == 'B') {
        if (encoded.find('?') != std::string_view::npos) return false;
        out.clear();
        DecodeBase64LineTo(encoded, out);
        nul = out.find('\0') != std::string::npos;
    } else if (letter == 'Q') {
        // Decoded on the stack when short, as names are, and copied out once.
        const std::string_view q = encoded;
        char local[128];
        if (q.size() > sizeof local) out.resize(q.size()); // a Q word never decodes longer
        char* const begin = q.size() > sizeof local ? out.data() : local;
        char* to = begin;
        for (std::size_t i = 0; i < q.size(); ++i) {
            const char c = q[i];
            if (IsPlainQ(c)) {
                *to++ = c;
            } else if (c == '_') {
                *to++ = ' ';
            } else if (c == '=') {
                // A stray "=" or white space in the word: the general path's rules apply.
                const int high = i + 2 < q.size() ? HexValue(q[i + 1]) : -1;
                const int low = high >= 0 ? HexValue(q[i + 2]) : -1;
                if (low < 0) return false;
                *to = static_cast<char>(high * 16 + low);
                nul = nul || *to == '\0';
                ++to;
                i += 2;
            } else {
                return false;
            }
        }
        const std::size_t size = static_cast<std::size_t>(to - begin);
        if (begin == local)
            out.assign(local, size);
        else
            out.resize(size);
    } else {
        return false;
    }
    if (!IsValidUtf8(out)) return false;
    if (nul) std::erase(out, '\0');
    return true;
}

} // namespace

// Adjacent encoded words (separated only by white space) are one text: the white space between
// them goes, and the bytes of words in the same charset are joined before conversion, so a
// character split across two words reads whole. Decoded bytes are never searched again for
// encoded words, so the work stays linear however many words a header holds.
std::string DecodeWords(std::string_view input) {
    std::string result;
    DecodeWordsTo(input, result);
    return result;
}

void DecodeWordsTo(std::string_view input, std::string& result) {
    std::string_view text = TrimMail(input);
    if (DecodeSingleUtf8Word(text, result)) return;
    result.clear();
    result.reserve(text.size());
    std::string pendingBytes;
    std::string pendingCharset;
    std::string_view pendingLabel; // the label as written, to skip normalising a repeated one
    std::string spaced;
    auto flush = [&] {
        if (pendingBytes.empty()) return;
        // UTF-8 words, by far the most common, need no converter.
        if ((pendingCharset == "utf-8" || pendingCharset == "us-ascii") && IsValidUtf8(pendingBytes))
            result += pendingBytes;
        else
            result += ToUtf8(pendingBytes, pendingCharset);
        pendingBytes.clear();
    };
    std::size_t pos = 0;
    bool afterWord = false;
    TEncodedWord word;
    while (pos < text.size() && FindEncodedWord(text, pos, word)) {
        std::string_view between = text.substr(pos, word.Begin - pos);
        bool onlySpace = afterWord;
        for (char c : between) onlySpace = onlySpace && IsWordSpace(c);
        if (!onlySpace) {
            flush();
            result += HeaderBytesToUtf8(between);
        }
        if (word.Charset != pendingLabel) {
            std::string charset = NormaliseCharsetLabel(word.Charset);
            if (charset != pendingCharset) {
                flush();
                pendingCharset = std::move(charset);
            }
            pendingLabel = word.Charset;
        }
        DecodeWordBytes(word, pendingBytes, spaced);
        pos = word.End;
        afterWord = true;
    }
    flush();
    result += HeaderBytesToUtf8(text.substr(pos));
    // A header text is one line of characters: a NUL would cut it short wherever it is shown,
    // so it goes and the text after it stays.
    std::erase(result, '\0');
}

} // namespace pelmora
