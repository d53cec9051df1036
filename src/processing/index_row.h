#pragma once
// One row that mail processing adds to a folder's index when it files a message: the values
// of the message-list columns. The caller decides where rows go through a TAppendIndexRow
// (normally AppendToFolderIndex; the transfer run may also show the row in the open list).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelmora {

class TMailMessage;

constexpr int kNoAttachmentIcon = -1;
constexpr int kAttachmentIcon = 3;

struct TIndexRow {
    std::string FolderPath; // the folder's directory, ends in "/"
    std::string FilePath;   // the message file
    int State = 2;          // message state code (unread)
    int AttachmentIcon = kNoAttachmentIcon;
    std::string DateText;      // "dd-mm-yyyy hh:nn"
    std::string AddressColumn; // sender (incoming) or recipient (outgoing) column
    std::string Subject;
    std::int64_t Size = 0;
    std::string MessageId;
};

// Adds a row to a folder's index and saves it; false when that failed.
using TAppendIndexRow = std::function<bool(const TIndexRow& row)>;

struct TListRow;

// The message-list row of an index row, built as every list row is built.
TListRow ListRowOf(const TIndexRow& row);
// The usual TAppendIndexRow: appends the row to "tree.lst" of the row's folder and raises the
// counts in "tree.cnt". False when the index could not be written (the folder should then be
// rebuilt from its files at its next listing).
bool AppendToFolderIndex(const TIndexRow& row);
// The same for rows that all belong to the first row's folder, with one write and one flush.
bool AppendRowsToFolderIndex(const std::vector<TIndexRow>& rows);

// kAttachmentIcon when at least one attachment part is not embedded.
int AttachmentIconOf(const TMailMessage& message);

} // namespace pelmora
