#include "shell/session_log.h"

#include "shell/message_texts.h"

namespace pelmora {

namespace {

std::string TwoDigits(int value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

} // namespace

std::string SessionLogTime(const std::tm& local) {
    return TwoDigits(local.tm_mday) + "-" + TwoDigits(local.tm_mon + 1) + "-" +
           std::to_string(local.tm_year + 1900) + ", " + TwoDigits(local.tm_hour) + ":" +
           TwoDigits(local.tm_min) + "." + TwoDigits(local.tm_sec);
}

void TSessionLog::Start(const TMessageTexts& texts, std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    Lines.clear();
    Lines.push_back(SessionLogTime(local) + " : " + texts.Text(3, 14));
}

std::string TSessionLog::Joined() const {
    std::string text;
    for (size_t i = 0; i < Lines.size(); ++i) {
        if (i > 0) {
            text += "\r\n";
        }
        text += Lines[i];
    }
    return text;
}

} // namespace pelmora
