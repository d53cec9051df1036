#include "mime/base64.h"

#include "mime/large_buffer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

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

// Decodes one group of four alphabet characters from the pre-shifted tables; bits above the
// low 24 are set when any of them is outside the alphabet.
inline std::uint32_t GroupBits(const unsigned char* in) {
    return Shifted0[in[0]] | Shifted1[in[1]] | Shifted2[in[2]] | Shifted3[in[3]];
}

// Writes the three bytes of a group; on little-endian machines as one 4-byte store, so dest
// needs one byte of room beyond them.
inline void StoreGroup(std::uint32_t v, char* dest) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(dest, &v, 4);
    } else {
        dest[0] = static_cast<char>(v);
        dest[1] = static_cast<char>(v >> 8);
        dest[2] = static_cast<char>(v >> 16);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define PELMORA_BASE64_AVX2 1

// 32 characters at a time with AVX2: classifies each byte by its two nibbles, maps the
// alphabet to 0-63 by adding an offset chosen by the high nibble, and packs four 6-bit values
// into three bytes. Stops before the first block that holds anything outside the alphabet
// (a line break, padding); the caller goes on from there. Writes exactly 24 bytes per block.
__attribute__((target("avx2"))) const unsigned char*
DecodeBlocksAvx2(const unsigned char* in, const unsigned char* end, char*& dest) {
    const __m256i lowLookup =
        _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A,
                         0x1B, 0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                         0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m256i highLookup =
        _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10,
                         0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08,
                         0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    const __m256i offsets = _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0,
                                             0, 0, 0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0,
                                             0, 0, 0, 0);
    const __m256i slashes = _mm256_set1_epi8(0x2F);
    const __m256i pairWeights = _mm256_set1_epi32(0x01400140);
    const __m256i quadWeights = _mm256_set1_epi32(0x00011000);
    const __m256i byteOrder = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1,
                                               -1, 2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1,
                                               -1, -1);
    const __m256i laneOrder = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    while (end - in >= 32) {
        __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        const __m256i highNibbles = _mm256_and_si256(_mm256_srli_epi32(text, 4), slashes);
        const __m256i lowNibbles = _mm256_and_si256(text, slashes);
        const __m256i high = _mm256_shuffle_epi8(highLookup, highNibbles);
        const __m256i low = _mm256_shuffle_epi8(lowLookup, lowNibbles);
        if (!_mm256_testz_si256(low, high))
            break;
        const __m256i isSlash = _mm256_cmpeq_epi8(text, slashes);
        const __m256i offset = _mm256_shuffle_epi8(offsets, _mm256_add_epi8(isSlash, highNibbles));
        text = _mm256_add_epi8(text, offset);
        const __m256i pairs = _mm256_maddubs_epi16(text, pairWeights);
        __m256i bytes = _mm256_madd_epi16(pairs, quadWeights);
        bytes = _mm256_shuffle_epi8(bytes, byteOrder);
        bytes = _mm256_permutevar8x32_epi32(bytes, laneOrder);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm256_castsi256_si128(bytes));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + 16), _mm256_extracti128_si256(bytes, 1));
        dest += 24;
        in += 32;
    }
    return in;
}

const bool HaveAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif


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

std::size_t TBase64Decoder::Decode(std::string_view piece, char* dest) {
    const auto* in = reinterpret_cast<const unsigned char*>(piece.data());
    const auto* const end = in + piece.size();
    char* out = dest;
    while (in < end) {
        if (Count == 0 && !HalfPadded) {
            // Whole groups as long as the text holds nothing but the alphabet.
#ifdef PELMORA_BASE64_AVX2
            if (HaveAvx2)
                in = DecodeBlocksAvx2(in, end, out);
#endif
            while (end - in >= 8) {
                const std::uint32_t first = GroupBits(in);
                const std::uint32_t second = GroupBits(in + 4);
                if ((first | second) & BadGroup)
                    break;
                StoreGroup(first, out);
                StoreGroup(second, out + 3);
                out += 6;
                in += 8;
            }
            while (end - in >= 4) {
                const std::uint32_t bits = GroupBits(in);
                if (bits & BadGroup)
                    break;
                StoreGroup(bits, out);
                out += 3;
                in += 4;
            }
            if (in == end)
                break;
        }
        // One character at a time until a group is complete again.
        const std::uint8_t v = DecodeTable[*in++];
        if (v < 64) {
            HalfPadded = false; // a lone "=" after two characters was stray
            Bits = (Bits << 6) | v;
            if (++Count == 4) {
                out[0] = static_cast<char>(Bits >> 16);
                out[1] = static_cast<char>(Bits >> 8);
                out[2] = static_cast<char>(Bits);
                out += 3;
                Bits = 0;
                Count = 0;
            }
        } else if (v == Pad) {
            if (Count == 3) {
                out[0] = static_cast<char>(Bits >> 10);
                out[1] = static_cast<char>(Bits >> 2);
                out += 2;
                Bits = 0;
                Count = 0;
            } else if (Count == 2 && HalfPadded) {
                *out++ = static_cast<char>(Bits >> 4);
                Bits = 0;
                Count = 0;
                HalfPadded = false;
            } else if (Count == 2) {
                HalfPadded = true;
            }
            // An "=" before the second character of a group finishes nothing: skipped.
        }
    }
    return static_cast<std::size_t>(out - dest);
}

std::size_t TBase64Decoder::Finish(char* dest) {
    std::size_t written = 0;
    if (Count == 2) {
        dest[0] = static_cast<char>(Bits >> 4);
        written = 1;
    } else if (Count == 3) {
        dest[0] = static_cast<char>(Bits >> 10);
        dest[1] = static_cast<char>(Bits >> 2);
        written = 2;
    }
    Bits = 0;
    Count = 0;
    HalfPadded = false;
    return written;
}

std::size_t DecodeBase64Into(std::string_view text, char* dest) {
    TBase64Decoder decoder;
    const std::size_t written = decoder.Decode(text, dest);
    return written + decoder.Finish(dest + written);
}

// Appending goes through a small buffer rather than growing out first: growing would fill
// the new room with zeros only for the decoder to overwrite them.
void DecodeBase64BodyTo(std::string_view body, std::string& out) {
    constexpr std::size_t PieceSize = 48 * 1024;
    char buffer[TBase64Decoder::MaxOutput(PieceSize)];
    ReserveLarge(out, out.size() + body.size() / 4 * 3 + 3);
    TBase64Decoder decoder;
    for (std::size_t pos = 0; pos < body.size(); pos += PieceSize)
        out.append(buffer, decoder.Decode(body.substr(pos, PieceSize), buffer));
    out.append(buffer, decoder.Finish(buffer));
}

std::string DecodeBase64Body(std::string_view body) {
    std::string out;
    DecodeBase64BodyTo(body, out);
    return out;
}

void DecodeBase64LineTo(std::string_view line, std::string& out) { DecodeBase64BodyTo(line, out); }

std::string DecodeBase64Line(std::string_view line) { return DecodeBase64Body(line); }

} // namespace pelmora
