#include "processing/outbox_sending.h"

#include "mime/mail_message.h"
#include "processing/index_row.h"
#include "store/folder_listing.h"
#include "processing/message_store.h"
#include "processing/receipts.h"
#include "processing/routing.h"
#include "processing/transfer_run.h"
#include "shell/shell_state.h"
#include "store/folder_index.h"
#include "store/message_files.h"
#include "store/store_layout.h"
#include "store/workspace.h"
#include "transport/pop3_client.h"
#include "transport/smtp_client.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <vector>

namespace pelmora {

namespace {

constexpr int kSentFolder = 113;
constexpr int kSentReceiptsFolder = 114;
constexpr int kOutboxFolder = 115;

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Removes the index row of a sent outbox file: the first row whose caption holds the name.
void RemoveOutboxRow(const std::string& outbox, const std::string& fileName) {
    const std::string indexPath = outbox + "tree.lst";
    std::error_code ec;
    if (!std::filesystem::exists(indexPath, ec))
        return;
    TMessageList list;
    if (!LoadIndex(indexPath, list).Ok)
        return;
    const std::string name = Lower(fileName);
    for (int i = 0; i < list.Count(); ++i) {
        if (Lower(list.Row(i).Caption()).find(name) != std::string::npos) {
            list.Remove(i);
            SaveIndex(indexPath, list);
            return;
        }
    }
}

// A name in the folder that no file uses yet: the wanted one, else a fresh stem.
std::string FreeSentName(const std::string& folder, const std::string& wanted) {
    std::error_code ec;
    if (!std::filesystem::exists(folder + wanted, ec))
        return wanted;
    return NewMessageStem(folder) + ".eml";
}

// The names of the message files of an outbox, sorted so that mail leaves in the order it
// was queued (names are time stems). Empty when the folder cannot be read.
std::vector<std::string> OutboxFileNames(const std::string& outbox) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(outbox, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (IsMessageFileName(name) && it->is_regular_file(typeError))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void FilingFailed(TTransferRun& run, int textSlot) {
    run.PlayAttention();
    ++run.SendErrors;
    if (!run.Unattended())
        run.Warn(run.Text(0, textSlot), 5000);
    run.Log(run.Text(1, 286) + run.Text(0, textSlot));
}

} // namespace

bool IsSentReceipt(const TMailMessage& message) {
    return message.HasHeader(kReferenceHeader) ||
           message.ContentTypeLower().find("report") != std::string::npos;
}

std::string SentFileName(const std::string& outboxName) {
    if (!outboxName.empty() && outboxName.front() == '_')
        return outboxName.substr(1);
    return outboxName;
}

TOutboxResult SendOutboxFile(TTransferRun& run, int project, const std::string& fileName) {
    TShell& shell = run.Shell();
    TMailMessage& message = run.Message();
    TSmtpClient& smtp = run.Smtp();
    const std::string& store = shell.Dirs().Store;
    const std::string outbox = FolderPath(store, project, kOutboxFolder);
    const std::string path = outbox + fileName;

    message.ResetMessage();
    if (!message.LoadMessageFile(path)) {
        // Nothing of a half-read file may show up as the refused message's recipients.
        message.ResetMessage();
        return TOutboxResult::NotSent;
    }
    BringMessageUpToDate(message);
    // Every attempt gets a new id that carries the project, so replies find their way back.
    message.NewMessageId(ProjectDomain(project));

    const std::string sending = run.Text(1, 286) + run.Text(2, 32) + " " + run.Text(4, 32) + ": " +
                                message.ToRecipients.AddressesCommaText();
    run.Action(sending);
    run.Log(sending + " " + run.Text(4, 19) + " (" + run.Text(1, 288) + "=" +
            std::to_string(project) + ")");
    run.LogHeader(message);

    smtp.MailMessage = &message;
    if (!smtp.SendMail()) {
        ++run.SendErrors;
        run.Log(run.Text(1, 286) + run.Text(2, 9) + smtp.LastReply());
        return TOutboxResult::NotSent;
    }

    // Sent: from here on the file counts as sent whatever happens to its copies.
    const int folderCode = IsSentReceipt(message) ? kSentReceiptsFolder : kSentFolder;
    const std::string folder = FolderPath(store, project, folderCode);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::string name = FreeSentName(folder, SentFileName(fileName));
    std::string error;
    if (!SaveMessageDurably(message, folder + name, &error)) {
        // The outbox file stays: a message may be sent twice, but none is lost.
        FilingFailed(run, 32);
        return TOutboxResult::Sent;
    }

    TIndexRow row;
    row.FolderPath = folder;
    row.FilePath = folder + name;
    row.State = kStateRead;
    row.AttachmentIcon = AttachmentIconOf(message);
    row.DateText = FormatListDate(message.GetDate());
    if (message.ToRecipients.Count() > 0)
        row.AddressColumn =
            AddressText(message.ToRecipients.NameAt(0), message.ToRecipients.AddressAt(0));
    row.Subject = message.GetSubject();
    row.Size = FileSizeOf(path);
    row.MessageId = message.GetMessageId();
    AppendToFolderIndex(row);
    run.FiledRow(project, folderCode, row);

    if (!std::filesystem::remove(path, ec) || ec) {
        FilingFailed(run, 33);
        return TOutboxResult::Sent;
    }
    RemoveOutboxRow(outbox, fileName);
    if (run.Hooks.OutboxRowRemoved && shell.CurrentProject == project)
        run.Hooks.OutboxRowRemoved(project, fileName);
    return TOutboxResult::Sent;
}

bool SendOutboxes(TTransferRun& run, const AccountSettings& account, int mode) {
    TShell& shell = run.Shell();
    TSmtpClient& smtp = run.Smtp();
    TTransferProgressState& progress = run.Progress;

    run.Message().ResetMessage();
    run.AccountBytesOut = 0;
    if (run.ProgressWindowExists) {
        progress.Counters.Sent = 0;
        progress.Counters.AttachmentsOut = 0;
        progress.Counters.BytesOut = 0;
        progress.Changed();
    }
    run.PrepareSmtp(account);
    const bool authenticate = UsesSmtpAuthentication(account, run.Text(3, 14));

    const std::string where = run.Text(2, 28) + account.SMTPServer + " (" + run.Text(1, 244) + ":" +
                              std::to_string(smtp.Port) + ")";
    run.Action(run.Text(1, 286) + where);
    run.Log(where);

    // In retrieve-and-send runs the account's POP3 session has just signed in.
    if (mode == kSendOnly && account.POPBeforeSend) {
        TPop3Client& pop3 = run.Pop3();
        run.PreparePop3(account);
        const std::string popText = run.Text(1, 286) + "POP-Before-Send Authentication";
        run.Action(popText);
        run.Log(popText);
        const bool signedIn = run.OpenPop3() && pop3.SignIn();
        pop3.CloseSession();
        pop3.DropConnection();
        if (!signedIn) {
            run.PlayAttention();
            run.Action("POP-Before-Send - " + run.Text(0, 30));
            run.Log("POP-Before-Send - " + run.Text(0, 30));
            if (!run.Unattended() && !run.AllAccounts())
                run.Warn(run.Text(0, 38), 6000);
            ++run.SendErrors;
        }
    }

    if (!run.OpenSmtp()) {
        run.PlayAttention();
        run.Log(run.Text(1, 286) + run.Text(0, 29) + "\r\n");
        if (!smtp.LastReply().empty())
            run.Log(run.Text(1, 286) + smtp.LastReply());
        run.Action(run.Text(1, 286) + run.Text(0, 29));
        ++run.SendErrors;
        smtp.DropConnection();
        return true;
    }
    if (authenticate && !smtp.AuthLogin()) {
        run.PlayAttention();
        run.Log(run.Text(1, 286) + run.Text(0, 36));
        run.Action(run.Text(1, 286) + run.Text(0, 36));
        if (!run.Unattended() && !run.AllAccounts())
            run.Warn(run.Text(0, 36) + "\r\n\r\n" + run.Text(0, 37), 6000);
        smtp.CloseSession();
        smtp.DropConnection();
        ++run.SendErrors;
        return true;
    }

    for (int project : AccountProjects(account)) {
        const std::string outbox = FolderPath(shell.Dirs().Store, project, kOutboxFolder);
        if (run.ProgressWindowExists) {
            progress.Overall = {0, progress.Counters.Outbox};
            progress.Message = {};
            progress.Changed();
        }
        for (const std::string& fileName : OutboxFileNames(outbox)) {
            if (run.AbortTransfer || shell.Closing) {
                smtp.DropConnection();
                return false;
            }
            const std::int64_t size = FileSizeOf(outbox + fileName);
            if (run.ProgressWindowExists) {
                progress.Message = {0, std::max<std::int64_t>(0, size)};
                progress.Changed();
            }
            TOutboxResult result = TOutboxResult::NotSent;
            if (size > 0)
                result = SendOutboxFile(run, project, fileName);
            else
                run.Message().ResetMessage(); // an empty file has no recipients to report
            if (result == TOutboxResult::Sent) {
                run.AccountBytesOut += size;
                if (run.ProgressWindowExists) {
                    ++progress.Counters.Sent;
                    progress.Counters.Outbox = std::max(0, progress.Counters.Outbox - 1);
                    progress.Counters.BytesOut = run.AccountBytesOut;
                    progress.Counters.AttachmentsOut +=
                        static_cast<int>(run.Message().Attachments.size());
                    TTransferProgressState::Advance(progress.Overall,
                                                    progress.Overall.Position + 1);
                    progress.Changed();
                }
                if (run.Hooks.StartLittleJobs)
                    run.Hooks.StartLittleJobs();
            } else {
                ++run.Refused;
                run.Log(run.Text(1, 286) + run.Text(1, 87) + " " + run.Text(4, 32) + " " +
                        run.Message().ToRecipients.AddressesCommaText() + run.Text(2, 9) +
                        smtp.LastReply());
                if (run.ProgressWindowExists) {
                    progress.Counters.Refused = run.Refused;
                    progress.RefusedRed = true;
                    progress.Changed();
                }
                run.Pump();
            }
        }
    }
    smtp.CloseSession();
    smtp.DropConnection();
    return true;
}

} // namespace pelmora
