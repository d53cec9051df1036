#include "store/bulk_memory.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>

namespace pelmora {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

} // namespace

std::shared_ptr<char[]> AllocateBulkBlock(std::size_t size) {
    if (size < kHugePage)
        return std::shared_ptr<char[]>(new char[size]);
    // Mapped with room to start on a huge-page boundary; the slack on both sides is returned.
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* mapped = ::mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start)
        ::munmap(mapped, aligned - start);
    if (const std::size_t tail = start + rounded + kHugePage - (aligned + rounded); tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + rounded), tail);
    char* block = reinterpret_cast<char*>(aligned);
    ::madvise(block, rounded, MADV_HUGEPAGE);
    return std::shared_ptr<char[]>(block, [rounded](char* p) { ::munmap(p, rounded); });
}

void HintHugePages(void* data, std::size_t size) {
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kHugePage - 1) / kHugePage * kHugePage;
    const std::uintptr_t end = (start + size) / kHugePage * kHugePage;
    if (end > first)
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

} // namespace pelmora
