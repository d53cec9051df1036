#pragma once
// Base64 codec (standard alphabet, "=" fill). Encoding writes lines of 76 characters, each
// ending in CR LF. Decoding is lenient and never fails: characters outside the alphabet are
// skipped, a group may run across line breaks, padding may be missing, and an "=" that does
// not finish a group (after one character, or a lone "=" after two) is skipped as well, so no
// byte of the data around it is lost. A group that is properly padded ends there and the text
// after it decodes as the next group (bodies joined from separately encoded pieces).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelmora {

std::string EncodeBase64(std::string_view bytes);
void EncodeBase64To(std::string_view bytes, std::string& out);

// Decodes base64 text handed over in pieces of any size; a group may straddle two pieces.
// The destination need not be initialised: only the bytes reported are written meaningfully,
// and it must have room for MaxOutput(piece.size()) bytes.
class TBase64Decoder {
public:
    static constexpr std::size_t MaxOutput(std::size_t pieceSize) { return pieceSize / 4 * 3 + 8; }

    // Decodes one piece into dest and returns the number of bytes written.
    std::size_t Decode(std::string_view piece, char* dest);
    // Ends the text: a last group of two or three characters without its padding gives its
    // one or two bytes (at most 2 bytes written); a lone last character gives nothing.
    std::size_t Finish(char* dest);

private:
    std::uint32_t Bits = 0; // the characters of the open group, 6 bits each
    int Count = 0;          // how many there are (0-3)
    bool HalfPadded = false; // two characters and one "=" seen: a second "=" ends the group
};

// Decodes a whole text into dest (room for TBase64Decoder::MaxOutput(text.size()) bytes,
// not initialised) and returns the number of bytes written.
std::size_t DecodeBase64Into(std::string_view text, char* dest);

// Decodes one line (an encoded word, without its line break) and appends to out.
std::string DecodeBase64Line(std::string_view line);
void DecodeBase64LineTo(std::string_view line, std::string& out);

// Decodes a body of any number of lines and appends to out.
void DecodeBase64BodyTo(std::string_view body, std::string& out);
std::string DecodeBase64Body(std::string_view body);

} // namespace pelmora
