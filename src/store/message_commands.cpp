#include "store/message_commands.h"

#include "mime/mail_message.h"
#include "paramtree/text_util.h"
#include "shell/shell_state.h"
#include "store/folder_listing.h"
#include "store/message_files.h"
#include "store/message_state.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/workspace.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

bool TagIs(std::string_view tag, std::string_view name) {
    if (tag.size() < name.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if ((tag[i] | 0x20) != name[i])
            return false;
    }
    return tag.size() == name.size() || tag[name.size()] == ' ' || tag[name.size()] == '>' ||
           tag[name.size()] == '/' || tag[name.size()] == '\t' || tag[name.size()] == '\r' ||
           tag[name.size()] == '\n';
}

std::string DecodeEntity(std::string_view entity) {
    static const std::pair<std::string_view, std::string_view> known[] = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", " "}};
    for (const auto& [name, text] : known) {
        if (entity == name)
            return std::string(text);
    }
    if (entity.size() > 1 && entity[0] == '#') {
        unsigned long code = 0;
        const bool hex = entity[1] == 'x' || entity[1] == 'X';
        for (char c : entity.substr(hex ? 2 : 1)) {
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f')
                digit = (c | 0x20) - 'a' + 10;
            if (digit < 0 || code > 0x10FFFF)
                return {};
            code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
        }
        std::string out;
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code <= 0x10FFFF) {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        return out;
    }
    return {};
}

} // namespace

std::string HtmlToPlainText(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '<') {
            if (html.substr(i, 4) == "<!--") {
                const size_t end = html.find("-->", i + 4);
                i = end == std::string_view::npos ? html.size() : end + 3;
                continue;
            }
            const size_t end = html.find('>', i + 1);
            if (end == std::string_view::npos)
                break;
            std::string_view tag = html.substr(i + 1, end - i - 1);
            const bool closing = !tag.empty() && tag.front() == '/';
            std::string_view name = closing ? tag.substr(1) : tag;
            i = end + 1;
            if (!closing && (TagIs(name, "script") || TagIs(name, "style"))) {
                const std::string closer = TagIs(name, "script") ? "</script" : "</style";
                size_t skip = i;
                while (skip < html.size()) {
                    const size_t at = html.find("</", skip);
                    if (at == std::string_view::npos) {
                        skip = html.size();
                        break;
                    }
                    if (TagIs(html.substr(at + 2), closer.substr(2))) {
                        const size_t close = html.find('>', at);
                        skip = close == std::string_view::npos ? html.size() : close + 1;
                        break;
                    }
                    skip = at + 2;
                }
                i = skip;
                continue;
            }
            if (TagIs(name, "br") || TagIs(name, "p") || TagIs(name, "div") ||
                TagIs(name, "tr") || TagIs(name, "li")) {
                if (!out.empty() && out.back() != '\n')
                    out += "\r\n";
                else if (TagIs(name, "br"))
                    out += "\r\n";
            }
            continue;
        }
        if (c == '&') {
            const size_t semi = html.find(';', i + 1);
            if (semi != std::string_view::npos && semi - i <= 10) {
                std::string decoded = DecodeEntity(html.substr(i + 1, semi - i - 1));
                if (!decoded.empty()) {
                    out += decoded;
                    i = semi + 1;
                    continue;
                }
            }
        }
        if (c == '\r' || c == '\n') {
            // Line breaks of the source are blanks in HTML.
            if (!out.empty() && out.back() != ' ' && out.back() != '\n')
                out += ' ';
            ++i;
            continue;
        }
        out += c;
        ++i;
    }
    // Text lines as shown: no trailing blanks.
    std::string lines;
    size_t start = 0;
    while (start <= out.size()) {
        size_t end = out.find("\r\n", start);
        std::string_view line(out.data() + start, (end == std::string::npos ? out.size() : end) - start);
        while (!line.empty() && line.back() == ' ')
            line.remove_suffix(1);
        while (!line.empty() && line.front() == ' ')
            line.remove_prefix(1);
        lines.append(line);
        if (end == std::string::npos)
            break;
        lines += "\r\n";
        start = end + 2;
    }
    return lines;
}

