#pragma once
// Base64 codec (standard alphabet, "=" fill). Encoding writes lines of 76 characters, each
// ending in CR LF. Decoding skips characters outside the alphabet and never fails.

#include <string>
#include <string_view>

namespace pelmora {

std::string EncodeBase64(std::string_view bytes);
void EncodeBase64To(std::string_view bytes, std::string& out);

// Decodes one line (without its line break) in groups of four significant characters; a
// group ending in "=" yields fewer bytes, a last group of two or three characters without
// its padding yields its one or two bytes.
std::string DecodeBase64Line(std::string_view line);
void DecodeBase64LineTo(std::string_view line, std::string& out);

// Decodes a body and appends to out; bits left over at the end of a line continue on the
// next, and characters outside the alphabet are skipped.
void DecodeBase64BodyTo(std::string_view body, std::string& out);
std::string DecodeBase64Body(std::string_view body);

} // namespace pelmora
