#pragma once
// Parameter operations on node texts. A node text is a small HTML-like mark-up: text runs,
// tags, and parameters written as anchors <a href="Name" class="..." props="...">value</a>.
// Node texts are a storage format (tree files, address books), so these functions change a
// text only where they say so and leave everything else byte for byte. Bad input never
// throws: a missing anchor gives std::nullopt or leaves the text unchanged.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// What an anchor declares about its parameter.
struct TParamDetails {
    std::string Class; // upper-cased: "LIST", "MENU", "DATE", "SPIN", "EDIT" or empty
    std::string Props; // escaped comma text of LIST/MENU choices, as stored
    std::string Value; // the text between the opening tag and the next "</"
};

// Escapes a value for storage in a node text: & < > and the double quote.
std::string EscapeParam(std::string_view value);
// Reverses EscapeParam in one pass, so "&amp;quot;" yields "&quot;" and not a quote.
std::string UnescapeParam(std::string_view value);

// The stored (escaped) value of the parameter named `name` (compared without regard to case),
// the text between the anchor's ">" and the next "<". std::nullopt when no anchor has that
// name or its value is not followed by a "<".
std::optional<std::string> ReadParam(std::string_view text, std::string_view name);

// Class, props and value of the first anchor named `name` that is followed by a closing tag.
std::optional<TParamDetails> ParamDetails(std::string_view text, std::string_view name);

// Replaces the value of parameter `name` by `value` (written as given: callers escape).
// Returns false and leaves the text unchanged when the anchor cannot be found or its value
// is not closed by "</a".
bool WriteParam(std::string& text, std::string_view name, std::string_view value);

// The text without tags: <BR> and <HR> become CR LF, complete tags are removed, an unclosed
// "<" and what follows stay. Entities are left as they are.
std::string StripMarkup(std::string_view text);

// The number of a node's "<XID=" code: the text after the first "<XID=" up to the next ">",
// trimmed, read as a decimal number; -1 when there is no code or it is not a number.
int NodeCode(std::string_view text);

// The comma text of a LIST/MENU parameter's props, unescaped, one entry per item.
// Entries keep their blanks; an empty props gives no entries.
std::vector<std::string> SplitProps(std::string_view props);

} // namespace pelmora
