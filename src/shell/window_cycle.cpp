#include "shell/window_cycle.h"

#include <algorithm>

namespace pelmora {

std::optional<std::size_t> NextWindowInCycle(const std::vector<const void*>& windows,
                                             const void* active, const void* lastShown) {
    if (windows.empty())
        return std::nullopt;
    for (const void* from : {active, lastShown}) {
        if (!from)
            continue;
        const auto at = std::find(windows.begin(), windows.end(), from);
        if (at != windows.end())
            return (static_cast<std::size_t>(at - windows.begin()) + 1) % windows.size();
    }
    return 0;
}

} // namespace pelmora
