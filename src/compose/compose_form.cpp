#include "compose/compose_form.h"

#include "compose/compose_text.h"
#include "mime/mail_date.h"
#include "mime/mime_text.h"
#include "paramtree/text_util.h"
#include "processing/receipts.h"
#include "shell/shell_state.h"
#include "store/message_files.h"
#include "store/node_helpers.h"
#include "shell/atomic_file.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora::compose {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDayNames = "SunMonTueWedThuFriSat";
constexpr std::string_view kMonthNames = "JanFebMarAprMayJunJulAugSepOctNovDec";

std::string TwoDigits(int value) {
    std::string out = std::to_string(value);
    return out.size() < 2 ? "0" + out : out;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string ReplaceNoCase(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty())
        return std::string(text);
    std::string out;
    size_t start = 0;
    for (size_t at = FindNoCase(text, from); at != std::string_view::npos;
         at = FindNoCase(text, from, start)) {
        out.append(text.substr(start, at - start));
        out.append(to);
        start = at + from.size();
    }
    out.append(text.substr(start));
    return out;
}

void Popup(TShell& shell, const std::string& caption, const std::string& text, int ms, int size) {
    TPopupRequest popup;
    popup.Caption = caption;
    popup.Text = text;
    popup.DisplayMs = ms;
    popup.TextSize = size;
    shell.Ui().ShowPopup(popup);
}

// The identifier a part's "cid:" references use: its Content-ID without the angle brackets.
std::string ContentIdOf(const TMailPart& part) {
    std::string id(Trim(part.HeaderValue("Content-ID")));
    if (!id.empty() && id.front() == '<')
        id.erase(0, 1);
    const size_t close = id.find('>');
    if (close != std::string::npos)
        id.erase(close);
    return std::string(Trim(id));
}

// Writes the pictures and other embedded parts of the message into the window's directory
// and records where each went; "cid:" and Content-Location references then name local files.
// Returns (reference, file) pairs.
std::vector<std::pair<std::string, std::string>> WriteEmbeddedParts(TComposeForm& form,
                                                                    TShell& shell) {
    std::vector<std::pair<std::string, std::string>> written;
    const std::string& dir = form.WorkDir();
    if (dir.empty())
        return written;
    int counter = 0;
    for (TMailPart* part : form.Message.Attachments) {
        ++counter;
        const std::string id = ContentIdOf(*part);
        const std::string location(Trim(part->HeaderValue("Content-Location")));
        if (!part->IsEmbedded && id.empty() && location.empty())
            continue;
        if (id.empty() && location.empty())
            continue;
        std::string fallback = "part" + std::to_string(counter);
        // The file name comes from the sender: only a safe last element is used, with spaces
        // taken out so it can stand in an address, and a number in front that keeps two
        // parts of one message apart.
        std::string name = SafeLocalName(part->AttachmentFileName(), fallback);
        for (char& c : name)
            if (c == ' ' || c == '%' || c == '#')
                c = '_';
        const std::string path = dir + std::to_string(counter) + "_" + name;
        if (!FileExists(path)) {
            if (!part->IsDecoded)
                part->DecodeBody();
            if (!WriteNewPrivateFile(path, part->DecodedData)) {
                shell.Ui().Beep();
                continue;
            }
        }
        if (!id.empty())
            written.emplace_back("cid:" + id, path);
        if (!location.empty())
            written.emplace_back(location, path);
    }
    return written;
}

} // namespace

TComposeForm::TComposeForm() = default;

TComposeForm::~TComposeForm() {
    if (!WorkDirPath.empty()) {
        std::error_code ignored;
        fs::remove_all(WorkDirPath, ignored);
    }
}

const std::string& TComposeForm::WorkDir() {
    if (WorkDirTried)
        return WorkDirPath;
    WorkDirTried = true;
    std::string base = Context.TempDir.empty() ? fs::temp_directory_path().string() + "/"
                                               : Context.TempDir;
    std::error_code ec;
    fs::create_directories(base, ec);
    std::string pattern = base + "msg-XXXXXX";
    if (::mkdtemp(pattern.data()))
        WorkDirPath = pattern + "/";
    return WorkDirPath;
}

