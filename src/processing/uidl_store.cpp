#include "processing/uidl_store.h"

#include "shell/atomic_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>

namespace pelmora {

namespace {

constexpr std::string_view kMailboxPrefix = "# ";
constexpr std::string_view kPendingPrefix = "? ";
constexpr std::string_view kDetailedPendingPrefix = "?= ";
constexpr std::string_view kNoMessageId = "-";
constexpr std::size_t kMaxMessageIdLength = 998;
constexpr std::size_t kMaxUidlLength = 70;

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Splits off the text up to the next blank.
std::string_view NextWord(std::string_view& line) {
    const std::size_t blank = line.find(' ');
    std::string_view word = line.substr(0, blank);
    line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    return word;
}

// Reads "size message-id" (the rest of a line after the id); false when it is not that.
bool ReadRecord(std::string_view& rest, TUidlRecord& record) {
    std::int64_t size = -1;
    const std::string_view sizeText = NextWord(rest);
    auto [end, error] = std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size);
    if (error != std::errc() || end != sizeText.data() + sizeText.size() || size < 0)
        return false;
    const std::string_view messageId = NextWord(rest);
    record.Size = size;
    record.MessageId = messageId == kNoMessageId ? std::string() : UidlMessageId(messageId);
    return true;
}

std::string RecordText(const TUidlRecord& record) {
    if (record.Size < 0)
        return {};
    const std::string messageId = UidlMessageId(record.MessageId);
    return " " + std::to_string(record.Size) + " " +
           (messageId.empty() ? std::string(kNoMessageId) : messageId);
}

} // namespace

bool TUidlRecord::Matches(std::int64_t size, std::string_view messageId) const {
    const std::string wanted = UidlMessageId(messageId);
    return Size >= 0 && Size == size && !MessageId.empty() && MessageId == wanted;
}

std::string UidlMessageId(std::string_view messageId) {
    std::string out;
    for (char c : messageId) {
        if (static_cast<unsigned char>(c) > 0x20 && c != 0x7f)
            out += c;
    }
    if (out.size() > kMaxMessageIdLength)
        out.resize(kMaxMessageIdLength);
    return out;
}

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
    struct TPending {
        std::string File;
        TUidlRecord Record;
    };
    std::map<std::string, TPending, std::less<>> pending; // id -> file being written
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
        if (line.substr(0, kDetailedPendingPrefix.size()) == kDetailedPendingPrefix) {
            line.remove_prefix(kDetailedPendingPrefix.size());
            const std::string_view id = NextWord(line);
            TPending mark;
            if (IsValidUidl(id) && ReadRecord(line, mark.Record) && !line.empty()) {
                mark.File = std::string(line);
                pending[std::string(id)] = std::move(mark);
            }
            continue;
        }
        if (line.substr(0, kPendingPrefix.size()) == kPendingPrefix) {
            line.remove_prefix(kPendingPrefix.size());
            const std::size_t blank = line.find(' ');
            if (blank != std::string_view::npos && IsValidUidl(line.substr(0, blank)))
                pending[std::string(line.substr(0, blank))] = {std::string(line.substr(blank + 1)),
                                                               {}};
            continue;
        }
        std::string_view rest = line;
        const std::string_view id = NextWord(rest);
        if (!IsValidUidl(id))
            continue;
        TUidlRecord record;
        if (!rest.empty() && !ReadRecord(rest, record))
            record = {};
        Ids[std::string(id)] = std::move(record);
        if (auto it = pending.find(id); it != pending.end())
            pending.erase(it);
    }
    Found = !first;
    if (!Found) {
        Ids.clear();
        return false;
    }
    // A mark without its id: the run stopped while storing. A file that was completed counts
    // as stored (files are written under a temporary name and renamed when complete).
    for (const auto& [id, mark] : pending) {
        std::error_code ec;
        if (!mark.File.empty() && std::filesystem::file_size(mark.File, ec) > 0 && !ec)
            Ids[id] = mark.Record;
    }
    return true;
}

bool TUidlStore::Contains(std::string_view id) const {
    return Ids.find(id) != Ids.end();
}

const TUidlRecord* TUidlStore::Find(std::string_view id) const {
    auto it = Ids.find(id);
    return it == Ids.end() ? nullptr : &it->second;
}

void TUidlStore::Add(std::string_view id, TUidlRecord record) {
    if (!IsValidUidl(id))
        return;
    record.MessageId = UidlMessageId(record.MessageId);
    Ids[std::string(id)] = std::move(record);
}

void TUidlStore::KeepOnly(const std::vector<std::string>& listed) {
    std::set<std::string_view> keep(listed.begin(), listed.end());
    for (auto it = Ids.begin(); it != Ids.end();) {
        if (keep.count(it->first) == 0)
            it = Ids.erase(it);
        else
            ++it;
    }
}

bool TUidlStore::MarkPending(std::string_view id, std::string_view path,
                             const TUidlRecord& record) const {
    if (Path.empty() || !IsValidUidl(id) || path.empty() ||
        path.find_first_of("\r\n") != std::string_view::npos)
        return false;
    const std::string details = RecordText(record);
    std::string line = details.empty()
                           ? std::string(kPendingPrefix) + std::string(id) + " "
                           : std::string(kDetailedPendingPrefix) + std::string(id) + details + " ";
    line += std::string(path) + "\n";
    return AppendToFile(Path, line, true, true);
}

bool TUidlStore::AddStored(std::string_view id, const TUidlRecord& record) {
    if (!IsValidUidl(id))
        return false;
    TUidlRecord& stored = Ids[std::string(id)];
    stored = record;
    stored.MessageId = UidlMessageId(record.MessageId);
    return !Path.empty() &&
           AppendToFile(Path, std::string(id) + RecordText(record) + "\n", false, true);
}

bool TUidlStore::Save() const {
    if (Path.empty())
        return false;
    std::error_code ec;
    CreatePrivateDirectories(std::filesystem::path(Path).parent_path().string());
    std::string text = std::string(kMailboxPrefix) + Mailbox + "\n";
    for (const auto& [id, record] : Ids)
        text += id + RecordText(record) + "\n";
    return WriteFileAtomically(Path, text);
}

} // namespace pelmora
