#pragma once
// Sending the outboxes of one account inside a transfer run: one SMTP session (after a POP3
// sign-in first in send-only runs of accounts that want POP-before-send), every message file
// of every project's outbox in the account's project order, each with a new Message-ID that
// carries its project ("PXID" + project). A sent message is written to the project's "sent"
// folder (receipts to "outreceipts") under the outbox name without a leading "_", flushed,
// given its index row, and only then removed from the outbox and its index. A refused or
// unreadable file stays in the outbox and is tried again at the next run.
//
// The copy is written while the server takes the message text (and removed again when the
// server refuses it); flushing, rows and removals are done for batches of sent messages
// (TSentFiling): the copies of a batch are flushed together, aside, while later messages go
// out, and each index is written once per batch. A crash before a batch is finished leaves
// its messages in the outbox, so the next run sends them again: mail may be sent twice, but
// none is lost.

#include "processing/index_row.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <future>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace pelmora {

struct AccountSettings;
class TMailMessage;
class TTransferRun;

// True when a message is filed as a sent receipt: it carries "X-PelmoraReference" or its
// Content-Type names a report.
bool IsSentReceipt(const TMailMessage& message);

// The name a sent file gets: the outbox name without a leading "_".
std::string SentFileName(const std::string& outboxName);

// Sends the account's outboxes with the run's clients; mode is the run's mode for the
// account (POP-before-send only in send-only runs). Returns false when it was aborted.
bool SendOutboxes(TTransferRun& run, const AccountSettings& account, int mode);

// The sent messages of a session whose filing is not finished: their copies are written,
// then flushed together with their index rows, then their outbox files are removed (a few
// while each later message is with the server, the rest at the end) and finally their outbox
// rows, with one index write per project. A removed outbox file is first moved aside into the
// program's temporary directory, where it serves as the copy of a later message, and what is
// left there is deleted at the end: on file systems without a journal a file created just
// after others were deleted costs a search past each of them, and every sent message needs a
// file for its copy.
class TSentFiling {
public:
    // Written copies are flushed after this many messages or this long after the first.
    // Smaller batches let more copies reuse outbox files but cost a flush and two index
    // writes each: measured, 32 took a fifth more processor time than 100.
    static constexpr std::size_t kBatchMessages = 100;
    static constexpr std::chrono::milliseconds kBatchTime{500};
    // The first batch is small: its outbox files soon serve as the copies of later messages.
    static constexpr std::size_t kFirstBatchMessages = 16;

    explicit TSentFiling(TTransferRun& run) : Run(run) {}
    TSentFiling(const TSentFiling&) = delete;
    TSentFiling& operator=(const TSentFiling&) = delete;

    // A message sent from `outboxName` of `project` whose copy is written as `row.FilePath`.
    void Add(int project, int folderCode, const std::string& outboxName, TIndexRow row);
    // True when the written copies should be flushed; `left` messages are still to go. The
    // batch before the last few messages is flushed early, so that the flush at the end,
    // which the session waits for, holds no more than those few.
    bool Due(std::size_t left) const;
    // Starts flushing the written copies (the flush runs aside); the flush started before is
    // completed first: its copies get their index rows, a copy that cannot be flushed is
    // removed and its outbox file kept, and the outbox files of the others may then go.
    void Flush();
    // Waits for the flush in progress, if any, and completes it as above.
    void CompleteFlush();
    // Completes the flush in progress if it has ended, without waiting: its outbox files may
    // then go, and serve as later copies.
    void CompleteFlushIfDone();
    // Removes up to `count` outbox files of flushed copies.
    void RemoveSome(std::size_t count);
    // Flushes, removes every outbox file whose copy is flushed and their outbox rows.
    void Finish();
    // Creates a folder for copies (once per folder and session); false when it cannot be.
    bool PrepareFolder(const std::string& folder);
    // Writes the copy of a message as `path`: over a removed outbox file where there is one
    // (a rewritten file costs the file system less than a new one), else as a new file.
    bool WriteCopy(const TMailMessage& message, const std::string& path);

private:
    struct TPending {
        int Project = 0;
        int FolderCode = 0;
        std::string OutboxName;
        TIndexRow Row;
    };
    TTransferRun& Run; // Not owned.
    std::vector<TPending> Written;  // copies written since the last flush started
    std::vector<TPending> Flushing; // copies of the flush in progress
    std::future<std::vector<bool>> FlushDone; // its result: which copies are on disk
    std::chrono::steady_clock::time_point Started;
    bool FlushStarted = false; // a flush was started in this session
    std::deque<std::pair<int, std::string>> Filed;    // project, outbox name
    std::vector<std::pair<int, std::string>> Removed; // outbox files whose rows remain
    std::vector<std::string> MovedAside; // removed outbox files: later copies, or deleted
    std::set<std::string> Prepared;      // folders known to exist
};

} // namespace pelmora
