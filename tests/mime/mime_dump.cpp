// mime_dump: prints what Pelmora shows of each message file, one JSON object a line, in the
// form tests/mime/interop_read.py --json prints Python's reading of the same files:
//
//   {"file": NAME, "subject": TEXT, "date": "YYYY-MM-DD HH:MM:SS" (local time) or "",
//    "from"|"to"|"cc": [[NAME, ADDRESS], ...], "plain"|"html": TEXT or null,
//    "attachments": [{"name": NAME, "type": TYPE, "size": N, "fnv": HEX}
//                    or, for an attached message, {"name", "type", "subject"}]}
//
// Texts are the shown lines joined by "\n". Bytes that are not UTF-8 are printed as <xHH>,
// so that they show in a diff instead of breaking the JSON.
//
//   mime_dump FILE...

#include "mime/charset.h"
#include "mime/mail_date.h"
#include "mime/mail_message.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {
namespace {

std::string Hex2(unsigned value) {
    static constexpr char digits[] = "0123456789abcdef";
    return {digits[(value >> 4) & 15], digits[value & 15]};
}

// Length of the valid UTF-8 sequence at text[i], 0 when there is none.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80         ? 1
                         : (c >> 5) == 6  ? 2
                         : (c >> 4) == 14 ? 3
                         : (c >> 3) == 30 ? 4
                                          : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    return IsValidUtf8(text.substr(i, length)) ? length : 0;
}

std::string Json(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00" + Hex2(c);
            ++i;
        } else if (std::size_t length = Utf8Length(text, i)) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "<x" + Hex2(c) + ">";
            ++i;
        }
    }
    return out + "\"";
}

std::string Addresses(const std::vector<TMailAddress>& list) {
    std::string out = "[";
    for (const auto& entry : list) {
        if (out.size() > 1)
            out += ", ";
        out += "[" + Json(entry.Name) + ", " + Json(entry.Address) + "]";
    }
    return out + "]";
}

std::vector<TMailAddress> Recipients(const TMailRecipients& list) {
    std::vector<TMailAddress> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back({list.NameAt(i), list.AddressAt(i)});
    return out;
}

std::string Text(const TMailPart* part, const TTextLines& lines) {
    if (!part)
        return "null";
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            joined += '\n';
        joined += lines[i];
    }
    return Json(joined);
}

std::string Date(double t) {
    if (t == 0)
        return "\"\"";
    int year, month, day, hour, minute, second, dayOfWeek;
    DecodeDayCount(t, year, month, day, hour, minute, second, dayOfWeek);
    char text[40];
    std::snprintf(text, sizeof text, "\"%04d-%02d-%02d %02d:%02d:%02d\"", year, month, day, hour,
                  minute, second);
    return text;
}

std::string Fnv(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    std::string out;
    for (int shift = 56; shift >= 0; shift -= 8)
        out += Hex2(static_cast<unsigned>(hash >> shift) & 0xFF);
    return out;
}

std::string Attachment(TMailPart& part) {
    std::string type = part.EffectiveContentType();
    std::string out = "{\"name\": " + Json(part.AttachmentFileName()) + ", \"type\": " + Json(type);
    part.DecodeBody();
    if (type == "message/rfc822") {
        TMailMessage inner;
        inner.ParseText(part.DecodedData, true);
        return out + ", \"subject\": " + Json(inner.GetSubject()) + "}";
    }
    return out + ", \"size\": " + std::to_string(part.DecodedData.size()) +
           ", \"fnv\": " + Json(Fnv(part.DecodedData)) + "}";
}

bool Dump(const std::filesystem::path& path) {
    TMailMessage message;
    if (!message.LoadMessageFile(path.string())) {
        std::cerr << "mime_dump: cannot read " << path << "\n";
        return false;
    }
    message.MapParts();
    TMailAddress sender = message.GetSender();
    std::vector<TMailAddress> from;
    if (!sender.Name.empty() || !sender.Address.empty())
        from.push_back(sender);
    std::string out = "{\"file\": " + Json(path.filename().string());
    out += ", \"subject\": " + Json(message.GetSubject());
    out += ", \"date\": " + Date(message.GetDate());
    out += ", \"from\": " + Addresses(from);
    out += ", \"to\": " + Addresses(Recipients(message.ToRecipients));
    out += ", \"cc\": " + Addresses(Recipients(message.CcRecipients));
    out += ", \"plain\": " + Text(message.PlainTextPart, message.PlainTextLines);
    out += ", \"html\": " + Text(message.HtmlTextPart, message.HtmlTextLines);
    out += ", \"attachments\": [";
    for (std::size_t i = 0; i < message.Attachments.size(); ++i)
        out += (i ? ", " : "") + Attachment(*message.Attachments[i]);
    out += "]}\n";
    std::cout << out;
    return true;
}

} // namespace
} // namespace pelmora

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: mime_dump FILE...\n";
        return 2;
    }
    bool ok = true;
    for (int i = 1; i < argc; ++i)
        ok = pelmora::Dump(argv[i]) && ok;
    return ok ? 0 : 1;
}
