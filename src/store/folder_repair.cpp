#include "store/folder_repair.h"

#include "mime/mail_message.h"
#include "mime/mime_text.h"
#include "paramtree/text_util.h"
#include "shell/ui_services.h"
#include "store/custom_folders.h"
#include "store/folder_listing.h"
#include "store/message_files.h"
#include "store/store_layout.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr int kFilesPerPump = 50;
constexpr int kFirstProjectNumber = 999; // projects are numbered 999 and up

constexpr int kFixedCodes[] = {kFolderInbox,  kFolderInReceipts, kFolderSent,  kFolderOutReceipts,
                               kFolderOutbox, kFolderTrash,      kFolderDrafts};

// Records in a "tree.lst": 0 when it is missing, -1 when it cannot be measured or is not a
// whole number of records.
int IndexRecordCount(const std::string& indexPath) {
    std::error_code ec;
    if (!fs::exists(indexPath, ec))
        return ec ? -1 : 0;
    const auto size = fs::file_size(indexPath, ec);
    if (ec || size % kIndexRecordSize != 0)
        return -1;
    return static_cast<int>(size / kIndexRecordSize);
}

bool HasStaleMarker(const std::string& folder) {
    std::error_code ec;
    return fs::exists(folder + "update.txt", ec);
}

void RepairFolder(const std::string& storeDir, int project, int code, const std::string& folder,
                  const TIndexControl& control, TIndexRepair& repair) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return;
    ++repair.Checked;
    const bool marked = IsCustomFolderCode(code) && HasStaleMarker(folder);
    if (!marked && FolderIndexAgrees(folder))
        return;
    if (!RebuildFolderIndex(folder, code, control)) {
        ++repair.Failed;
        return;
    }
    ++repair.Rebuilt;
    if (marked) {
        TCustomFolderTable scratch;
        ClearFolderStale(storeDir, project, code, scratch);
    }
}

} // namespace

std::vector<TMessageFileEntry> ListMessageFiles(const std::string& folder) {
    std::vector<TMessageFileEntry> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsMessageFileName(name))
            continue;
        std::error_code statError;
        // The entry itself, not what a link points at.
        if (!fs::is_regular_file(it->symlink_status(statError)) || statError)
            continue;
        const auto size = it->file_size(statError);
        if (statError || size == 0)
            continue;
        files.push_back({folder + name, static_cast<std::int64_t>(size)});
    }
    std::sort(files.begin(), files.end(),
              [](const TMessageFileEntry& a, const TMessageFileEntry& b) { return a.Path < b.Path; });
    return files;
}

bool AppendRowFromFile(TMessageList& list, const std::string& path, std::int64_t size,
                       bool showRecipients, int* stateOut) {
    try {
        TMailMessage message;
        if (!message.LoadMessageFile(path))
            return false;
        if (message.PartMapStale)
            message.MapParts();
        const TMailAddress sender = message.GetSender();
        if (TrimMail(message.HeaderValue("To")).empty() || sender.Address.empty()) {
            if (message.StructureStale)
                message.Restructure(RestructureMode::IfStale);
            if (message.BodyStale)
                message.BuildBody();
        }
        const size_t slash = path.rfind('/');
        int state = MessageStateFromName(slash == std::string::npos
                                             ? std::string_view(path)
                                             : std::string_view(path).substr(slash + 1));
        if (state == kStateRead) {
            const int priority = message.GetPriority();
            if (priority > 2)
                state = kStateLowPriority;
            else if (priority < 2)
                state = kStateHighPriority;
        }
        int image = -1;
        for (const TMailPart* part : message.Attachments) {
            if (part && !part->IsEmbedded) {
                image = kImageAttachment;
                break;
            }
        }
        // "name (address)" of every To recipient, joined by "; ", as AddressText writes one.
        const std::string_view recipients =
            showRecipients ? message.ToRecipients.ListingView() : std::string_view();
        const TMailAddress from = message.GetSender();
        AppendMessageRow(list, size, state, showRecipients, message.GetMessageId(), path,
                         message.GetSubject(), recipients, AddressText(from.Name, from.Address),
                         FormatListDate(message.GetDate()), image);
        if (stateOut)
            *stateOut = state;
        return true;
    } catch (const std::exception&) {
        return false; // the file is left out of the list, never touched
    }
}

