#include "processing/receipts.h"

#include "mime/mail_date.h"
#include "mime/mail_message.h"
#include "shell/atomic_file.h"
#include "paramtree/text_util.h"
#include "processing/mail_log.h"
#include "processing/message_store.h"
#include "shell/message_texts.h"
#include "shell/shell_state.h"
#include "store/account_settings.h"
#include "store/folder_listing.h"
#include "store/message_files.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace pelmora {
namespace {

std::string TwoDigits(int value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

// "dd-mm-yyyy hh:nn:ss" of a local day count.
std::string DateTimeText(double t) {
    if (t == 0)
        return {};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, dayOfWeek = 0;
    DecodeDayCount(t, year, month, day, hour, minute, second, dayOfWeek);
    return TwoDigits(day) + "-" + TwoDigits(month) + "-" + std::to_string(year) + " " +
           TwoDigits(hour) + ":" + TwoDigits(minute) + ":" + TwoDigits(second);
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

} // namespace

bool IsReceipt(const TMailMessage& message) {
    if (Contains(LowerAscii(message.HeaderValue("Content-Type")), "report"))
        return true;
    if (message.HasHeader(kReferenceHeader))
        return true;
    for (const TMailPart* part : message.Attachments) {
        if (part && Contains(LowerAscii(part->HeaderValue("Content-Type")), "notification"))
            return true;
    }
    return false;
}

std::string StripEnclosingBrackets(std::string_view text) {
    std::string value = Trim(text);
    bool angle = Contains(value, "<") && Contains(value, ">");
    bool square = Contains(value, "[") && Contains(value, "]");
    if ((angle || square) && value.size() >= 2)
        value = Trim(std::string_view(value).substr(1, value.size() - 2));
    return value;
}

double LocalDayCountAt(std::chrono::system_clock::time_point when) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    double day = 0;
    EncodeDayCount(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, day);
    return day + (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
}

void BringMessageUpToDate(TMailMessage& message) {
    if (message.PartMapStale)
        message.MapParts();
    if (message.StructureStale)
        message.Restructure(RestructureMode::IfStale);
    if (message.BodyStale)
        message.BuildBody();
}

TQueuedReceipt QueueReceipt(const TMailMessage& retrieved, const AccountSettings& account,
                            int project, const TReceiptJob& job, TMailMessage& work) {
    TQueuedReceipt queued;
    if (!job.Texts)
        return queued;
    const TMessageTexts& texts = *job.Texts;
    const std::optional<TMailAddress> requested =
        FirstValidAddress(retrieved.HeaderText("Disposition-Notification-To"));
    TAutoReplyContext context{job.OwnAddresses, job.FiledFolder};
    for (const std::string& own : {account.EmailAddress, account.ReplyTo}) {
        if (IsValidMailAddress(Trim(own)))
            context.OwnAddresses.push_back(Trim(own));
    }
    queued.Verdict = requested ? CheckAutomaticReceipt(retrieved, requested->Address, context)
                               : TAutoReplyVerdict::NoRecipient;
    if (queued.Verdict != TAutoReplyVerdict::Allowed)
        return queued;
    const std::string messageId = retrieved.GetMessageId();
    const TMailAddress sender =
        FirstValidAddress(retrieved.HeaderText("From")).value_or(retrieved.GetSender());
    const TMailAddress target{SafeDisplayName(requested->Name), requested->Address};
    const double now = LocalDayCountAt(job.Now);

    work.ResetMessage();
    work.SetDate(now);

    const std::string notificationPath = job.TempDir + std::string(kReceiptFileName);
    std::error_code ignored;
    std::filesystem::remove(notificationPath, ignored);
    const std::string notification = "Reporting-UA: Sorvath Pelmora v.3.0.5\r\n"
                                     "Final-Recipient: rfc822;" +
                                     account.EmailAddress +
                                     "\r\nOriginal-Message-ID: " + messageId +
                                     "\r\nDisposition: automatic-action/MDN-sent-automatically;"
                                     " displayed\r\n";
    if (WriteFileAtomically(notificationPath, notification))
        queued.WithNotification = static_cast<bool>(
            work.AttachFileFrom(notificationPath, "message/disposition-notification", false));

    BringMessageUpToDate(work);
    work.PutPlainText(texts.Text(1, 73) + account.AccountName + " at " +
                      DateTimeText(retrieved.GetDate()) + "\r\n" + texts.Text(1, 74) +
                      DateTimeText(now) + "\r\n" + texts.Text(1, 75) + "\r\n");
    work.SetSender(account.DisplayName, account.EmailAddress);
    work.SetSubject(texts.Text(1, 276) + " " + Trim(retrieved.GetSubject()));
    work.ToRecipients.Add(target.Name.empty() ? SafeDisplayName(sender.Name) : target.Name,
                          target.Address);
    if (LooksLikeAddress(account.ReplyTo))
        work.SetReplyTarget(account.DisplayName, account.ReplyTo);
    work.SetHeaderValue("References", messageId);
    work.SetHeaderValue(kReferenceHeader, messageId);
    // Marks the receipt as automatic mail: no responder answers it, and it leaves with the
    // null envelope sender.
    work.SetHeaderValue("Auto-Submitted", "auto-replied");
    work.NewMessageId("PXID" + std::to_string(project));
    BringMessageUpToDate(work);

    const std::string outbox = FolderPath(job.StoreDir, project, kFolderOutbox);
    queued.Path = outbox + NewMessageStem(outbox) + ".eml";
    const std::string saving = texts.Text(4, 50) + sender.Address;
    if (job.ShowAction)
        job.ShowAction(saving);
    if (job.Log)
        AddLogEvent(*job.Log, saving, job.Now);
    queued.Saved = SaveMessageDurably(work, queued.Path);
    if (!queued.Saved || !job.AppendRow)
        return queued;

    TIndexRow row;
    row.FolderPath = outbox;
    row.FilePath = queued.Path;
    row.State = kStateRead;
    row.AttachmentIcon = kNoAttachmentIcon;
    row.DateText = FormatListDate(now);
    row.AddressColumn =
        work.ToRecipients.Count() > 0
            ? AddressText(work.ToRecipients.NameAt(0), work.ToRecipients.AddressAt(0))
            : std::string();
    row.Subject = work.GetSubject();
    row.Size = FileSizeOf(queued.Path);
    row.MessageId = work.GetMessageId();
    queued.IndexRowAdded = job.AppendRow(row);
    return queued;
}

std::string ReceiptReferences(const TMailMessage& receipt) {
    std::string references = Trim(receipt.HeaderText("References"));
    if (references.empty() && !Contains(LowerAscii(receipt.HeaderValue("Content-Type")), "report"))
        references = StripEnclosingBrackets(receipt.HeaderText(kReferenceHeader));
    return references;
}

TFindResult FindReceiptOfMessage(std::string_view messageIdColumn,
                                 const std::vector<std::string>& receiptFiles, const bool* abort,
                                 TUiServices* ui) {
    const std::string messageId = StripEnclosingBrackets(messageIdColumn);
    if (messageId.empty())
        return {TFindStatus::NoMessageId, -1};
    TMailMessage receipt;
    for (size_t row = 0; row < receiptFiles.size(); ++row) {
        if (row % 100 == 0 && ui)
            ui->Pump();
        if (abort && *abort)
            break;
        std::error_code error;
        if (!std::filesystem::exists(receiptFiles[row], error))
            continue;
        if (!receipt.LoadMessageFile(receiptFiles[row]))
            continue;
        std::string references = Trim(receipt.HeaderText("References"));
        if (references.empty())
            references = StripEnclosingBrackets(receipt.HeaderText(kReferenceHeader));
        if (Contains(references, messageId))
            return {TFindStatus::Found, static_cast<int>(row)};
    }
    return {TFindStatus::NotFound, -1};
}

int SourceFolderOfReceipts(int receiptFolder) {
    if (receiptFolder == kFolderInReceipts)
        return kFolderSent;
    if (receiptFolder == kFolderOutReceipts)
        return kFolderInbox;
    return -1;
}

TFindResult FindSourceOfReceipt(const std::string& receiptPath,
                                const std::vector<std::string>& messageIdColumns, const bool* abort,
                                TUiServices* ui) {
    std::error_code error;
    if (!std::filesystem::exists(receiptPath, error))
        return {TFindStatus::FileMissing, -1};
    TMailMessage receipt;
    if (!receipt.LoadMessageFile(receiptPath))
        return {TFindStatus::FileMissing, -1};
    const std::string references = ReceiptReferences(receipt);
    // A report without references is a receipt that simply matches nothing.
    if (references.empty() && !Contains(LowerAscii(receipt.HeaderValue("Content-Type")), "report"))
        return {TFindStatus::NotAReceipt, -1};
    for (size_t row = 0; row < messageIdColumns.size(); ++row) {
        if (row % 300 == 0 && ui)
            ui->Pump();
        if (abort && *abort)
            break;
        // An empty Message-ID column would occur in every text.
        const std::string id = StripEnclosingBrackets(messageIdColumns[row]);
        if (!id.empty() && Contains(references, id))
            return {TFindStatus::Found, static_cast<int>(row)};
    }
    return {TFindStatus::NotFound, -1};
}

std::vector<std::string> FolderMessageFiles(const std::string& folderPath) {
    std::vector<std::string> files;
    std::error_code error;
    std::filesystem::directory_iterator it(folderPath, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        // A link is never a message: what it points at may lie anywhere.
        if (IsMessageFileName(name) &&
            it->symlink_status(typeError).type() == std::filesystem::file_type::regular)
            files.push_back(folderPath + name);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string FindReceiptFileOfMessage(const std::string& storeDir, int project,
                                     std::string_view messageId) {
    std::vector<std::string> files =
        FolderMessageFiles(FolderPath(storeDir, project, kFolderInReceipts));
    TFindResult result = FindReceiptOfMessage(messageId, files);
    return result.Status == TFindStatus::Found ? files[static_cast<size_t>(result.Row)]
                                               : std::string();
}

std::string FindSourceFileOfReceipt(const std::string& storeDir, int project,
                                    const std::string& receiptPath, int receiptFolder) {
    const int sourceFolder = SourceFolderOfReceipts(receiptFolder);
    if (sourceFolder < 0)
        return {};
    std::vector<std::string> files =
        FolderMessageFiles(FolderPath(storeDir, project, sourceFolder));
    std::vector<std::string> ids;
    TMailMessage message;
    for (const std::string& file : files) {
        // Only the header is needed for the Message-ID.
        std::optional<std::string> text = ReadWholeFile(file);
        std::string header = text.value_or(std::string());
        size_t end = header.find("\r\n\r\n");
        if (end != std::string::npos)
            header.resize(end + 2);
        message.ParseText(header + "\r\n", true);
        ids.push_back(message.GetMessageId());
    }
    TFindResult result = FindSourceOfReceipt(receiptPath, ids);
    return result.Status == TFindStatus::Found ? files[static_cast<size_t>(result.Row)]
                                               : std::string();
}

void ReportFindFailure(TShell& shell, const TFindResult& result, bool sourceSearch) {
    TPopupRequest popup;
    popup.Caption = shell.Text(1, 262);
    popup.TextSize = 12;
    popup.Modeless = true;
    switch (result.Status) {
    case TFindStatus::Found:
        return;
    case TFindStatus::NoMessageId:
        shell.PlaySound(TSound::Popped);
        popup.Text = shell.Texts().Own(TOwnText::MessageIdMissing);
        popup.DisplayMs = 5000;
        popup.TextSize = 13;
        popup.Modeless = false;
        break;
    case TFindStatus::FileMissing:
        shell.PlaySound(TSound::Attention);
        popup.Text = shell.Text(0, 25);
        popup.DisplayMs = 5000;
        break;
    case TFindStatus::NotAReceipt:
        shell.PlaySound(TSound::Attention);
        popup.Text = shell.Text(0, 27);
        popup.DisplayMs = 5000;
        break;
    case TFindStatus::NotFound:
        shell.PlaySound(TSound::Popped);
        popup.Text = shell.Text(1, 350);
        popup.DisplayMs = sourceSearch ? 5000 : 6000;
        break;
    }
    shell.Ui().ShowPopup(popup);
}

} // namespace pelmora
