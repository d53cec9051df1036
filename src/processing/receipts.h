#pragma once
// Read receipts (message disposition notifications): recognising a retrieved receipt,
// building and queueing the receipt for a retrieved message that asks for one, and the two
// searches that connect a sent message with its receipt and a receipt with its source. The
// searches work on the rows of the listed folder (file paths or Message-ID columns in list
// order); selecting and listing folders is the caller's.

#include "processing/auto_reply_policy.h"
#include "processing/index_row.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

struct AccountSettings;
class TMailMessage;
class TMessageTexts;
class TSessionLog;
class TShell;
class TUiServices;

constexpr std::string_view kReferenceHeader = "X-PelmoraReference";
constexpr std::string_view kReceiptFileName = "rfc822.txt";

// A report content type, an "X-PelmoraReference" header, or an attachment whose content type
// names a notification. The message's part map must be current.
bool IsReceipt(const TMailMessage& message);

// Trimmed; when it holds both "<" and ">" (or "[" and "]"), without its first and last
// character and trimmed again.
std::string StripEnclosingBrackets(std::string_view text);

// Runs MapParts, Restructure and BuildBody where the message says they are stale.
void BringMessageUpToDate(TMailMessage& message);

// A time as the local day count that message dates are kept in.
double LocalDayCountAt(std::chrono::system_clock::time_point when);

struct TReceiptJob {
    std::string StoreDir;                 // ends in "/"
    std::string TempDir;                  // ends in "/"
    const TMessageTexts* Texts = nullptr; // Not owned.
    TSessionLog* Log = nullptr;           // Not owned; may be null.
    TAppendIndexRow AppendRow;            // may be empty
    std::chrono::system_clock::time_point Now = std::chrono::system_clock::now();
    // The folder code the retrieved message was filed in: nothing is receipted from the
    // trash. 0 when not known.
    int FiledFolder = 0;
    // Addresses of the user's other accounts; the account's own e-mail and reply-to
    // addresses are always taken as the user's.
    std::vector<std::string> OwnAddresses;
    // Shows what is being done in the progress window's action line; may be empty.
    std::function<void(const std::string&)> ShowAction;
};

struct TQueuedReceipt {
    // Allowed when a receipt was built; else why the message gets none (nothing is written).
    TAutoReplyVerdict Verdict = TAutoReplyVerdict::Allowed;
    bool Saved = false;
    std::string Path; // the outbox file
    bool IndexRowAdded = false;
    bool WithNotification = false; // "rfc822.txt" could be written and attached
};

// Builds the receipt for `retrieved` into `work` (emptied first) and writes it into the
// outbox of `project`, then adds its index row. The row is only added when the file was
// written in full. The receipt goes to the first valid address of the message's
// "Disposition-Notification-To" only, and only when CheckAutomaticReceipt allows it (no
// receipts for mailing lists, automatic mail, reports, robots, the user's own addresses, the
// trash, or an address other than the envelope sender's); otherwise nothing is built or
// written, `work` is untouched and the verdict says why.
TQueuedReceipt QueueReceipt(const TMailMessage& retrieved, const AccountSettings& account,
                            int project, const TReceiptJob& job, TMailMessage& work);

// The references of a receipt used by "Find source of receipt": its "References" header;
// when that is empty and its content type is not a report, "X-PelmoraReference" without
// brackets.
std::string ReceiptReferences(const TMailMessage& receipt);

enum class TFindStatus { Found, NoMessageId, FileMissing, NotAReceipt, NotFound };

struct TFindResult {
    TFindStatus Status = TFindStatus::NotFound;
    int Row = -1;
};

// "Find Receipt of this message": the first receipt file (rows of the incoming-receipts
// folder in list order) whose "References", or else "X-PelmoraReference", contains the sent
// message's Message-ID column without brackets. Missing files are skipped. The search ends
// as not found when *abort becomes true (checked with a pump every 100 rows).
TFindResult FindReceiptOfMessage(std::string_view messageIdColumn,
                                 const std::vector<std::string>& receiptFiles,
                                 const bool* abort = nullptr, TUiServices* ui = nullptr);

// The folder searched for the source of a receipt: the sent folder for incoming receipts,
// the inbox for outgoing receipts; -1 for other folders.
int SourceFolderOfReceipts(int receiptFolder);

// "Find source of receipt": loads the receipt and finds the first row whose Message-ID
// column, without brackets, occurs in its references.
TFindResult FindSourceOfReceipt(const std::string& receiptPath,
                                const std::vector<std::string>& messageIdColumns,
                                const bool* abort = nullptr, TUiServices* ui = nullptr);

// The message files of a folder directory (names matching "*.eml?"), sorted by name; files
// in sub-folders are not included. Empty when the folder cannot be read.
std::vector<std::string> FolderMessageFiles(const std::string& folderPath);

// The same searches straight over the store, for callers without a listed folder: the
// receipt of a sent message among the project's incoming receipts, and the source of a
// receipt file in the folder SourceFolderOfReceipts names. The path of the match, or empty.
std::string FindReceiptFileOfMessage(const std::string& storeDir, int project,
                                     std::string_view messageId);
std::string FindSourceFileOfReceipt(const std::string& storeDir, int project,
                                    const std::string& receiptPath, int receiptFolder);

// The sound and pop-up a failed search ends with (nothing for Found).
void ReportFindFailure(TShell& shell, const TFindResult& result, bool sourceSearch);

} // namespace pelmora
