#pragma once
// The answering machine's memory of whom it answered, so that one address gets at most one
// automatic answer per quiet period (seven days) and account, however often it writes. One
// small file per account beside its switch file ("Answering Machine/" + account +
// ".ans.sent"): one line per address, the time of the answer in seconds since 1970 UTC, a
// blank and the address in lower case. Lines that cannot be read are dropped; entries older
// than the quiet period (or dated more than a quiet period ahead, after a clock change) are
// forgotten when the file is written; the file keeps at most kAnswerHistoryLimit entries.

#include <chrono>
#include <string>
#include <string_view>

namespace pelmora {

constexpr std::chrono::hours kAnswerQuietPeriod{7 * 24};
constexpr size_t kAnswerHistoryLimit = 20000;

// AnsweringMachineDirectory(addressBookDir) + account + ".ans.sent".
std::string AnswerHistoryPath(const std::string& addressBookDir, int account);

// True when `address` (any case) was answered less than the quiet period before `now`.
// A missing or unreadable file remembers nobody.
bool AnsweredRecently(const std::string& historyPath, std::string_view address,
                      std::chrono::system_clock::time_point now);

// Records an answer to `address` at `now` (written safely, mode 0600). False when the file
// could not be written.
bool RememberAnswer(const std::string& historyPath, std::string_view address,
                    std::chrono::system_clock::time_point now);

} // namespace pelmora
