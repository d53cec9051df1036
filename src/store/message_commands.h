#pragma once
// Commands of the message list that are not state changes or transfers: the popup menu's
// visible items, the quick-view text and the plain text of an HTML part. The commands
// themselves (save to file, remove all attachments, quick view, select all, invert the
// selection) are members of TFolderView (folder_listing.h).

#include <string>
#include <string_view>

namespace pelmora {

// The items of the message-list popup menu as they are when it opens.
struct TMailMenuItems {
    bool OnlySearchItems = false; // backup-search results: only Quick-View, Open, Save, Copy
    bool DeleteIsPermanent = false; // the trash is listed: the delete item reads text 3/12
    bool Edit = false;
    bool FindSourceOfReceipt = false;
    bool FindReceipt = false;
    bool RemoveAttachments = false;
};

// HTML text as plain text: tags and comments dropped, scripts and styles left out, line
// breaks for <br>, <p>, <div>, <tr> and <li>, the common entities decoded.
std::string HtmlToPlainText(std::string_view html);

} // namespace pelmora
