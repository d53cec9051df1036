#pragma once
// The answering machine: per account an on/off file ("Answering Machine/" + account + ".ans",
// section and key "Active") and a reply text (account + ".ans.txt") with placeholders. For a
// retrieved message it builds the automatic reply into a message object; the transfer run
// sends it. Replies carry "PELMORA_ANS" in their Message-ID and the reply-to name
// "DoNotReply", so that an answer to an answer is recognised and never answered again.

#include <string>
#include <string_view>

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
    std::string Subject;          // "Re. " + the incoming subject, trimmed
    std::string RecipientAddress; // the receipt address when asked for, else the sender
    std::string RecipientName;
};

// The request for a retrieved message and the account that retrieved it.
TAnswerRequest AnswerRequestFor(const TMailMessage& incoming, const AccountSettings& account);

// Builds the automatic reply into `reply` (emptied first) when the mode and the account's
// files say so. False, with `reply` untouched, in "All OFF", when a file is missing, when
// "Active" is false outside "All ON", or when the reply text cannot be read.
bool AnswerMessage(const TAnswerRequest& request, TAnsweringMode mode,
                   const std::string& addressBookDir, TMailMessage& reply);

} // namespace pelmora