std::string CaptionHead(const TComposeContext& context, const TShell& shell) {
    return "Pelmora - " + shell.Text(1, 288) + ": " + context.ProjectName + ", ";
}

std::string DateFieldText(double t) {
    if (t == 0)
        return {};
    int year, month, day, hour, minute, second, dayOfWeek;
    DecodeDayCount(t, year, month, day, hour, minute, second, dayOfWeek);
    return std::string(kDayNames.substr(static_cast<size_t>(dayOfWeek) * 3, 3)) + " " +
           std::to_string(day) + " " +
           std::string(kMonthNames.substr(static_cast<size_t>(month - 1) * 3, 3)) + ", " +
           std::to_string(year) + " - " + TwoDigits(hour) + ":" + TwoDigits(minute) + "." +
           TwoDigits(second);
}

std::string HeaderDateText(double t) {
    if (t == 0)
        return {};
    int year, month, day, hour, minute, second, dayOfWeek;
    DecodeDayCount(t, year, month, day, hour, minute, second, dayOfWeek);
    std::string out = TwoDigits(day) + "-" + TwoDigits(month) + "-" + std::to_string(year);
    if (hour || minute || second)
        out += " " + TwoDigits(hour) + ":" + TwoDigits(minute) + ":" + TwoDigits(second);
    return out;
}

std::string MessageSource(const TComposeForm& form) { return form.Message.FullText(); }

