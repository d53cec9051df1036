#include "processing/index_row.h"

#include "mime/mail_date.h"
#include "mime/mail_message.h"
#include "paramtree/text_util.h"
#include "store/folder_index.h"
#include "store/message_list.h"

namespace pelmora {
namespace {

std::string TwoDigits(int value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

} // namespace

std::string IndexDateText(double localDayCount) {
    if (localDayCount == 0)
        return {};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, dayOfWeek = 0;
    DecodeDayCount(localDayCount, year, month, day, hour, minute, second, dayOfWeek);
    return TwoDigits(day) + "-" + TwoDigits(month) + "-" + std::to_string(year) + " " +
           TwoDigits(hour) + ":" + TwoDigits(minute);
}

std::string AddressColumnText(const std::string& name, const std::string& address) {
    if (Trim(name).empty())
        return address;
    return name + " (" + address + ")";
}

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

} // namespace pelmora
