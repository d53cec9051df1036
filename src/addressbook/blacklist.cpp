#include "addressbook/blacklist.h"

#include "shell/atomic_file.h"

#include "shell/message_texts.h"
#include "shell/ui_services.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace pelmora {
namespace {

constexpr int kPumpEvery = 300;

std::string_view TrimBlanks(std::string_view text) {
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(Lower(x)) < static_cast<unsigned char>(Lower(y));
    });
}

// Writes beside the target, flushes and renames over it.

} // namespace

std::string BlackListPath(const std::string& addressBookDir) {
    return addressBookDir + std::string(kBlackListFileName);
}

std::optional<std::vector<std::string>> ReadBlackList(const std::string& path) {
    std::vector<std::string> lines;
    std::error_code error;
    if (!std::filesystem::exists(path, error) && !error)
        return lines;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::ostringstream buffer;
    buffer << file.rdbuf();
    if (file.bad() || !std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    const std::string text = buffer.str();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> LoadBlackList(const std::string& path) {
    return ReadBlackList(path).value_or(std::vector<std::string>());
}

bool SaveBlackList(const std::string& path, const std::vector<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries) {
        // An entry never spans lines: a line break inside it would make two entries.
        for (char c : entry)
            text += (c == '\r' || c == '\n') ? ' ' : c;
        text += "\r\n";
    }
    return WriteFileAtomically(path, text);
}

bool IsBlackListAddress(std::string_view text) {
    return text.find('@') != std::string_view::npos && text.find('.') != std::string_view::npos;
}

bool IsBlacklisted(std::string_view senderAddress, const std::vector<std::string>& list,
                   TUiServices* ui) {
    int compared = 0;
    for (const std::string& line : list) {
        std::string_view entry = TrimBlanks(line);
        if (entry.empty() || !IsBlackListAddress(entry))
            continue;
        if (SameNoCase(entry, senderAddress))
            return true;
        if (++compared % kPumpEvery == 0 && ui)
            ui->Pump();
    }
    return false;
}

TMailAddress SenderOfHeaderLines(const std::vector<std::string>& headerLines) {
    constexpr std::string_view kFrom = "from";
    for (size_t i = 0; i < headerLines.size(); ++i) {
        std::string_view line = headerLines[i];
        if (line.empty())
            break; // the end of the header
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || !SameNoCase(TrimBlanks(line.substr(0, colon)), kFrom))
            continue;
        // Unfolding removes the line break before the blank that starts a continuation.
        std::string value(line.substr(colon + 1));
        for (size_t next = i + 1; next < headerLines.size(); ++next) {
            std::string_view more = headerLines[next];
            if (more.empty() || (more.front() != ' ' && more.front() != '\t'))
                break;
            value += more;
        }
        for (char& c : value) {
            if (c == '\r' || c == '\n')
                c = ' ';
        }
        return ParseSenderValue(value);
    }
    return {};
}

std::string AddressFromListColumn(std::string_view column) {
    std::string_view text = TrimBlanks(column);
    if (text.find('(') == std::string_view::npos)
        return std::string(text);
    // The address is the last part of "name (address)", so a name with brackets of its own
    // does not hide it.
    size_t open = text.rfind(" (");
    open = open == std::string_view::npos ? text.find('(') : open + 1;
    size_t close = text.find(')', open + 1);
    std::string_view inner = close == std::string_view::npos
                                 ? text.substr(open + 1)
                                 : text.substr(open + 1, close - open - 1);
    return std::string(TrimBlanks(inner));
}

int AddSendersToBlackList(const std::string& path, const std::vector<std::string>& columns,
                          TUiServices* ui) {
    std::optional<std::vector<std::string>> read = ReadBlackList(path);
    if (!read)
        return 0;
    std::vector<std::string> list = std::move(*read);
    int added = 0;
    int rows = 0;
    for (const std::string& column : columns) {
        if (++rows % kPumpEvery == 0 && ui)
            ui->Pump();
        std::string address = AddressFromListColumn(column);
        if (address.empty() || !IsBlackListAddress(address))
            continue;
        bool listed = std::any_of(list.begin(), list.end(), [&](const std::string& entry) {
            return SameNoCase(TrimBlanks(entry), address);
        });
        if (listed)
            continue;
        list.push_back(address);
        ++added;
    }
    // Blank lines the file may hold are dropped only when the file is rewritten anyway.
    if (added > 0)
        SaveBlackList(path, list);
    return added;
}

std::string BlackListTitle(const std::string& applicationTitle, const TMessageTexts& texts) {
    return applicationTitle + " - " + texts.Text(1, 279);
}

TBlackListForm OpenBlackListForm(const std::string& path) {
    TBlackListForm form;
    form.Path = path;
    std::optional<std::vector<std::string>> read = ReadBlackList(path);
    form.ReadFailed = !read;
    for (std::string& line : read.value_or(std::vector<std::string>())) {
        if (!TrimBlanks(line).empty())
            form.Entries.push_back(std::move(line));
    }
    std::stable_sort(form.Entries.begin(), form.Entries.end(), LessNoCase);
    form.Selected.assign(form.Entries.size(), false);
    if (!form.Selected.empty())
        form.Selected[0] = true;
    return form;
}

bool BlackListAddClick(TBlackListForm& form, TUiServices& ui, const TMessageTexts& texts) {
    const std::optional<std::string> typed =
        ui.QueryText(texts.Text(1, 279), texts.Text(1, 282), "", false);
    if (!typed)
        return false; // cancelled: nothing to add, nothing to complain about
    std::string answer(TrimBlanks(*typed));
    if (!IsBlackListAddress(answer)) {
        ui.Beep();
        TPopupRequest request;
        request.Caption = texts.Text(1, 279);
        request.Text = answer + texts.Text(4, 44);
        request.Modeless = false;
        request.DisplayMs = 0;
        ui.ShowPopup(request);
        return false;
    }
    auto place = std::upper_bound(form.Entries.begin(), form.Entries.end(), answer, LessNoCase);
    size_t index = static_cast<size_t>(place - form.Entries.begin());
    form.Entries.insert(place, answer);
    form.Selected.insert(form.Selected.begin() + static_cast<long>(index), false);
    return true;
}

void BlackListDeleteClick(TBlackListForm& form) {
    std::vector<std::string> kept;
    for (size_t i = 0; i < form.Entries.size(); ++i) {
        if (i >= form.Selected.size() || !form.Selected[i])
            kept.push_back(std::move(form.Entries[i]));
    }
    form.Entries = std::move(kept);
    form.Selected.assign(form.Entries.size(), false);
    if (!form.Selected.empty())
        form.Selected[0] = true;
}

bool BlackListCloseClick(const TBlackListForm& form) {
    if (form.ReadFailed)
        return false;
    return SaveBlackList(form.Path, form.Entries);
}

} // namespace pelmora
