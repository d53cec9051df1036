// Folds arbitrary header text: every output line ends in CR LF, continuation lines begin
// with a TAB, and no text other than line breaks is lost.

#include "fuzz_check.h"
#include "mime/header_fold.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// Non-white-space bytes of a text, in order: folding may only change white space.
std::string Visible(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            out += c;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string folded = pelmora::FoldHeaderText(text);
    FUZZ_CHECK(folded.empty() || folded.ends_with("\r\n"));
    FUZZ_CHECK(Visible(folded) == Visible(text));
    return 0;
}
