#include "mime/base64.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace pelmora {
namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t BytesPerLine = 57;
constexpr std::uint8_t Pad = 64;
constexpr std::uint8_t Skip = 255;

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    for (auto& v : table) v = Skip;
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(Alphabet[i])] = static_cast<std::uint8_t>(i);
    table['='] = Pad;
    return table;
}

constexpr std::array<std::uint8_t, 256> DecodeTable = MakeDecodeTable();

// Pre-shifted tables: OR-ing the four entries of a group gives its three bytes in memory
// order (little-endian) in the low 24 bits; any character outside the alphabet sets bits
// above them.
constexpr std::uint32_t BadGroup = 0xFF000000u;

constexpr std::array<std::uint32_t, 256> MakeShiftedTable(int position) {
    std::array<std::uint32_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        std::uint32_t v = DecodeTable[c];
        if (v >= 64) {
            table[c] = BadGroup;
            continue;
        }
        switch (position) {
        case 0: table[c] = v << 2; break;
        case 1: table[c] = (v >> 4) | ((v & 0x0F) << 12); break;
        case 2: table[c] = ((v >> 2) << 8) | ((v & 0x03) << 22); break;
        default: table[c] = v << 16; break;
        }
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> Shifted0 = MakeShiftedTable(0);
constexpr std::array<std::uint32_t, 256> Shifted1 = MakeShiftedTable(1);
constexpr std::array<std::uint32_t, 256> Shifted2 = MakeShiftedTable(2);
constexpr std::array<std::uint32_t, 256> Shifted3 = MakeShiftedTable(3);

// Decodes one line into dest; returns the number of bytes written (at most 3/4 of the
// line's length). Characters outside the alphabet are skipped; "=" completes the group it is
// in. A last group of two or three characters (padding left out) gives its one or two bytes;
// *partial, when given, tells whether the line ended inside a group (its bits then belong to
// the next line). dest must have one byte of room beyond that.
std::size_t DecodeLineInto(const unsigned char* in, std::size_t len, char* dest,
                           bool* partial = nullptr) {
    char* const start = dest;
    std::size_t i = 0;
    if (partial) *partial = false;
    while (true) {
        // Fast path: four alphabet characters in a row, written as one 4-byte store.
        while (i + 4 <= len) {
            std::uint32_t v = Shifted0[in[i]] | Shifted1[in[i + 1]] | Shifted2[in[i + 2]] | Shifted3[in[i + 3]];
            if (v & BadGroup) break;
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(dest, &v, 4);
            } else {
                dest[0] = static_cast<char>(v);
                dest[1] = static_cast<char>(v >> 8);
                dest[2] = static_cast<char>(v >> 16);
            }
            dest += 3;
            i += 4;
        }
        if (i >= len) break;
        // Slow path: gather one group of up to four significant characters.
        std::uint8_t group[4];
        int count = 0;
        bool padded = false;
        while (i < len && count < 4) {
            std::uint8_t v = DecodeTable[in[i++]];
            if (v == Skip) continue;
            if (v == Pad) {
                if (count == 0) continue; // stray fill character
                padded = true;
                // the rest of the fill belongs to this group
                while (i < len && (in[i] == '=' || DecodeTable[in[i]] == Skip)) ++i;
                break;
            }
            group[count++] = v;
        }
        if (count == 1 && !padded) {
            // six bits cannot make a byte; they may continue on the next line
            if (partial) *partial = true;
            break;
        }
        if (count < 2) continue;
        if (count < 4 && !padded && partial && i >= len) {
            *partial = true;
            break;
        }
        std::uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v = (v << 6) | (k < count ? group[k] : 0);
        int produce = count - 1;
        dest[0] = static_cast<char>(v >> 16);
        if (produce > 1) dest[1] = static_cast<char>(v >> 8);
        if (produce > 2) dest[2] = static_cast<char>(v);
        dest += produce;
    }
    return static_cast<std::size_t>(dest - start);
}

} // namespace

void EncodeBase64To(std::string_view bytes, std::string& out) {
    const std::size_t n = bytes.size();
    const std::size_t lines = (n + BytesPerLine - 1) / BytesPerLine;
    const std::size_t start = out.size();
    out.resize(start + (n + 2) / 3 * 4 + lines * 2);
    char* dest = out.data() + start;
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t pos = 0;
    while (pos < n) {
        std::size_t lineEnd = std::min(n, pos + BytesPerLine);
        while (pos + 3 <= lineEnd) {
            std::uint32_t v = (std::uint32_t(in[pos]) << 16) | (std::uint32_t(in[pos + 1]) << 8) |
                              in[pos + 2];
            dest[0] = Alphabet[v >> 18];
            dest[1] = Alphabet[(v >> 12) & 63];
            dest[2] = Alphabet[(v >> 6) & 63];
            dest[3] = Alphabet[v & 63];
            dest += 4;
            pos += 3;
        }
        std::size_t left = lineEnd - pos;
        if (left > 0) {
            std::uint32_t v = std::uint32_t(in[pos]) << 16;
            if (left == 2) v |= std::uint32_t(in[pos + 1]) << 8;
            dest[0] = Alphabet[v >> 18];
            dest[1] = Alphabet[(v >> 12) & 63];
            dest[2] = left == 2 ? Alphabet[(v >> 6) & 63] : '=';
            dest[3] = '=';
            dest += 4;
            pos = lineEnd;
        }
        *dest++ = '\r';
        *dest++ = '\n';
    }
}

std::string EncodeBase64(std::string_view bytes) {
    std::string out;
    EncodeBase64To(bytes, out);
    return out;
}

void DecodeBase64LineTo(std::string_view line, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + line.size() / 4 * 3 + 4);
    std::size_t written = DecodeLineInto(reinterpret_cast<const unsigned char*>(line.data()),
                                         line.size(), out.data() + start);
    out.resize(start + written);
}

std::string DecodeBase64Line(std::string_view line) {
    std::string out;
    DecodeBase64LineTo(line, out);
    return out;
}

// Lines are decoded one by one while every line holds whole groups (the usual shape). A line
// that ends inside a group (lines of odd length, a line broken in the middle) makes the whole
// body be read again as one stream, so its leftover bits join the next line's and no byte is
// lost.
void DecodeBase64BodyTo(std::string_view body, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + body.size() / 4 * 3 + 4);
    char* dest = out.data() + start;
    const auto* in = reinterpret_cast<const unsigned char*>(body.data());
    std::size_t pos = 0;
    const std::size_t n = body.size();
    bool partial = false;
    while (pos < n && !partial) {
        const void* lf = std::memchr(in + pos, '\n', n - pos);
        std::size_t end = lf ? static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - in) : n;
        dest += DecodeLineInto(in + pos, end - pos, dest, &partial);
        pos = end + 1;
    }
    if (partial) {
        std::string stream;
        stream.reserve(body.size());
        for (unsigned char c : body) {
            if (DecodeTable[c] != Skip) stream += static_cast<char>(c);
        }
        dest = out.data() + start;
        dest += DecodeLineInto(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(), dest);
    }
    out.resize(static_cast<std::size_t>(dest - out.data()));
}

std::string DecodeBase64Body(std::string_view body) {
    std::string out;
    DecodeBase64BodyTo(body, out);
    return out;
}

} // namespace pelmora
