#pragma once
// Small byte-string helpers shared by the mail format library. Everything works on bytes;
// nothing is converted between character sets.

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// Removes leading spaces and tabs and trailing spaces (the library's one notion of trimming).
std::string_view TrimMail(std::string_view text);

// Removes leading and trailing spaces, tabs, CRs and LFs.
std::string_view TrimAllWhite(std::string_view text);

inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
std::string LowerAsciiCopy(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// Normalises CR, LF and CR LF line breaks to CR LF.
std::string NormaliseLineBreaks(std::string_view text);

// Splits text into lines at CR LF, lone CR or lone LF; a final line break adds no empty line.
std::vector<std::string> SplitTextLines(std::string_view text);

// Text up to (not including) the first zero byte.
std::string_view UpToZero(std::string_view bytes);

// The parts joined into one string (one allocation).
std::string Concat(std::initializer_list<std::string_view> parts);

// The decimal number that is the whole text (an optional "-" and digits, nothing else).
std::optional<int> WholeNumber(std::string_view text);

// Decimal text of a number.
std::string DecimalText(long long value);

} // namespace pelmora
