#include "compose/compose_text.h"

#include "mime/mail_message.h"
#include "mime/mime_text.h"
#include "paramtree/text_util.h"
#include "store/message_commands.h"

#include <array>

namespace pelmora::compose {

namespace {

std::string TrimmedCopy(std::string_view text) { return std::string(TrimAllWhite(text)); }

std::string LowerExtension(std::string_view name) {
    const size_t slash = name.find_last_of('/');
    if (slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    return LowerAsciiCopy(name.substr(dot));
}

} // namespace

std::vector<TAddressItem> SplitAddressField(std::string_view field, bool commaSeparates) {
    std::string text = TrimmedCopy(field);
    if (commaSeparates) {
        for (char& c : text)
            if (c == ',')
                c = ';';
    }
    std::vector<TAddressItem> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string item = TrimmedCopy(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (item.empty())
            continue;
        const size_t open = item.find('(');
        if (open == std::string::npos) {
            items.push_back({item, item});
            continue;
        }
        const size_t close = item.find(')', open + 1);
        const std::string_view inner =
            std::string_view(item).substr(open + 1, close == std::string::npos
                                                        ? std::string::npos
                                                        : close - open - 1);
        items.push_back({TrimmedCopy(std::string_view(item).substr(0, open)), TrimmedCopy(inner)});
    }
    return items;
}

std::string AddressPairText(std::string_view name, std::string_view address) {
    const std::string trimmedName = TrimmedCopy(name);
    if (trimmedName.empty())
        return TrimmedCopy(address);
    return trimmedName + " (" + std::string(address) + ")";
}

std::string SubjectWithPrefix(std::string_view subject, std::string_view prefix) {
    const std::string trimmed = TrimmedCopy(subject);
    // A reply to a reply stays "Re: x", a forward of a forward "Fw: x"; a forwarded reply
    // becomes "Fw: Re: x".
    const bool reply = StartsWithNoCase(prefix, "re");
    static const std::vector<std::string_view> kReplyMarks = {"re:", "aw:"};
    static const std::vector<std::string_view> kForwardMarks = {"fw:", "fwd:", "wg:"};
    for (std::string_view mark : reply ? kReplyMarks : kForwardMarks) {
        if (StartsWithNoCase(trimmed, mark))
            return trimmed;
    }
    if (trimmed.empty())
        return std::string(prefix);
    return std::string(prefix) + " " + trimmed;
}

std::string HtmlToPlain(std::string_view html) { return TrimmedCopy(HtmlToPlainText(html)); }

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string PlainToHtml(std::string_view text) {
    const std::vector<std::string> lines = SplitTextLines(text);
    std::string out;
    out.reserve(text.size() + lines.size() * 4);
    bool paragraph = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const bool blank = TrimMail(lines[i]).empty();
        if (blank) {
            paragraph = true;
            continue;
        }
        if (!out.empty())
            out += paragraph ? "<P>" : "<BR>";
        paragraph = false;
        out += EscapeHtml(lines[i]);
    }
    return out;
}

bool IsImageFile(std::string_view name) {
    static const std::array<std::string_view, 9> kImages = {".jpg", ".jpeg", ".gif", ".bmp", ".tif",
                                                            ".tga", ".ico",  ".png", ".dib"};
    const std::string extension = LowerExtension(name);
    for (std::string_view image : kImages)
        if (extension == image)
            return true;
    return false;
}

bool HasReportPart(const TMailMessage& message) {
    for (const TMailPart* part : message.Attachments) {
        const std::string type = part->ContentTypeLower();
        if (type.find("report") != std::string::npos ||
            type.find("notification") != std::string::npos)
            return true;
    }
    return false;
}

std::string SafeLocalName(std::string_view senderName, std::string_view fallback) {
    // Only the last path element counts, whichever separator the sender used.
    const size_t slash = senderName.find_last_of("/\\");
    if (slash != std::string_view::npos)
        senderName.remove_prefix(slash + 1);
    std::string out;
    out.reserve(senderName.size());
    for (char c : senderName) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == ':' || c == '*' || c == '?' || c == '"' ||
            c == '<' || c == '>' || c == '|')
            out += '_';
        else
            out += c;
    }
    std::string trimmed = TrimmedCopy(out);
    if (trimmed.size() > 200)
        trimmed.erase(0, trimmed.size() - 200); // keep the extension
    if (trimmed.find_first_not_of('.') == std::string::npos)
        return std::string(fallback);
    if (trimmed.front() == '.')
        trimmed.insert(0, "_"); // no hidden files
    return trimmed;
}

std::string RunnableType(std::string_view fileName) {
    static const std::array<std::pair<std::string_view, std::string_view>, 22> kRunnable = {{
        {".desktop", "desktop entry"}, {".sh", "shell script"},     {".bash", "shell script"},
        {".csh", "shell script"},      {".zsh", "shell script"},    {".py", "Python script"},
        {".pl", "Perl script"},        {".rb", "Ruby script"},      {".js", "JavaScript"},
        {".jar", "Java program"},      {".exe", "Windows program"}, {".com", "Windows program"},
        {".bat", "batch file"},        {".cmd", "batch file"},      {".msi", "installer"},
        {".deb", "installer"},         {".rpm", "installer"},       {".run", "program"},
        {".bin", "program"},           {".appimage", "program"},    {".vbs", "script"},
        {".ps1", "script"},
    }};
    const std::string extension = LowerExtension(fileName);
    for (const auto& [known, type] : kRunnable)
        if (extension == known)
            return std::string(type);
    return {};
}

std::string JoinLines(const std::vector<std::string>& lines) {
    size_t size = 0;
    for (const std::string& line : lines)
        size += line.size() + 2;
    std::string out;
    out.reserve(size);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            out += "\r\n";
        out += lines[i];
    }
    return out;
}

namespace {

std::string WithBodyTag(std::string_view html, const std::string& tag) {
    const size_t body = FindNoCase(html, "<BODY");
    if (body == std::string_view::npos)
        return std::string(html);
    const size_t close = html.find('>', body);
    std::string out(html.substr(0, body));
    out += tag;
    if (close != std::string_view::npos)
        out.append(html.substr(close + 1));
    return out;
}

} // namespace

std::string WithBodyColour(std::string_view html, int red, int green, int blue) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string digits;
    for (int value : {red, green, blue}) {
        const int byte = value < 0 ? 0 : (value > 255 ? 255 : value);
        digits += kHex[byte >> 4];
        digits += kHex[byte & 15];
    }
    return WithBodyTag(html, "<BODY BGCOLOR=\"#" + digits + "\">");
}

std::string WithBodyImage(std::string_view html, std::string_view path) {
    // A quote in the path would end the attribute early.
    return WithBodyTag(html, "<BODY BACKGROUND=\"" + ReplaceAll(path, "\"", "%22") + "\">");
}

std::string HtmlSourceForEditing(std::string_view html) {
    std::string out;
    const std::string_view name = "microsoft dhtml";
    size_t from = 0;
    while (true) {
        const size_t at = FindNoCase(html, name, from);
        if (at == std::string_view::npos)
            break;
        out.append(html.substr(from, at - from));
        out += "Sorvath Pelmora";
        from = at + name.size();
    }
    out.append(html.substr(from));
    return out;
}

} // namespace pelmora::compose
