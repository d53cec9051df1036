#pragma once
// The parameter nodes of an account: their codes, labels, names, first values and what a
// click on them does.

#include "shell/own_texts.h"

#include <span>
#include <string>
#include <string_view>

namespace pelmora {

class TMessageTexts;

enum class TParamKind { Toggle, Text, Password, Address, DisplayName, ReplyTo, Port, Security };
enum class TParamStart { Yes, No, NotSet, Hidden, DisplayName, SecurityNone };

struct TAccountParameter {
    int Code;
    int LabelModule; // -1: the label is the program's own text OwnLabel
    int LabelSlot;
    TOwnText OwnLabel;
    std::string_view Name;
    TParamStart Start;
    TParamKind Kind;
    bool UnderServerSettings; // level 3 under node 102, else level 2 under the profile
};

// Every parameter, server settings first, in the order new accounts get them.
std::span<const TAccountParameter> AccountParameters();
// The entry of a parameter name (compared without regard to case); nullptr when unknown.
const TAccountParameter* FindAccountParameter(std::string_view name);

std::string ParameterLabel(const TAccountParameter& param, const TMessageTexts& texts);
// The node text of a parameter with its first value; displayName is stored (escaped).
std::string InitialParameterNode(const TAccountParameter& param, const TMessageTexts& texts,
                                 const std::string& displayName);

constexpr std::string_view kSecurityChoices = "None,STARTTLS,SSL/TLS";

} // namespace pelmora
