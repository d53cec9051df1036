#include "mime/mime_text.h"

#include <charconv>
#include <cstring>

namespace pelmora {

std::string_view TrimMail(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size() && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    std::size_t end = text.size();
    while (end > begin && text[end - 1] == ' ') --end;
    return text.substr(begin, end - begin);
}

std::string_view TrimAllWhite(std::string_view text) {
    auto white = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t begin = 0;
    while (begin < text.size() && white(text[begin])) ++begin;
    std::size_t end = text.size();
    while (end > begin && white(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}


std::string LowerAsciiCopy(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = LowerAscii(c);
    return result;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string NormaliseLineBreaks(std::string_view text) {
    std::string result;
    result.reserve(text.size() + text.size() / 32);
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\r' && c != '\n') continue;
        result.append(text.data() + start, i - start);
        result += "\r\n";
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    result.append(text.data() + start, text.size() - start);
    return result;
}

std::vector<std::string> SplitTextLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\r' && c != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string_view UpToZero(std::string_view bytes) {
    const void* zero = std::memchr(bytes.data(), 0, bytes.size());
    if (!zero) return bytes;
    return bytes.substr(0, static_cast<const char*>(zero) - bytes.data());
}

std::string Concat(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (std::string_view part : parts) size += part.size();
    std::string result;
    result.reserve(size);
    for (std::string_view part : parts) result += part;
    return result;
}

std::string DecimalText(long long value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::optional<int> WholeNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace pelmora
