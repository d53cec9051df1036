#pragma once
// Copying, moving and deleting messages between folders: the file names messages take on
// the way (orphans become unread, arrivals in the trash become read), the rules on receipts
// folders and the parsing of the picker's choice. TFolderView::CopyOrMoveMessages
// (folder_listing.h) runs the operation itself.

#include <string>
#include <string_view>

namespace pelmora {

// "_" + the name with the extension ".eml" (a name beginning with "_" keeps it once).
std::string OrphanToUnreadName(std::string_view fileName);
// The name a message takes in the trash: without a leading "_", or an orphan's ".emlo"
// without its last letter; other names stay.
std::string TrashArrivalName(std::string_view fileName);
// Receipts folders (112, 114) accept messages only from a folder with the same code.
bool ReceiptsRuleAllows(int sourceCode, int destinationCode);

struct TPickedFolder {
    int Project = -1;
    int Folder = -1;
};
// The project ("<XID=") and folder ("<XPID=" up to ">") of a picker node text; -1 each when
// missing.
TPickedFolder ParsePickedFolder(std::string_view nodeText);
// The node text of a folder in the picker.
std::string PickerFolderText(int project, int code, std::string_view caption);

} // namespace pelmora
