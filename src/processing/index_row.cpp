#include "processing/index_row.h"

#include "mime/mail_date.h"
#include "mime/mail_message.h"
#include "paramtree/text_util.h"

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

} // namespace pelmora
