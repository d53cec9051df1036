#include "processing/routing.h"

#include "mime/mail_message.h"
#include "paramtree/markup.h"
#include "paramtree/text_util.h"
#include "processing/filter_rules.h"
#include "processing/message_store.h"
#include "processing/receipts.h"
#include "shell/atomic_file.h"
#include "shell/shell_state.h"
#include "store/account_settings.h"
#include "store/custom_folders.h"
#include "store/folder_listing.h"
#include "store/message_files.h"
#include "store/node_helpers.h"
#include "store/project_info.h"
#include "store/store_layout.h"
#include "store/workspace.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace pelmora {
namespace {


bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool DirectoryExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// The account's default project; created (node, list, directories) when there is none.
int DefaultProjectFor(TWorkspace& workspace, AccountSettings& account, bool& created) {
    int project = AccountDefaultProject(account);
    if (project > 0)
        return project;
    TShell& shell = workspace.Shell();
    std::optional<int> number = workspace.NextDefaultProjectNumber();
    if (!number)
        return -1;
    project = *number;
    const std::string& name = shell.Text(1, 327);
    if (TNode* accountNode = FindTopLevel(workspace.AccountTree, account.AccountNumber)) {
        workspace.AccountTree.Add(accountNode, "<XID=" + std::to_string(project) +
                                                   "><IMG src=\"idx:3\"> <font color=\"#808080\">"
                                                   "<B>" +
                                                   name + "</b></font> (0/0)");
        shell.AccountTreeChanged = true;
    }
    account.ProjectNumbers.push_back(std::to_string(project));
    account.ProjectNames.push_back(name);
    account.DefaultProject = project;
    // Failures show up when the message file cannot be written.
    EnsureProjectDirectories(shell.Dirs().Store, project);
    WriteProjectInfo(shell.Dirs().Store, project, {account.AccountNumber, name});
    created = true;
    return project;
}

// The folder a filter's code places a message in, and its directory.
std::pair<int, std::string> FilterTarget(const std::string& store, int project, int code) {
    if (code == kFolderTrash || code == kFolderDrafts)
        return {code, FolderPath(store, project, code)};
    if (IsCustomFolderCode(code)) {
        std::string path = FolderPath(store, project, code);
        if (DirectoryExists(path))
            return {code, path};
    }
    // The inbox for 111, for the folders mail is never filed in, and for removed custom
    // folders; the result names the folder the file really lies in.
    return {kFolderInbox, FolderPath(store, project, kFolderInbox)};
}

std::string LowerTrimmed(std::string_view text) {
    return LowerAscii(Trim(text));
}

// The address of a project address-book entry: between the last "(" and ")" of its plain
// caption, or the caption itself.
std::string EntryAddress(std::string_view nodeText) {
    std::string plain = PlainCaption(nodeText);
    size_t open = plain.rfind('(');
    if (open == std::string::npos)
        return Trim(plain);
    size_t close = plain.find(')', open);
    return Trim(std::string_view(plain).substr(
        open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
}

} // namespace

std::string ProjectDomain(int project) {
    return std::string(kProjectDomainPrefix) + std::to_string(project);
}

bool AccountHasProject(const AccountSettings& account, int project) {
    for (const std::string& number : account.ProjectNumbers) {
        if (WholeNumber(Trim(number)) == project)
            return true;
    }
    return false;
}

int AccountDefaultProject(const AccountSettings& account) {
    for (const std::string& number : account.ProjectNumbers) {
        std::optional<int> value = WholeNumber(Trim(number));
        if (value && *value > kLastUserProject)
            return *value;
    }
    return -1;
}

std::optional<int> SubscriptionProject(std::string_view subject, const AccountSettings& account) {
    std::string s = UpperAscii(Trim(subject));
    if (s.find("SUBSCRIBE") == std::string::npos)
        return std::nullopt;
    const size_t keyword = s.find("UNSUBSCRIBE") == std::string::npos ? 9 : 11;
    s = Trim(std::string_view(s).substr(std::min(keyword, s.size())));
    if (s.find("PR") != std::string::npos)
        s = Trim(std::string_view(s).substr(2));
    if (s.find('P') != std::string::npos)
        s = Trim(std::string_view(s).substr(1));
    std::optional<int> project = WholeNumber(s);
    if (!project || *project <= 998 || !AccountHasProject(account, *project))
        return std::nullopt;
    return project;
}

std::optional<int> ReferencedProject(std::string_view headerValue) {
    const std::string value = UpperAscii(StripEnclosingBrackets(headerValue));
    size_t at = value.find(kProjectDomainPrefix);
    if (at == std::string::npos)
        return std::nullopt;
    size_t begin = at + kProjectDomainPrefix.size();
    while (begin < value.size() && (value[begin] == ' ' || value[begin] == '\t'))
        ++begin;
    size_t end = begin;
    while (end < value.size() && IsDigit(value[end]))
        ++end;
    return WholeNumber(std::string_view(value).substr(begin, end - begin));
}

std::optional<int> TrackedProject(std::string_view subject) {
    size_t arrow = subject.find("->");
    if (arrow == std::string_view::npos || subject.find('$') == std::string_view::npos)
        return std::nullopt;
    std::string_view tail = TrimView(subject.substr(arrow + 2, 255));
    size_t dollar = tail.find('$');
    if (dollar == std::string_view::npos)
        return std::nullopt;
    size_t begin = dollar;
    while (begin > 0 && IsDigit(tail[begin - 1]))
        --begin;
    return WholeNumber(tail.substr(begin, dollar - begin));
}

std::string SubscriberQueueLine(bool unsubscribe, std::string_view name, std::string_view address) {
    auto clean = [](std::string_view text) {
        std::string out;
        for (char c : text)
            out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        return Trim(out);
    };
    const std::string plainName = clean(name);
    const std::string plainAddress = clean(address);
    std::string line = unsubscribe ? "- " : "+ ";
    if (plainName.empty())
        return line + plainAddress;
    return line + plainName + " (" + plainAddress + ")";
}

TRoutingResult RouteMessage(TWorkspace& workspace, const TMailMessage& message,
                            AccountSettings& account) {
    TShell& shell = workspace.Shell();
    const std::string& store = shell.Dirs().Store;
    TRoutingResult result;
    result.Receipt = IsReceipt(message);

    if (!result.Receipt) {
        const std::string subject = message.GetSubject();
        if (std::optional<int> project = SubscriptionProject(subject, account)) {
            const bool unsubscribe =
                UpperAscii(Trim(subject)).find("UNSUBSCRIBE") != std::string::npos;
            const TMailAddress sender = message.GetSender();
            // A queue that cannot be appended to loses the request, not the message.
            AppendToFile(ProjectDirectory(store, *project) + std::string(kSubscriberQueueName),
                         SubscriberQueueLine(unsubscribe, sender.Name, sender.Address) + "\r\n",
                         false);
            const std::string inbox = FolderPath(store, *project, kFolderInbox);
            result.Project = *project;
            result.Folder = kFolderInbox;
            result.Path = inbox + NewMessageStem(inbox) + ".emlc";
            result.Subscription = true;
            return result;
        }

        const std::string listPath =
            FilterListPath(shell.Dirs().AddressBooks, account.AccountNumber);
        std::error_code error;
        if (std::filesystem::exists(listPath, error)) {
            TFilterResult filter =
                EvaluateFilters(listPath, message, account.AccountNumber, &workspace.Ui());
            if (filter.Found && filter.Project >= kFirstUserProject &&
                filter.Project <= kLastDefaultProject && filter.Folder > 110 &&
                AccountHasProject(account, filter.Project)) {
                auto [folder, dir] = FilterTarget(store, filter.Project, filter.Folder);
                result.Project = filter.Project;
                result.Folder = folder;
                result.Path = dir + "_" + NewMessageStem(dir) + ".eml";
                result.ByFilter = true;
                return result;
            }
        }
    }

    // References. A candidate that is not one of the account's projects is passed over, so
    // the next kind of reference still gets its chance.
    int project = -1;
    auto consider = [&](std::optional<int> candidate) {
        if (project < 0 && candidate && AccountHasProject(account, *candidate))
            project = *candidate;
    };
    consider(TrackedProject(message.GetSubject()));
    consider(ReferencedProject(message.HeaderText("References")));
    consider(ReferencedProject(message.HeaderText("In-Reply-To")));

    if (project < 0) {
        result.Orphan = true;
        project = DefaultProjectFor(workspace, account, result.ProjectCreated);
        if (project < 0)
            return result;
    }
    result.Project = project;
    result.Folder = result.Receipt ? kFolderInReceipts : kFolderInbox;
    const std::string dir = FolderPath(store, project, result.Folder);
    const std::string stem = NewMessageStem(dir);
    const int priority = message.GetPriority();
    if (result.Orphan)
        result.Path = dir + stem + ".emlo";
    else if (priority == 0 || priority == 1)
        result.Path = dir + stem + ".emlf";
    else
        result.Path = dir + "_" + stem + ".eml";
    return result;
}

TStoredMessage StoreRoutedMessage(const TMailMessage& message, const TReceivedText& text,
                                  const TRoutingResult& route, std::int64_t listedSize,
                                  const TAppendIndexRow& appendRow) {
    TStoredMessage stored;
    if (route.Path.empty()) {
        stored.Error = "No project to store the message in";
        return stored;
    }
    stored.Saved =
        SaveReceivedMessageDurably(text.AddedHeaders, text.ServerText, route.Path, &stored.Error);
    if (!stored.Saved || !appendRow)
        return stored;
    TIndexRow row;
    row.FolderPath = route.Path.substr(0, route.Path.rfind('/') + 1);
    row.FilePath = route.Path;
    row.State = route.Orphan ? kStateOrphan : kStateUnread;
    row.AttachmentIcon = AttachmentIconOf(message);
    row.DateText = FormatListDate(message.GetDate());
    const TMailAddress sender = message.GetSender();
    row.AddressColumn = AddressText(sender.Name, sender.Address);
    row.Subject = message.GetSubject();
    row.Size = listedSize;
    row.MessageId = message.GetMessageId();
    stored.IndexRowAdded = appendRow(row);
    return stored;
}

void ProcessSubscriptionQueue(TWorkspace& workspace, int project) {
    TShell& shell = workspace.Shell();
    TUiServices& ui = workspace.Ui();
    TSettings& settings = shell.Settings();
    const std::string path =
        ProjectDirectory(shell.Dirs().Store, project) + std::string(kSubscriberQueueName);
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return;
    // The entries go into the shown project tree; another project's queue waits until that
    // project is shown.
    if (shell.CurrentProject != project)
        return;

    int answer = 0;
    if (settings.GetBool(TSettingKey::AllowSubscribe)) {
        answer = settings.GetInt(TSettingKey::AllowSubscribeRES);
    } else {
        shell.PlaySound(TSound::Attention);
        bool check = false;
        answer = ui.AskDialog(shell.Text(1, 262), shell.Text(1, 69), 12, check, true);
        settings.SetBool(TSettingKey::AllowSubscribe, check);
        settings.SetInt(TSettingKey::AllowSubscribeRES, answer);
        settings.Save();
    }

    std::optional<std::string> text = answer == kAskFirst ? ReadWholeFile(path) : std::nullopt;
    bool changed = false;
    size_t start = 0;
    while (text && start < text->size()) {
        size_t end = text->find('\n', start);
        if (end == std::string::npos)
            end = text->size();
        std::string line = text->substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const bool unsubscribe = line[0] == '-';
        const std::string rest = Trim(std::string_view(line).substr(1));
        std::string name;
        std::string address = rest;
        // The address is the last bracketed part, so a name with brackets keeps them.
        size_t open = rest.rfind('(');
        if (open != std::string::npos) {
            name = Trim(std::string_view(rest).substr(0, open));
            size_t close = rest.find(')', open + 1);
            address = Trim(std::string_view(rest).substr(
                open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
        }
        if (address.empty())
            continue;

        if (!unsubscribe) {
            std::string question = shell.Text(1, 70) + "\r\n" +
                                   (name.empty() ? "\r\n" + address : name + " (" + address + ")");
            int allow = 0;
            if (settings.GetBool(TSettingKey::AllowUserSubscribe)) {
                allow = settings.GetInt(TSettingKey::AllowUserSubscribeRES);
            } else {
                shell.PlaySound(TSound::Popped);
                bool check = false;
                allow = ui.AskDialog(shell.Text(1, 262), question, 12, check, true);
                settings.SetBool(TSettingKey::AllowUserSubscribe, check);
                settings.SetInt(TSettingKey::AllowUserSubscribeRES, allow);
                settings.Save();
            }
            if (allow != kAskFirst)
                continue;
        }
        TNode* book = FindTopLevel(workspace.ProjectTree, kNodeAddressBook);
        if (!book) {
            shell.PlaySound(TSound::Popped);
            break;
        }
        if (!unsubscribe) {
            const std::string storedName = EscapeParam(name);
            const std::string storedAddress = EscapeParam(address);
            workspace.ProjectTree.Add(
                book, name.empty() ? "<XID=0><img src=\"idx:0\"> <font color=\"clNavy\"><b>" +
                                         storedAddress + "</b></font>"
                                   : "<XID=0><img src=\"idx:0\"> <font color=\"clNavy\"><b>" +
                                         storedName + " </b></font><font color=\"clGreen\"><i>(" +
                                         storedAddress + ")</i></font>");
        } else {
            const std::string wanted = LowerTrimmed(address);
            for (int i = book->ChildCount() - 1; i >= 0; --i) {
                TNode* entry = book->Child(i);
                if (LowerTrimmed(EntryAddress(entry->Text())) == wanted)
                    workspace.ProjectTree.Delete(entry);
            }
        }
        changed = true;
        shell.ProjectTreeChanged = true;
    }
    if (changed)
        workspace.SaveProjectTree(project);
    std::filesystem::remove(path, error);
}

} // namespace pelmora
