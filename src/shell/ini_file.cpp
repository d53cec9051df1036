#include "shell/ini_file.h"

#include "shell/atomic_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

namespace {

// Longest line and file the reader accepts; anything beyond is not a settings file.
constexpr size_t kMaxFileBytes = 16 * 1024 * 1024;

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string OneLine(std::string_view text) {
    std::string result(text);
    std::replace_if(
        result.begin(), result.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return result;
}

bool ParseInt(std::string_view text, int& value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

} // namespace

TIniFile::TIniFile(std::string path) : FilePath(std::move(path)) {
    Reload();
}

bool TIniFile::ReadFile(const std::string& path, std::string& text) {
    text.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    // No more than the cap is ever read: a huge file must not fill the memory first.
    text.resize(kMaxFileBytes);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return !in.bad();
}

bool TIniFile::Reload() {
    Edits.clear();
    std::string text;
    const bool ok = ReadFile(FilePath, text);
    Content = Parse(text);
    return ok;
}

std::vector<TIniFile::TSection> TIniFile::Parse(std::string_view text) {
    std::vector<TSection> sections;
    TSection* current = nullptr;
    // Files saved by other editors may start with a UTF-8 byte order mark.
    size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            const size_t close = line.find(']');
            if (close == std::string_view::npos) {
                // A truncated heading: its keys would land in the wrong section.
                current = nullptr;
                continue;
            }
            const std::string_view name = Trim(line.substr(1, close - 1));
            auto found = std::find_if(sections.begin(), sections.end(),
                                      [&](const TSection& s) { return SameName(s.Name, name); });
            if (found == sections.end()) {
                sections.push_back({std::string(name), {}});
                current = &sections.back();
            } else {
                current = &*found;
            }
            continue;
        }
        const size_t equals = line.find('=');
        if (current == nullptr || equals == std::string_view::npos || equals == 0) {
            continue;
        }
        const std::string_view key = Trim(line.substr(0, equals));
        if (key.empty() || line.find('\0') != std::string_view::npos) {
            continue;
        }
        const std::string_view value = Trim(line.substr(equals + 1));
        auto found = std::find_if(current->Entries.begin(), current->Entries.end(),
                                  [&](const TEntry& e) { return SameName(e.Key, key); });
        // The first occurrence of a key wins, as it does for readers that stop at the first.
        if (found == current->Entries.end()) {
            current->Entries.push_back({std::string(key), std::string(value)});
        }
    }
    return sections;
}

std::string TIniFile::Serialise(const std::vector<TSection>& sections) {
    std::string text;
    bool first = true;
    for (const TSection& section : sections) {
        if (!first) {
            text += "\n";
        }
        first = false;
        text += "[" + section.Name + "]\n";
        for (const TEntry& entry : section.Entries) {
            text += entry.Key + "=" + entry.Value + "\n";
        }
    }
    return text;
}

void TIniFile::Apply(std::vector<TSection>& sections, const TEdit& edit) {
    auto section = std::find_if(sections.begin(), sections.end(),
                                [&](const TSection& s) { return SameName(s.Name, edit.Section); });
    switch (edit.Kind) {
    case TEditKind::EraseSection:
        if (section != sections.end()) {
            sections.erase(section);
        }
        return;
    case TEditKind::EraseKey:
        if (section != sections.end()) {
            std::erase_if(section->Entries,
                          [&](const TEntry& e) { return SameName(e.Key, edit.Key); });
        }
        return;
    case TEditKind::Write:
        if (section == sections.end()) {
            sections.push_back({edit.Section, {}});
            section = sections.end() - 1;
        }
        for (TEntry& entry : section->Entries) {
            if (SameName(entry.Key, edit.Key)) {
                entry.Value = edit.Value;
                return;
            }
        }
        section->Entries.push_back({edit.Key, edit.Value});
        return;
    }
}

std::optional<std::string> TIniFile::Find(std::string_view section, std::string_view key) const {
    for (const TSection& s : Content) {
        if (!SameName(s.Name, section)) {
            continue;
        }
        for (const TEntry& entry : s.Entries) {
            if (SameName(entry.Key, key)) {
                return entry.Value;
            }
        }
    }
    return std::nullopt;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
    std::optional<std::string> value = Find(section, key);
    return value ? *value : std::string(defaultValue);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const std::optional<std::string> value = Find(section, key);
    int number = 0;
    return value && ParseInt(*value, number) ? number : defaultValue;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    const std::optional<std::string> value = Find(section, key);
    if (!value) {
        return defaultValue;
    }
    int number = 0;
    if (ParseInt(*value, number)) {
        return number != 0;
    }
    if (SameName(Trim(*value), "true")) {
        return true;
    }
    if (SameName(Trim(*value), "false")) {
        return false;
    }
    return defaultValue;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
    return Find(section, key).has_value();
}

bool TIniFile::SectionExists(std::string_view section) const {
    return std::any_of(Content.begin(), Content.end(),
                       [&](const TSection& s) { return SameName(s.Name, section); });
}

std::vector<std::string> TIniFile::Sections() const {
    std::vector<std::string> names;
    for (const TSection& s : Content) {
        names.push_back(s.Name);
    }
    return names;
}

std::vector<std::string> TIniFile::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    for (const TSection& s : Content) {
        if (SameName(s.Name, section)) {
            for (const TEntry& entry : s.Entries) {
                keys.push_back(entry.Key);
            }
        }
    }
    return keys;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    TEdit edit{TEditKind::Write, OneLine(Trim(section)), OneLine(Trim(key)), OneLine(value)};
    // Names that the reader could not find again are refused.
    if (edit.Section.empty() || edit.Key.empty() || edit.Key.find('=') != std::string::npos ||
        edit.Section.find(']') != std::string::npos || edit.Key.front() == '[' ||
        edit.Key.front() == ';' || edit.Key.front() == '#') {
        return;
    }
    edit.Value = std::string(Trim(edit.Value));
    Apply(Content, edit);
    Edits.push_back(std::move(edit));
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::EraseKey(std::string_view section, std::string_view key) {
    TEdit edit{TEditKind::EraseKey, std::string(section), std::string(key), {}};
    Apply(Content, edit);
    Edits.push_back(std::move(edit));
}

void TIniFile::EraseSection(std::string_view section) {
    TEdit edit{TEditKind::EraseSection, std::string(section), {}, {}};
    Apply(Content, edit);
    Edits.push_back(std::move(edit));
}

bool TIniFile::Save() {
    if (Edits.empty()) {
        return true;
    }
    // Keys written meanwhile by another object over the same file are kept.
    std::string onDisk;
    ReadFile(FilePath, onDisk);
    std::vector<TSection> merged = Parse(onDisk);
    for (const TEdit& edit : Edits) {
        Apply(merged, edit);
    }
    const std::string text = Serialise(merged);

    const std::string temp = FilePath + ".tmp" + std::to_string(::getpid());
    ::unlink(temp.c_str()); // what a killed run of this process number left
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                          kPrivateFileMode);
    if (fd < 0) {
        return false;
    }
    (void)::fchmod(fd, kPrivateFileMode);
    size_t written = 0;
    bool ok = true;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        written += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), FilePath.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    Content = std::move(merged);
    Edits.clear();
    return true;
}

} // namespace pelmora
