#pragma once
// The folder index files. "tree.lst" holds the rows of a folder's list, one record of 1552
// bytes per row in list order, no header; "tree.cnt" holds one record with six empty strings
// and the folder's unread (offset 1544) and total (offset 1548) counts. Strings are a length
// byte and 255 bytes (texts longer than 255 bytes are cut at a character boundary, the tail
// is written as zeros and ignored when read); integers are 32-bit little-endian. Records are
// read and written field by field. Both files are replaced atomically (temporary file and
// rename), so a crash leaves the old index or the new one.

#include "store/message_list.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pelmora {

class TUiServices;

constexpr size_t kIndexRecordSize = 1552;
constexpr size_t kIndexStringSize = 256;
constexpr int kIndexPumpEveryRead = 100;
constexpr int kIndexPumpEveryWrite = 300;

// One record as stored.
struct TIndexRecord {
    TListRow Row; // Selected is not stored
    std::int32_t UnreadCount = 0;
    std::int32_t TotalCount = 0;
};

void EncodeIndexRecord(const TIndexRecord& record, char* out); // kIndexRecordSize bytes
TIndexRecord DecodeIndexRecord(const char* in);                 // kIndexRecordSize bytes
// Decodes the row part of a record into `row` (its counts are not needed for a list).
void DecodeIndexRow(const char* in, TListRow& row);
// The text a string field holds: cut to at most 255 bytes without splitting a character.
std::string_view CutIndexText(std::string_view text);

// What long index work checks and does between records. Every member may be empty.
struct TIndexControl {
    TUiServices* Ui = nullptr;              // pumped while working; not owned
    const bool* AbortRequested = nullptr;   // not owned
    const bool* Closing = nullptr;          // not owned
    std::function<void()> AdvanceAnimation; // the busy animation's next frame
    bool Stopping() const {
        return (AbortRequested && *AbortRequested) || (Closing && *Closing);
    }
};

struct TIndexLoad {
    bool Ok = false;
    int Rows = 0;
    int Unread = 0;
};

// Empties the list and fills it from "tree.lst". Stops early (Ok, with the rows read so far)
// when the control says so. Fails when the file cannot be opened or read, its size is not
// a whole number of records, or a row's caption was cut inside its path (such a row cannot
// be trusted: the folder is rebuilt from its files instead).
TIndexLoad LoadIndex(const std::string& path, TMessageList& list, const TIndexControl& control = {});

// Writes every row to "tree.lst" and the summary to "tree.cnt" beside it. False when either
// file could not be written completely; when Closing stops the writing the old "tree.lst" is
// removed (the folder is rebuilt at its next listing) and "tree.cnt" is left alone.
bool SaveIndex(const std::string& path, const TMessageList& list, const TIndexControl& control = {});

// Adds one row at the end of a folder's "tree.lst" and rewrites "tree.cnt" with counts one
// higher, without rewriting the index. A missing index is created. False when the index is
// not a whole number of records or cannot be written (the caller marks the folder stale).
bool AppendIndexRow(const std::string& path, const TListRow& row);
// The same for several rows of one folder, with one write and one flush.
bool AppendIndexRows(const std::string& path, std::span<const TListRow> rows);

struct TFolderSummary {
    int Total = 0;
    int Unread = 0;
};
// Reads "tree.cnt"; std::nullopt when it is missing or not one whole record.
std::optional<TFolderSummary> ReadFolderSummary(const std::string& cntPath);
bool WriteFolderSummary(const std::string& cntPath, TFolderSummary summary);
// "tree.cnt" beside a "tree.lst" path.
std::string SummaryPathFor(const std::string& indexPath);

} // namespace pelmora
