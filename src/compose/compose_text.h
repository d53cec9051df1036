#pragma once
// Text rules of the message windows: address fields, subjects with their reply and forward
// prefixes, the plain/HTML conversions and the names files of a message get on disk. All
// texts are UTF-8; nothing here fails.

#include <string>
#include <string_view>
#include <vector>

namespace pelmora {
class TMailMessage;
}

namespace pelmora::compose {

struct TAddressItem {
    std::string Name;
    std::string Address;
};

// One field of addresses split into items at ";" (and at "," when commaSeparates). An item
// "Name (address)" gives that name and address; any other item is both name and address.
// Empty items are skipped.
std::vector<TAddressItem> SplitAddressField(std::string_view field, bool commaSeparates);

// "name (address)" when the trimmed name is not empty, else the trimmed address.
std::string AddressPairText(std::string_view name, std::string_view address);

// The subject with a prefix ("Re:" or "Fw:") unless it already carries one of its kind
// ("Re:"/"Aw:" for replies, "Fw:"/"Fwd:"/"Wg:" for forwards, any case).
std::string SubjectWithPrefix(std::string_view subject, std::string_view prefix);

// The text of an HTML body with tags removed and line breaks kept.
std::string HtmlToPlain(std::string_view html);
// A plain text as HTML: special characters escaped, blank lines as paragraphs, line breaks
// as "<BR>".
std::string PlainToHtml(std::string_view text);
// "&", "<", ">" and '"' escaped.
std::string EscapeHtml(std::string_view text);

// The extension (any case) is one of .jpg .jpeg .gif .bmp .tif .tga .ico .png .dib.
bool IsImageFile(std::string_view name);
// Some attachment has a Content-Type naming a report or a notification.
bool HasReportPart(const TMailMessage& message);

// A name for a file the sender named (an attachment, a Content-ID) that stays inside the
// directory it is written to: no directories, no "..", no control characters; an empty name
// or one made of dots becomes `fallback`.
std::string SafeLocalName(std::string_view senderName, std::string_view fallback);

// Types a desktop would run rather than show: desktop entries, scripts, executables,
// installers. Empty when the name is harmless, else the type to name in the question.
std::string RunnableType(std::string_view fileName);

// The document with its body tag replaced by one that carries only a background: a colour
// (`<BODY BGCOLOR="#RRGGBB">`, upper-case hex) or an image file (`<BODY BACKGROUND="path">`).
// Every other attribute of the old tag goes; a document without a body tag is returned as
// it is.
std::string WithBodyColour(std::string_view html, int red, int green, int blue);
std::string WithBodyImage(std::string_view html, std::string_view path);

// The text the HTML source editor starts from: the document with the authoring control's
// own name replaced.
std::string HtmlSourceForEditing(std::string_view html);

// Joins lines with CR LF (no line break after the last).
std::string JoinLines(const std::vector<std::string>& lines);

} // namespace pelmora::compose
