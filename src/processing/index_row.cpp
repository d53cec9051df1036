#include "processing/index_row.h"

#include "mime/mail_date.h"
#include "mime/mail_message.h"
#include "paramtree/text_util.h"
#include "store/folder_index.h"
#include "store/message_list.h"

namespace pelmora {
int AttachmentIconOf(const TMailMessage& message) {
    for (const TMailPart* part : message.Attachments) {
        if (part && !part->IsEmbedded)
            return kAttachmentIcon;
    }
    return kNoAttachmentIcon;
}

TListRow ListRowOf(const TIndexRow& row) {
    TMessageList list;
    const int image = row.AttachmentIcon == kAttachmentIcon ? kImageAttachment : -1;
    AppendMessageRow(list, row.Size, row.State, false, row.MessageId, row.FilePath, row.Subject,
                     row.AddressColumn, row.AddressColumn, row.DateText, image);
    return list.Row(0);
}

bool AppendToFolderIndex(const TIndexRow& row) {
    if (row.FolderPath.empty())
        return false;
    return AppendIndexRow(row.FolderPath + "tree.lst", ListRowOf(row));
}

bool AppendRowsToFolderIndex(const std::vector<TIndexRow>& rows) {
    if (rows.empty())
        return true;
    const std::string& folder = rows.front().FolderPath;
    if (folder.empty())
        return false;
    std::vector<TListRow> listRows;
    listRows.reserve(rows.size());
    for (const TIndexRow& row : rows)
        listRows.push_back(ListRowOf(row));
    return AppendIndexRows(folder + "tree.lst", listRows);
}

} // namespace pelmora
