#include "processing/auto_reply_history.h"

#include "paramtree/text_util.h"
#include "processing/answering_machine.h"
#include "shell/atomic_file.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <vector>

namespace pelmora {
namespace {

// Far more than kAnswerHistoryLimit lines of the longest valid address.
constexpr size_t kMaxHistoryBytes = 8u * 1024u * 1024u;

struct TEntry {
    std::int64_t Seconds = 0;
    std::string Address;
};

std::int64_t SecondsOf(std::chrono::system_clock::time_point when) {
    return std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
}

std::vector<TEntry> ReadEntries(const std::string& path) {
    std::vector<TEntry> entries;
    const std::optional<std::string> text = ReadWholeFile(path, nullptr, kMaxHistoryBytes);
    if (!text)
        return entries;
    std::string_view rest = *text;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const size_t blank = line.find(' ');
        if (blank == std::string_view::npos || blank + 1 >= line.size())
            continue;
        TEntry entry;
        const auto [ptr, ec] = std::from_chars(line.data(), line.data() + blank, entry.Seconds);
        if (ec != std::errc() || ptr != line.data() + blank)
            continue;
        entry.Address = std::string(line.substr(blank + 1));
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool Recent(const TEntry& entry, std::int64_t now) {
    const std::int64_t quiet =
        std::chrono::duration_cast<std::chrono::seconds>(kAnswerQuietPeriod).count();
    return entry.Seconds > now - quiet && entry.Seconds < now + quiet;
}

} // namespace

std::string AnswerHistoryPath(const std::string& addressBookDir, int account) {
    return AnswerSwitchPath(addressBookDir, account) + ".sent";
}

bool AnsweredRecently(const std::string& historyPath, std::string_view address,
                      std::chrono::system_clock::time_point now) {
    const std::string key = LowerAscii(Trim(address));
    const std::int64_t seconds = SecondsOf(now);
    const std::vector<TEntry> entries = ReadEntries(historyPath);
    return std::any_of(entries.begin(), entries.end(), [&](const TEntry& entry) {
        return entry.Address == key && Recent(entry, seconds);
    });
}

bool RememberAnswer(const std::string& historyPath, std::string_view address,
                    std::chrono::system_clock::time_point now) {
    const std::string key = LowerAscii(Trim(address));
    if (key.empty() || key.find_first_of(" \r\n") != std::string::npos)
        return false;
    const std::int64_t seconds = SecondsOf(now);
    std::vector<TEntry> entries = ReadEntries(historyPath);
    std::erase_if(entries, [&](const TEntry& entry) {
        return entry.Address == key || !Recent(entry, seconds);
    });
    entries.push_back({seconds, key});
    if (entries.size() > kAnswerHistoryLimit)
        entries.erase(entries.begin(),
                      entries.end() - static_cast<std::ptrdiff_t>(kAnswerHistoryLimit));
    std::string text;
    for (const TEntry& entry : entries)
        text += std::to_string(entry.Seconds) + " " + entry.Address + "\n";
    return WriteFileAtomically(historyPath, text, kPrivateFileMode);
}

} // namespace pelmora
