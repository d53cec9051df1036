#include "compose/compose_save.h"

#include "compose/compose_text.h"
#include "mime/mail_date.h"
#include "paramtree/text_util.h"
#include "processing/index_row.h"
#include "processing/message_store.h"
#include "processing/receipts.h"
#include "processing/routing.h"
#include "shell/shell_state.h"
#include "shell/sounds.h"
#include "store/folder_index.h"
#include "store/folder_listing.h"
#include "store/message_files.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <system_error>

namespace pelmora::compose {

namespace fs = std::filesystem;

namespace {

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

std::string FileNameOf(const std::string& path) { return fs::path(path).filename().string(); }
std::string DirectoryOf(const std::string& path) {
    return fs::path(path).parent_path().string() + "/";
}
std::string BareName(const std::string& path) {
    std::string name = FileNameOf(path);
    if (!name.empty() && name.front() == '_')
        name.erase(0, 1);
    return name;
}

void Popup(TShell& shell, const std::string& caption, const std::string& text, int ms, int size,
           TPopupAnimation animation = TPopupAnimation::None) {
    TPopupRequest popup;
    popup.Caption = caption;
    popup.Text = text;
    popup.DisplayMs = ms;
    popup.TextSize = size;
    popup.Animation = animation;
    shell.Ui().ShowPopup(popup);
}

void NotAnAddress(TShell& shell, const std::string& prefix, const std::string& address) {
    shell.Ui().Beep();
    Popup(shell, "Message", prefix + "\"" + address + "\"" + shell.Text(4, 44), 5000, 12);
}

bool FillRecipients(TShell& shell, TMailRecipients& list, const std::string& field) {
    list.Clear();
    for (const TAddressItem& item : SplitAddressField(field, true)) {
        if (!LooksLikeAddress(item.Address)) {
            NotAnAddress(shell, "", item.Address);
            return false;
        }
        list.Add(item.Name == item.Address ? std::string() : item.Name, item.Address);
    }
    return true;
}

// Local files the HTML names after `attribute` ("src=", "background=") are embedded and
// named by "cid:" + their file name; addresses of the network stay links.
// Only files the user inserted in this window and the window's own copies of the message's
// parts are taken; any other local path (one a received message named) stays as it is.
bool MayEmbed(TComposeForm& form, const std::string& path) {
    if (!FileExists(path))
        return false;
    std::error_code ec;
    const fs::path wanted = fs::weakly_canonical(path, ec);
    for (const std::string& inserted : form.InsertedFiles)
        if (!ec && fs::weakly_canonical(inserted, ec) == wanted)
            return true;
    const std::string& own = form.WorkDir();
    const std::string canonical = wanted.string();
    const std::string ownCanonical = own.empty() ? std::string() : fs::weakly_canonical(own, ec).string();
    if (!own.empty() && !ownCanonical.empty() && canonical.rfind(ownCanonical + "/", 0) == 0)
        return true;
    const std::string& stationery = form.Context.StationeryFile;
    if (!stationery.empty() && FileExists(stationery)) {
        const std::string folder = fs::weakly_canonical(fs::path(stationery).parent_path(), ec).string();
        if (!folder.empty() && canonical.rfind(folder + "/", 0) == 0)
            return true;
    }
    return false;
}

void EmbedLocalFiles(TComposeForm& form, std::string& html, std::string_view attribute,
                     bool all) {
    TMailMessage& message = form.Message;
    size_t from = 0;
    while (true) {
        const size_t at = FindNoCase(html, attribute, from);
        if (at == std::string::npos)
            return;
        size_t start = at + attribute.size();
        while (start < html.size() && (html[start] == ' ' || html[start] == '\t'))
            ++start;
        size_t end;
        if (start < html.size() && (html[start] == '"' || html[start] == '\'')) {
            const char quote = html[start++];
            end = html.find(quote, start);
        } else {
            end = html.find_first_of(" \t\r\n>", start);
        }
        if (end == std::string::npos)
            end = html.size();
        std::string value = html.substr(start, end - start);
        from = end;
        std::string path = value;
        if (StartsWithNoCase(path, "file://"))
            path.erase(0, 7);
        if (!path.empty() && path.find("://") == std::string::npos &&
            !StartsWithNoCase(path, "cid:") && MayEmbed(form, path)) {
            const std::string name = FileNameOf(path);
            std::string cid = "cid:" + name;
            // Replace the whole value (with a file:// prefix if it had one) everywhere.
            size_t pos = 0;
            while ((pos = html.find(value, pos)) != std::string::npos) {
                html.replace(pos, value.size(), cid);
                pos += cid.size();
            }
            bool already = false;
            for (const TMailPart* part : message.Attachments)
                if (part->IsEmbedded && Trim(part->HeaderValue("Content-ID")) == "<" + name + ">")
                    already = true;
            if (!already)
                message.AttachFileFrom(path, "", true);
            from = at + attribute.size();
        }
        if (!all)
            return;
    }
}

int PriorityIcon(int priority) {
    if (priority >= 3)
        return kStateLowPriority;
    if (priority <= 1)
        return kStateHighPriority;
    return kStateRead;
}

TIndexRow IndexRowFor(const TMailMessage& message, const std::string& path) {
    TIndexRow row;
    row.FolderPath = DirectoryOf(path);
    row.FilePath = path;
    row.State = PriorityIcon(message.GetPriority());
    row.AttachmentIcon = AttachmentIconOf(message);
    row.DateText = FormatListDate(NowLocal());
    if (message.ToRecipients.Count() > 0)
        row.AddressColumn =
            message.ToRecipients.NameAt(0) + " (" + message.ToRecipients.AddressAt(0) + ")";
    row.Subject = message.GetSubject();
    row.Size = static_cast<std::int64_t>(message.RawBody.size()) + 8;
    row.MessageId = message.GetMessageId();
    return row;
}

// Removes the rows of `path` from its folder's index; with `add`, appends that row. The
// index is written once. A folder without an index gets one with the new row.
void UpdateFolderIndex(const std::string& path, const TIndexRow* add) {
    const std::string indexPath = DirectoryOf(path) + "tree.lst";
    TMessageList list;
    std::error_code ec;
    if (fs::exists(indexPath, ec) && !LoadIndex(indexPath, list).Ok) {
        // An index that cannot be read is rebuilt from the files at the next listing; the
        // new row is added so that it does not go missing until then.
        if (add)
            AppendToFolderIndex(*add);
        return;
    }
    std::vector<int> drop;
    const std::string marker = "<" + path + ">";
    for (int i = 0; i < list.Count(); ++i)
        if (list.Row(i).Caption().find(marker) != std::string::npos)
            drop.push_back(i);
    if (drop.empty() && !add)
        return;
    list.RemoveRows(drop);
    if (add)
        list.Add(ListRowOf(*add));
    SaveIndex(indexPath, list);
}

bool CheckFields(TComposeForm& form, TShell& shell) {
    if (Trim(form.AccountText).empty()) {
        shell.PlaySound(TSound::Attention);
        Popup(shell, "Message", shell.Text(4, 14), 5000, 11);
        return false;
    }
    if (Trim(form.To).empty()) {
        shell.PlaySound(TSound::Attention);
        Popup(shell, "Message", shell.Text(4, 27), 5000, 11);
        return false;
    }
    return true;
}

// After a change of the sending account: that account's settings and default project.
// Returns the project the file goes into.
int ApplyAccountChange(TComposeForm& form, TShell& shell) {
    if (!form.AccountChanged)
        return form.Context.ProjectNumber;
    const std::optional<AccountSettings> account =
        FindAccount(form.Context, std::string(Trim(form.AccountText)));
    if (!account || account->DefaultProject <= 0)
        return form.Context.ProjectNumber;
    form.Context.Account = *account;
    EnsureProjectDirectories(form.Context.StoreDir, account->DefaultProject);
    form.Caption = "Pelmora - " + shell.Text(1, 288) + ": " + shell.Text(1, 327) + ", " +
                   form.Subject;
    return account->DefaultProject;
}

// Removes an older copy of the message just written to `target`, with its index row.
void RemoveOlderCopy(const std::string& oldFile, const std::string& target, TFileResult& result) {
    if (oldFile.empty() || oldFile == target || !FileExists(oldFile))
        return;
    std::error_code ec;
    if (fs::remove(oldFile, ec)) {
        if (result.OldFile.empty())
            result.OldFile = oldFile;
        UpdateFolderIndex(oldFile, nullptr);
    }
}

TFileResult WriteAndFile(TComposeForm& form, TShell& shell, const std::string& target,
                         const std::string& oldFile, int project) {
    TFileResult result;
    result.Project = project;
    result.Target = target;
    result.FolderCode = FolderCodeOfDirectory(DirectoryOf(target));
    std::string error;
    if (target.empty() || !SaveMessageDurably(form.Message, target, &error)) {
        shell.Ui().Beep();
        Popup(shell, "Message", shell.Text(4, 17), 5000, 12);
        return result;
    }
    result.Written = true;
    // Only now that the new file is safe does the older copy go.
    RemoveOlderCopy(oldFile, target, result);
    const TIndexRow row = IndexRowFor(form.Message, target);
    UpdateFolderIndex(target, &row);
    return result;
}

} // namespace

int FolderCodeOfDirectory(const std::string& directory) {
    const std::string name = fs::path(directory).parent_path().filename().string();
    for (int code = kFolderInbox; code <= kFolderDrafts; ++code)
        if (FolderDirectoryName(code) == name)
            return code;
    return 0;
}

bool BuildMessage(TComposeForm& form, TShell& shell, bool full) {
    TMailMessage& message = form.Message;
    const TComposeContext& context = form.Context;
    if (full) {
        message.DropPlainText();
        message.DropHtmlText();
        if (message.BodyStale)
            message.BuildBody();
        message.RemoveHeader("X-PelmoraReference");
        if (form.HtmlVisible) {
            message.EmbedMethod = emContentID;
            message.ContentLocationBase = context.TempDir;
            std::string html = form.HtmlText;
            EmbedLocalFiles(form, html, "background=", false);
            EmbedLocalFiles(form, html, "src=", true);
            if (!Trim(html).empty())
                message.PutHtmlText(html);
        } else if (!form.PlainText.empty()) {
            message.PutPlainText(form.PlainText);
        }
        BringMessageUpToDate(message);
        message.SetSubject(Trim(form.Subject));
        if (!FillRecipients(shell, message.ToRecipients, form.To) ||
            !FillRecipients(shell, message.CcRecipients, form.Cc) ||
            !FillRecipients(shell, message.BccRecipients, form.Bcc))
            return false;
        if ((form.Mode == ModeReply || form.Mode == ModeReplyAll) && !form.SourceMessageId.empty()) {
            message.SetHeaderValue("In-Reply-To", form.SourceMessageId);
            message.SetHeaderValue("References", form.SourceMessageId);
        }
    }

    // The sender part.
    const std::vector<TAddressItem> from = SplitAddressField(form.AccountText, false);
    const TAddressItem sender = from.empty() ? TAddressItem{} : from.front();
    if (!LooksLikeAddress(sender.Address)) {
        NotAnAddress(shell, shell.Text(4, 33) + " ", sender.Address);
        return false;
    }
    message.SetSender(sender.Name == sender.Address ? std::string() : sender.Name, sender.Address);
    const AccountSettings& account = context.Account;
    std::string receiptTarget = account.EmailAddress;
    if (LooksLikeAddress(account.ReplyTo)) {
        message.SetReplyTarget(account.DisplayName, account.ReplyTo);
        receiptTarget = account.ReplyTo;
    } else {
        message.RemoveHeader("Reply-To");
    }
    if (form.Receipt && LooksLikeAddress(receiptTarget))
        message.SetReceiptTarget(account.DisplayName, receiptTarget);
    else
        message.RemoveHeader("Disposition-Notification-To");
    message.SetPriority(4 - std::clamp(form.PriorityIndex, 0, 4));
    message.SetDate(NowLocal());
    message.NewMessageId(ProjectDomain(context.ProjectNumber));
    if (!account.Organization.empty() && account.Organization != shell.Text(3, 14) &&
        account.Organization != "-not set-")
        message.SetHeaderValue("Organization", account.Organization);
    else
        message.RemoveHeader("Organization");
    BringMessageUpToDate(message);
    return true;
}

namespace {

// Checks the fields and builds the message; a changed sending account builds it again for
// that account. The project the message is filed in, or nothing when it cannot be built.
std::optional<int> BuildForAccount(TComposeForm& form, TShell& shell) {
    if (!CheckFields(form, shell) || !BuildMessage(form, shell, true))
        return std::nullopt;
    const int project = ApplyAccountChange(form, shell);
    if (form.AccountChanged && !BuildMessage(form, shell, false))
        return std::nullopt;
    return project;
}

} // namespace

TFileResult SaveMessage(TComposeForm& form, TShell& shell) {
    const std::optional<int> built = BuildForAccount(form, shell);
    if (!built)
        return {};
    const int project = *built;
    const std::string& store = form.Context.StoreDir;
    std::string target;
    std::string oldFile;
    if (form.Mode == ModeOpen) {
        target = form.MessageFile;
        if (form.AccountChanged && project != form.Context.ProjectNumber) {
            const bool draft = LowerAscii(form.MessageFile).find("/drafts/") != std::string::npos;
            target = FolderPath(store, project, draft ? kFolderDrafts : kFolderOutbox) +
                     FileNameOf(form.MessageFile);
            oldFile = form.MessageFile;
        }
    } else {
        target = FolderPath(store, project, kFolderDrafts) + BareName(form.MessageFile);
    }
    TFileResult result = WriteAndFile(form, shell, target, oldFile, project);
    if (!result.Written)
        return result;
    shell.Ui().Beep();
    form.Modified = false;
    if (form.Mode == ModeOpen) {
        form.MessageFile = target;
        Popup(shell, shell.Text(4, 49), form.Message.ToRecipients.AddressesCommaText(), 2000, 10,
              TPopupAnimation::CopyFiles);
    } else {
        Popup(shell, shell.Text(4, 49) + "...", shell.Text(4, 26), 2000, 10,
              TPopupAnimation::CopyFiles);
    }
    return result;
}

TFileResult SendMessage(TComposeForm& form, TShell& shell) {
    const std::optional<int> built = BuildForAccount(form, shell);
    if (!built)
        return {};
    const int project = *built;
    const std::string& store = form.Context.StoreDir;
    const std::string outbox = FolderPath(store, project, kFolderOutbox);
    std::error_code ec;
    fs::create_directories(outbox, ec);
    std::string target;
    std::string oldFile;
    if (form.Mode == ModeOpen) {
        target = outbox + BareName(form.MessageFile);
        oldFile = form.MessageFile;
    } else {
        target = outbox + NewMessageStem(outbox) + ".eml";
        // The draft an earlier Save of this message wrote.
        oldFile = FolderPath(store, form.Context.ProjectNumber, kFolderDrafts) +
                  BareName(form.MessageFile);
    }
    TFileResult result = WriteAndFile(form, shell, target, oldFile, project);
    if (!result.Written)
        return result;
    // A Save after the change of account wrote the draft into that account's project.
    if (form.AccountChanged && form.Mode != ModeOpen)
        RemoveOlderCopy(FolderPath(store, project, kFolderDrafts) + BareName(form.MessageFile),
                        target, result);
    shell.Ui().Beep();
    form.Modified = false;
    form.MessageFile = target;
    Popup(shell, shell.Text(4, 51) + "...", shell.Text(4, 45), 2000, 10);
    return result;
}

} // namespace pelmora::compose