namespace {

// "Name <address>", or the address alone.
std::string ShownAddress(const std::string& name, const std::string& address) {
    if (name.empty() || name == address)
        return address;
    return address.empty() ? name : name + " <" + address + ">";
}

std::string ShownRecipients(const TMailRecipients& recipients) {
    std::string out;
    for (int i = 0; i < recipients.Count(); ++i) {
        if (!out.empty())
            out += ", ";
        out += ShownAddress(recipients.NameAt(i), recipients.AddressAt(i));
    }
    return out;
}

// The lines above the text of a Quick-View: subject, date, sender and recipients.
std::string QuickViewHeader(const TMailMessage& message) {
    const TMailAddress sender = message.GetSender();
    std::string header = "Subject: " + message.GetSubject() + "\r\n";
    header += "Date: " + message.HeaderValue("Date") + "\r\n";
    header += "From: " + ShownAddress(sender.Name, sender.Address) + "\r\n";
    header += "To: " + ShownRecipients(message.ToRecipients) + "\r\n";
    if (message.CcRecipients.Count() > 0)
        header += "Cc: " + ShownRecipients(message.CcRecipients) + "\r\n";
    return header + "\r\n";
}

} // namespace

std::string TFolderView::QuickViewText(const std::string& path, std::string* senderAddress) const {
    TMailMessage message;
    if (!message.LoadMessageFile(path))
        return {};
    if (message.PartMapStale)
        message.MapParts();
    if (senderAddress)
        *senderAddress = message.GetSender().Address;
    std::string text;
    if (!message.PlainTextLines.empty()) {
        for (std::string_view line : message.PlainTextLines) {
            text += line;
            text += "\r\n";
        }
        return QuickViewHeader(message) + text;
    }
    std::string html;
    for (std::string_view line : message.HtmlTextLines) {
        html += line;
        html += "\r\n";
    }
    const std::string plain = HtmlToPlainText(html);
    size_t start = 0;
    while (start < plain.size()) {
        size_t end = plain.find("\r\n", start);
        if (end == std::string::npos)
            end = plain.size();
        text.append(plain, start, end - start);
        text += "\r\n";
        start = end + 2;
    }
    // Only blank lines: nothing to show.
    if (text.find_first_not_of(" \r\n\t") == std::string::npos)
        return {};
    return QuickViewHeader(message) + text;
}

void TFolderView::QuickViewClick() {
    const TCommandScope busy(Work, TCommandKind::Browse, "Quick-View");
    if (!busy)
        return;
    if (!List.Empty() && List.SelectedCount() == 0)
        List.SelectOnly(0);
    const std::vector<int> rows = CheckedActedRows(Project, Folder, true);
    if (rows.empty())
        return;
    const int row = rows.front();
    const std::string path = RowFilePath(row);
    std::string sender;
    const std::string text = QuickViewText(path, &sender);
    if (text.empty())
        return;
    Popup(sender, text, 10000, 10, false, 0, true);
    Ui().Pump();
    const int state = row < List.Count() ? List.Row(row).StateIndex : -1;
    if (!ShowingSearchResults() && Work.ProjectTree.Selected() &&
        (state == kStateUnread || state == kStateOrphan) && SetRowState(row, kStateRead))
        SaveListedIndex();
}

void TFolderView::SaveToFileClick() {
    const TCommandScope busy(Work, TCommandKind::Browse, "Save Message");
    if (!busy)
        return;
    if (List.FirstSelected() < 0) {
        Play(TSound::Popped);
        return;
    }
    const std::vector<int> rows = CheckedActedRows(Project, Folder, true);
    if (rows.empty()) {
        Play(TSound::Popped);
        return;
    }
    const int row = rows.front();
    const std::string path = RowFilePath(row);
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // The suggested name is the message's number: the state marks of its file name ("_",
    // ".eml", ".emlo", ...) mean nothing outside the folder.
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && LowerAscii(name.substr(dot)).rfind(".eml", 0) == 0)
        name.erase(dot);
    if (name.size() > 1 && name.front() == '_')
        name.erase(0, 1);
    const std::optional<std::string> target =
        Ui().ChooseSaveFile(Text(1, 184), Shell.Dirs().Store + "Backups", name + ".txt", "");
    if (!target)
        return;
    std::error_code ec;
    if (fs::exists(*target, ec) && fs::equivalent(*target, path, ec)) {
        // Overwriting the message with itself would empty it.
        Play(TSound::Attention);
        Popup(Text(1, 262), Text(0, 17), 6000, 13, false);
        return;
    }
    if (!CopyFileBlocks(path, *target, true)) {
        Play(TSound::Attention);
        Popup(Text(1, 262), Text(0, 17), 6000, 13, false);
    }
}

