#pragma once
// The filter window without its widgets: the account's rule names, the fields of the rule
// being edited, the drop-down list of target folders, and the window's commands. The Qt
// window copies the widget values into a TFilterForm, calls a command and shows the form
// again. Questions, beeps and messages go through TUiServices.

#include <string>
#include <vector>

namespace pelmora {

class TMessageTexts;
class TNode;
class TUiServices;
class TWorkspace;

struct TFilterForm {
    int Account = 0;
    std::string DisplayName;
    std::string ListPath; // account + ".fdf" in the address-book directory

    std::vector<std::string> Rules; // RulesBox
    int SelectedRule = -1;
    // ProjectCombo: "account>project>folder" + 84 blanks + "<PXID=p><FXID=f>".
    std::vector<std::string> Targets;
    int SelectedTarget = 0;
    std::vector<std::string> Options; // OptionCombo: texts 1/213 to 1/216

    std::string Name;
    bool NameEnabled = true;
    int Option = 0;
    std::string Match;
    bool StopProcessing = false;

    bool Modified = false;     // set by the window on any edit of the fields above
    bool ExistingRule = false; // the fields hold a rule opened from the list
};

// The targets of an account node: per project (children numbered 1000 to 99999999, in tree
// order) its inbox, its custom folders from 600 up to the first free code, its trash and its
// drafts.
std::vector<std::string> FilterTargets(TWorkspace& workspace, TNode* accountNode);

// Opens the window for the account of a node: selects the account node, runs the account-tree
// click, and fills the form (rules from the ".fdf" file when it exists).
TFilterForm OpenFilterForm(TWorkspace& workspace, TNode* node);
// "Pelmora v.3.0.5 - " + text 1/102 + " - " + the display name in upper case.
std::string FilterFormTitle(const TFilterForm& form, const TMessageTexts& texts);

// Selecting (or double-clicking) a rule of the list.
void FilterFormSelectRule(TFilterForm& form, int index, TUiServices& ui,
                          const TMessageTexts& texts);
// "Add": empty fields for a new rule.
void FilterFormAdd(TFilterForm& form, TUiServices& ui, const TMessageTexts& texts);
// "Save": writes the rule file and the list; false when refused or nothing to save.
bool FilterFormSave(TFilterForm& form, TUiServices& ui, const TMessageTexts& texts);
// "Delete": deletes the selected rule's file and name.
void FilterFormDelete(TFilterForm& form, TUiServices& ui);
// "Up" / "Down": moves the selected name in the list shown.
void FilterFormMove(TFilterForm& form, int delta, TUiServices& ui);
// "Dump/Cancel".
void FilterFormDump(TFilterForm& form);
// "Ready / Close" and closing the window: offers to save, then rewrites the list file.
void FilterFormClose(TFilterForm& form, TUiServices& ui, const TMessageTexts& texts);

} // namespace pelmora
