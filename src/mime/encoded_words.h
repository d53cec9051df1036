#pragma once
// Encoded words in header texts (=?charset?Q?...?=, B and U encodings).

#include <string>
#include <string_view>

namespace pelmora {

// Returns the text unchanged when it needs no escaping in a header, otherwise one encoded
// word "=?" charset "?Q?" ... "?=" holding the whole text.
std::string EncodeWord(std::string_view text, std::string_view charset);

// Trims the text and replaces every encoded word by its decoded bytes. The charset is only a
// label and is ignored. Work is linear in the text's length whatever it holds.
std::string DecodeWords(std::string_view text);

} // namespace pelmora
