#pragma once
// Tree files: one line per node in depth-first order, the node's level as leading TABs,
// then the node text exactly as held; lines end in CR LF. Reading accepts CR, LF or CR LF
// and counts leading TABs or blanks as the level. The whole read fails, keeping the nodes
// before the bad line, on a level more than one deeper than the line before, on a NUL byte
// (binary garbage) and on a last line without a line break (the file was cut short).

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
    Missing,    // neither the file nor a copy with nodes exists; the tree was left empty
    Loaded,     // the whole file was read
    Repaired,   // the read failed, a good copy replaced the file and was read whole
    KeptBroken, // the read failed and the user declined the repair; files untouched
    Emptied,    // the read failed and no good copy was found; the tree is empty
};

// True when the tree in memory stands for the whole file, so it may be written back.
// After KeptBroken or Emptied a save would put a partial tree over the file (and, at the
// next load, over its copies), so such a tree must stay read-only.
inline bool TreeMayBeSaved(TTreeLoadOutcome outcome) {
    return outcome != TTreeLoadOutcome::KeptBroken && outcome != TTreeLoadOutcome::Emptied;
}

// Loads a tree file with its two safety copies, path + ".lw_backup" (the file as last read
// whole) and path + ".backup" (the good copy before that). The copies change only after the
// whole file was read: ".lw_backup" becomes the file just read, and ".backup" the former
// ".lw_backup" when that differs (or the file itself while ".backup" holds no good tree).
// A failed read asks whether to restore the file from the newest copy that reads whole and
// has nodes; the damaged file is then kept as path + ".damaged". An empty or missing file
// counts as a failed read while a copy holds nodes. `why` receives the reason of a failed
// read.
TTreeLoadOutcome LoadTreeFileSafely(const std::string& path, TNodeTree& tree, TUiServices& ui,
                                    const TTreeFileSafety& safety, std::string* why = nullptr);

} // namespace pelmora
