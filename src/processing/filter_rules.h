#pragma once
// Filter rules of an account: an ordered list of rule names in the address-book directory
// (account + ".fdf", one name per line, CR LF) and one small INI file per rule (account + "_"
// + name + ".flt") that says which field of a retrieved message to search, for which text,
// and where a matching message goes. Files are replaced atomically. Missing, unreadable or
// invalid rule files are skipped; a name that would leave the directory never names a file.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class TMailMessage;
class TUiServices;

// The field a rule searches.
constexpr int kFilterFrom = 0;
constexpr int kFilterSubject = 1;
constexpr int kFilterTo = 2;
constexpr int kFilterBody = 3;

struct TFilterRule {
    int Project = -1;            // DEST/PXID
    int Folder = -1;             // DEST/FXID
    int Option = -1;             // QUERY/OPTION
    std::string Match;           // QUERY/MATCH, lower case and trimmed when written by the window
    bool StopProcessing = false; // QUERY/STOPPROC
};

// addressBookDir + account + ".fdf".
std::string FilterListPath(const std::string& addressBookDir, int account);
// The rule file of a name in the list's directory: directory + account + "_" + trimmed name +
// ".flt". std::nullopt when the trimmed name is empty, "." or "..", or holds "/" or a control
// character, so no rule name can point outside the directory.
std::optional<std::string> FilterRulePath(const std::string& listPath, int account,
                                          std::string_view name);

// The names of a list file; empty when it is missing or unreadable.
std::vector<std::string> ReadFilterList(const std::string& listPath);
// Replaces the list file with the names (CR LF after each); an empty list deletes the file.
bool WriteFilterList(const std::string& listPath, const std::vector<std::string>& names);

// The values of a rule file with the defaults for missing keys; std::nullopt when the file is
// missing or unreadable.
std::optional<TFilterRule> ReadFilterRule(const std::string& rulePath);
// Writes "[DEST]" with PXID and FXID, then "[QUERY]" with OPTION, MATCH and STOPPROC.
bool WriteFilterRule(const std::string& rulePath, const TFilterRule& rule);

// OPTION 0 to 3, a match text, a project from 999 to 99999999 and a folder above 110.
bool IsValidFilterRule(const TFilterRule& rule);

// The text a rule on the sender, the subject or the recipients searches in the message.
std::string FilterFieldText(const TMailMessage& message, int option);
// True when the rule's match text occurs in the field of the given option, ignoring case.
// The body option searches the header, the body as transmitted and the decoded texts
// (base64 or quoted-printable parts of multipart mail) where they lie.
bool FilterFieldMatches(const TMailMessage& message, int option, std::string_view match);

struct TFilterResult {
    bool Found = false;
    int Project = -1;
    int Folder = -1;
};

// Evaluates the rules of the list in order: each matching rule sets the destination, and a
// matching rule with STOPPROC ends the evaluation. With ui, the message queue is pumped
// before each rule.
TFilterResult EvaluateFilters(const std::string& listPath, const TMailMessage& message, int account,
                              TUiServices* ui = nullptr);

} // namespace pelmora
