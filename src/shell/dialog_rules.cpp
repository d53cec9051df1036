#include "shell/dialog_rules.h"

#include <cctype>
#include <vector>

#include "shell/ui_services.h"

namespace pelmora {

namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool Letter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

} // namespace

std::string PopupTitle(std::string_view caption) {
    return "Pelmora v." + std::string(kPelmoraVersion) + ": " + std::string(caption);
}

std::string EditPopupTitle(const TMessageTexts& texts, std::string_view caption) {
    return texts.Text(1, 88) + ": " + std::string(caption);
}

std::string AskDialogTitle(std::string_view caption) {
    return "Pelmora - " + std::string(caption);
}

std::string QueryPromptLabel(std::string_view prompt) {
    std::string label(prompt);
    if (label.empty() || label.back() != ':') {
        label += ':';
    }
    return label;
}

std::string TrimAnswer(std::string_view answer) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!answer.empty() && blank(answer.front())) {
        answer.remove_prefix(1);
    }
    while (!answer.empty() && blank(answer.back())) {
        answer.remove_suffix(1);
    }
    return std::string(answer);
}

char AcceleratorLetter(std::string_view caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') {
            continue;
        }
        if (caption[i + 1] == '&') {
            ++i; // "&&" is a literal ampersand
            continue;
        }
        return Letter(caption[i + 1]) ? Lower(caption[i + 1]) : '\0';
    }
    for (char c : caption) {
        if (Letter(c)) {
            return Lower(c);
        }
    }
    return '\0';
}

int AskDialogKey(const TMessageTexts& texts, char key) {
    const char first = AcceleratorLetter(texts.Text(3, 33));
    const char second = AcceleratorLetter(texts.Text(3, 34));
    const char pressed = Lower(key);
    if (first == second || pressed == '\0') {
        return 0;
    }
    if (pressed == first) {
        return kAskFirst;
    }
    if (pressed == second) {
        return kAskSecond;
    }
    return 0;
}

std::string FileDialogFilter(std::string_view filter) {
    if (filter.find('|') == std::string_view::npos)
        return std::string(filter);
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t bar = filter.find('|', start);
        fields.push_back(filter.substr(start, bar == std::string_view::npos ? bar : bar - start));
        if (bar == std::string_view::npos)
            break;
        start = bar + 1;
    }
    std::string result;
    for (size_t i = 0; i + 1 < fields.size(); i += 2) {
        std::string patterns;
        std::string_view rest = fields[i + 1];
        while (!rest.empty()) {
            const size_t semicolon = rest.find(';');
            const std::string pattern = TrimAnswer(rest.substr(0, semicolon));
            if (!pattern.empty())
                patterns += (patterns.empty() ? "" : " ") + pattern;
            rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
        }
        if (patterns.empty())
            continue;
        std::string description = TrimAnswer(fields[i]);
        // "Files (*.htm, *.html)": the bracketed list is shown, not read; the real one follows.
        const size_t open = description.rfind('(');
        if (open != std::string::npos && description.back() == ')')
            description = TrimAnswer(std::string_view(description).substr(0, open));
        if (!result.empty())
            result += ";;";
        result += (description.empty() ? patterns : description) + " (" + patterns + ")";
    }
    return result;
}

} // namespace pelmora
