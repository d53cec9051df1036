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
#include "shell/atomic_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
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

// Removes the index rows of sent outbox files: for each name, the first row whose caption
// holds it. The index is written once.
void RemoveOutboxRows(const std::string& outbox, const std::vector<std::string>& fileNames) {
    const std::string indexPath = outbox + "tree.lst";
    std::error_code ec;
    if (fileNames.empty() || !std::filesystem::exists(indexPath, ec))
        return;
    TMessageList list;
    if (!LoadIndex(indexPath, list).Ok)
        return;
    std::vector<std::string> captions;
    captions.reserve(static_cast<std::size_t>(list.Count()));
    for (const TListRow& row : list.AllRows())
        captions.push_back(Lower(row.Caption()));
    std::vector<bool> taken(captions.size(), false);
    std::vector<int> indexes;
    for (const std::string& fileName : fileNames) {
        const std::string name = Lower(fileName);
        for (std::size_t i = 0; i < captions.size(); ++i) {
            if (!taken[i] && captions[i].find(name) != std::string::npos) {
                taken[i] = true;
                indexes.push_back(static_cast<int>(i));
                break;
            }
        }
    }
    if (indexes.empty())
        return;
    std::sort(indexes.begin(), indexes.end());
    list.RemoveRows(indexes);
    SaveIndex(indexPath, list);
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
        // A link is never a message: what it points at may lie anywhere.
        if (IsMessageFileName(name) &&
            it->symlink_status(typeError).type() == std::filesystem::file_type::regular)
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

namespace {

bool HasNotificationPart(const TMailPart& part) {
    if (part.ContentTypeLower() == "message/disposition-notification")
        return true;
    for (const auto& sub : part.SubParts) {
        if (HasNotificationPart(*sub))
            return true;
    }
    return false;
}

} // namespace

bool IsSentReceipt(const TMailMessage& message) {
    // A receipt for a message without a Message-ID has no reference to carry; its
    // notification part still tells what it is.
    return message.HasHeader(kReferenceHeader) ||
           message.ContentTypeLower().find("report") != std::string::npos ||
           HasNotificationPart(message);
}

std::string SentFileName(const std::string& outboxName) {
    if (!outboxName.empty() && outboxName.front() == '_')
        return outboxName.substr(1);
    return outboxName;
}

void TSentFiling::Add(int project, int folderCode, const std::string& outboxName, TIndexRow row) {
    if (Written.empty())
        Started = std::chrono::steady_clock::now();
    Written.push_back({project, folderCode, outboxName, std::move(row)});
}

bool TSentFiling::Due(std::size_t left) const {
    const std::size_t batch = FlushStarted ? kBatchMessages : kFirstBatchMessages;
    return !Written.empty() && (Written.size() >= batch || left == kFirstBatchMessages ||
                                std::chrono::steady_clock::now() - Started >= kBatchTime);
}

void TSentFiling::Flush() {
    CompleteFlush();
    if (Written.empty())
        return;
    // The copies are flushed aside while the next messages go out. Only the copies written
    // before the flush started count as flushed by it.
    Flushing.swap(Written);
    FlushStarted = true;
    std::vector<std::string> copies;
    copies.reserve(Flushing.size());
    for (const TPending& pending : Flushing)
        copies.push_back(pending.Row.FilePath);
    FlushDone = std::async(std::launch::async, [copies = std::move(copies)] {
        return FlushWrittenFiles(copies);
    });
}

void TSentFiling::CompleteFlush() {
    if (!FlushDone.valid())
        return;
    const std::vector<bool> flushed = FlushDone.get();
    std::vector<TPending> batch;
    batch.swap(Flushing);

    // The copies first, flushed: until then the outbox files stay.
    std::vector<TPending> filed;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (i < flushed.size() && flushed[i]) {
            filed.push_back(std::move(batch[i]));
            continue;
        }
        std::error_code ignored;
        std::filesystem::remove(batch[i].Row.FilePath, ignored);
        FilingFailed(Run, 32);
    }

    // Their rows, one write per folder.
    for (std::size_t first = 0; first < filed.size();) {
        std::size_t end = first;
        std::vector<TIndexRow> rows;
        while (end < filed.size() && filed[end].Row.FolderPath == filed[first].Row.FolderPath)
            rows.push_back(filed[end++].Row);
        AppendRowsToFolderIndex(rows);
        for (std::size_t i = first; i < end; ++i)
            Run.FiledRow(filed[i].Project, filed[i].FolderCode, filed[i].Row);
        first = end;
    }
    for (TPending& pending : filed)
        Filed.push_back({pending.Project, std::move(pending.OutboxName)});
}

