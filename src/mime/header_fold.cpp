#include "mime/header_fold.h"

#include "mime/mime_text.h"

#include <vector>

namespace pelmora {
namespace {

constexpr std::size_t MaxLine = 72;
constexpr std::size_t TabLowest = 35; // index of the lowest break in a line that starts with TAB

// Folds one line. Quote state is taken walking back from the line's end, which every rest
// of a folded line shares, so it is computed once and each fold looks at 72 characters at
// most: the work stays linear however long the line is.
void FoldLine(std::string_view line, std::string& out) {
    if (line.size() <= MaxLine) {
        out.append(line);
        out += "\r\n";
        return;
    }
    std::vector<bool> outside(line.size());
    char quote = 0;
    for (std::size_t i = line.size(); i-- > 0;) {
        char c = line[i];
        if (quote) {
            if (c == quote) quote = 0;
            // the closing character is itself inside
            outside[i] = false;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            outside[i] = false;
            continue;
        }
        outside[i] = true;
    }
    // Nor inside an encoded word: a break there would put white space into the encoded text.
    std::size_t pos = 0;
    while ((pos = line.find("=?", pos)) != std::string_view::npos) {
        std::size_t charsetEnd = line.find('?', pos + 2);
        if (charsetEnd == std::string_view::npos) break;
        std::size_t close = line.find("?=", charsetEnd + 3);
        if (close == std::string_view::npos) break;
        for (std::size_t i = pos; i < close + 2; ++i) outside[i] = false;
        pos = close + 2;
    }
    std::size_t start = 0;
    bool first = true;
    std::size_t nextColon = line.find(": ");
    while (true) {
        std::string_view rest = line.substr(start);
        if (rest.size() <= MaxLine) {
            out.append(rest);
            out += "\r\n";
            return;
        }
        std::size_t lowest;
        if (first && line.front() == '\t') {
            lowest = TabLowest;
        } else {
            if (nextColon != std::string_view::npos && nextColon < start) nextColon = line.find(": ", start);
            lowest = nextColon == std::string_view::npos ? 1 : nextColon - start + 2;
        }
        first = false;
        std::size_t found = std::string_view::npos;
        for (std::size_t i = MaxLine; i-- > lowest;) {
            char c = rest[i];
            if ((c == ' ' || c == ',' || c == ';') && outside[start + i]) {
                found = i;
                break;
            }
        }
        if (found == std::string_view::npos) {
            out.append(rest);
            out += "\r\n";
            return;
        }
        out.append(rest.substr(0, rest[found] == ' ' ? found : found + 1));
        out += "\r\n\t";
        start += found + 1;
    }
}

} // namespace

std::string FoldHeaderText(std::string_view text) {
    std::string normalised = NormaliseLineBreaks(text);
    while (normalised.size() >= 2 && normalised.compare(normalised.size() - 2, 2, "\r\n") == 0)
        normalised.resize(normalised.size() - 2);
    std::string out;
    out.reserve(normalised.size() + normalised.size() / 16 + 2);
    if (normalised.empty()) return out;
    std::string_view all = normalised;
    std::size_t pos = 0;
    while (true) {
        std::size_t end = all.find("\r\n", pos);
        FoldLine(all.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos), out);
        if (end == std::string_view::npos) break;
        pos = end + 2;
    }
    return out;
}

} // namespace pelmora
