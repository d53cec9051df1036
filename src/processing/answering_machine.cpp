#include "processing/answering_machine.h"

#include "mime/mail_message.h"
#include "shell/atomic_file.h"
#include "paramtree/text_util.h"
#include "processing/auto_reply_history.h"
#include "processing/receipts.h"
#include "shell/ini_file.h"
#include "shell/shell_state.h"
#include "store/account_settings.h"
#include "store/store_layout.h"

#include <filesystem>
#include <system_error>

namespace pelmora {
namespace {

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

std::string ReplaceNoCase(std::string_view text, std::string_view placeholder,
                          std::string_view value) {
    std::string result;
    size_t from = 0;
    while (true) {
        size_t at = FindNoCase(text, placeholder, from);
        if (at == std::string_view::npos)
            break;
        result.append(text.substr(from, at - from));
        result.append(value);
        from = at + placeholder.size();
    }
    result.append(text.substr(from));
    return result;
}

} // namespace

std::string AnsweringMachineDirectory(const std::string& addressBookDir) {
    return addressBookDir + "Answering Machine/";
}

std::string AnswerSwitchPath(const std::string& addressBookDir, int account) {
    return AnsweringMachineDirectory(addressBookDir) + std::to_string(account) + ".ans";
}

std::string AnswerTextPath(const std::string& addressBookDir, int account) {
    return AnswerSwitchPath(addressBookDir, account) + ".txt";
}

bool ReadAnswerActive(const std::string& switchPath) {
    return TIniFile(switchPath).ReadBool("Active", "Active", false);
}

bool WriteAnswerActive(const std::string& switchPath, bool active) {
    TIniFile ini(switchPath);
    ini.WriteBool("Active", "Active", active);
    return ini.Save();
}

bool PrepareAnswerFiles(const std::string& addressBookDir, int account,
                        const std::string& defaultText) {
    std::error_code error;
    CreatePrivateDirectories(AnsweringMachineDirectory(addressBookDir));
    const std::string switchPath = AnswerSwitchPath(addressBookDir, account);
    const std::string textPath = AnswerTextPath(addressBookDir, account);
    bool ok = true;
    std::optional<std::string> text =
        FileExists(switchPath) ? ReadWholeFile(textPath) : std::optional<std::string>();
    if (!text || text->empty())
        ok = WriteFileAtomically(textPath, defaultText);
    // Writing the key back creates the switch file with the state it had (false when new).
    return WriteAnswerActive(switchPath, ReadAnswerActive(switchPath)) && ok;
}

std::string ReplaceAnswerPlaceholders(std::string_view text, const std::string& myName,
                                      const std::string& myAddress, const std::string& myWebsite,
                                      const std::string& recipientName,
                                      const std::string& recipientAddress) {
    std::string result = ReplaceNoCase(text, "%MYNAME", myName);
    result = ReplaceNoCase(result, "%MYADDRESS", myAddress);
    result = ReplaceNoCase(result, "%MYWEBSITE", myWebsite);
    return ReplaceNoCase(result, "%SENDER", recipientName + " (" + recipientAddress + ")");
}

bool IsAnswerToAnswer(const TMailMessage& message) {
    if (LowerAscii(message.ToRecipients.NamesCommaText()).find("donotreply") != std::string::npos)
        return true;
    for (std::string_view header : {"References", "In-Reply-To"}) {
        if (LowerAscii(message.HeaderText(header)).find("pelmora_ans") != std::string::npos)
            return true;
    }
    return false;
}

TAnswerRequest AnswerRequestFor(const TMailMessage& incoming, const AccountSettings& account) {
    TAnswerRequest request;
    request.Account = account.AccountNumber;
    request.DisplayName = account.DisplayName;
    request.EmailAddress = account.EmailAddress;
    request.WebAddress = account.WebAddress;
    request.MessageId = FirstMessageId(incoming.HeaderText("Message-ID"));
    request.References = std::string(incoming.HeaderText("References"));
    request.Subject = "Re. " + Trim(incoming.GetSubject());
    for (const std::string& own : {account.EmailAddress, account.ReplyTo}) {
        if (IsValidMailAddress(Trim(own)))
            request.OwnAddresses.push_back(Trim(own));
    }
    const std::optional<TMailAddress> from = FirstValidAddress(incoming.HeaderText("From"));
    if (from)
        request.SenderAddress = from->Address;
    std::optional<TMailAddress> target =
        FirstValidAddress(incoming.HeaderText("Disposition-Notification-To"));
    if (!target)
        target = from;
    if (target) {
        request.RecipientAddress = target->Address;
        request.RecipientName = SafeDisplayName(target->Name);
    }
    // The folder and the own addresses are checked again by CheckAnswer, once the caller
    // has filled them in.
    request.HeaderVerdict =
        CheckAutomaticReply(incoming, request.RecipientAddress, {request.OwnAddresses, 0});
    return request;
}

TAutoReplyVerdict CheckAnswer(const TAnswerRequest& request, const std::string& addressBookDir) {
    if (request.HeaderVerdict != TAutoReplyVerdict::Allowed)
        return request.HeaderVerdict;
    if (request.FiledFolder == kFolderTrash)
        return TAutoReplyVerdict::FiledInTrash;
    if (!IsValidMailAddress(request.RecipientAddress))
        return TAutoReplyVerdict::NoRecipient;
    for (const std::string& own : request.OwnAddresses) {
        for (const std::string& address : {request.RecipientAddress, request.SenderAddress}) {
            if (!Trim(own).empty() && LowerAscii(Trim(own)) == LowerAscii(address))
                return TAutoReplyVerdict::OwnAddress;
        }
    }
    if (AnsweredRecently(AnswerHistoryPath(addressBookDir, request.Account),
                         request.RecipientAddress, request.Now))
        return TAutoReplyVerdict::AnsweredRecently;
    return TAutoReplyVerdict::Allowed;
}

bool AnswerMessage(const TAnswerRequest& request, TAnsweringMode mode,
                   const std::string& addressBookDir, TMailMessage& reply,
                   TAutoReplyVerdict* refusal) {
    if (refusal)
        *refusal = TAutoReplyVerdict::Allowed;
    if (mode == TAnsweringMode::AllOff)
        return false;
    const std::string switchPath = AnswerSwitchPath(addressBookDir, request.Account);
    const std::string textPath = AnswerTextPath(addressBookDir, request.Account);
    if (!FileExists(switchPath) || !FileExists(textPath))
        return false;
    if (mode != TAnsweringMode::AllOn && !ReadAnswerActive(switchPath))
        return false;
    TAutoReplyVerdict verdict = CheckAnswer(request, addressBookDir);
    std::optional<std::string> text;
    if (verdict == TAutoReplyVerdict::Allowed) {
        text = ReadWholeFile(textPath);
        // Remembered before anything is sent: an answer that failed on the way still counts,
        // so that no failure can make the machine answer the same address at every run.
        if (text && !RememberAnswer(AnswerHistoryPath(addressBookDir, request.Account),
                                    request.RecipientAddress, request.Now))
            verdict = TAutoReplyVerdict::NotRecorded;
    }
    if (refusal)
        *refusal = verdict;
    if (verdict != TAutoReplyVerdict::Allowed || !text)
        return false;

    reply.ResetMessage();
    reply.SetDate(LocalDayCountAt(request.Now));
    reply.SetSender(request.DisplayName, request.EmailAddress);
    reply.SetReplyTarget(kAnswerReplyName, request.EmailAddress);
    reply.SetSubject(request.Subject);
    reply.ToRecipients.Add(request.RecipientName, request.RecipientAddress);
    reply.NewMessageId(kAnswerDomain);
    reply.SetHeaderValue("In-Reply-To", request.MessageId);
    reply.SetHeaderValue("References", ReferencesForAnswer(request.References, request.MessageId));
    reply.SetHeaderValue("Auto-Submitted", "auto-replied");
    BringMessageUpToDate(reply);
    reply.PutPlainText(ReplaceAnswerPlaceholders(*text, request.DisplayName, request.EmailAddress,
                                                 request.WebAddress, request.RecipientName,
                                                 request.RecipientAddress));
    BringMessageUpToDate(reply);
    return true;
}

} // namespace pelmora
