#include "processing/filter_form.h"

#include "paramtree/text_util.h"
#include "processing/filter_rules.h"
#include "shell/shell_state.h"
#include "store/custom_folders.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/workspace.h"

#include <charconv>
#include <filesystem>
#include <system_error>

namespace pelmora {
namespace {

const std::string kTargetGap(84, ' ');

std::string TargetText(const std::string& path, int project, int folder) {
    return path + kTargetGap + "<PXID=" + std::to_string(project) +
           "><FXID=" + std::to_string(folder) + ">";
}

// The number after `key` (found in the upper-cased text) up to the next ">", trimmed.
std::optional<int> TargetCode(const std::string& target, std::string_view key) {
    const std::string upper = UpperAscii(target);
    size_t at = upper.find(key);
    if (at == std::string::npos)
        return std::nullopt;
    at += key.size();
    size_t end = upper.find('>', at);
    std::string number = Trim(std::string_view(upper).substr(
        at, end == std::string::npos ? std::string::npos : end - at));
    int value = 0;
    auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || result.ec != std::errc() || result.ptr != number.data() + number.size())
        return std::nullopt;
    return value;
}

// The OK/Cancel question whether to save the rule in the fields.
void OfferSave(TFilterForm& form, TUiServices& ui, const TMessageTexts& texts) {
    if (!form.Modified)
        return;
    bool check = false;
    if (ui.AskDialog(texts.Text(1, 262), texts.Text(1, 63), 12, check, false) == kAskFirst)
        FilterFormSave(form, ui, texts);
}

void ShowMessage(TUiServices& ui, const std::string& text) {
    TPopupRequest request;
    request.Text = text;
    request.DisplayMs = 0;
    request.Modeless = false;
    ui.ShowPopup(request);
}

} // namespace

std::vector<std::string> FilterTargets(TWorkspace& workspace, TNode* accountNode) {
    std::vector<std::string> targets;
    if (!accountNode)
        return targets;
    TShell& shell = workspace.Shell();
    std::string account = PlainCaption(accountNode->Text());
    account = Trim(std::string_view(account).substr(0, account.find('(')));
    for (int i = 0; i < accountNode->ChildCount(); ++i) {
        TNode* node = accountNode->Child(i);
        const int project = NodeNumber(node->Text());
        if (project < kFirstUserProject || project > kLastDefaultProject)
            continue;
        const std::string prefix = account + ">" + PlainCaption(CaptionBase(node->Text())) + ">";
        targets.push_back(TargetText(prefix + shell.Text(1, 317), project, kFolderInbox));
        TCustomFolderTable folders =
            ScanCustomFolders(shell.Dirs().Store, project, shell.Text(3, 14));
        for (int code = kFirstCustomFolder; code <= kLastCustomFolder; ++code) {
            const TCustomFolder* folder = folders.At(code);
            if (!folder || folder->Name.empty() ||
                (folders.FirstFree && code >= *folders.FirstFree))
                break;
            targets.push_back(
                TargetText(prefix + shell.Text(1, 317) + ">" + folder->Name, project, code));
        }
        targets.push_back(TargetText(prefix + shell.Text(1, 315), project, kFolderTrash));
        targets.push_back(TargetText(prefix + shell.Text(1, 320), project, kFolderDrafts));
    }
    return targets;
}

TFilterForm OpenFilterForm(TWorkspace& workspace, TNode* node) {
    TFilterForm form;
    TNode* accountNode = node ? AccountOf(node) : nullptr;
    if (accountNode) {
        workspace.AccountTree.Select(accountNode);
        workspace.FolderTreeClick();
    }
    TShell& shell = workspace.Shell();
    AccountSettings settings = workspace.ReadAccountSettings(accountNode);
    form.Account = settings.AccountNumber;
    form.DisplayName = settings.DisplayName;
    form.ListPath = FilterListPath(shell.Dirs().AddressBooks, form.Account);
    form.Targets = FilterTargets(workspace, accountNode);
    for (int slot = 213; slot <= 216; ++slot)
        form.Options.push_back(shell.Text(1, slot));
    std::error_code error;
    if (std::filesystem::exists(form.ListPath, error)) {
        for (std::string& name : ReadFilterList(form.ListPath)) {
            if (!Trim(name).empty())
                form.Rules.push_back(std::move(name));
        }
    }
    return form;
}

std::string FilterFormTitle(const TFilterForm& form, const TMessageTexts& texts) {
    return "Pelmora v.3.0.5 - " + texts.Text(1, 102) + " - " + UpperAscii(form.DisplayName);
}

