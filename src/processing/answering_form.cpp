#include "processing/answering_form.h"

#include "shell/atomic_file.h"
#include "paramtree/text_util.h"
#include "processing/answering_machine.h"
#include "shell/shell_state.h"
#include "store/account_settings.h"
#include "store/node_helpers.h"
#include "store/workspace.h"

#include <filesystem>
#include <system_error>

namespace pelmora {
namespace {

const std::string kAccountGap(33, ' ');
constexpr const char* kSampleName = "John Sample";
constexpr const char* kSampleAddress = "john.sample@example.com";

// The account number of a list line: the text after its first run of six blanks.
int LineAccount(const std::string& line) {
    size_t gap = line.find("      ");
    if (gap == std::string::npos)
        return -1;
    return NodeNumber("<XID=" + Trim(std::string_view(line).substr(gap)) + ">");
}

void Popup(TShell& shell, const std::string& caption, const std::string& text, int size) {
    TPopupRequest popup;
    popup.Caption = caption;
    popup.Text = text;
    popup.DisplayMs = 5000;
    popup.TextSize = size;
    popup.Modeless = false;
    popup.Large = true;
    shell.Ui().ShowPopup(popup);
}

} // namespace

std::string AnsweringFormTitle(const TMessageTexts& texts) {
    return "Pelmora v.3.0.5 - " + texts.Text(1, 13);
}

TAnsweringForm OpenAnsweringForm(TWorkspace& workspace) {
    TShell& shell = workspace.Shell();
    TAnsweringForm form;
    form.AddressBookDir = shell.Dirs().AddressBooks;
    for (int i = 0; i < workspace.AccountTree.TopCount(); ++i) {
        TNode* account = workspace.AccountTree.Top(i);
        form.Accounts.push_back(PlainCaption(CaptionBase(account->Text())) + kAccountGap +
                                std::to_string(NodeNumber(account->Text())));
        form.WebAddresses.push_back(workspace.ReadAccountSettings(account).WebAddress);
    }
    std::error_code error;
    const std::string dir = AnsweringMachineDirectory(form.AddressBookDir);
    CreatePrivateDirectories(dir);
    if (!std::filesystem::is_directory(dir, error)) {
        shell.PlaySound(TSound::Attention);
        TPopupRequest popup;
        popup.Caption = shell.Text(1, 13);
        popup.Text = shell.Text(0, 34);
        popup.DisplayMs = 5000;
        popup.TextSize = 13;
        shell.Ui().ShowPopup(popup);
    }
    return form;
}

void AnsweringFormSaveText(TAnsweringForm& form, TShell& shell) {
    if (!form.TextChanged || form.CurrentTextPath.empty())
        return;
    if (WriteFileAtomically(form.CurrentTextPath, form.Text))
        form.TextChanged = false;
    else
        shell.Ui().Beep();
}

void AnsweringFormSelect(TAnsweringForm& form, int index, TShell& shell) {
    AnsweringFormSaveText(form, shell);
    const int account = index >= 0 && index < static_cast<int>(form.Accounts.size())
                            ? LineAccount(form.Accounts[static_cast<size_t>(index)])
                            : -1;
    if (account < 0) {
        form.Selected = -1;
        form.ControlsEnabled = false;
        return;
    }
    form.Selected = index;
    form.ControlsEnabled = true;
    if (!PrepareAnswerFiles(form.AddressBookDir, account, shell.Text(1, 25)))
        shell.Ui().Beep();
    form.CurrentTextPath = AnswerTextPath(form.AddressBookDir, account);
    form.Text = ReadWholeFile(form.CurrentTextPath).value_or(shell.Text(1, 25));
    form.TextChanged = false;
    form.Active = ReadAnswerActive(AnswerSwitchPath(form.AddressBookDir, account));
}

void AnsweringFormActiveClick(TAnsweringForm& form, bool active, TShell& shell) {
    form.Active = active;
    if (form.Selected < 0)
        return;
    const int account = LineAccount(form.Accounts[static_cast<size_t>(form.Selected)]);
    if (!WriteAnswerActive(AnswerSwitchPath(form.AddressBookDir, account), active))
        shell.Ui().Beep();
}

void AnsweringFormPreview(const TAnsweringForm& form, TShell& shell) {
    if (form.Selected < 0)
        return;
    const std::string& line = form.Accounts[static_cast<size_t>(form.Selected)];
    const std::string caption = Trim(std::string_view(line).substr(0, line.find("   ")));
    const size_t open = caption.find('(');
    const std::string name = Trim(std::string_view(caption).substr(0, open));
    std::string address;
    if (open != std::string::npos) {
        size_t close = caption.find(')', open);
        address = Trim(std::string_view(caption).substr(
            open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
    }
    shell.PlaySound(TSound::Popped);
    Popup(shell, shell.Text(1, 27),
          ReplaceAnswerPlaceholders(form.Text, name, address,
                                    form.WebAddresses[static_cast<size_t>(form.Selected)],
                                    kSampleName, kSampleAddress),
          13);
}

void AnsweringFormHelp(TShell& shell) {
    std::string text = "\r\n\r\n";
    for (int slot = 19; slot <= 23; ++slot)
        text += shell.Text(1, slot);
    Popup(shell, shell.Text(1, 261), text + "\r\n" + shell.Text(1, 24), 11);
}

void AnsweringFormClose(TAnsweringForm& form, TShell& shell) {
    AnsweringFormSaveText(form, shell);
}

} // namespace pelmora
