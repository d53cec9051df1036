#include "compose/attachment_list.h"

#include "compose/compose_text.h"
#include "mime/mail_message.h"
#include "shell/ui_services.h"
#include "shell/atomic_file.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora::compose {

namespace fs = std::filesystem;

namespace {

// An attachment's bytes: those a window already holds decoded (a file the user added), else
// the part decoded into scratch, so a large attachment is not kept decoded in the message.
std::string_view DecodedBytes(const TMailPart& part, std::string& scratch) {
    return part.DecodedData.empty() ? part.DecodedView(scratch)
                                    : std::string_view(part.DecodedData);
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::string NumberedName(const std::string& folder, const std::string& name) {
    const fs::path path(name);
    const std::string stem = path.stem().string();
    const std::string extension = path.extension().string();
    for (int n = 2; n < 10000; ++n) {
        const std::string candidate = stem + " (" + std::to_string(n) + ")" + extension;
        if (!Exists(folder + candidate))
            return candidate;
    }
    return {};
}

} // namespace

TAttachmentList::TAttachmentList(TMailMessage& message, std::string openDir, bool readOnly)
    : Message(message), OpenDir(std::move(openDir)), ReadOnlyList(readOnly) {
    for (const TMailPart* part : Listed())
        RowTexts.push_back(part->AttachmentFileName());
}

std::vector<TMailPart*> TAttachmentList::Listed() const {
    std::vector<TMailPart*> parts;
    for (TMailPart* part : Message.Attachments)
        if (!part->IsEmbedded)
            parts.push_back(part);
    return parts;
}

TMailPart* TAttachmentList::PartOf(int row) const {
    const std::vector<TMailPart*> parts = Listed();
    if (row < 0 || row >= static_cast<int>(parts.size()))
        return nullptr;
    return parts[static_cast<size_t>(row)];
}

std::vector<std::string> TAttachmentList::Rows() const {
    return RowTexts;
}

int TAttachmentList::Count() const { return static_cast<int>(Listed().size()); }

int TAttachmentList::Add(const std::vector<std::string>& paths) {
    if (ReadOnlyList)
        return 0;
    int added = 0;
    for (const std::string& path : paths) {
        std::error_code ec;
        if (!fs::is_regular_file(path, ec))
            continue;
        const size_t before = Message.Attachments.size();
        if (!Message.AttachFileFrom(path, "application/octet-stream", false) ||
            Message.Attachments.size() == before)
            continue;
        RowTexts.push_back(path);
        ChangedList = true;
        ++added;
    }
    return added;
}

void TAttachmentList::Remove(std::vector<int> rows) {
    if (ReadOnlyList || rows.empty())
        return;
    // From the last row up, so the earlier rows keep their numbers.
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const TMailPart* part = PartOf(*it);
        if (!part)
            continue;
        for (size_t i = 0; i < Message.Attachments.size(); ++i) {
            if (Message.Attachments[i] == part) {
                Message.DropAttachment(static_cast<int>(i));
                if (*it < static_cast<int>(RowTexts.size()))
                    RowTexts.erase(RowTexts.begin() + *it);
                ChangedList = true;
                break;
            }
        }
    }
}

std::string TAttachmentList::SafeName(int row) const {
    const TMailPart* part = PartOf(row);
    if (!part)
        return {};
    return SafeLocalName(part->AttachmentFileName(), "attachment" + std::to_string(row + 1));
}

std::optional<std::string> TAttachmentList::SaveRow(int row, const std::string& folder,
                                                    TUiServices& ui) {
    TMailPart* part = PartOf(row);
    if (!part || folder.empty())
        return std::nullopt;
    const std::string dir = folder.back() == '/' ? folder : folder + "/";
    std::string name = SafeName(row);
    if (Exists(dir + name)) {
        const std::string other = NumberedName(dir, name);
        bool check = false;
        if (other.empty() ||
            ui.AskDialog("Message",
                         "\"" + name + "\" already exists in " + dir + ".\r\nSave it as \"" + other +
                             "\" instead?",
                         12, check, false) != kAskFirst)
            return std::nullopt;
        name = other;
    }
    std::string scratch;
    if (!WriteNewPrivateFile(dir + name, DecodedBytes(*part, scratch)))
        return std::nullopt;
    return dir + name;
}

std::optional<std::string> TAttachmentList::FileForOpening(int row, TUiServices& ui) {
    TMailPart* part = PartOf(row);
    if (!part || OpenDir.empty())
        return std::nullopt;
    std::string name = SafeName(row);
    if (fs::path(name).extension().empty())
        name += ".txt";
    const std::string type = RunnableType(name);
    if (!type.empty()) {
        bool check = false;
        if (ui.AskDialog("Warning:",
                         "\"" + name + "\" is a " + type +
                             ": opening it may run it as a program on this computer.\r\nOpen it "
                             "anyway?",
                         12, check, false) != kAskFirst)
            return std::nullopt;
    }
    // A directory of its own per opening: names never collide and nothing is replaced.
    std::error_code ec;
    const std::string dir = OpenDir + "open" + std::to_string(++OpenCounter) + "/";
    fs::create_directories(dir, ec);
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    std::string scratch;
    if (!WriteNewPrivateFile(dir + name, DecodedBytes(*part, scratch)))
        return std::nullopt;
    return dir + name;
}

} // namespace pelmora::compose