void FilterFormSelectRule(TFilterForm& form, int index, TUiServices& ui,
                          const TMessageTexts& texts) {
    OfferSave(form, ui, texts);
    if (index < 0 || index >= static_cast<int>(form.Rules.size())) {
        ui.Beep();
        return;
    }
    form.SelectedRule = index;
    std::optional<std::string> path =
        FilterRulePath(form.ListPath, form.Account, form.Rules[static_cast<size_t>(index)]);
    std::optional<TFilterRule> rule = path ? ReadFilterRule(*path) : std::nullopt;
    if (!rule)
        return;
    form.Name = form.Rules[static_cast<size_t>(index)];
    form.NameEnabled = false;
    form.Option = rule->Option;
    form.Match = rule->Match;
    form.StopProcessing = rule->StopProcessing;
    // The codes are compared whole: project 1000 must not pick a target of project 100000.
    const std::string project = "<PXID=" + std::to_string(rule->Project) + ">";
    const std::string folder = "<FXID=" + std::to_string(rule->Folder) + ">";
    form.SelectedTarget = -1;
    for (size_t i = 0; i < form.Targets.size(); ++i) {
        if (form.Targets[i].find(project) != std::string::npos &&
            form.Targets[i].find(folder) != std::string::npos) {
            form.SelectedTarget = static_cast<int>(i);
            break;
        }
    }
    if (form.SelectedTarget < 0) {
        ui.Beep();
        TPopupRequest popup;
        popup.Caption = texts.Text(1, 262);
        popup.Text = texts.Text(1, 42);
        popup.DisplayMs = 5000;
        popup.TextSize = 12;
        popup.Modeless = true;
        ui.ShowPopup(popup);
        form.SelectedTarget = 0;
    }
    form.ExistingRule = true;
    form.Modified = false;
}

void FilterFormAdd(TFilterForm& form, TUiServices& ui, const TMessageTexts& texts) {
    OfferSave(form, ui, texts);
    form.Name.clear();
    form.NameEnabled = true;
    form.Match.clear();
    form.StopProcessing = false;
    form.SelectedTarget = 0;
    form.ExistingRule = false;
    form.Modified = false;
}

bool FilterFormSave(TFilterForm& form, TUiServices& ui, const TMessageTexts& texts) {
    if (!form.Modified)
        return false;
    const std::string name = Trim(form.Name);
    if (name.empty()) {
        ui.Beep();
        ShowMessage(ui, texts.Text(1, 65));
        return false;
    }
    if (Trim(form.Match).empty()) {
        ui.Beep();
        ShowMessage(ui, texts.Text(1, 62));
        return false;
    }
    std::optional<std::string> path = FilterRulePath(form.ListPath, form.Account, name);
    if (!path) {
        // A name that cannot be a file name in the address-book directory.
        ui.Beep();
        ShowMessage(ui, texts.Text(1, 65));
        return false;
    }
    const std::string target =
        form.SelectedTarget >= 0 && form.SelectedTarget < static_cast<int>(form.Targets.size())
            ? form.Targets[static_cast<size_t>(form.SelectedTarget)]
            : std::string();
    std::optional<int> project = TargetCode(target, "<PXID=");
    std::optional<int> folder = TargetCode(target, "<FXID=");
    if (!project || !folder) {
        ui.Beep();
        return false;
    }
    TFilterRule rule{*project, *folder, form.Option, LowerAscii(Trim(form.Match)),
                     form.StopProcessing};
    if (!WriteFilterRule(*path, rule)) {
        ui.Beep();
        return false;
    }
    if (!form.ExistingRule)
        form.Rules.push_back(form.Name);
    form.SelectedRule = static_cast<int>(form.Rules.size()) - 1;
    form.NameEnabled = false;
    form.Modified = false;
    form.ExistingRule = false;
    if (!WriteFilterList(form.ListPath, form.Rules))
        ui.Beep();
    return true;
}

void FilterFormDelete(TFilterForm& form, TUiServices& ui) {
    if (form.SelectedRule < 0 || form.SelectedRule >= static_cast<int>(form.Rules.size())) {
        ui.Beep();
        return;
    }
    const size_t index = static_cast<size_t>(form.SelectedRule);
    if (std::optional<std::string> path =
            FilterRulePath(form.ListPath, form.Account, form.Rules[index])) {
        std::error_code error;
        std::filesystem::remove(*path, error);
    }
    form.Rules.erase(form.Rules.begin() + static_cast<long>(index));
    form.SelectedRule = form.Rules.empty() ? -1 : std::max(0, form.SelectedRule - 1);
    if (!WriteFilterList(form.ListPath, form.Rules))
        ui.Beep();
    form.Modified = false;
}

void FilterFormMove(TFilterForm& form, int delta, TUiServices& ui) {
    const int other = form.SelectedRule + delta;
    if (form.SelectedRule < 0 || other < 0 || other >= static_cast<int>(form.Rules.size()) ||
        form.SelectedRule >= static_cast<int>(form.Rules.size())) {
        ui.Beep();
        return;
    }
    std::swap(form.Rules[static_cast<size_t>(form.SelectedRule)],
              form.Rules[static_cast<size_t>(other)]);
    form.SelectedRule = other;
}

void FilterFormDump(TFilterForm& form) {
    form.NameEnabled = true;
    form.Modified = false;
}

void FilterFormClose(TFilterForm& form, TUiServices& ui, const TMessageTexts& texts) {
    OfferSave(form, ui, texts);
    if (!WriteFilterList(form.ListPath, form.Rules))
        ui.Beep();
}

} // namespace pelmora
