#pragma once
// The program's own texts: those it shows beyond the slots of the five text modules (labels
// of the connection parameters, messages of checks the modules have no slot for). They live
// in one table beside the modules so that every shown text has one place a translation can
// replace; TMessageTexts holds their current values.

#include <initializer_list>
#include <string>
#include <string_view>

namespace pelmora {

enum class TOwnText {
    POP3PortLabel,
    POP3SecurityLabel,
    SMTPPortLabel,
    SMTPSecurityLabel,
    InvalidPort,       // follows the answer that is no port number
    ProjectDirectory,  // follows text 0/10 and precedes the directory that could not go
    BlackListNotSaved, // follows the path of the list that could not be written
    MessageIdMissing,  // "Find Receipt" on a sent message without a Message-ID
    TransferLocked,    // another process holds the transfer lock of the data home
    // Texts with places %1, %2, ... for the values FillText puts in.
    CertificateRefused,      // %1 server, %2 reason, %3 fingerprint
    CertificateQuestion,     // %1 server, %2 reason, %3 fingerprint
    CertificateNotStored,
    CertificateTrusted,      // %1 server
    MailTransferCommand,     // the name of the transfer in "busy" refusals
    MailboxRenumbered,
    RetrievedListNotWritten,
    HelpFileMissing,         // %1 the program directory
    DeletingMessages,        // the pop-up of a permanent delete
    Credits,                 // "Credits" when the credit lines of the module are empty
    Count,
};

constexpr int kOwnTextCount = static_cast<int>(TOwnText::Count);

// The built-in text; empty for TOwnText::Count.
std::string_view OwnTextDefault(TOwnText id);

// The text with each place %1 to %9 replaced by the value of that number; a place without a
// value, or a "%" before anything else, stays as it is.
std::string FillText(std::string_view text, std::initializer_list<std::string_view> values);

} // namespace pelmora
