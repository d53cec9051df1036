#include "shell/own_texts.h"

#include <array>

namespace pelmora {
namespace {

constexpr std::array<std::string_view, kOwnTextCount> kDefaults = {
    "POP3 port",
    "POP3 security",
    "SMTP port",
    "SMTP security",
    " is NOT a valid port number (1-65535)!",
    " Project directory: ",
    "\r\n\r\nThe black-list could not be saved; the file was left as it was.",
    "Aborting: Message-ID header missing from message. Very unusual!",
    "\r\nAnother Pelmora process is transferring the mail of this data home. Please try again "
    "when it has finished.",
    "The certificate of %1 was refused: %2 (SHA-256 %3)",
    "The security certificate of the mail server %1 could not be verified:\r\n%2\r\n\r\n"
    "SHA-256 fingerprint:\r\n%3\r\n\r\nTrust this certificate for this server from now on?",
    "The trusted certificate could not be written to the settings file",
    "Certificate of %1 trusted by the user",
    "Mail transfer",
    "The server has numbered its messages anew: every message counts as new",
    "The list of retrieved messages could not be written",
    "The help file was not found in %1",
    "Deleting message(s)...",
    "Pelmora v.3.0.5 by Sorvath",
};

} // namespace

std::string_view OwnTextDefault(TOwnText id) {
    const int index = static_cast<int>(id);
    return index >= 0 && index < kOwnTextCount ? kDefaults[static_cast<size_t>(index)]
                                               : std::string_view();
}

std::string FillText(std::string_view text, std::initializer_list<std::string_view> values) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const auto place = static_cast<std::size_t>(next - '1');
        if (text[i] == '%' && next >= '1' && next <= '9' && place < values.size()) {
            out += values.begin()[place];
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

} // namespace pelmora