bool PrepareForm(TComposeForm& form, TShell& shell) {
    const TComposeContext& context = form.Context;
    TMailMessage& message = form.Message;

    // A file renamed since it was listed: an orphan that became read, an unread message
    // that lost its mark.
    if (form.Mode != ModeNew && !form.ViewOnly && !form.MessageFile.empty()) {
        fs::path path(form.MessageFile);
        std::string name = path.filename().string();
        if (LowerAscii(path.extension().string()) == ".emlo" && !FileExists(form.MessageFile)) {
            name = name.substr(0, name.find('.') + 1) + "eml";
            form.MessageFile = (path.parent_path() / name).string();
        }
        if (!name.empty() && name.front() == '_' && !FileExists(form.MessageFile))
            form.MessageFile = (path.parent_path() / name.substr(1)).string();
    }
    form.SourceFile = form.MessageFile;
    form.AccountItems = context.AccountNames;
    form.AccountText = context.Account.AccountName;
    message.ResetMessage();
    form.To.clear();
    form.Cc.clear();
    form.Bcc.clear();
    form.PlainText.clear();
    form.HtmlText.clear();
    auto defaultAccount = [&] {
        if (!Trim(form.AccountText).empty())
            return;
        form.AccountText = form.AccountItems.empty() ? shell.Text(1, 243) : form.AccountItems[0];
    };
    const std::string head = CaptionHead(context, shell);

    if (form.Mode == ModeNew) {
        form.MessageFile =
            context.TempDir + "_" + MessageStem(std::chrono::system_clock::now()) + ".eml";
        form.SourceFile = form.MessageFile;
        form.MessageDate = NowLocal();
        form.DateText = DateFieldText(form.MessageDate);
        defaultAccount();
        form.Caption = head + shell.Text(1, 201);
        if (FileExists(context.StationeryFile))
            form.HtmlText = ReadWholeFile(context.StationeryFile);
        form.Modified = true;
        form.Receipt = context.RequestReceipts;
        form.HtmlVisible = context.ComposeHtml;
        return true;
    }

    if (form.MessageFile.empty())
        return false;
    if (TMimeStatus status = message.LoadMessageFile(form.MessageFile); !status) {
        shell.Ui().Beep();
        Popup(shell, shell.Text(1, 87), shell.Text(4, 18), 5000, 12);
        form.LoadError = status.Error;
        message.ResetMessage();
        defaultAccount();
        form.Caption = head + shell.Text(1, 201);
        return true;
    }
    if (message.PartMapStale)
        message.MapParts();
    form.SourceMessageId = message.GetMessageId();
    form.PlainText = message.PlainTextLines.Joined();
    std::string html = message.HtmlTextLines.Joined();
    form.MessageDate = message.GetDate();
    form.DateText = DateFieldText(form.MessageDate);
    form.HtmlVisible = !form.ViewOnly && !Trim(html).empty();
    form.Receipt = message.GetReceiptTarget().Address.find('@') != std::string::npos;
    form.PriorityIndex = std::clamp(4 - message.GetPriority(), 0, 4);

    const std::string subject(Trim(message.GetSubject()));
    switch (form.Mode) {
    case ModeReply:
    case ModeReplyAll: form.Subject = SubjectWithPrefix(subject, "Re:"); break;
    case ModeForward: form.Subject = SubjectWithPrefix(subject, "Fw:"); break;
    default: form.Subject = subject;
    }

    const TMailAddress sender = message.GetSender();
    TMailAddress replyTo = sender;
    if (form.Mode == ModeReply || form.Mode == ModeReplyAll) {
        const TMailAddress target = message.GetReplyTarget();
        if (LooksLikeAddress(target.Address))
            replyTo = target;
    }
    const std::string senderText = AddressPairText(replyTo.Name, replyTo.Address);
    defaultAccount();

    auto append = [](std::string& field, const std::string& item) {
        if (!field.empty())
            field += "; ";
        field += item;
    };
    auto listText = [&](const TMailRecipients& list, std::string& field) {
        for (int i = 0; i < list.Count(); ++i)
            if (LooksLikeAddress(list.AddressAt(i)))
                append(field, AddressPairText(list.NameAt(i), list.AddressAt(i)));
    };
    switch (form.Mode) {
    case ModeReply:
        form.To = senderText;
        form.Caption = head + senderText + " / " + form.Subject;
        break;
    case ModeReplyAll: {
        form.To = senderText;
        form.Caption = head + senderText + " / " + form.Subject;
        // Everybody the message went to, except the user and whoever is in To already.
        std::vector<std::string> skip = {LowerAscii(replyTo.Address)};
        for (const AccountSettings& account : context.Accounts)
            skip.push_back(LowerAscii(account.EmailAddress));
        skip.push_back(LowerAscii(context.Account.EmailAddress));
        auto copyList = [&](const TMailRecipients& list, std::string& field) {
            for (int i = 0; i < list.Count(); ++i) {
                const std::string address = LowerAscii(Trim(list.AddressAt(i)));
                if (!LooksLikeAddress(address) ||
                    std::find(skip.begin(), skip.end(), address) != skip.end())
                    continue;
                skip.push_back(address);
                append(field, AddressPairText(list.NameAt(i), list.AddressAt(i)));
            }
        };
        copyList(message.ToRecipients, form.Cc);
        copyList(message.CcRecipients, form.Cc);
        copyList(message.BccRecipients, form.Bcc);
        break;
    }
    case ModeOpen:
        if (form.ViewOnly) {
            form.AccountItems = {AddressPairText(sender.Name, sender.Address)};
            form.AccountText = form.AccountItems[0];
        }
        listText(message.ToRecipients, form.To);
        listText(message.CcRecipients, form.Cc);
        listText(message.BccRecipients, form.Bcc);
        form.Caption = head + AddressPairText(sender.Name, sender.Address) + " / " + form.Subject;
        break;
    case ModeForward:
    case ModeNew: form.Caption = head + shell.Text(1, 201); break;
    }

    const auto written = WriteEmbeddedParts(form, shell);
    if (form.ViewOnly) {
        for (const auto& [reference, path] : written)
            form.CidFiles[LowerAscii(reference.rfind("cid:", 0) == 0 ? reference.substr(4)
                                                                     : reference)] = path;
        form.HtmlText = std::move(html);
        const std::string type = message.ContentTypeLower();
        const bool report = type.find("report") != std::string::npos ||
                            type.find("notification") != std::string::npos ||
                            message.HasHeader("X-PelmoraReference") || HasReportPart(message);
        form.ShowPlainInView = Trim(form.HtmlText).empty() ||
                               (report && !Trim(form.PlainText).empty());
        return true;
    }

    // Composing: the pictures show from the window's directory and are embedded again when
    // the message is built.
    for (const auto& [reference, path] : written)
        html = ReplaceNoCase(html, reference, path);
    if (form.Mode == ModeReply || form.Mode == ModeReplyAll) {
        while (!message.Attachments.empty())
            message.DropAttachment(0);
    } else {
        for (int i = static_cast<int>(message.Attachments.size()) - 1; i >= 0; --i) {
            const TMailPart* part = message.Attachments[static_cast<size_t>(i)];
            if (part->IsEmbedded && IsImageFile(part->AttachmentFileName()))
                message.DropAttachment(i);
        }
    }
    BringMessageUpToDate(message);
    form.HtmlText = std::move(html);
    InsertReplyHeader(form, shell);
    return true;
}