bool IndexRowsInFolder(const TMessageList& list, const std::string& folder) {
    std::string checkedDir; // a directory spelled otherwise that was found to be `folder`
    for (const TListRow& row : list.AllRows()) {
        // The caption's path as RowPath gives it, without copying it.
        const std::string_view caption = row.Caption();
        const size_t open = caption.find('<');
        if (open == std::string_view::npos)
            return false;
        const size_t close = caption.find('>', open + 1);
        std::string_view path = caption.substr(
            open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
        while (!path.empty() && (path.front() == ' ' || path.front() == '\t'))
            path.remove_prefix(1);
        while (!path.empty() && (path.back() == ' ' || path.back() == '\t'))
            path.remove_suffix(1);
        const size_t slash = path.rfind('/');
        if (slash == std::string_view::npos || slash + 1 == path.size())
            return false;
        const std::string_view dir = path.substr(0, slash + 1);
        const std::string_view name = path.substr(slash + 1);
        if (name == "." || name == "..")
            return false;
        if (dir == folder || dir == checkedDir)
            continue;
        std::error_code ec;
        const fs::path resolvedDir = fs::canonical(std::string(dir), ec);
        if (ec)
            return false;
        const fs::path resolvedFolder = fs::canonical(folder, ec);
        if (ec || resolvedDir != resolvedFolder)
            return false;
        checkedDir = std::string(dir);
    }
    return true;
}

bool FolderIndexAgrees(const std::string& folder) {
    const TMessageCounts files = CountMessageFiles(folder + "*.eml?");
    const int records = IndexRecordCount(folder + "tree.lst");
    if (records < 0 || records != files.Total)
        return false;
    const std::optional<TFolderSummary> summary = ReadFolderSummary(folder + "tree.cnt");
    if (!summary)
        return files.Total == 0 && records == 0;
    return summary->Total == files.Total && summary->Unread == files.Unread;
}

bool RebuildFolderIndex(const std::string& folder, int code, const TIndexControl& control) {
    TMessageList list;
    const bool showRecipients = FolderShowsRecipients(code);
    int done = 0;
    for (const TMessageFileEntry& file : ListMessageFiles(folder)) {
        if (control.Stopping())
            return false;
        AppendRowFromFile(list, file.Path, file.Size, showRecipients);
        if (++done % kFilesPerPump == 0) {
            if (control.Ui)
                control.Ui->Pump();
            if (control.AdvanceAnimation)
                control.AdvanceAnimation();
        }
    }
    if (control.Stopping())
        return false;
    return SaveIndex(folder + "tree.lst", list, control);
}

TIndexRepair RepairProjectIndexes(const std::string& storeDir, int project,
                                  const TIndexControl& control) {
    TIndexRepair repair;
    for (int code : kFixedCodes) {
        if (control.Stopping())
            return repair;
        RepairFolder(storeDir, project, code, FolderPath(storeDir, project, code), control, repair);
    }
    for (int code : CustomFolderCodesOnDisk(storeDir, project)) {
        if (control.Stopping())
            return repair;
        RepairFolder(storeDir, project, code, FolderPath(storeDir, project, code), control, repair);
    }
    return repair;
}

TIndexRepair RepairStoreIndexes(const std::string& storeDir, const TIndexControl& control) {
    std::vector<int> projects;
    std::error_code ec;
    for (fs::directory_iterator it(storeDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statError;
        if (!fs::is_directory(it->symlink_status(statError)))
            continue;
        const std::string name = it->path().filename().string();
        int number = 0;
        const auto [ptr, error] = std::from_chars(name.data(), name.data() + name.size(), number);
        if (error != std::errc() || ptr != name.data() + name.size() ||
            number < kFirstProjectNumber || number > kLastDefaultProject)
            continue;
        projects.push_back(number);
    }
    std::sort(projects.begin(), projects.end());
    TIndexRepair total;
    for (int project : projects) {
        if (control.Stopping())
            break;
        const TIndexRepair one = RepairProjectIndexes(storeDir, project, control);
        total.Checked += one.Checked;
        total.Rebuilt += one.Rebuilt;
        total.Failed += one.Failed;
    }
    return total;
}

} // namespace pelmora
