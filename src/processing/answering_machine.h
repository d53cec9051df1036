#pragma once
// The answering machine: per account an on/off file ("Answering Machine/" + account + ".ans",
// section and key "Active") and a reply text (account + ".ans.txt") with placeholders. For a
// retrieved message it builds the automatic reply into a message object; the transfer run
// sends it. Replies carry "PELMORA_ANS" in their Message-ID, the reply-to name "DoNotReply"
// and "Auto-Submitted: auto-replied", so that an answer to an answer is recognised and never
// answered again. Only mail from a person is answered (auto_reply_policy.h), to one address,
// and one address at most once in seven days per account (auto_reply_history.h).

#include "processing/auto_reply_policy.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

struct AccountSettings;
class TMailMessage;
class TMessageTexts;
enum class TAnsweringMode;

constexpr std::string_view kAnswerDomain = "PELMORA_ANS";
constexpr std::string_view kAnswerReplyName = "DoNotReply";

// addressBookDir + "Answering Machine/".
std::string AnsweringMachineDirectory(const std::string& addressBookDir);
// directory + account + ".ans" and + ".ans.txt".
std::string AnswerSwitchPath(const std::string& addressBookDir, int account);
std::string AnswerTextPath(const std::string& addressBookDir, int account);

// The "Active" key; false when missing.
bool ReadAnswerActive(const std::string& switchPath);
bool WriteAnswerActive(const std::string& switchPath, bool active);

// Makes sure both files exist and the text is not empty (as selecting the account in the
// settings window does): a missing or empty text file gets `defaultText` (text 1/25), a
// missing switch file is written with "Active" false. False when a file could not be written.
bool PrepareAnswerFiles(const std::string& addressBookDir, int account,
                        const std::string& defaultText);

// Replaces, without regard to case and in this order, "%MYNAME", "%MYADDRESS", "%MYWEBSITE"
// and "%SENDER" (recipient name + " (" + recipient address + ")").
std::string ReplaceAnswerPlaceholders(std::string_view text, const std::string& myName,
                                      const std::string& myAddress, const std::string& myWebsite,
                                      const std::string& recipientName,
                                      const std::string& recipientAddress);

// True when the message answers an automatic answer: its To names contain "donotreply" or
// its "References" or "In-Reply-To" contain "pelmora_ans" (case ignored). Such a message is
// stored but never answered.
bool IsAnswerToAnswer(const TMailMessage& message);

struct TAnswerRequest {
    int Account = 0;
    std::string DisplayName;
    std::string EmailAddress;
    std::string WebAddress;
    std::string MessageId;        // of the incoming message
    std::string References;       // of the incoming message
    std::string Subject;          // "Re. " + the incoming subject, trimmed
    std::string RecipientAddress; // the one address answered; empty when there is none
    std::string RecipientName;
    // What the incoming message's header says about answering it.
    TAutoReplyVerdict HeaderVerdict = TAutoReplyVerdict::Allowed;
    std::string SenderAddress; // the first valid "From" address of the incoming message
    // The user's own addresses, never answered: the account's e-mail and reply-to addresses
    // (AnswerRequestFor); a caller may add those of its other accounts.
    std::vector<std::string> OwnAddresses;
    // Set by the caller: the folder code the incoming message was filed in (the trash is
    // never answered); 0 when not known.
    int FiledFolder = 0;
    // The time of the answer (its "Date" and the seven-day memory).
    std::chrono::system_clock::time_point Now = std::chrono::system_clock::now();
};

// The request for a retrieved message and the account that retrieved it. The recipient is
// the first valid address of "Disposition-Notification-To" when that has one, else the first
// valid address of "From"; the other entries of those headers are never written to. The
// message's part map must be current.
TAnswerRequest AnswerRequestFor(const TMailMessage& incoming, const AccountSettings& account);

// Whether the request may be answered, leaving aside the mode and the account's files:
// the header verdict, the filing folder, the own addresses, then the seven-day memory kept
// in `addressBookDir`.
TAutoReplyVerdict CheckAnswer(const TAnswerRequest& request, const std::string& addressBookDir);

// Builds the automatic reply into `reply` (emptied first) when the mode, the account's files
// and CheckAnswer say so, and records the recipient in the seven-day memory. False, with
// `reply` untouched, in "All OFF", when a file is missing, when "Active" is false outside
// "All ON", when CheckAnswer refuses, when the reply text cannot be read or when the memory
// cannot be written (an answer that could repeat at every collection is not sent at all).
// `refusal`, when given, receives the CheckAnswer verdict (Allowed when the mode or the
// files decided).
bool AnswerMessage(const TAnswerRequest& request, TAnsweringMode mode,
                   const std::string& addressBookDir, TMailMessage& reply,
                   TAutoReplyVerdict* refusal = nullptr);

} // namespace pelmora
