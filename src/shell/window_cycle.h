#pragma once
// Which window Ctrl+Tab brings up among the windows the View menu lists. The shortcut is
// pressed in whichever window is active, often the main window, which is not in the list:
// the cycle then goes on from the window it showed last, so repeated presses visit every
// listed window in turn instead of always the first.

#include <cstddef>
#include <optional>
#include <vector>

namespace pelmora {

// windows: the listed windows in menu order (any identity, compared only); active: the active
// window, lastShown: the one the cycle showed before (either may be gone or unlisted). The
// index of the window to show; std::nullopt when nothing is listed.
std::optional<std::size_t> NextWindowInCycle(const std::vector<const void*>& windows,
                                             const void* active, const void* lastShown);

} // namespace pelmora
