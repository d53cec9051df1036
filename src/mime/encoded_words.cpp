#include "mime/encoded_words.h"

#include "mime/base64.h"
#include "mime/mime_text.h"
#include "mime/quoted_printable.h"
#include "mime/uuencode.h"

namespace pelmora {

std::string EncodeWord(std::string_view text, std::string_view charset) {
    std::string encoded = EncodeQuotedPrintable(text, TQpMode::Header);
    if (encoded == text) return std::string(text);
    std::string word;
    word.reserve(encoded.size() + charset.size() + 7);
    word += "=?";
    word += charset;
    word += "?Q?";
    word += encoded;
    word += "?=";
    return word;
}

namespace {

std::string DecodeWordText(std::string_view inner) {
    // inner: encoding letter, "?", encoded text. A malformed head is read as Q.
    char letter = 'Q';
    if (inner.size() >= 2 && inner[1] == '?') {
        char c = UpperAscii(inner[0]);
        if (c == 'B' || c == 'Q' || c == 'U') letter = c;
    }
    std::string_view encoded = inner.size() >= 2 ? inner.substr(2) : std::string_view();
    std::string decoded;
    switch (letter) {
    case 'B':
        DecodeBase64LineTo(encoded, decoded);
        decoded.resize(UpToZero(decoded).size());
        break;
    case 'U':
        UudecodeLineTo(encoded, decoded);
        decoded.resize(UpToZero(decoded).size());
        break;
    default: {
        std::string spaced(encoded);
        for (char& c : spaced) {
            if (c == '_') c = ' ';
        }
        DecodeQuotedPrintableTo(spaced, decoded);
        break;
    }
    }
    return decoded;
}

} // namespace

// Decoded bytes are never searched again for encoded words: each word is decoded once, in a
// single left-to-right pass, so the work stays linear however many words a header holds.
std::string DecodeWords(std::string_view input) {
    std::string_view text = TrimMail(input);
    std::string result;
    result.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t open = text.find("=?", pos);
        if (open == std::string_view::npos) break;
        std::size_t charsetEnd = text.find('?', open + 2);
        if (charsetEnd == std::string_view::npos) break;
        std::size_t close = text.find("?=", charsetEnd + 1);
        if (close == std::string_view::npos) break;
        // An encoded text that begins with "=" makes the first "?=" the one after the
        // encoding letter; a further "?=" then closes the word.
        if (close + 2 < text.size()) {
            std::size_t further = text.find('?', close + 2);
            if (further != std::string_view::npos && further + 1 < text.size() &&
                text[further + 1] == '=' && close == charsetEnd + 2)
                close = further;
        }
        result.append(text.data() + pos, open - pos);
        result += DecodeWordText(text.substr(charsetEnd + 1, close - charsetEnd - 1));
        pos = close + 2;
    }
    result.append(text.data() + pos, text.size() - pos);
    return result;
}

} // namespace pelmora
