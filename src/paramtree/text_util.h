#pragma once
// Small byte-string helpers shared by the mark-up code. ASCII case folding only: node texts
// are UTF-8 and letters outside ASCII are compared as they stand.

#include "mime/mime_text.h" // EqualsNoCase, StartsWithNoCase

#include <string>
#include <string_view>

namespace pelmora {

char AsciiUpper(char c);
char AsciiLower(char c);
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);
// Position of `needle` in `haystack` at or after `from`, ignoring ASCII case; npos if absent.
size_t FindNoCase(std::string_view haystack, std::string_view needle, size_t from = 0);
// Removes blanks, TABs, CR and LF at both ends.
std::string_view TrimView(std::string_view text);
std::string Trim(std::string_view text);
// Replaces every occurrence of `from` by `to`, left to right, without rescanning.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

} // namespace pelmora
