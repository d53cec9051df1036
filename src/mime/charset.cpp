#include "mime/charset.h"

#include "mime/mime_text.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelmora {
namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";

// Labels that mail programs write but iconv knows under another name, or whose usual
// meaning in mail is a superset (GB2312 mail is written by GBK encoders, KS C 5601 by CP949).
std::string_view IconvName(std::string_view label) {
    static const std::unordered_map<std::string_view, std::string_view> aliases = {
        {"gb2312", "GB18030"},       {"gbk", "GB18030"},         {"x-gbk", "GB18030"},
        {"euc-cn", "GB18030"},       {"ks_c_5601-1987", "CP949"}, {"ks_c_5601", "CP949"},
        {"euc-kr", "CP949"},         {"x-sjis", "SHIFT_JIS"},     {"shift-jis", "SHIFT_JIS"},
        {"ansi_x3.4-1968", "ASCII"}, {"x-mac-roman", "MACINTOSH"}, {"macintosh", "MACINTOSH"},
        {"unicode-1-1-utf-7", "UTF-7"}, {"cp-850", "CP850"},     {"latin1", "ISO-8859-1"},
        {"utf8", "UTF-8"},           {"x-user-defined", "WINDOWS-1252"},
        {"unknown-8bit", "WINDOWS-1252"}, {"x-unknown", "WINDOWS-1252"}};
    auto found = aliases.find(label);
    return found == aliases.end() ? label : found->second;
}

// One converter per charset, kept open for the life of the program (mail is read on the one
// UI thread; the mutex only guards against a second thread a caller might add).
class TConverterCache {
public:
    // Runs fn with an open converter to UTF-8, or returns false when iconv lacks the charset.
    template <typename F> bool With(const std::string& name, F&& fn) {
        std::lock_guard<std::mutex> lock(Mutex_);
        auto found = Converters_.find(name);
        if (found == Converters_.end()) {
            iconv_t cd = iconv_open("UTF-8", name.c_str());
            found = Converters_.emplace(name, cd).first;
        }
        if (found->second == reinterpret_cast<iconv_t>(-1)) return false;
        iconv(found->second, nullptr, nullptr, nullptr, nullptr); // reset shift state
        fn(found->second);
        return true;
    }

private:
    std::mutex Mutex_;
    std::unordered_map<std::string, iconv_t> Converters_;
};

TConverterCache& Converters() {
    static TConverterCache* cache = new TConverterCache; // lives until exit, never torn down
    return *cache;
}

// Runs iconv over the whole input; a byte it rejects becomes U+FFFD and is skipped, and a
// sequence cut off at the end becomes one U+FFFD.
void ConvertAll(iconv_t cd, std::string_view bytes, std::string& out) {
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[8192];
    while (true) {
        char* dest = buffer;
        std::size_t destLeft = sizeof buffer;
        std::size_t result = inLeft > 0 ? iconv(cd, &in, &inLeft, &dest, &destLeft)
                                        : iconv(cd, nullptr, nullptr, &dest, &destLeft);
        int error = errno;
        out.append(buffer, static_cast<std::size_t>(dest - buffer));
        if (result != static_cast<std::size_t>(-1)) {
            if (inLeft == 0) {
                // flush any pending shift sequence once
                dest = buffer;
                destLeft = sizeof buffer;
                iconv(cd, nullptr, nullptr, &dest, &destLeft);
                out.append(buffer, static_cast<std::size_t>(dest - buffer));
                return;
            }
            continue;
        }
        if (error == E2BIG) continue;
        out += Replacement;
        if (error == EINVAL || inLeft <= 1) return; // incomplete sequence at the end
        ++in;
        --inLeft;
    }
}

// windows-1252 leaves five bytes undefined; they read as the Latin-1 control of that code
// so that the fallback reading never rejects a byte.
void Windows1252(std::string_view bytes, std::string& out) {
    std::size_t start = 0;
    auto flush = [&](std::size_t end) {
        if (end <= start) return;
        bool ok = Converters().With("WINDOWS-1252", [&](iconv_t cd) {
            ConvertAll(cd, bytes.substr(start, end - start), out);
        });
        if (!ok) {
            for (char ch : bytes.substr(start, end - start)) {
                auto c = static_cast<unsigned char>(ch);
                if (c < 0x80) {
                    out += ch;
                } else {
                    out += static_cast<char>(0xC0 | (c >> 6));
                    out += static_cast<char>(0x80 | (c & 0x3F));
                }
            }
        }
    };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) {
            flush(i);
            out += static_cast<char>(0xC2);
            out += static_cast<char>(c);
            start = i + 1;
        }
    }
    flush(bytes.size());
}

bool IsAscii(std::string_view bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// Labels under which texts that are valid UTF-8 are taken as UTF-8: senders label UTF-8
// mail as us-ascii or leave the label out.
bool IsAsciiLabel(std::string_view label) {
    return label.empty() || label == "us-ascii" || label == "ascii" || label == "us" ||
           label == "ansi_x3.4-1968" || label == "iso646-us" || label == "default";
}

#if defined(__SSE2__)
// The bytes of a text of 1 to 16 bytes in one register, zero after its end, read without
// touching a byte outside it.
__m128i LoadShort(const unsigned char* s, std::size_t n) {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    if (n >= 8) {
        std::memcpy(&low, s, 8);
        if (n > 8) {
            std::memcpy(&high, s + n - 8, 8);
            high >>= 8 * (16 - n);
        }
    } else if (n >= 4) {
        std::uint32_t first;
        std::uint32_t last;
        std::memcpy(&first, s, 4);
        std::memcpy(&last, s + n - 4, 4);
        // Bytes 4 to n - 1 are the top n - 4 bytes of last (none when n is 4).
        low = first | ((static_cast<std::uint64_t>(last) >> (8 * (8 - n))) << 32);
    } else {
        for (std::size_t k = 0; k < n; ++k) low |= static_cast<std::uint64_t>(s[k]) << (8 * k);
    }
    return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}
#endif

} // namespace

