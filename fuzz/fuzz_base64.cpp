// Decodes arbitrary text as a base64 body, and checks that encoding then decoding arbitrary
// bytes gives them back unchanged.

#include "fuzz_check.h"
#include "mime/base64.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)pelmora::DecodeBase64Body(bytes);
    (void)pelmora::DecodeBase64Line(bytes);

    std::string encoded = pelmora::EncodeBase64(bytes);
    FUZZ_CHECK(pelmora::DecodeBase64Body(encoded) == bytes);
    return 0;
}
