#pragma once
// Which retrieved messages may be answered by automatic mail (the answering machine's reply
// or a receipt), and the single address such mail may go to. Automatic mail is never sent to
// machines, mailing lists, other automatic mail, the user's own addresses or mail the filters
// threw away, so that no two automatic responders can keep each other busy and no incoming
// message can make the program write to many addresses. Pure functions of the message and
// the given facts: nothing here reads or writes files, and bad headers only ever refuse.
//
//   RFC 3834  Recommendations for Automatic Responses to Electronic Mail
//   RFC 8098  Message Disposition Notification (when receipts are not sent)
//   RFC 5322  address syntax (what counts as a valid address)
//   RFC 2369, RFC 2919  list header fields (List-Id, List-Unsubscribe, List-Post)

#include "mime/mail_recipients.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class TMailMessage;

// Why automatic mail is not sent; Allowed when it may be.
enum class TAutoReplyVerdict {
    Allowed,
    FiledInTrash,      // the filters filed the message in the trash
    AnswerToAnswer,    // a reply to one of our own automatic answers
    AutoSubmitted,     // "Auto-Submitted" other than "no"
    BulkPrecedence,    // "Precedence: bulk", "list" or "junk"
    MailingList,       // List-Id, List-Unsubscribe, List-Post or Mailing-List
    SuppressRequested, // "X-Auto-Response-Suppress" asks for no automatic replies
    Report,            // a delivery report or receipt (multipart/report, notification parts)
    NullSender,        // "Return-Path: <>", or no valid address in "From"
    MachineSender,     // MAILER-DAEMON, postmaster, noreply, list robots
    OwnAddress,        // sent by, or to be answered to, one of the user's own addresses
    NoRecipient,       // the header names no valid address to write to
    ReturnPathDiffers, // a receipt asked for an address other than the envelope sender's
    AnsweredRecently,  // this address had an automatic answer within the quiet period
    NotRecorded,       // the quiet period could not be recorded, so nothing is sent
};

// A short English name of the verdict for log lines ("mailing list", ...).
std::string_view AutoReplyVerdictText(TAutoReplyVerdict verdict);

// The facts about a retrieved message that its header does not hold.
struct TAutoReplyContext {
    // The user's own addresses (any case); empty entries are ignored.
    std::vector<std::string> OwnAddresses;
    // The folder code the message was filed in; 0 when not known.
    int FiledFolder = 0;
};

// A conservative RFC 5322 address: a dot-atom local part of at most 64 ASCII characters,
// "@", and a domain of at least two labels of letters, digits and hyphens (or UTF-8 bytes);
// at most 254 characters in all. Quoted local parts and address literals are refused, as is
// anything with blanks, commas, brackets or control characters.
bool IsValidMailAddress(std::string_view address);

// The first entry of an address-list header text whose address is valid, or none. Entries
// after it are ignored, so automatic mail always goes to one address at most.
std::optional<TMailAddress> FirstValidAddress(std::string_view headerText);

// The address of a robot rather than a person: MAILER-DAEMON, postmaster, noreply and its
// spellings, list servers and list administration addresses ("owner-x", "x-request").
bool IsMachineAddress(std::string_view address);

// A display name that cannot leave the quoted phrase it is written into: quotes, backslashes,
// angle brackets and control characters become blanks; runs of blanks become one.
std::string SafeDisplayName(std::string_view name);

// Checks the header of `incoming` and the context for automatic mail to `recipient` (the
// address chosen to write to; an invalid or empty one refuses with NoRecipient). The first
// reason found, in the order of TAutoReplyVerdict, is returned. The message's part map must
// be current.
TAutoReplyVerdict CheckAutomaticReply(const TMailMessage& incoming, std::string_view recipient,
                                      const TAutoReplyContext& context);

// The same for a receipt (a disposition notification) to `recipient`: besides the rules
// above, a message whose "Return-Path" names another valid address than the one the
// receipt would go to gets no receipt, so that a request cannot aim receipts at a third
// party.
TAutoReplyVerdict CheckAutomaticReceipt(const TMailMessage& incoming, std::string_view recipient,
                                        const TAutoReplyContext& context);

// The first message identifier ("<...>") of a header text; empty when there is none.
std::string FirstMessageId(std::string_view headerText);

// The "References" of an answer to a message: the message's own references followed by its
// Message-ID (identifiers only, each once; a long chain keeps its first identifier and the
// most recent ones). Empty when the message has no Message-ID.
std::string ReferencesForAnswer(std::string_view references, std::string_view messageId);

} // namespace pelmora
