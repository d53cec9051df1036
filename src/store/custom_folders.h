#pragma once
// Custom folders of a project: directories 600 to 900 inside the project's inbox, each with
// "label.txt" (its name on the first line) and, while its index must be rebuilt, the stale
// marker "update.txt".

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "store/store_layout.h"

namespace pelmora {

constexpr int kCustomFolderCount = kLastCustomFolder - kFirstCustomFolder + 1;
constexpr std::string_view kStaleMarkerText = "Pelmora status file, don't delete!";

struct TCustomFolder {
    std::string Name; // empty: no folder with this code
    bool Stale = false;
};

struct TCustomFolderTable {
    std::array<TCustomFolder, kCustomFolderCount> Folders;
    std::optional<int> FirstFree; // lowest code without a folder

    // The entry of a code from 600 to 900; nullptr for other codes.
    TCustomFolder* At(int code);
    const TCustomFolder* At(int code) const;
};

// The codes of the entries of a project's inbox named as custom folders, ascending: one
// look at the directory instead of one per possible code.
std::vector<int> CustomFolderCodesOnDisk(const std::string& storeDir, int project);

// Reads the custom folders of a project. A folder whose "label.txt" is missing or unreadable
// is named `notSetName` (text 3/14). Directories not named by a number from 600 to 900 are
// ignored.
TCustomFolderTable ScanCustomFolders(const std::string& storeDir, int project,
                                     const std::string& notSetName);

// The first line of a label file, at most 255 bytes; std::nullopt when it cannot be read.
std::optional<std::string> ReadFolderLabel(const std::string& folderPath);
// Writes "label.txt" with one line (the name, cut to 255 bytes).
bool WriteFolderLabel(const std::string& folderPath, const std::string& name);

// Sets a custom folder's stale flag and writes "update.txt" / clears it and deletes the file.
// The fixed folders keep their stale flags elsewhere; these do nothing for them.
bool MarkFolderStale(const std::string& storeDir, int project, int code, TCustomFolderTable& table);
bool ClearFolderStale(const std::string& storeDir, int project, int code,
                      TCustomFolderTable& table);

} // namespace pelmora
