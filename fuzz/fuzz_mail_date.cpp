// Reads arbitrary date header text; a date that reads as valid must survive being written
// and read again.

#include "fuzz_check.h"
#include "mime/mail_date.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    double t = pelmora::ParseMailDate(text);
    FUZZ_CHECK(std::isfinite(t));
    if (t <= 0)
        return 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, dayOfWeek = 0;
    pelmora::DecodeDayCount(t, year, month, day, hour, minute, second, dayOfWeek);
    if (year < 1900 || year > 9999)
        return 0;
    std::string written = pelmora::FormatMailDate(t);
    double back = pelmora::ParseMailDate(written);
    FUZZ_CHECK(std::fabs(back - t) < 1.5 / 86400.0);
    return 0;
}
