#include "mime/large_buffer.h"

#include <cstdint>
#include <sys/mman.h>

namespace pelmora {

namespace {
constexpr std::size_t LargePage = 2 * 1024 * 1024;
constexpr std::size_t WorthIt = 4 * LargePage;
} // namespace

void ReserveLarge(std::string& text, std::size_t size) {
    if (text.capacity() >= size) return;
    text.reserve(size);
    if (size < WorthIt) return;
    // Only whole large pages inside the buffer are advised; the advice is a hint, and its
    // failure (no large pages on this system) changes nothing.
    const auto begin = reinterpret_cast<std::uintptr_t>(text.data());
    const std::uintptr_t first = (begin + LargePage - 1) & ~(LargePage - 1);
    const std::uintptr_t last = (begin + text.capacity()) & ~(LargePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

} // namespace pelmora
