#pragma once
// AccountSettings: what the transfer run, composition and receipts need to know about one
// account, read from the account's nodes in the account tree. Values are plain text (the
// tree stores them escaped); "-not set-" stays as it is stored. Strings hold at most 255
// bytes. A missing node gives an empty value; no node at all gives an empty record.

#include "paramtree/node_tree.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pelmora {

enum class TMailSecurity { None, StartTls, SslTls };

struct AccountSettings {
    int32_t AccountNumber = 0;
    std::string AccountName; // display name + " (" + address + ")"
    bool ScheduleMail = false;
    bool LeaveMailOnServer = false;
    std::string POP3Server;
    std::string POP3Login;
    std::string POP3Password;
    bool POPBeforeSend = false;
    std::string SMTPServer;
    std::string SMTPLogin;
    std::string SMTPPassword;
    std::string EmailAddress;
    std::string DisplayName;
    std::string Organization;
    std::string WebAddress;
    bool HonourReceipts = false;
    std::string ReplyTo;
    std::vector<std::string> ProjectNumbers; // level-1 children numbered 999 to 99999999
    std::vector<std::string> ProjectNames;
    int32_t DefaultProject = 0; // the last such child numbered above 99999
    // Connection details; a port of 0 means the default of "pelmora.ini".
    int POP3Port = 0;
    int SMTPPort = 0;
    TMailSecurity POP3Security = TMailSecurity::None;
    TMailSecurity SMTPSecurity = TMailSecurity::None;
};

// Reads the settings of the account that `node` belongs to. `yesText` is the translated
// "Yes" (text 3/33); the literal "Yes" is accepted as well.
AccountSettings ReadAccountSettings(TNode* node, const std::string& yesText = "Yes");

// The port a parameter value gives: 1 to 65535, else 0 (not set).
int ParsePort(std::string_view value);
// "None", "STARTTLS" or "SSL/TLS" (any case); anything else is None.
TMailSecurity ParseMailSecurity(std::string_view value);

} // namespace pelmora
