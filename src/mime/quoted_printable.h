#pragma once
// Quoted-printable codec. Body mode escapes trailing white space before line breaks and cuts
// lines with soft breaks so no encoded line exceeds 72 characters; header mode escapes
// everything that may not stand in an encoded word and never breaks lines.

#include <string>
#include <string_view>

namespace pelmora {

enum class TQpMode { Body, Header };

std::string EncodeQuotedPrintable(std::string_view text, TQpMode mode);

// Decodes escape triples (upper- or lower-case hex digits) and soft line breaks ("=" at the end
// of a line, white space allowed before the break); an "=" that starts neither stays as it is,
// so nothing is lost. Bad input never fails.
std::string DecodeQuotedPrintable(std::string_view text);
void DecodeQuotedPrintableTo(std::string_view text, std::string& out);

} // namespace pelmora
