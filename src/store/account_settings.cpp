#include "store/account_settings.h"

#include "paramtree/markup.h"
#include "paramtree/text_util.h"
#include "store/node_helpers.h"

#include <charconv>

namespace pelmora {

namespace {

constexpr size_t kMaxField = 255;

std::string Cut(std::string text) {
    if (text.size() > kMaxField)
        text.resize(kMaxField);
    return text;
}

} // namespace

int ParsePort(std::string_view value) {
    value = TrimView(value);
    int port = 0;
    auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
    if (ec != std::errc() || ptr != value.data() + value.size() || port < 1 || port > 65535)
        return 0;
    return port;
}

TMailSecurity ParseMailSecurity(std::string_view value) {
    std::string upper = UpperAscii(TrimView(value));
    if (upper == "STARTTLS")
        return TMailSecurity::StartTls;
    if (upper == "SSL/TLS")
        return TMailSecurity::SslTls;
    return TMailSecurity::None;
}

AccountSettings ReadAccountSettings(TNode* node, const std::string& yesText) {
    AccountSettings settings;
    TNode* account = AccountOf(node);
    if (!account)
        return settings;

    auto value = [account](int code) -> std::string {
        TNode* found = FindBelow(account, code);
        return found ? Cut(UnescapeParam(ParamValue(found->Text()))) : std::string();
    };
    auto flag = [&](int code) {
        std::string v = value(code);
        return v.find("Yes") != std::string::npos ||
               (!yesText.empty() && v.find(yesText) != std::string::npos);
    };
    auto password = [account](int code) -> std::string {
        TNode* found = FindBelow(account, code);
        return found ? Cut(ReadPassword(found->Text())) : std::string();
    };

    settings.AccountNumber = NodeNumber(account->Text());
    settings.AccountName = Cut(PlainCaption(CaptionBase(account->Text())));
    settings.ScheduleMail = flag(kNodeScheduleMail);
    settings.LeaveMailOnServer = flag(kNodeLeaveMailOnServer);
    settings.POP3Server = value(kNodePOP3Server);
    settings.POP3Login = value(kNodePOP3Login);
    settings.POP3Password = password(kNodePOP3Password);
    settings.POPBeforeSend = flag(kNodePOPBeforeSend);
    settings.SMTPServer = value(kNodeSMTPServer);
    settings.SMTPLogin = value(kNodeSMTPLogin);
    settings.SMTPPassword = password(kNodeSMTPPassword);
    settings.EmailAddress = value(kNodeEmailAddress);
    settings.DisplayName = value(kNodeDisplayName);
    settings.Organization = value(kNodeOrganization);
    settings.WebAddress = value(kNodeWebsite);
    settings.HonourReceipts = flag(kNodeHonourReceipts);
    settings.ReplyTo = value(kNodeReplyTo);
    settings.POP3Port = ParsePort(value(kNodePOP3Port));
    settings.SMTPPort = ParsePort(value(kNodeSMTPPort));
    settings.POP3Security = ParseMailSecurity(value(kNodePOP3Security));
    settings.SMTPSecurity = ParseMailSecurity(value(kNodeSMTPSecurity));

    for (int i = 0; i < account->ChildCount(); ++i) {
        TNode* child = account->Child(i);
        int number = NodeNumber(child->Text());
        if (number < 999 || number > 99999999)
            continue;
        settings.ProjectNumbers.push_back(std::to_string(number));
        settings.ProjectNames.push_back(Cut(PlainCaption(CaptionBase(child->Text()))));
        if (number > 99999)
            settings.DefaultProject = number;
    }
    return settings;
}

} // namespace pelmora
