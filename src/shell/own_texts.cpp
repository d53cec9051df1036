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
};

} // namespace

std::string_view OwnTextDefault(TOwnText id) {
    const int index = static_cast<int>(id);
    return index >= 0 && index < kOwnTextCount ? kDefaults[static_cast<size_t>(index)]
                                               : std::string_view();
}

} // namespace pelmora
