#include "processing/index_row.h"

#include "mime/mail_date.h"
#include "mime/mail_message.h"
#include "paramtree/text_util.h"
#include "shell/atomic_file.h"
#include "store/folder_index.h"
#include "store/message_list.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // As AppendIndexRow does for one row: the records at the end of "tree.lst", flushed, and
    // "tree.cnt" raised by their counts (or counted anew when it did not describe the index).
    const std::string path = folder + "tree.lst";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, kPublicFileMode);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok =
        ::fstat(fd, &info) == 0 && static_cast<std::uint64_t>(info.st_size) % kIndexRecordSize == 0;
    const std::uint64_t rowsBefore =
        ok ? static_cast<std::uint64_t>(info.st_size) / kIndexRecordSize : 0;
    int unread = 0;
    if (ok) {
        std::string bytes(kIndexRecordSize * rows.size(), '\0');
        for (std::size_t i = 0; i < rows.size(); ++i) {
            TIndexRecord record;
            record.Row = ListRowOf(rows[i]);
            unread += CaptionCountsUnread(record.Row.Caption()) ? 1 : 0;
            EncodeIndexRecord(record, bytes.data() + i * kIndexRecordSize);
        }
        std::size_t done = 0;
        while (ok && done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            done += ok ? static_cast<std::size_t>(n) : 0;
        }
        ok = ok && ::fdatasync(fd) == 0;
        if (!ok && ::ftruncate(fd, info.st_size) != 0) {
            // The torn records stay; the size check makes the next load fail and rebuild.
        }
    }
    ::close(fd);
    if (!ok)
        return false;

    const std::string cntPath = SummaryPathFor(path);
    std::optional<TFolderSummary> summary = ReadFolderSummary(cntPath);
    if (!summary || static_cast<std::uint64_t>(summary->Total) != rowsBefore) {
        TMessageList list;
        const TIndexLoad load = LoadIndex(path, list);
        return load.Ok && WriteFolderSummary(cntPath, {load.Rows, load.Unread});
    }
    summary->Total += static_cast<int>(rows.size());
    summary->Unread += unread;
    return WriteFolderSummary(cntPath, *summary);
}

} // namespace pelmora
