#include "processing/filter_rules.h"

#include "mime/mail_message.h"
#include "shell/atomic_file.h"
#include "paramtree/text_util.h"
#include "shell/ini_file.h"
#include "shell/ui_services.h"

#include <filesystem>
#include <system_error>

namespace pelmora {
namespace {

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string OneLine(std::string_view text) {
    std::string line;
    for (char c : text)
        line += (c == '\r' || c == '\n') ? ' ' : c;
    return line;
}

} // namespace

std::string FilterListPath(const std::string& addressBookDir, int account) {
    return addressBookDir + std::to_string(account) + ".fdf";
}

std::optional<std::string> FilterRulePath(const std::string& listPath, int account,
                                          std::string_view name) {
    std::string trimmed = Trim(name);
    if (trimmed.empty() || trimmed == "." || trimmed == "..")
        return std::nullopt;
    for (char c : trimmed) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20)
            return std::nullopt;
    }
    return DirectoryOf(listPath) + std::to_string(account) + "_" + trimmed + ".flt";
}

std::vector<std::string> ReadFilterList(const std::string& listPath) {
    std::vector<std::string> names;
    std::optional<std::string> text = ReadWholeFile(listPath);
    if (!text)
        return names;
    size_t start = 0;
    while (start < text->size()) {
        size_t end = text->find('\n', start);
        if (end == std::string::npos)
            end = text->size();
        std::string line = text->substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        names.push_back(std::move(line));
        start = end + 1;
    }
    return names;
}

bool WriteFilterList(const std::string& listPath, const std::vector<std::string>& names) {
    if (names.empty()) {
        std::error_code error;
        std::filesystem::remove(listPath, error);
        return !error;
    }
    std::string text;
    for (const std::string& name : names)
        text += OneLine(name) + "\r\n";
    return WriteFileAtomically(listPath, text);
}

std::optional<TFilterRule> ReadFilterRule(const std::string& rulePath) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(rulePath, error))
        return std::nullopt;
    TIniFile ini(rulePath);
    TFilterRule rule;
    rule.Project = ini.ReadInteger("DEST", "PXID", -1);
    rule.Folder = ini.ReadInteger("DEST", "FXID", -1);
    rule.Option = ini.ReadInteger("QUERY", "OPTION", -1);
    rule.Match = ini.ReadString("QUERY", "MATCH", "");
    rule.StopProcessing = ini.ReadBool("QUERY", "STOPPROC", false);
    return rule;
}

bool WriteFilterRule(const std::string& rulePath, const TFilterRule& rule) {
    std::string text = "[DEST]\r\nPXID=" + std::to_string(rule.Project) +
                       "\r\nFXID=" + std::to_string(rule.Folder) +
                       "\r\n\r\n[QUERY]\r\nOPTION=" + std::to_string(rule.Option) +
                       "\r\nMATCH=" + OneLine(rule.Match) +
                       "\r\nSTOPPROC=" + (rule.StopProcessing ? "1" : "0") + "\r\n";
    return WriteFileAtomically(rulePath, text);
}

bool IsValidFilterRule(const TFilterRule& rule) {
    return rule.Option >= 0 && !rule.Match.empty() && rule.Project > 998 &&
           rule.Project <= 99999999 && rule.Folder > 110;
}

std::string FilterFieldText(const TMailMessage& message, int option) {
    switch (option) {
    case kFilterFrom: {
        TMailAddress sender = message.GetSender();
        return sender.Name + sender.Address;
    }
    case kFilterSubject:
        return message.GetSubject();
    case kFilterTo:
        return message.ToRecipients.NamesCommaText() + message.ToRecipients.AddressesCommaText() +
               message.CcRecipients.NamesCommaText() + message.CcRecipients.AddressesCommaText();
    default:
        return {};
    }
}

namespace {

// True when match occurs in text, ignoring the case of ASCII letters; nothing is copied.
bool ContainsNoCase(std::string_view text, std::string_view lowerMatch) {
    if (lowerMatch.empty())
        return true;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    const char first = lowerMatch.front();
    const char firstUpper = first >= 'a' && first <= 'z' ? static_cast<char>(first - 32) : first;
    for (std::size_t i = 0; i + lowerMatch.size() <= text.size(); ++i) {
        if (text[i] != first && text[i] != firstUpper)
            continue;
        std::size_t k = 1;
        while (k < lowerMatch.size() && lower(text[i + k]) == lowerMatch[k])
            ++k;
        if (k == lowerMatch.size())
            return true;
    }
    return false;
}

} // namespace

bool FilterFieldMatches(const TMailMessage& message, int option, std::string_view match) {
    const std::string lowerMatch = LowerAscii(std::string(match));
    if (option != kFilterBody)
        return ContainsNoCase(FilterFieldText(message, option), lowerMatch);
    // The body is searched where it lies, header entries, transmitted body and each shown
    // line one by one: a big message is never copied for it. A match is one line, so it
    // cannot span two of them.
    for (const std::string& entry : message.HeaderLines) {
        if (ContainsNoCase(entry, lowerMatch))
            return true;
    }
    if (ContainsNoCase(message.RawBody, lowerMatch))
        return true;
    for (const TTextLines* lines : {&message.PlainTextLines, &message.HtmlTextLines}) {
        for (std::string_view line : *lines) {
            if (ContainsNoCase(line, lowerMatch))
                return true;
        }
    }
    return false;
}

TFilterResult EvaluateFilters(const std::string& listPath, const TMailMessage& message, int account,
                              TUiServices* ui) {
    TFilterResult result;
    for (const std::string& name : ReadFilterList(listPath)) {
        if (ui)
            ui->Pump();
        std::optional<std::string> path = FilterRulePath(listPath, account, name);
        if (!path)
            continue;
        std::optional<TFilterRule> rule = ReadFilterRule(*path);
        if (!rule || !IsValidFilterRule(*rule))
            continue;
        if (!FilterFieldMatches(message, rule->Option, rule->Match))
            continue;
        result.Found = true;
        result.Project = rule->Project;
        result.Folder = rule->Folder;
        if (rule->StopProcessing)
            break;
    }
    return result;
}

} // namespace pelmora
