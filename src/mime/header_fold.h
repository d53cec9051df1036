#pragma once
// Folding of header text into lines of at most 72 characters where the text allows.

#include <string>
#include <string_view>

namespace pelmora {

// Normalises line breaks, drops trailing ones, and folds each line longer than 72 characters
// after a space, "," or ";" outside quotes, continuing with a TAB. Every line ends in CR LF.
std::string FoldHeaderText(std::string_view text);

} // namespace pelmora