void TSentFiling::CompleteFlushIfDone() {
    if (FlushDone.valid() &&
        FlushDone.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        CompleteFlush();
}

void TSentFiling::RemoveSome(std::size_t count) {
    const std::string& store = Run.Shell().Dirs().Store;
    const std::string& aside = Run.Shell().Dirs().Temp;
    for (; count > 0 && !Filed.empty(); --count) {
        auto [project, name] = std::move(Filed.front());
        Filed.pop_front();
        const std::string path = FolderPath(store, project, kOutboxFolder) + name;
        // Moved aside where it can be (the same file system), else removed at once.
        std::error_code ec;
        const std::string moved = aside + "sent-" + std::to_string(project) + "-" + name;
        if (!aside.empty() && std::rename(path.c_str(), moved.c_str()) == 0) {
            MovedAside.push_back(moved);
            Removed.emplace_back(project, std::move(name));
        } else if (!std::filesystem::remove(path, ec) || ec) {
            FilingFailed(Run, 33);
        } else {
            Removed.emplace_back(project, std::move(name));
        }
    }
}

bool TSentFiling::PrepareFolder(const std::string& folder) {
    if (Prepared.count(folder))
        return true;
    if (!CreatePrivateDirectories(folder))
        return false;
    Prepared.insert(folder);
    return true;
}

bool TSentFiling::WriteCopy(const TMailMessage& message, const std::string& path) {
    if (!MovedAside.empty()) {
        const std::string spare = std::move(MovedAside.back());
        MovedAside.pop_back();
        if (SaveMessageOverSpare(message, spare, path))
            return true;
        MovedAside.push_back(spare); // still to be deleted, if it is there
    }
    return static_cast<bool>(message.SaveMessageFile(path));
}

void TSentFiling::Finish() {
    Flush();
    // The outbox files of earlier batches go while the last copies are being flushed; only now,
    // as no more copies are created here. Every removal may wait for the disk, so they go
    // several at a time.
    RemoveFiles(MovedAside);
    MovedAside.clear();
    CompleteFlush();
    // No copy is written any more: the outbox files of the last flushes go at once, several
    // at a time, instead of being moved aside first.
    const std::string& store = Run.Shell().Dirs().Store;
    std::vector<std::string> last;
    last.reserve(Filed.size());
    for (const auto& [project, name] : Filed)
        last.push_back(FolderPath(store, project, kOutboxFolder) + name);
    const std::vector<bool> gone = RemoveEach(last);
    for (std::size_t i = 0; i < gone.size(); ++i) {
        if (gone[i])
            Removed.emplace_back(Filed[i].first, std::move(Filed[i].second));
        else
            FilingFailed(Run, 33);
    }
    Filed.clear();
    // The outbox rows of the removed files, one index write per project.
    TShell& shell = Run.Shell();
    std::stable_sort(Removed.begin(), Removed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t first = 0; first < Removed.size();) {
        const int project = Removed[first].first;
        std::vector<std::string> names;
        std::size_t end = first;
        for (; end < Removed.size() && Removed[end].first == project; ++end)
            names.push_back(Removed[end].second);
        RemoveOutboxRows(FolderPath(shell.Dirs().Store, project, kOutboxFolder), names);
        if (Run.Hooks.OutboxRowRemoved && shell.CurrentProject == project)
            for (const std::string& name : names)
                Run.Hooks.OutboxRowRemoved(project, name);
        first = end;
    }
    Removed.clear();
}

namespace {

enum class TOutboxResult { Sent, NotSent };

// Reads an outbox file into `message` and makes it ready to leave: rebuilt where stale, and
// with a new Message-ID that carries the project (every attempt gets one, so replies find
// their way back). False when the file cannot be read; the message is then empty, so nothing
// of a half-read file shows up as a refused message's recipients.
bool PrepareOutboxMessage(TMailMessage& message, const std::string& path, int project) {
    message.ResetMessage();
    if (!message.LoadMessageFile(path)) {
        message.ResetMessage();
        return false;
    }
    BringMessageUpToDate(message);
    message.NewMessageId(ProjectDomain(project));
    return true;
}

// Sends one prepared outbox message of `size` bytes over the run's open SMTP session and
// writes its copy; `filing` finishes the filing. `whileServerTakes` runs while the server
// takes the text.
TOutboxResult SendOutboxFile(TTransferRun& run, int project, const std::string& fileName,
                             std::int64_t size, TMailMessage& message, TSentFiling& filing,
                             const std::function<void()>& whileServerTakes) {
    TSmtpClient& smtp = run.Smtp();
    const std::string& store = run.Shell().Dirs().Store;

    const std::string sending = run.Text(1, 286) + run.Text(2, 32) + " " + run.Text(4, 32) + ": " +
                                message.ToRecipients.AddressesCommaText();
    run.Action(sending);
    run.Log(sending + " " + run.Text(4, 19) + " (" + run.Text(1, 288) + "=" +
            std::to_string(project) + ")");
    run.LogHeader(message);

    // The copy for "sent" is written while the server takes the message; a refused message
    // loses its copy again.
    const int folderCode = IsSentReceipt(message) ? kSentReceiptsFolder : kSentFolder;
    const std::string folder = FolderPath(store, project, folderCode);
    std::string name;
    bool copied = false;
    smtp.OnTextSent = [&] {
        filing.PrepareFolder(folder);
        name = FreeSentName(folder, SentFileName(fileName));
        copied = filing.WriteCopy(message, folder + name);
        // Outbox files of flushed copies go meanwhile too, a few at a time.
        filing.RemoveSome(2);
        whileServerTakes();
    };
    smtp.MailMessage = &message;
    const bool sent = smtp.SendMail();
    smtp.OnTextSent = nullptr;
    std::error_code ec;
    if (!sent) {
        if (copied)
            std::filesystem::remove(folder + name, ec);
        ++run.SendErrors;
        run.Log(run.Text(1, 286) + run.Text(2, 9) + smtp.LastReply());
        return TOutboxResult::NotSent;
    }

    // Sent: from here on the file counts as sent whatever happens to its copies.
    if (!copied) {
        // The outbox file stays: a message may be sent twice, but none is lost.
        if (!name.empty())
            std::filesystem::remove(folder + name, ec);
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
    row.Size = size;
    row.MessageId = message.GetMessageId();
    filing.Add(project, folderCode, fileName, std::move(row));
    return TOutboxResult::Sent;
}

} // namespace

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

    // Two messages take turns: the next file is read while the server takes the current one.
    std::array<TMailMessage, 2> messages;
    for (TMailMessage& message : messages) {
        message.ContentLocationBase = run.Message().ContentLocationBase;
        message.EmbedMethod = run.Message().EmbedMethod;
        // Reading tells its progress by blocks and the run pumps the window by time, so the
        // run's own listener serves as it is.
        message.OnProgress = run.Message().OnProgress;
    }
    struct TRestore {
        TSmtpClient& Smtp;
        TMailMessage* Message;
        ~TRestore() { Smtp.MailMessage = Message; }
    } restore{smtp, &run.Message()};

    TSentFiling filing(run);
    for (int project : AccountProjects(account)) {
        const std::string outbox = FolderPath(shell.Dirs().Store, project, kOutboxFolder);
        if (run.ProgressWindowExists) {
            progress.Overall = {0, progress.Counters.Outbox};
            progress.Message = {};
            progress.Changed();
        }
        const std::vector<std::string> names = OutboxFileNames(outbox);
        std::size_t readAhead = names.size(); // the file read into its message in advance
        bool readAheadOk = false;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (run.AbortTransfer || shell.Closing) {
                smtp.DropConnection();
                filing.Finish();
                return false;
            }
            const std::string& fileName = names[i];
            TMailMessage& message = messages[i % 2];
            const std::int64_t size = FileSizeOf(outbox + fileName);
            if (run.ProgressWindowExists) {
                progress.Message = {0, std::max<std::int64_t>(0, size)};
                progress.Changed();
            }
            TOutboxResult result = TOutboxResult::NotSent;
            const bool prepared =
                size > 0 &&
                (readAhead == i ? readAheadOk
                                : PrepareOutboxMessage(message, outbox + fileName, project));
            if (prepared) {
                // While the server takes the text: the next file is read, and the filing of
                // earlier copies goes on (their flush, index rows and outbox files), so that
                // none of it stands between the server's answer and the next message.
                auto whileServerTakes = [&, i] {
                    if (i + 1 < names.size() && FileSizeOf(outbox + names[i + 1]) > 0) {
                        readAheadOk = PrepareOutboxMessage(messages[(i + 1) % 2],
                                                           outbox + names[i + 1], project);
                        readAhead = i + 1;
                    }
                    if (filing.Due(names.size() - i - 1))
                        filing.Flush();
                    else
                        filing.CompleteFlushIfDone();
                };
                result =
                    SendOutboxFile(run, project, fileName, size, message, filing, whileServerTakes);
            } else {
                message.ResetMessage(); // an empty or unreadable file has no recipients to report
            }
            if (result == TOutboxResult::Sent) {
                run.AccountBytesOut += size;
                if (run.ProgressWindowExists) {
                    ++progress.Counters.Sent;
                    progress.Counters.Outbox = std::max(0, progress.Counters.Outbox - 1);
                    progress.Counters.BytesOut = run.AccountBytesOut;
                    progress.Counters.AttachmentsOut +=
                        static_cast<int>(message.Attachments.size());
                    TTransferProgressState::Advance(progress.Overall,
                                                    progress.Overall.Position + 1);
                    progress.Changed();
                }
                if (run.Hooks.StartLittleJobs)
                    run.Hooks.StartLittleJobs();
            } else {
                ++run.Refused;
                run.Log(run.Text(1, 286) + run.Text(1, 87) + " " + run.Text(4, 32) + " " +
                        message.ToRecipients.AddressesCommaText() + run.Text(2, 9) +
                        smtp.LastReply());
                if (run.ProgressWindowExists) {
                    progress.Counters.Refused = run.Refused;
                    progress.RefusedRed = true;
                    progress.Changed();
                }
                run.Pump();
            }
        }
        filing.Finish();
    }
    smtp.CloseSession();
    smtp.DropConnection();
    return true;
}

} // namespace pelmora
