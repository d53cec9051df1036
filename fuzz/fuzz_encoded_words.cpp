// Decodes arbitrary header text holding encoded words; also encodes it and decodes it back.

#include "fuzz_check.h"
#include "mime/charset.h"
#include "mime/encoded_words.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)pelmora::DecodeWords(text);

    // A text that holds no "?" cannot look like an encoded word once decoded, so writing it
    // as one and reading it back must give the text again. (A text left plain holds no
    // white space at its ends, so trimming cannot change it either.) Decoded header texts
    // are UTF-8 without NULs, so only such texts can come back unchanged.
    if (text.find('?') == std::string_view::npos &&
        text.find('\0') == std::string_view::npos && pelmora::IsValidUtf8(text)) {
        std::string encoded = pelmora::EncodeWord(text, "utf-8");
        std::string decoded = pelmora::DecodeWords(encoded);
        FUZZ_CHECK(decoded == text);
    }
    return 0;
}
