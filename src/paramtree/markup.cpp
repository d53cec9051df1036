#include "paramtree/markup.h"

#include "paramtree/text_util.h"

#include <charconv>

namespace pelmora {

namespace {

constexpr std::string_view kHrefQuote = "href=\"";

// Where the value of a parameter lies in a node text.
struct TValueRange {
    size_t Begin = 0;
    size_t End = 0;
};

// Finds the anchor whose href equals `name` and the value after its ">" up to the next "<".
std::optional<TValueRange> LocateValue(std::string_view text, std::string_view name) {
    size_t pos = 0;
    while ((pos = FindNoCase(text, kHrefQuote, pos)) != std::string_view::npos) {
        size_t nameBegin = pos + kHrefQuote.size();
        size_t nameEnd = text.find('"', nameBegin);
        if (nameEnd == std::string_view::npos)
            return std::nullopt;
        if (EqualsNoCase(text.substr(nameBegin, nameEnd - nameBegin), name)) {
            size_t close = text.find('>', nameEnd);
            if (close == std::string_view::npos)
                return std::nullopt;
            size_t end = text.find('<', close + 1);
            if (end == std::string_view::npos)
                return std::nullopt;
            return TValueRange{close + 1, end};
        }
        pos = nameEnd + 1;
    }
    return std::nullopt;
}

bool IsTagBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The quoted value of attribute `attr` (given with its "=\"") inside one tag's text.
// The attribute name must start the tag's word list, so "bgcolor=" never answers "color=".
std::string QuotedAttribute(std::string_view tag, std::string_view attrQuote) {
    size_t pos = 0;
    while ((pos = FindNoCase(tag, attrQuote, pos)) != std::string_view::npos) {
        if (pos > 0 && IsTagBlank(tag[pos - 1])) {
            size_t begin = pos + attrQuote.size();
            size_t end = tag.find('"', begin);
            if (end == std::string_view::npos)
                end = tag.size();
            return std::string(tag.substr(begin, end - begin));
        }
        pos += attrQuote.size();
    }
    return {};
}

} // namespace

std::string EscapeParam(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

std::string UnescapeParam(std::string_view value) {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}};
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size();) {
        bool replaced = false;
        if (value[i] == '&') {
            for (const auto& [entity, ch] : kEntities) {
                if (value.substr(i, entity.size()) == entity) {
                    out += ch;
                    i += entity.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out += value[i++];
    }
    return out;
}

std::optional<std::string> ReadParam(std::string_view text, std::string_view name) {
    auto range = LocateValue(text, name);
    if (!range)
        return std::nullopt;
    return std::string(text.substr(range->Begin, range->End - range->Begin));
}

std::optional<TParamDetails> ParamDetails(std::string_view text, std::string_view name) {
    size_t pos = 0;
    while ((pos = FindNoCase(text, "<a", pos)) != std::string_view::npos) {
        size_t after = pos + 2;
        if (after >= text.size())
            return std::nullopt;
        if (!IsTagBlank(text[after]) && text[after] != '>') {
            pos = after;
            continue;
        }
        size_t tagEnd = text.find('>', after);
        if (tagEnd == std::string_view::npos)
            return std::nullopt;
        std::string_view tag = text.substr(pos, tagEnd - pos);
        std::string href = QuotedAttribute(tag, "href=\"");
        if (EqualsNoCase(href, name)) {
            size_t close = text.find("</", tagEnd + 1);
            if (close != std::string_view::npos) {
                TParamDetails details;
                details.Class = UpperAscii(QuotedAttribute(tag, "class=\""));
                details.Props = QuotedAttribute(tag, "props=\"");
                details.Value = std::string(text.substr(tagEnd + 1, close - tagEnd - 1));
                return details;
            }
        }
        pos = tagEnd + 1;
    }
    return std::nullopt;
}

bool WriteParam(std::string& text, std::string_view name, std::string_view value) {
    auto range = LocateValue(text, name);
    if (!range)
        return false;
    if (!StartsWithNoCase(std::string_view(text).substr(range->End), "</a"))
        return false;
    text.replace(range->Begin, range->End - range->Begin, value);
    return true;
}

std::string StripMarkup(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t open = text.find('<', pos);
        if (open == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, open - pos));
        size_t close = text.find('>', open + 1);
        if (close == std::string_view::npos) {
            out.append(text.substr(open));
            break;
        }
        std::string_view tag = text.substr(open, close - open + 1);
        if (EqualsNoCase(tag, "<br>") || EqualsNoCase(tag, "<hr>"))
            out += "\r\n";
        pos = close + 1;
    }
    return out;
}

int NodeCode(std::string_view text) {
    size_t pos = text.find("<XID=");
    if (pos == std::string_view::npos)
        return -1;
    size_t begin = pos + 5;
    size_t end = text.find('>', begin);
    if (end == std::string_view::npos)
        return -1;
    std::string_view digits = TrimView(text.substr(begin, end - begin));
    if (digits.empty() || digits[0] == '+')
        return -1;
    int number = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc() || ptr != digits.data() + digits.size())
        return -1;
    return number;
}

std::vector<std::string> SplitProps(std::string_view props) {
    std::string plain = UnescapeParam(props);
    std::vector<std::string> items;
    if (TrimView(plain).empty())
        return items;
    size_t i = 0;
    for (;;) {
        while (i < plain.size() && (plain[i] == ' ' || plain[i] == '\t'))
            ++i;
        std::string item;
        if (i < plain.size() && plain[i] == '"') {
            // A quoted entry may hold commas; "" stands for one quote.
            ++i;
            while (i < plain.size()) {
                if (plain[i] == '"') {
                    if (i + 1 < plain.size() && plain[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += plain[i++];
            }
            size_t comma = plain.find(',', i);
            items.push_back(item);
            if (comma == std::string::npos)
                break;
            i = comma + 1;
        } else {
            size_t comma = plain.find(',', i);
            std::string_view raw = std::string_view(plain).substr(
                i, comma == std::string::npos ? std::string::npos : comma - i);
            items.push_back(Trim(raw));
            if (comma == std::string::npos)
                break;
            i = comma + 1;
        }
    }
    return items;
}

} // namespace pelmora
