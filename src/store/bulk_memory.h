#pragma once
// Memory for bulk loads of the message list. A listing of 100,000 rows needs tens of
// megabytes at once; touched page by page, each 4 KB page costs a fault of its own, which
// takes longer than reading the index. Large blocks are therefore asked for in huge pages
// where the system offers them, and the texts of a whole listing go into a few shared
// blocks instead of one allocation per row.

#include <cstddef>
#include <memory>

namespace pelmora {

// A block of `size` bytes (contents undefined); blocks of 2 MB and more are backed by huge pages where
// the system allows it. Never null (throws std::bad_alloc like new).
std::shared_ptr<char[]> AllocateBulkBlock(std::size_t size);

// Asks for huge pages for the whole 2 MB pages inside [data, data + size) of memory not yet
// touched. A hint only: nothing happens where the system does not offer them.
void HintHugePages(void* data, std::size_t size);

} // namespace pelmora
