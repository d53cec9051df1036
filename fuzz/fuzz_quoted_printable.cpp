// Decodes arbitrary quoted-printable text, and checks that body-mode encoding then decoding
// gives the bytes back (encoded text always ends in a line break, so one may be added).

#include "fuzz_check.h"
#include "mime/quoted_printable.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)pelmora::DecodeQuotedPrintable(bytes);

    std::string encoded = pelmora::EncodeQuotedPrintable(bytes, pelmora::TQpMode::Body);
    std::string decoded = pelmora::DecodeQuotedPrintable(encoded);
    std::string expected(bytes);
    if (!expected.empty() && !expected.ends_with("\r\n"))
        expected += "\r\n";
    FUZZ_CHECK(decoded == expected);
    std::string_view rest = encoded;
    while (!rest.empty()) {
        std::size_t end = rest.find("\r\n");
        FUZZ_CHECK(end != std::string_view::npos && end <= 72);
        rest.remove_prefix(end + 2);
    }

    std::string header = pelmora::EncodeQuotedPrintable(bytes, pelmora::TQpMode::Header);
    FUZZ_CHECK(pelmora::DecodeQuotedPrintable(header) == bytes);
    return 0;
}