void TFolderView::RemoveAllAttachmentsClick() {
    int row = List.FirstSelected();
    if (row < 0 || !Work.ProjectTree.Selected())
        return;
    const TCommandScope busy(Work, TCommandKind::Message, "Remove All Attachments");
    if (!busy)
        return;
    TSettings& settings = Shell.Settings();
    if (!settings.GetBool(TSettingKey::RemoveAttachments)) {
        bool dontAsk = false;
        const int answer = Ui().AskDialog(Text(1, 262), Text(1, 3) + "?", 14, dontAsk, true);
        settings.SetBool(TSettingKey::RemoveAttachments, dontAsk);
        settings.Save();
        if (answer != kAskFirst)
            return;
    }
    const int code = NodeNumber(Work.ProjectTree.Selected()->Text());
    const std::vector<int> rows = CheckedActedRows(Shell.CurrentProject, code, true);
    if (rows.empty())
        return;
    row = rows.front();
    const std::string path = RowFilePath(row);
    Ui().SetBusyCursor(true);
    Popup(Text(2, 31), Text(4, 15), 4000, 13, true);
    Ui().Pump();

    TMailMessage message;
    bool ok = static_cast<bool>(message.LoadMessageFile(path));
    auto shape = [&message] {
        if (message.PartMapStale)
            message.MapParts();
        message.Restructure(RestructureMode::IfStale);
        if (message.BodyStale)
            message.BuildBody();
    };
    if (ok) {
        shape();
        while (!message.Attachments.empty()) {
            const size_t before = message.Attachments.size();
            message.DropAttachment(0);
            Ui().Pump();
            if (message.Attachments.size() >= before) {
                ok = false; // an attachment that cannot be dropped: leave the file alone
                break;
            }
        }
    }
    if (ok) {
        shape();
        ok = static_cast<bool>(message.SaveMessageFile(path));
    }
    if (ok) {
        TListRow updated = List.Row(row);
        updated.ImageIndex = -1;
        updated.SetCaption(RowCaption(updated.StateIndex, -1, path));
        updated.SetSubItem(
            3, FormatSizeColumn(static_cast<std::int64_t>(message.RawBody.size()) + 8));
        List.SetRow(row, std::move(updated));
        if (Shell.CurrentProject > 998) {
            const bool saved = SaveIndex(IndexPath(Shell.CurrentProject, code), List, Control());
            SetFolderStale(Shell.CurrentProject, code, !saved);
        }
        MessageListSelectItem();
    } else {
        Play(TSound::Attention);
    }
    Ui().SetBusyCursor(false);
    if (Hooks.FocusList)
        Hooks.FocusList();
}

void TFolderView::OpenClick() {
    if (List.Empty() || List.SelectedCount() == 0)
        return;
    const TCommandScope busy(Work, TCommandKind::Browse, "Open");
    if (!busy)
        return;
    Ui().Pump();
    if (ShowingSearchResults()) {
        QuickViewClick();
        return;
    }
    if (Hooks.RefreshComposeContext && !Hooks.RefreshComposeContext())
        return;
    bool changed = false;
    for (int row : CheckedActedRows(Project, Folder, false)) {
        if (row >= List.Count())
            break;
        if (Hooks.OpenMessageWindow)
            Hooks.OpenMessageWindow(RowFilePath(row), row, false);
        const int state = List.Row(row).StateIndex;
        if ((state == kStateUnread || state == kStateOrphan) && SetRowState(row, kStateRead))
            changed = true;
    }
    if (changed)
        SaveListedIndex();
}

TMailMenuItems TFolderView::MailMenuPopup() const {
    TMailMenuItems items;
    items.OnlySearchItems = ShowingSearchResults();
    const TNode* node = Work.ProjectTree.Selected();
    items.DeleteIsPermanent = node && NodeNumber(node->Text()) == kFolderTrash;
    items.Edit = Menu.Edit;
    items.FindSourceOfReceipt = Menu.FindSourceOfReceipt;
    items.FindReceipt = Menu.FindReceipt;
    items.RemoveAttachments = Menu.RemoveAttachments;
    return items;
}

void TFolderView::SelectAllClick() { List.SelectAll(); }

void TFolderView::InvertSelection() {
    if (!List.Empty())
        List.InvertSelection();
}

} // namespace pelmora
