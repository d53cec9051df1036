#pragma once
// Writing header texts that every reader takes back unchanged: encoded words of at most
// MaxEncodedWordLength characters (so a folded line stays within 78 characters), display
// names as atoms, quoted strings or unquoted encoded words, file names as RFC 2231 parameters
// and percent-encoded Content-Location values. Every encoded word is labelled with the
// charset of its bytes: UTF-8 whenever the text is valid UTF-8.

#include <string>
#include <string_view>

namespace pelmora {

class TMailPart;

inline constexpr std::size_t MaxEncodedWordLength = 48;

// The charset label for text written in a header: "utf-8" when the bytes are valid UTF-8,
// otherwise the given label (windows-1252 when that is empty or claims UTF-8).
std::string LabelForBytes(std::string_view text, std::string_view charset);

// Unstructured text (a subject): unchanged when it is printable ASCII that no reader could
// take for an encoded word, otherwise encoded words separated by spaces, split between
// characters. With always set, printable ASCII is encoded too.
std::string EncodeHeaderText(std::string_view text, std::string_view charset, bool always = false);

// A display name: atoms as they are, other ASCII as a quoted string with escapes, anything
// else as unquoted encoded words (RFC 2047 forbids them inside quotes).
std::string EncodePhrase(std::string_view name, std::string_view charset);

// A file name for the X-Pelmora-Attachment header: the name in double quotes when it is
// short ASCII, otherwise base64 encoded words (unquoted, so the header folds between them).
// Standard parameters get the RFC 2231 form instead (SetFileNameParam): readers report
// encoded words inside quotes as a defect.
std::string QuotedNameWords(std::string_view name, std::string_view charset);

// Sets param of the header entry: a plain quoted value when the name is short printable
// ASCII, otherwise the RFC 2231 form (charset, percent-encoding, continuations of at most
// 60 characters) that every current reader understands.
void SetFileNameParam(TMailPart& part, std::string_view header, std::string_view param,
                      std::string_view name, std::string_view charset);

// Bytes outside printable ASCII, spaces and characters that have a meaning in a URL
// percent-encoded.
std::string PercentEncodeLocation(std::string_view name);

} // namespace pelmora
