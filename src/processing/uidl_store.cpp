#include "processing/uidl_store.h"

#include "shell/atomic_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>

namespace pelmora {

namespace {

constexpr std::string_view kMailboxPrefix = "# ";
constexpr std::string_view kPendingPrefix = "? ";
constexpr std::size_t kMaxUidlLength = 70;

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

std::string UidlStorePath(const std::string& programDir, int account) {
    return programDir + "UIDL/" + std::to_string(account) + ".uidl";
}

std::string UidlMailbox(std::string_view login, std::string_view server) {
    return Lower(login) + "@" + Lower(server);
}

bool IsValidUidl(std::string_view id) {
    if (id.empty() || id.size() > kMaxUidlLength)
        return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7f;
    });
}

bool UsableUidlListing(const std::vector<std::string>& ids, int count) {
    if (count < 0 || ids.size() < static_cast<std::size_t>(count) + 1)
        return false;
    std::set<std::string_view> seen;
    for (int n = 1; n <= count; ++n) {
        const std::string& id = ids[static_cast<std::size_t>(n)];
        if (!IsValidUidl(id) || !seen.insert(id).second)
            return false;
    }
    return true;
}

bool TUidlStore::Load(const std::string& path, const std::string& mailbox) {
    Path = path;
    Mailbox = mailbox;
    Ids.clear();
    Found = false;
    std::optional<std::string> text = ReadWholeFile(path);
    if (!text)
        return false;
    std::size_t start = 0;
    bool first = true;
    std::map<std::string, std::string, std::less<>> pending; // id -> file being written
    while (start < text->size()) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos)
            end = text->size();
        std::string_view line(text->data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        start = end + 1;
        if (first) {
            first = false;
            if (line.substr(0, kMailboxPrefix.size()) != kMailboxPrefix ||
                line.substr(kMailboxPrefix.size()) != mailbox)
                return false;
            continue;
        }
        if (line.substr(0, kPendingPrefix.size()) == kPendingPrefix) {
            line.remove_prefix(kPendingPrefix.size());
            const std::size_t blank = line.find(' ');
            if (blank != std::string_view::npos && IsValidUidl(line.substr(0, blank)))
                pending[std::string(line.substr(0, blank))] = std::string(line.substr(blank + 1));
            continue;
        }
        if (IsValidUidl(line)) {
            Ids.emplace(line);
            if (auto it = pending.find(line); it != pending.end())
                pending.erase(it);
        }
    }
    Found = !first;
    if (!Found) {
        Ids.clear();
        return false;
    }
    // A mark without its id: the run stopped while storing. A file that was completed counts
    // as stored (files are written under a temporary name and renamed when complete).
    for (const auto& [id, file] : pending) {
        std::error_code ec;
        if (!file.empty() && std::filesystem::file_size(file, ec) > 0 && !ec)
            Ids.insert(id);
    }
    return true;
}

bool TUidlStore::Contains(std::string_view id) const {
    return Ids.find(id) != Ids.end();
}

void TUidlStore::Add(std::string_view id) {
    if (IsValidUidl(id))
        Ids.emplace(id);
}

void TUidlStore::KeepOnly(const std::vector<std::string>& listed) {
    std::set<std::string_view> keep(listed.begin(), listed.end());
    for (auto it = Ids.begin(); it != Ids.end();) {
        if (keep.count(*it) == 0)
            it = Ids.erase(it);
        else
            ++it;
    }
}

bool TUidlStore::MarkPending(std::string_view id, std::string_view path) const {
    if (Path.empty() || !IsValidUidl(id) || path.find_first_of("\r\n") != std::string_view::npos)
        return false;
    std::string line = std::string(kPendingPrefix) + std::string(id) + " " + std::string(path) + "\n";
    return AppendToFile(Path, line, true, true);
}

bool TUidlStore::AddStored(std::string_view id) {
    if (!IsValidUidl(id))
        return false;
    Ids.emplace(id);
    return !Path.empty() && AppendToFile(Path, std::string(id) + "\n", false, true);
}

bool TUidlStore::Save() const {
    if (Path.empty())
        return false;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(Path).parent_path(), ec);
    std::string text = std::string(kMailboxPrefix) + Mailbox + "\n";
    for (const std::string& id : Ids)
        text += id + "\n";
    return WriteFileAtomically(Path, text);
}

} // namespace pelmora
