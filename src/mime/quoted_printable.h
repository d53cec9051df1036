#pragma once
// Quoted-printable codec. Body mode escapes trailing white space before line breaks and cuts
// lines with soft breaks so no encoded line exceeds 72 characters; header mode escapes
// everything that may not stand in an encoded word and never breaks lines.

#include <string>
#include <string_view>

namespace pelmora {

enum class TQpMode { Body, Header };

std::string EncodeQuotedPrintable(std::string_view text, TQpMode mode);

// Decodes escape triples (upper- or lower-case hex digits) and soft line breaks; an "=" that
// starts no valid escape is dropped with the two characters after it; an "=" with fewer than
// two characters after it ends the text. Bad input never fails.
std::string DecodeQuotedPrintable(std::string_view text);
void DecodeQuotedPrintableTo(std::string_view text, std::string& out);

} // namespace pelmora
