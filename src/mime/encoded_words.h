#pragma once
// Encoded words in header texts (=?charset?Q?...?=, B and U encodings).

#include <string>
#include <string_view>

namespace pelmora {

// Returns the text unchanged when it needs no escaping in a header, otherwise encoded words
// for the whole text (see EncodeHeaderText), labelled "utf-8" when the text is UTF-8.
std::string EncodeWord(std::string_view text, std::string_view charset);

// Trims the text and gives it as UTF-8: every encoded word decoded by its charset (adjacent
// words joined without the white space between them), other bytes as UTF-8 when they are
// valid UTF-8 and as windows-1252 otherwise. Work is linear in the text's length.
std::string DecodeWords(std::string_view text);

// The same, written into out (replacing what it held): a caller decoding many texts keeps
// out's room from one to the next.
void DecodeWordsTo(std::string_view text, std::string& out);

} // namespace pelmora
