#pragma once
// Uudecoding of old-style file attachments, line by line.

#include <string>
#include <string_view>

namespace pelmora {

inline constexpr std::string_view UuFormatErrorText = "UUCODE message format error";

// Decodes one line (without its line break) and appends its bytes to out. A line holding a
// character outside the uuencode alphabet contributes nothing and returns false.
bool UudecodeLineTo(std::string_view line, std::string& out);
std::string UudecodeLine(std::string_view line);

// Decodes every line of a body (lines end at LF; each line is trimmed) and appends to out.
void UudecodeBodyTo(std::string_view body, std::string& out);

} // namespace pelmora
