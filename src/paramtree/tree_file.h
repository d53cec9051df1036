#pragma once
// Tree files: one line per node in depth-first order, the node's level as leading TABs,
// then the node text exactly as held; lines end in CR LF. Reading accepts CR, LF or CR LF
// and counts leading TABs or blanks as the level. A level more than one deeper than the
// line before is an error and the whole read fails; so does a NUL byte (binary garbage).

#include "paramtree/node_tree.h"

#include <functional>
#include <string>
#include <string_view>

namespace pelmora {

class TUiServices;

struct TTreeReadResult {
    bool Ok = true;
    std::string Error; // for example: Invalid level (3) for item "<XID=104>..."
};

// Fills `tree` (cleared first) from tree-file text. On failure the tree keeps the nodes read
// before the bad line.
TTreeReadResult ParseTreeText(std::string_view data, TNodeTree& tree);
// The tree-file text of a tree.
std::string FormatTreeText(const TNodeTree& tree);

TTreeReadResult ReadTreeFile(const std::string& path, TNodeTree& tree);
// Writes atomically; `mode` kPrivateFileMode for files holding passwords.
bool WriteTreeFile(const std::string& path, const TNodeTree& tree, unsigned mode,
                   std::string* error = nullptr);

// What LoadTreeFileSafely says and plays; texts are passed in by the caller.
struct TTreeFileSafety {
    unsigned Mode = 0644;         // mode of the file's copies
    std::string BackupFailedText; // pop-up when the ".backup" copy cannot be made
    int BackupFailedMs = 6000;
    std::string WarningCaption;   // "Warning:"
    std::string CorruptQuestion;  // asked when the read fails (also its caption)
    std::string RepairFailedText; // pop-up when the repair is impossible
    int RepairFailedMs = 6000;
    int CorruptQuestionSize = 12;
    std::function<void()> PlayPopped;    // may be empty
    std::function<void()> PlayAttention; // may be empty
};

enum class TTreeLoadOutcome {
    Missing,    // the file does not exist; the tree was left empty
    Loaded,     // read without error
    Repaired,   // the read failed, the last good copy replaced the file and was read
    KeptBroken, // the read failed and the user declined the repair
    Emptied,    // the read failed and the repair was impossible; the tree is empty
};

// Loads a tree file with its two safety copies: path + ".backup" is made before reading,
// path + ".lw_backup" after a successful read. A failed read asks whether to restore the
// file from ".lw_backup". An empty file is taken as a failed read while ".lw_backup" holds
// nodes, so a truncated file never replaces the last good copy unasked.
TTreeLoadOutcome LoadTreeFileSafely(const std::string& path, TNodeTree& tree, TUiServices& ui,
                                    const TTreeFileSafety& safety);

} // namespace pelmora
