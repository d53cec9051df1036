#include "processing/mail_log.h"

#include "shell/atomic_file.h"
#include "paramtree/text_util.h"
#include "shell/session_log.h"
#include "shell/shell_state.h"

#include <cerrno>
#include <charconv>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace pelmora {
namespace {


std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += "\r\n";
        text += lines[i];
    }
    return text;
}

void ShowLogFile(TShell& shell, const std::optional<std::vector<std::string>>& lines) {
    if (!lines) {
        shell.Ui().Beep();
        return;
    }
    TPopupRequest popup;
    popup.Caption = shell.Text(1, 48);
    popup.Text = JoinLines(*lines);
    popup.DisplayMs = 10000;
    popup.TextSize = 9;
    popup.Modeless = false;
    popup.Large = true;
    shell.Ui().ShowPopup(popup);
}

} // namespace

std::string MailLogPath(const std::string& programDir) {
    return programDir + std::string(kMailLogFileName);
}

void AddLogEvent(TSessionLog& log, std::string_view text,
                 std::chrono::system_clock::time_point when) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    log.Add(SessionLogTime(local) + " : " + std::string(text));
}

std::optional<std::vector<std::string>> ReadMailLog(const std::string& path) {
    std::vector<std::string> lines;
    std::error_code error;
    if (!std::filesystem::exists(path, error) && !error)
        return lines;
    std::optional<std::string> text = ReadWholeFile(path);
    if (!text)
        return std::nullopt;
    size_t start = 0;
    while (start < text->size()) {
        size_t end = text->find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text->substr(start));
            break;
        }
        lines.push_back(text->substr(start, end - start));
        start =
            end +
            ((*text)[end] == '\r' && end + 1 < text->size() && (*text)[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

bool WriteMailLog(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return WriteFileAtomically(path, text);
}

bool AppendSessionLog(const std::string& path, const TSessionLog& log) {
    // Appended in place: the lines already in the file are never rewritten, so neither a
    // crash nor a file too large to read can cost the history.
    std::string text;
    for (const std::string& item : log.Items())
        text += item + "\r\n";
    return AppendToFile(path, text, true, true);
}

std::optional<TLogDate> LogLineDate(std::string_view line) {
    size_t colon = line.find(':');
    if (colon != std::string_view::npos && colon + 1 > 24)
        return std::nullopt;
    std::string_view head = TrimView(line.substr(0, 10));
    size_t dash1 = head.find('-');
    size_t dash2 = dash1 == std::string_view::npos ? dash1 : head.find('-', dash1 + 1);
    if (dash2 == std::string_view::npos)
        return std::nullopt;
    std::optional<int> day = WholeNumber(head.substr(0, dash1));
    std::optional<int> month = WholeNumber(head.substr(dash1 + 1, dash2 - dash1 - 1));
    std::string_view yearText = head.substr(dash2 + 1);
    std::optional<int> year = WholeNumber(yearText);
    if (!day || !month || !year || yearText.size() != 4 || *month < 1 || *month > 12 || *day < 1 ||
        *day > 31)
        return std::nullopt;
    return TLogDate{*year, *month, *day};
}

std::size_t PurgeCount(const std::vector<std::string>& lines, const TLogDate& keepFrom) {
    std::size_t found = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::optional<TLogDate> date = LogLineDate(lines[i]);
        if (date && *date <= keepFrom)
            found = i;
    }
    return found;
}

void MenuShowlastMailLogClick(TShell& shell) {
    TPopupRequest popup;
    popup.Caption = shell.Text(1, 121);
    popup.Text = shell.SessionLog().Joined();
    popup.DisplayMs = 0;
    popup.TextSize = 10;
    popup.Modeless = false;
    popup.Large = true;
    shell.Ui().ShowPopup(popup);
}

void MenuShowLogFileClick(TShell& shell) {
    ShowLogFile(shell, ReadMailLog(MailLogPath(shell.Dirs().Program)));
}

void MenuPurgeMailLogFileClick(TShell& shell, const TLogDate& chosen) {
    const std::string path = MailLogPath(shell.Dirs().Program);
    shell.PlaySound(TSound::Attention);
    bool check = false;
    int answer = shell.Ui().AskDialog(shell.Text(1, 262), shell.Text(1, 50), 12, check, false);
    if (answer == kAskFirst) {
        std::optional<std::vector<std::string>> lines = ReadMailLog(path);
        if (!lines) {
            shell.Ui().Beep();
        } else {
            std::size_t count = PurgeCount(*lines, chosen);
            if (count > 0) {
                lines->erase(lines->begin(), lines->begin() + static_cast<long>(count));
                if (!WriteMailLog(path, *lines))
                    shell.Ui().Beep();
            }
        }
    }
    ShowLogFile(shell, ReadMailLog(path));
}

TLogDate PurgeDialogLatestDate(std::chrono::system_clock::time_point now) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    local.tm_mday -= 1;
    local.tm_hour = 12; // away from daylight-saving edges
    local.tm_isdst = -1;
    std::mktime(&local);
    return TLogDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string PurgeDialogNote(const TShell& shell) {
    const std::string& text = shell.Text(1, 50);
    return "\r\n" + text.substr(0, text.find('.'));
}

} // namespace pelmora
