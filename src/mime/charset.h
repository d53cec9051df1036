#pragma once
// The one place where texts of mail are turned into UTF-8, with glibc iconv. Header texts are
// converted when they are read, body texts when they are shown, quoted or searched; stored
// bytes are never changed. Nothing here fails: an unknown or unusable charset label reads as
// windows-1252 (bytes that already form valid UTF-8 stay as they are), and bytes a converter
// rejects become U+FFFD.

#include <string>
#include <string_view>

namespace pelmora {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// Charset label as written in mail, made comparable: quotes and an RFC 2231 language suffix
// ("utf-8*en") removed, lower case. Empty stays empty.
std::string NormaliseCharsetLabel(std::string_view label);

// Converts bytes in the given charset to UTF-8. An empty label means "not labelled": valid
// UTF-8 stays, anything else is read as windows-1252. A UTF-16 or UTF-32 byte-order mark
// decides the reading whatever the label says; a UTF-8 byte-order mark is dropped.
std::string ToUtf8(std::string_view bytes, std::string_view charset);
// The same without a copy where none is needed: the result is a view into bytes when they
// already are the UTF-8 text, else into storage, which holds the converted text.
std::string_view Utf8View(std::string_view bytes, std::string_view charset, std::string& storage);

// Raw 8-bit header text: valid UTF-8 stays, anything else is read as windows-1252.
std::string HeaderBytesToUtf8(std::string_view bytes);

} // namespace pelmora