bool IsValidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
#if defined(__SSE2__)
    // Names, words and addresses are mostly short, and hold at most two-byte characters
    // (Latin, Greek, Cyrillic): up to 32 bytes are checked at once, without a branch per
    // character. Each lead byte C2..DF must be followed by a continuation byte 80..BF and each
    // continuation byte follow one; any other byte of 128 or more goes to the full check below.
    if (n != 0 && n <= 32) {
        // Bit k of each mask is byte k of the text; a text of 17 to 32 bytes is read as its
        // first and its last sixteen, whose overlap gives the same bits twice.
        auto masks = [](__m128i chunk, std::uint64_t& high, std::uint64_t& continuation,
                        std::uint64_t& lead, int at) {
            high |= static_cast<std::uint64_t>(_mm_movemask_epi8(chunk)) << at;
            continuation |= static_cast<std::uint64_t>(
                                _mm_movemask_epi8(_mm_cmplt_epi8(chunk, _mm_set1_epi8(-64))))
                            << at;
            lead |= static_cast<std::uint64_t>(_mm_movemask_epi8(
                        _mm_and_si128(_mm_cmpgt_epi8(chunk, _mm_set1_epi8(-63)),
                                      _mm_cmplt_epi8(chunk, _mm_set1_epi8(-32)))))
                    << at;
        };
        std::uint64_t high = 0;
        std::uint64_t continuation = 0;
        std::uint64_t lead = 0;
        if (n <= 16) {
            masks(LoadShort(s, n), high, continuation, lead, 0);
        } else {
            masks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), high, continuation, lead, 0);
            masks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16)), high, continuation,
                  lead, static_cast<int>(n - 16));
        }
        if (high == 0) return true;
        if ((continuation | lead) == high) return (lead << 1) == continuation;
    }
#endif
    std::size_t i = 0;
    while (i < n) {
        // Runs of ASCII eight bytes at a time, up to the first byte of 128 or more.
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            const std::uint64_t high = word & 0x8080808080808080ULL;
            if (high != 0) {
                if constexpr (std::endian::native == std::endian::little)
                    i += static_cast<std::size_t>(std::countr_zero(high)) / 8;
                break;
            }
            i += 8;
        }
        if (i >= n) break;
        unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        // The second byte's range depends on the first: it excludes overlong forms, the
        // surrogates (ED A0..BF) and everything past U+10FFFF.
        auto continuation = [&](std::size_t at) { return at < n && (s[at] & 0xC0) == 0x80; };
        if (c >= 0xC2 && c <= 0xDF) {
            if (!continuation(i + 1)) return false;
            i += 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            if (!continuation(i + 1) || !continuation(i + 2)) return false;
            const unsigned char second = s[i + 1];
            if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F)) return false;
            i += 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            if (!continuation(i + 1) || !continuation(i + 2) || !continuation(i + 3)) return false;
            const unsigned char second = s[i + 1];
            if ((c == 0xF0 && second < 0x90) || (c == 0xF4 && second > 0x8F)) return false;
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

std::string NormaliseCharsetLabel(std::string_view label) {
    std::string_view text = TrimAllWhite(label);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = TrimAllWhite(text.substr(1, text.size() - 2));
    std::size_t star = text.find('*');
    if (star != std::string_view::npos) text = text.substr(0, star);
    return LowerAsciiCopy(text);
}

std::string HeaderBytesToUtf8(std::string_view bytes) {
    if (IsAscii(bytes) || IsValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    Windows1252(bytes, out);
    return out;
}

std::string_view Utf8View(std::string_view bytes, std::string_view charset, std::string& storage) {
    std::string label = NormaliseCharsetLabel(charset);
    std::string& out = storage;
    out.clear();
    // A byte-order mark says more than a label.
    auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (starts(std::string_view("\xFF\xFE\0\0", 4)) || starts(std::string_view("\0\0\xFE\xFF", 4))) {
        label = "utf-32";
    } else if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
        label = "utf-16";
    } else if (starts("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        if (IsAsciiLabel(label)) label = "utf-8";
    }
    if (IsAscii(bytes) && label.find("16") == std::string::npos &&
        label.find("32") == std::string::npos && label.find("utf-7") == std::string::npos &&
        label.find("2022") == std::string::npos && label.find("hz") == std::string::npos)
        return bytes;
    if (IsAsciiLabel(label) || label == "utf-8") {
        if (IsValidUtf8(bytes)) return bytes;
        if (label == "utf-8") {
            bool ok = Converters().With("UTF-8", [&](iconv_t cd) { ConvertAll(cd, bytes, out); });
            if (ok) return out;
        }
        Windows1252(bytes, out);
        return out;
    }
    std::string name(IconvName(label));
    for (char& c : name) c = UpperAscii(c);
    if (name == "WINDOWS-1252" || name == "CP1252") {
        Windows1252(bytes, out);
        return out;
    }
    bool ok = Converters().With(name, [&](iconv_t cd) { ConvertAll(cd, bytes, out); });
    if (!ok) {
        if (IsValidUtf8(bytes)) return bytes;
        out.clear();
        Windows1252(bytes, out);
    }
    return out;
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    std::string storage;
    const std::string_view text = Utf8View(bytes, charset, storage);
    if (text.data() == storage.data()) return storage;
    return std::string(text);
}

} // namespace pelmora
