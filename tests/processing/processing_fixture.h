#pragma once
// Helpers of the processing tests: messages from literal texts and a data home with a
// started shell and workspace (the store tests' fixture).

#include "mime/mail_message.h"
#include "store/node_helpers.h"
#include "store/store_fixture.h"

#include <memory>
#include <string>
#include <string_view>

namespace pelmora {

// A message parsed from header lines and a body; lines are joined with CR LF.
inline std::unique_ptr<TMailMessage> ParseMail(const std::string& header,
                                               const std::string& body = "Hello.\r\n") {
    std::string text;
    size_t start = 0;
    while (start <= header.size()) {
        size_t end = header.find('\n', start);
        if (end == std::string::npos)
            end = header.size();
        std::string line = header.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            text += line + "\r\n";
        start = end + 1;
    }
    text += "\r\n" + body;
    auto message = std::make_unique<TMailMessage>();
    message->ParseText(text, true);
    message->MapParts();
    return message;
}

// Sets an account parameter node below `account` (added under "Mail Server Settings" when
// missing); the two password nodes (106 POP3, 112 SMTP) get the password marker form.
inline void SetAccountParameter(TWorkspace& workspace, TNode* account, int code,
                                const std::string& value) {
    TNode* node = FindBelow(account, code);
    std::string text = ParameterNodeText(code, "Setting", "Edit", value);
    if (code == 106 || code == 112)
        text = "<XID=" + std::to_string(code) + ">" + PasswordMarker(value) +
               "Password: <a href=\"Edit\">*hidden*</a>";
    if (node)
        workspace.AccountTree.SetText(node, text);
    else
        workspace.AccountTree.Add(FindBelow(account, 102), text);
}

// A retrieved message file without the "Received" (possibly folded) and
// "X-OriginalArrivalTime" lines the program puts in front of the server's text; "<not
// added>" when they are not there.
inline std::string WithoutAddedHeaders(std::string_view file) {
    if (file.rfind("Received: ", 0) != 0)
        return "<not added>";
    const std::size_t arrival = file.find("\r\nX-OriginalArrivalTime: ");
    if (arrival == std::string::npos)
        return "<not added>";
    // Only continuation lines of "Received" may stand between the two.
    for (std::size_t at = file.find("\r\n"); at < arrival; at = file.find("\r\n", at + 2)) {
        if (file[at + 2] != ' ' && file[at + 2] != '\t')
            return "<not added>";
    }
    const std::size_t end = file.find("\r\n", arrival + 2);
    return std::string(file.substr(end == std::string_view::npos ? file.size() : end + 2));
}

} // namespace pelmora
