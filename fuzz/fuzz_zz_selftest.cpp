#include <cstddef>
#include <cstdint>
#include <cstdlib>
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size >= 2 && data[0] == 'X' && data[1] == 'Y')
        std::abort();
    return 0;
}
