// Clicks on the parameters of the account tree and the project tree. The handlers return
// the new (escaped) value, which the tree writes into the node; typed answers are escaped
// so they cannot break the node's mark-up.

#include "store/workspace.h"

#include "paramtree/markup.h"
#include "paramtree/text_util.h"
#include "shell/shell_state.h"
#include "store/account_parameters.h"
#include "store/node_helpers.h"
#include "store/project_info.h"

#include <sys/stat.h>

namespace pelmora {

namespace {

constexpr const char* kStationeryFilter =
    "HTML + e-Mail Files (*.htm, *.html, *.eml)|*.html;*.htm;*.eml;*.emlo;*.emlc;*.emlf";

std::string Toggled(const std::string& value, const std::string& yes, const std::string& no) {
    return value == yes ? no : yes;
}

// The number of an account as its node writes it ("001" stays "001").
std::string WrittenNumber(const std::string& text) {
    size_t begin = text.find("<XID=");
    if (begin == std::string::npos)
        return {};
    begin += 5;
    size_t end = text.find('>', begin);
    return Trim(std::string_view(text).substr(begin, end == std::string::npos ? 0 : end - begin));
}

} // namespace

void TWorkspace::RebuildAccountCaption(TNode* paramNode, const std::string& displayName,
                                       const std::string& address) {
    TNode* account = AccountOf(paramNode);
    if (!account)
        return;
    AccountTree.SetText(account,
                        AccountNodeText(WrittenNumber(account->Text()), displayName, address));
}

void TWorkspace::FolderTreeParamClick(TNode* node, const std::string& href, std::string& value) {
    const TAccountParameter* param = FindAccountParameter(href);
    if (!node || !param)
        return;
    const std::string yes = Text(3, 33);
    const std::string no = Text(3, 34);
    const std::string notSet = Text(3, 14);
    const std::string label = ParameterLabel(*param, ShellState.Texts());
    auto query = [&](const std::string& initial, bool password) {
        return Ui().QueryText(label, label, initial, password);
    };
    auto invalidAddress = [&](const std::string& answer) {
        PlayPopped();
        Popup(Text(1, 262), answer + Text(4, 44), 5000, 12, true);
    };
    TNode* parent = node->Parent();
    const bool underProfile = parent && NodeNumber(parent->Text()) == kNodeProfile;
    auto siblingValue = [&](int code) -> std::string {
        TNode* sibling = FindChild(parent, code);
        return sibling ? ParamValue(sibling->Text()) : std::string();
    };

    switch (param->Kind) {
    case TParamKind::Toggle:
        value = Toggled(value, yes, no);
        ShellState.AccountTreeChanged = true;
        break;
    case TParamKind::Text: {
        const std::optional<std::string> answer = query(UnescapeParam(value), false);
        if (!answer)
            break;
        value = answer->empty() ? notSet : EscapeParam(*answer);
        ShellState.AccountTreeChanged = true;
        break;
    }
    case TParamKind::Password: {
        const std::optional<std::string> answer = query(ReadPassword(node->Text()), true);
        if (!answer)
            break;
        AccountTree.SetText(node, RemovePasswordMarker(node->Text()) + PasswordMarker(*answer));
        ShellState.AccountTreeChanged = true;
        break;
    }
    case TParamKind::Port: {
        const std::optional<std::string> typed = query(UnescapeParam(value), false);
        if (!typed)
            break;
        const std::string& answer = *typed;
        if (answer.empty() || answer == notSet) {
            value = notSet;
        } else if (int port = ParsePort(answer)) {
            value = std::to_string(port);
        } else {
            PlayPopped();
            Popup(Text(1, 262), answer + ShellState.Texts().Own(TOwnText::InvalidPort), 5000, 12, true);
            break;
        }
        ShellState.AccountTreeChanged = true;
        break;
    }
    case TParamKind::Security:
        // The list editor of the node offers the choices; its commit marks the change.
        break;
    case TParamKind::Address: {
        const std::optional<std::string> typed = query(UnescapeParam(value), false);
        if (!typed)
            break;
        std::string answer = *typed;
        if (answer.empty())
            answer = notSet;
        value = EscapeParam(answer);
        ShellState.AccountTreeChanged = true;
        if (answer != notSet && !LooksLikeAddress(answer)) {
            invalidAddress(answer);
            break;
        }
        const std::string display = siblingValue(kNodeDisplayName);
        if (underProfile && !display.empty()) {
            RebuildAccountCaption(node, display, value);
            if (Hooks.RefreshCounts)
                Hooks.RefreshCounts();
        }
        break;
    }
    case TParamKind::DisplayName: {
        const std::optional<std::string> answer = query(UnescapeParam(value), false);
        if (!answer)
            break;
        value = EscapeParam(answer->empty() ? Text(1, 326) : *answer);
        ShellState.AccountTreeChanged = true;
        const std::string address = siblingValue(kNodeEmailAddress);
        if (underProfile && !address.empty()) {
            RebuildAccountCaption(node, value, address);
            SortAccounts();
            if (Hooks.RefreshCounts)
                Hooks.RefreshCounts();
        }
        break;
    }
    case TParamKind::ReplyTo: {
        const std::optional<std::string> typed = query(UnescapeParam(value), false);
        if (!typed)
            break;
        const std::string& answer = *typed;
        if (answer.empty() || answer == notSet) {
            value = notSet; // clearing the reply address needs no warning
            ShellState.AccountTreeChanged = true;
        } else if (LooksLikeAddress(answer)) {
            value = EscapeParam(answer);
            ShellState.AccountTreeChanged = true;
            if (Hooks.RefreshCounts)
                Hooks.RefreshCounts();
        } else {
            invalidAddress(answer);
            value = notSet;
            ShellState.AccountTreeChanged = true;
        }
        break;
    }
    }
}

void TWorkspace::ProjectTreeParamClick(TNode* node, const std::string& href, std::string& value) {
    if (!node)
        return;
    if (!AccountTree.Selected() && RememberedProject)
        AccountTree.Select(RememberedProject);
    const int project = ShellState.CurrentProject;
    if (project < 0)
        return;
    const std::string yes = Text(3, 33);
    const std::string no = Text(3, 34);
    const std::string notSet = Text(3, 14);
    auto is = [&href](std::string_view name) { return EqualsNoCase(href, name); };
    auto queryInto = [&](int slot) {
        const std::string& label = Text(1, slot);
        const std::optional<std::string> answer =
            Ui().QueryText(label, label, UnescapeParam(Trim(value)), false);
        if (!answer)
            return;
        value = answer->empty() ? notSet : EscapeParam(*answer);
        ShellState.ProjectTreeChanged = true;
    };

    if (is("ChangeProjName")) {
        if (project >= kFirstDefaultProject) {
            PlayPopped();
            Popup(Text(1, 262), "\r\n\r\n" + Text(1, 328), 4000, 13, false);
            return;
        }
        const std::string& label = Text(1, 291);
        const std::optional<std::string> typed =
            Ui().QueryText(label, label, UnescapeParam(CaptionBase(value)), false);
        if (!typed || typed->empty())
            return; // cancelled; an empty name would leave the two trees disagreeing
        const std::string& answer = *typed;
        value = EscapeParam(answer);
        if (TNode* projectNode = ShownProjectNode()) {
            AccountTree.SetText(projectNode, ProjectNodeText(project, value, "#808080"));
            WriteProjectInfo(ShellState.Dirs().Store, project,
                             {NodeNumber(AccountOf(projectNode)->Text()), answer});
        }
        ShellState.ProjectTreeChanged = true;
        ShellState.AccountTreeChanged = true;
        if (Hooks.RefreshCounts)
            Hooks.RefreshCounts();
    } else if (is("RequestReceipts") || is("GenTrackingNumber") || is("AddSignature")) {
        value = Toggled(value, yes, no);
        ShellState.ProjectTreeChanged = true;
    } else if (is("TrackingNumberStyle")) {
        ShellState.ProjectTreeChanged = true;
    } else if (is("ProjectDescription")) {
        queryInto(295);
    } else if (is("ProjectSignature")) {
        queryInto(296);
    } else if (is("ProjURL")) {
        queryInto(297);
    } else if (is("Stationery")) {
        auto chosen =
            Ui().ChooseOpenFile(Text(1, 4), ShellState.Dirs().Templates, kStationeryFilter);
        if (!chosen)
            return; // cancelled: the stationery stays as it was
        struct stat st {};
        if (::stat(chosen->c_str(), &st) == 0 && S_ISREG(st.st_mode))
            value = EscapeParam(*chosen);
        else
            value = notSet;
        ShellState.ProjectTreeChanged = true;
    }
}

void TWorkspace::ProjectTreeParamPopup(TNode*, const std::string& href,
                                       std::vector<std::string>& values, bool& doPopup) {
    if (!EqualsNoCase(href, "changeprojectadmin"))
        return;
    for (int i = 0; i < AccountTree.TopCount(); ++i) {
        TNode* account = AccountTree.Top(i);
        if (IsAccountNode(account))
            values.push_back(PlainCaption(CaptionBase(account->Text())));
    }
    doPopup = true;
}

} // namespace pelmora
