#pragma once
// Sending the outboxes of one account inside a transfer run: one SMTP session (after a POP3
// sign-in first in send-only runs of accounts that want POP-before-send), every message file
// of every project's outbox in the account's project order, each with a new Message-ID that
// carries its project ("PXID" + project). A sent message is written to the project's "sent"
// folder (receipts to "outreceipts") under the outbox name without a leading "_", flushed,
// given its index row, and only then removed from the outbox and its index. A refused or
// unreadable file stays in the outbox and is tried again at the next run.

#include <string>

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

enum class TOutboxResult { Sent, NotSent };

// Sends one outbox file of a project over the run's open SMTP session and files it.
TOutboxResult SendOutboxFile(TTransferRun& run, int project, const std::string& fileName);

} // namespace pelmora
