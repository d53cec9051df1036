#pragma once
// Message files: one message per file, its reading state kept in the name only: an optional
// "_" (unread), a time stem "dmmyyyyhhmmssz", and ".eml" (read), ".emlc" (check), ".emlf"
// (flag) or ".emlo" (orphan). Stems are never parsed.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

// State codes of a message; 5 and 6 are given to read messages by their priority when a
// list is built and are never stored.
constexpr int kStateRead = -1;
constexpr int kStateCheck = 0;
constexpr int kStateFlag = 1;
constexpr int kStateUnread = 2;
constexpr int kStateOrphan = 4;
constexpr int kStateLowPriority = 5;
constexpr int kStateHighPriority = 6;

// The state a file name (without directory) gives: "_" first wins, then ".emlc", ".emlf",
// ".emlo" in any letter case, else read.
int MessageStateFromName(std::string_view fileName);

// The name a file gets in a new state: the name up to its first ".eml" (any case) without a
// leading "_", then the state's form. std::nullopt for a name without ".eml" or a state that
// is not stored.
std::optional<std::string> MessageNameForState(std::string_view fileName, int state);

// True when a name matches "*.eml?" (".eml" and at most one more character), any case.
bool IsMessageFileName(std::string_view fileName);

// Matches a file name against a mask with "*" and "?" without regard to case; a "?" at the
// end of the mask may also match nothing ("*.eml?" takes "a.eml" and "a.emlc").
bool MatchFileMask(std::string_view name, std::string_view mask);

struct TMessageCounts {
    int Total = 0;
    int Unread = 0; // names beginning with "_" or ending in ".emlo"
};

// Counts regular files (not symbolic links) of non-zero size matching the pattern (directory + mask, e.g.
// dir + "*.eml?"). Any failure while enumerating gives zero counts.
TMessageCounts CountMessageFiles(const std::string& pattern);
// Whether CountMessageFiles would count at least one file: stops at the first.
bool AnyMessageFile(const std::string& pattern);

// Copies a file in blocks of 2048 bytes. With overwrite an existing destination is deleted
// first; without, an existing destination makes the copy fail. A short write (disk full)
// or a read error fails; the destination then keeps what was written.
bool CopyFileBlocks(const std::string& source, const std::string& destination, bool overwrite);

// The stem of a moment in local time: day without leading zero, two-digit month, year,
// two-digit hour, minutes and seconds, milliseconds without leading zeros.
std::string MessageStem(std::chrono::system_clock::time_point when);

// A stem for a new file in `folder` (ends in "/") that no file there uses in any state and
// that this process has not handed out before: the current time, moved on by a millisecond
// while taken. The result keeps the stem's form.
std::string NewMessageStem(const std::string& folder);

// Renames a message file of `folder` (ends in "/") into the form of `state`. Never replaces
// another file: std::nullopt, with the old name kept, when a file of the new name exists or
// the rename fails. Returns the new name (the old one when nothing changes).
std::optional<std::string> ChangeMessageFileState(const std::string& folder,
                                                  const std::string& fileName, int state);

// Writes a new message file into `folder` under a fresh stem in the form of `state` (read,
// check, flag, unread or orphan). The file appears complete or not at all and never
// replaces an existing file. Returns its name, or std::nullopt when it cannot be written.
std::optional<std::string> WriteNewMessageFile(const std::string& folder, int state,
                                               std::string_view message);

} // namespace pelmora
