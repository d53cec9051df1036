#pragma once
// Keeping a folder's index true to its files: the message files a folder holds, the row
// built from one message file, the check that an index's rows are this folder's own files,
// and the repair of folders whose "tree.lst" or "tree.cnt" disagree with their directory
// (a program killed between writing a message file and its index row leaves such a
// folder). Nothing here throws; unreadable files are left out and reported as values.

#include "store/folder_index.h"
#include "store/message_list.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pelmora {

struct TMessageFileEntry {
    std::string Path; // folder + file name
    std::int64_t Size = 0;
};

// The message files of a folder (ends in "/"): regular files matching "*.eml?" with more
// than zero bytes, in name order. Symbolic links are never message files. Empty when the
// folder cannot be read.
std::vector<TMessageFileEntry> ListMessageFiles(const std::string& folder);

// Reads one message file and appends its row to `list` (state from the name and the
// priority, attachment icon, date, sender or recipients, subject, size, Message-ID). False,
// with the list unchanged, when the file cannot be read as a message. `state` receives the
// row's state.
bool AppendRowFromFile(TMessageList& list, const std::string& path, std::int64_t size,
                       bool showRecipients, int* state = nullptr);

// True when every row's file lies in `folder` (ends in "/"). Cheap: a row whose path is the
// folder's path + a file name passes at once; any other spelling has its directory compared
// after resolving symbolic links (once per distinct directory). A row without a path fails.
bool IndexRowsInFolder(const TMessageList& list, const std::string& folder);

// True when the folder's "tree.lst" has as many records as the folder has message files and
// its "tree.cnt" holds that total and the unread count the file names give. A folder
// without message files and without index files agrees. Reads no message and no record.
bool FolderIndexAgrees(const std::string& folder);

// Lists the folder's files afresh and writes "tree.lst" and "tree.cnt" (recipients shown for
// `code`'s kind). False when stopped or when the index could not be written.
bool RebuildFolderIndex(const std::string& folder, int code, const TIndexControl& control = {});

struct TIndexRepair {
    int Checked = 0; // folders looked at
    int Rebuilt = 0; // folders whose index was written anew
    int Failed = 0;  // folders whose rebuild stopped or could not be written
};

// Checks every folder of a project (the seven fixed folders and the custom folders) and
// rebuilds those that disagree with their directory or carry a custom folder's stale
// marker (cleared after a good rebuild). Missing folders are not created.
TIndexRepair RepairProjectIndexes(const std::string& storeDir, int project,
                                  const TIndexControl& control = {});
// The same for every project directory of the store (directories named by a number of
// 1000 or more). Meant for the program's start, before the counts are first shown.
TIndexRepair RepairStoreIndexes(const std::string& storeDir, const TIndexControl& control = {});

} // namespace pelmora
