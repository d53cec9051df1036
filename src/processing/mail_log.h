#pragma once
// The mail log: the session log of a transfer run, appended at the run's end to "mail.log" in
// the data home (lines ended by CR LF), shown as text, and purged of entries before a date.
// Sessions are appended in place and the purge rewrites the file atomically, so old entries are
// never lost to a crash or to a file that cannot be read.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class TSessionLog;
class TShell;

constexpr std::string_view kMailLogFileName = "mail.log";

// programDir + "mail.log".
std::string MailLogPath(const std::string& programDir);

// Adds an event line: "dd-mm-yyyy, hh:nn.ss" of `when` + " : " + text.
void AddLogEvent(TSessionLog& log, std::string_view text,
                 std::chrono::system_clock::time_point when = std::chrono::system_clock::now());

// The file's lines (split at CR LF, LF or CR); an empty list for a missing file, std::nullopt
// when it exists but cannot be read.
std::optional<std::vector<std::string>> ReadMailLog(const std::string& path);
// Writes the lines, each followed by CR LF, atomically.
bool WriteMailLog(const std::string& path, const std::vector<std::string>& lines);

// Appends the session's lines to the file (created when missing) without rewriting the lines
// already in it; false when the session could not be recorded.
bool AppendSessionLog(const std::string& path, const TSessionLog& log);

struct TLogDate {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    auto operator<=>(const TLogDate&) const = default;
};

// The date of an event line: its first ":" lies within the first 24 characters and its first
// ten characters, trimmed, read "dd-mm-yyyy". Header dumps and continuation lines give none.
std::optional<TLogDate> LogLineDate(std::string_view line);

// The number of lines the purge removes from the top: the index of the last event line
// dated on or before `keepFrom` (that line stays and becomes the first).
std::size_t PurgeCount(const std::vector<std::string>& lines, const TLogDate& keepFrom);

// Commands of the "Display" menu.
// "Show last Mail Log": the session log in a large pop-up (caption text 1/121).
void MenuShowlastMailLogClick(TShell& shell);
// "Show Mail Log File": the file in a large pop-up (caption text 1/48); a beep when it cannot
// be read.
void MenuShowLogFileClick(TShell& shell);
// "Purge Mail Log File" after the date dialog chose `chosen`: asks text 1/50, purges on Yes
// (a beep when the file cannot be read or written) and shows the file in every case.
void MenuPurgeMailLogFileClick(TShell& shell, const TLogDate& chosen);
// The date the purge dialog offers and allows at most: yesterday.
TLogDate PurgeDialogLatestDate(std::chrono::system_clock::time_point now);
// The note of the purge dialog: "\r\n" + text 1/50 up to its first ".".
std::string PurgeDialogNote(const TShell& shell);

} // namespace pelmora
