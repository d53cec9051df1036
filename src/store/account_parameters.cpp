#include "store/account_parameters.h"

#include "paramtree/text_util.h"
#include "shell/message_texts.h"
#include "store/node_helpers.h"

namespace pelmora {

namespace {

constexpr TAccountParameter kParameters[] = {
    {103, 1, 105, {}, "ScheduleMail", TParamStart::Yes, TParamKind::Toggle, true},
    {109, 1, 347, {}, "LeaveMailOnServer", TParamStart::No, TParamKind::Toggle, true},
    {110, 1, 106, {}, "HonourReceipts", TParamStart::Yes, TParamKind::Toggle, true},
    {104, 1, 340, {}, "EditPOP3", TParamStart::NotSet, TParamKind::Text, true},
    {105, 1, 341, {}, "EditPOP3Login", TParamStart::NotSet, TParamKind::Text, true},
    {106, 1, 342, {}, "EditPOP3Password", TParamStart::Hidden, TParamKind::Password, true},
    {107, 1, 343, {}, "POPBeforeSend", TParamStart::No, TParamKind::Toggle, true},
    {108, 1, 344, {}, "EditSMTP", TParamStart::NotSet, TParamKind::Text, true},
    {111, 1, 345, {}, "EditSMTPAUTHNAME", TParamStart::NotSet, TParamKind::Text, true},
    {112, 1, 346, {}, "EditSMTPAUTHPW", TParamStart::Hidden, TParamKind::Password, true},
    {kNodePOP3Port, -1, 0, TOwnText::POP3PortLabel, "POP3Port", TParamStart::NotSet, TParamKind::Port, true},
    {kNodePOP3Security, -1, 0, TOwnText::POP3SecurityLabel, "POP3Security", TParamStart::SecurityNone,
     TParamKind::Security, true},
    {kNodeSMTPPort, -1, 0, TOwnText::SMTPPortLabel, "SMTPPort", TParamStart::NotSet, TParamKind::Port, true},
    {kNodeSMTPSecurity, -1, 0, TOwnText::SMTPSecurityLabel, "SMTPSecurity", TParamStart::SecurityNone,
     TParamKind::Security, true},
    {202, 3, 21, {}, "EditAddress", TParamStart::NotSet, TParamKind::Address, false},
    {203, 3, 20, {}, "EditDispName", TParamStart::DisplayName, TParamKind::DisplayName, false},
    {204, 3, 32, {}, "EditFullName", TParamStart::DisplayName, TParamKind::Text, false},
    {205, 1, 123, {}, "AccURL", TParamStart::NotSet, TParamKind::Text, false},
    {206, 1, 339, {}, "ReplyTo", TParamStart::NotSet, TParamKind::ReplyTo, false},
};

} // namespace

std::span<const TAccountParameter> AccountParameters() {
    return kParameters;
}

const TAccountParameter* FindAccountParameter(std::string_view name) {
    for (const TAccountParameter& param : kParameters) {
        if (EqualsNoCase(param.Name, name))
            return &param;
    }
    return nullptr;
}

std::string ParameterLabel(const TAccountParameter& param, const TMessageTexts& texts) {
    if (param.LabelModule < 0)
        return texts.Own(param.OwnLabel);
    return texts.Text(param.LabelModule, param.LabelSlot);
}

std::string InitialParameterNode(const TAccountParameter& param, const TMessageTexts& texts,
                                 const std::string& displayName) {
    std::string value;
    switch (param.Start) {
    case TParamStart::Yes:
        value = texts.Text(3, 33);
        break;
    case TParamStart::No:
        value = texts.Text(3, 34);
        break;
    case TParamStart::NotSet:
        value = texts.Text(3, 14);
        break;
    case TParamStart::Hidden:
        value = texts.Text(1, 84);
        break;
    case TParamStart::DisplayName:
        value = displayName;
        break;
    case TParamStart::SecurityNone:
        value = "None";
        break;
    }
    const std::string label = ParameterLabel(param, texts);
    const std::string code = "<XID=" + std::to_string(param.Code) + ">";
    if (param.Kind == TParamKind::Password)
        return code + "<XPWD=0>" + label + ": <a href=\"" + std::string(param.Name) + "\">" +
               value + "</a>";
    if (param.Kind == TParamKind::Security)
        return code + label + ": <a href=\"" + std::string(param.Name) +
               "\" class=\"LIST\" props=\"" + std::string(kSecurityChoices) + "\">" + value +
               "</a>";
    return ParameterNodeText(param.Code, label, param.Name, value);
}

} // namespace pelmora
