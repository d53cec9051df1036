#pragma once
// Quoted-printable codec. Body mode escapes trailing white space before line breaks and cuts
// lines with soft breaks so no encoded line exceeds 72 characters; header mode escapes
// everything that may not stand in an encoded word and never breaks lines.

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmora {

enum class TQpMode { Body, Header };

std::string EncodeQuotedPrintable(std::string_view text, TQpMode mode);

// Decodes escape triples (upper- or lower-case hex digits) and soft line breaks ("=" at the end
// of a line, up to MaxSoftBreakSpace spaces or tabs allowed before the break); an "=" that
// starts neither stays as it is, so nothing is lost. Bad input never fails.
std::string DecodeQuotedPrintable(std::string_view text);
void DecodeQuotedPrintableTo(std::string_view text, std::string& out);

// Decodes quoted-printable text handed over in pieces of any size (an escape or a soft break
// may straddle two pieces) with the same result as decoding it whole. The destination need
// not be initialised and must have room for MaxOutput(piece.size()) bytes.
class TQuotedPrintableDecoder {
public:
    // White space allowed between an "=" and the line break of a soft break; a longer run
    // (no line is that long) leaves the "=" as text.
    static constexpr std::size_t MaxSoftBreakSpace = 998;
    static constexpr std::size_t MaxOutput(std::size_t pieceSize) {
        return pieceSize + MaxSoftBreakSpace + 4;
    }

    // Decodes one piece into dest and returns the number of bytes written. The end of a piece
    // whose meaning depends on what follows ("=", "=4", "= ") is kept for the next piece.
    std::size_t Decode(std::string_view piece, char* dest);
    // Ends the text: decodes what was kept (at most MaxSoftBreakSpace + 3 bytes).
    std::size_t Finish(char* dest);

private:
    std::string Kept; // the undecided end of the last piece, starting with "="
};

// Decodes a whole text into dest (room for text.size() bytes, not initialised) and
// returns the number of bytes written.
std::size_t DecodeQuotedPrintableInto(std::string_view text, char* dest);

} // namespace pelmora
