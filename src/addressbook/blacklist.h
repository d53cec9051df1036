#pragma once
// The blacklist: one program-wide list of sender addresses whose mail is deleted on the
// server without being downloaded. It lives in "BlackList.items" in the address-book
// directory, one entry per line ended by CR LF. A missing or unreadable file is an empty
// list; a failed save leaves the old file whole (atomic rewrite). Only entries holding both
// "@" and "." ever match, and they match a sender's whole address without regard to case.

#include "mime/mail_recipients.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class TMessageTexts;
class TUiServices;

constexpr std::string_view kBlackListFileName = "BlackList.items";

// addressBookDir + "BlackList.items" (the directory ends in "/").
std::string BlackListPath(const std::string& addressBookDir);

// The file's lines as stored (blank lines kept); empty when missing or unreadable.
std::vector<std::string> LoadBlackList(const std::string& path);
// The same, but std::nullopt when the file exists and cannot be read, so that callers that
// rewrite the file never replace entries they could not see.
std::optional<std::vector<std::string>> ReadBlackList(const std::string& path);
// Writes every entry followed by CR LF, atomically; false when the file cannot be written.
bool SaveBlackList(const std::string& path, const std::vector<std::string>& entries);

// True when the text may be an entry: it contains "@" and ".".
bool IsBlackListAddress(std::string_view text);

// True when a trimmed entry with "@" and "." equals the sender's address, case ignored.
// With ui, the message queue is pumped after every 300 comparisons.
bool IsBlacklisted(std::string_view senderAddress, const std::vector<std::string>& list,
                   TUiServices* ui = nullptr);

// The sender of a message whose header arrived as raw lines, as a POP3 TOP reply gives them:
// the first "From" field (name compared without regard to case) with its continuation lines
// (those beginning with a space or tab) unfolded, read by the program's address parser. An
// address folded onto a second line is found; no From field gives an empty address.
TMailAddress SenderOfHeaderLines(const std::vector<std::string>& headerLines);

// The address a message-list column shows: the text between the last " (" and the following
// ")" when the column holds a "(", else the whole column; trimmed.
std::string AddressFromListColumn(std::string_view column);

// "Add Sender to Black-List": appends to the file every address of the given list columns
// (sender or recipient columns of the selected rows) that looks like an address and is not
// listed yet (case ignored). Returns the number of addresses added; the file is only
// rewritten when something was added and never when it exists but cannot be read (write
// errors are otherwise ignored, as the command does).
int AddSendersToBlackList(const std::string& path, const std::vector<std::string>& columns,
                          TUiServices* ui = nullptr);

// The blacklist window without its widgets: the entries in case-insensitive order and which
// of them are selected. The Qt window copies these in and out.
struct TBlackListForm {
    std::string Path;
    bool ReadFailed = false; // the file exists but could not be read: never overwritten
    std::vector<std::string> Entries;
    std::vector<bool> Selected; // parallel to Entries
};

// Title: application title + " - " + text 1/279.
std::string BlackListTitle(const std::string& applicationTitle, const TMessageTexts& texts);
// Reads the file (errors ignored), sorts it and selects the first entry.
TBlackListForm OpenBlackListForm(const std::string& path);
// "&Add": asks for an address (caption 1/279, prompt 1/282). A trimmed answer with "@" and
// "." is added in sorted place; anything else beeps and shows answer + text 4/44. The
// window does not look for duplicates. True when an entry was added.
bool BlackListAddClick(TBlackListForm& form, TUiServices& ui, const TMessageTexts& texts);
// "&Delete": removes every selected entry, then selects the first one.
void BlackListDeleteClick(TBlackListForm& form);
// "&Close": writes the list in its sorted order; false when the file could not be written or
// could not be read when the window opened (it is then left as it is).
bool BlackListCloseClick(const TBlackListForm& form);

} // namespace pelmora
