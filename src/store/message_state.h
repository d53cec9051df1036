#pragma once
// Message states kept in file names: the state a toggle or a double click gives, and the
// rename of a message file to the name of a new state. TFolderView::ChangeMessageState
// (folder_listing.h) applies them to the selected rows.

#include <optional>
#include <string>

namespace pelmora {

// Kinds of state change: toggle read/unread, check, flag, orphan.
constexpr int kToggleRead = 1;
constexpr int kToggleCheck = 2;
constexpr int kToggleFlag = 3;
constexpr int kToggleOrphan = 4;

// The state after a toggle of `kind` (or a step of the cycle -1 > 0 > 1 > 2 > -1; 4, 5 and 6
// go to -1).
int NextMessageState(int kind, int state, bool cycle);

// Renames a message file in its directory to the name for `state`. The rename never replaces
// another file: when a file of the new name exists it fails. A file that already has the
// name keeps it (success). The new path, or std::nullopt on failure.
std::optional<std::string> RenameToState(const std::string& path, int state);

// Renames a file unless the target exists (atomically where the file system allows it).
bool RenameNoReplace(const std::string& from, const std::string& to);

} // namespace pelmora
