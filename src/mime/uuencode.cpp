#include "mime/uuencode.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace pelmora {
namespace {

constexpr std::uint8_t Invalid = 255;
constexpr std::size_t MaxCharsPerLine = 60;

constexpr std::array<std::uint8_t, 256> MakeUuTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& v : table) v = Invalid;
    for (int c = 33; c <= 95; ++c) table[c] = static_cast<std::uint8_t>(c - 32);
    table['`'] = 0;
    table[' '] = 0;
    return table;
}

constexpr std::array<std::uint8_t, 256> UuValue = MakeUuTable();

} // namespace

bool UudecodeLineTo(std::string_view line, std::string& out) {
    if (line.empty()) return true;
    std::uint8_t count = UuValue[static_cast<unsigned char>(line[0])];
    if (count == Invalid) return false;
    std::string_view data = line.substr(1, MaxCharsPerLine);
    std::uint8_t values[MaxCharsPerLine];
    for (std::size_t i = 0; i < data.size(); ++i) {
        values[i] = UuValue[static_cast<unsigned char>(data[i])];
        if (values[i] == Invalid) return false;
    }
    // Four 6-bit characters make three bytes; characters missing from the last group count
    // as zero bits, and so do bytes a count above the line's data asks for.
    char bytes[64] = {};
    std::size_t written = 0;
    for (std::size_t i = 0; i < data.size(); i += 4) {
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k)
            group = (group << 6) | (i + k < data.size() ? values[i + k] : 0u);
        bytes[written++] = static_cast<char>(group >> 16);
        bytes[written++] = static_cast<char>((group >> 8) & 0xFF);
        bytes[written++] = static_cast<char>(group & 0xFF);
    }
    out.append(bytes, count);
    return true;
}

std::string UudecodeLine(std::string_view line) {
    std::string out;
    UudecodeLineTo(line, out);
    return out;
}

void UudecodeBodyTo(std::string_view body, std::string& out) {
    std::size_t pos = 0;
    while (pos < body.size()) {
        const void* lf = std::memchr(body.data() + pos, '\n', body.size() - pos);
        std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - body.data())
                             : body.size();
        std::string_view line = body.substr(pos, end - pos);
        // Trim white space and control characters at both ends.
        while (!line.empty() && static_cast<unsigned char>(line.front()) <= ' ') line.remove_prefix(1);
        while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.remove_suffix(1);
        UudecodeLineTo(line, out);
        pos = end + 1;
    }
}

} // namespace pelmora
