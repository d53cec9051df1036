// Uudecodes arbitrary text, as one line and as a body.

#include "mime/uuencode.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string out;
    (void)pelmora::UudecodeLineTo(text, out);
    out.clear();
    pelmora::UudecodeBodyTo(text, out);
    return 0;
}
