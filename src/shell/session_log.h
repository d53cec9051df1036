#pragma once
// The session log: the lines written during the last transfer run, kept in memory from
// start-up to close. At start it holds one line: the start time and text 3/14.

#include <ctime>
#include <string>
#include <vector>

namespace pelmora {

class TMessageTexts;

// "dd-mm-yyyy, hh:nn.ss" of a local time.
std::string SessionLogTime(const std::tm& local);

class TSessionLog {
public:
    // Replaces the lines by the start line: time + " : " + text 3/14.
    void Start(const TMessageTexts& texts, std::time_t now);
    void Clear() { Lines.clear(); }
    void Add(std::string line) { Lines.push_back(std::move(line)); }
    const std::vector<std::string>& Items() const { return Lines; }
    // The lines joined with "\r\n" (for showing them in a pop-up).
    std::string Joined() const;

private:
    std::vector<std::string> Lines;
};

} // namespace pelmora