void InsertReplyHeader(TComposeForm& form, const TShell& shell) {
    if (form.Mode != ModeReply && form.Mode != ModeReplyAll)
        return;
    const TMailMessage& message = form.Message;
    const std::string date = HeaderDateText(form.MessageDate);
    const std::string subject = message.GetSubject();

    std::vector<std::string> lines = {"",
                                      "",
                                      shell.Text(4, 37) + ": " + subject,
                                      shell.Text(1, 275) + " " + date,
                                      shell.Text(4, 32) + ": " + form.AccountText,
                                      shell.Text(4, 33) + ": " + form.To,
                                      "",
                                      "",
                                      "",
                                      ""};
    for (std::string& line : SplitTextLines(form.PlainText))
        lines.push_back(std::move(line));
    for (size_t i = 2; i < lines.size(); ++i)
        lines[i] = "> " + lines[i];
    form.PlainText = JoinLines(lines);

    if (!form.HtmlVisible)
        return;
    auto row = [&](const std::string& label, const std::string& value) {
        return "<BR><font color=\"darkred\">" + EscapeHtml(label) +
               " </font><font color=\"navy\">" + EscapeHtml(value) + "</font>";
    };
    const TMailAddress sender = message.GetSender();
    const std::string to =
        message.ToRecipients.Count() > 0
            ? AddressPairText(message.ToRecipients.NameAt(0), message.ToRecipients.AddressAt(0))
            : std::string();
    const std::string block = "<P><BR><BR><BR><HR>" +
                              row(shell.Text(4, 33), AddressPairText(sender.Name, sender.Address)) +
                              row(shell.Text(4, 32), to) + row(shell.Text(1, 275), date) +
                              row(shell.Text(4, 37) + ":", subject) + "<BR></P>";
    // At the start of the document: after the body tag when there is one.
    const size_t body = FindNoCase(form.HtmlText, "<body");
    const size_t close = body == std::string::npos ? std::string::npos : form.HtmlText.find('>', body);
    if (close == std::string::npos)
        form.HtmlText.insert(0, block);
    else
        form.HtmlText.insert(close + 1, block);
}

bool SwitchBody(TComposeForm& form, TShell& shell) {
    if (form.HtmlVisible) {
        shell.Ui().Beep();
        bool check = false;
        if (shell.Ui().AskDialog("Message", shell.Text(4, 8), 12, check, false) != kAskFirst)
            return false;
        form.PlainText = HtmlToPlain(form.HtmlText);
        form.HtmlVisible = false;
    } else {
        form.HtmlText = PlainToHtml(form.PlainText);
        form.HtmlVisible = true;
    }
    form.Modified = true;
    return true;
}

} // namespace pelmora::compose
