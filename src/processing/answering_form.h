#pragma once
// The answering machine's settings window without its widgets: the account list, the reply
// text being edited and the "Active" switch of the selected account. The Qt window copies the
// text field and the check box into a TAnsweringForm and calls these commands; the files are
// those of answering_machine.h.

#include <string>
#include <vector>

namespace pelmora {

class TMessageTexts;
class TShell;
class TWorkspace;

struct TAnsweringForm {
    std::string AddressBookDir;
    // ListBox1: account caption + 33 blanks + account number, one line per account.
    std::vector<std::string> Accounts;
    std::vector<std::string> WebAddresses; // parallel to Accounts
    int Selected = -1;
    bool ControlsEnabled = false; // check box, text field and preview button
    bool Active = false;          // CheckBox1
    std::string Text;             // Memo1
    bool TextChanged = false;
    std::string CurrentTextPath; // the file the text field belongs to
};

// "Pelmora v.3.0.5 - " + text 1/13.
std::string AnsweringFormTitle(const TMessageTexts& texts);
// Builds the account list and creates the "Answering Machine" directory (a failure plays the
// attention sound and shows text 0/34).
TAnsweringForm OpenAnsweringForm(TWorkspace& workspace);
// Selecting an account (-1: none): saves a changed text, then loads or creates the account's
// files and shows them.
void AnsweringFormSelect(TAnsweringForm& form, int index, TShell& shell);
// Leaving the text field: saves the text when changed (a beep when it cannot be saved).
void AnsweringFormSaveText(TAnsweringForm& form, TShell& shell);
// Clicking "Active": writes the switch of the selected account at once.
void AnsweringFormActiveClick(TAnsweringForm& form, bool active, TShell& shell);
// "Show preview": the text with the placeholders filled for a sample sender.
void AnsweringFormPreview(const TAnsweringForm& form, TShell& shell);
// The help button.
void AnsweringFormHelp(TShell& shell);
// Closing: saves a changed text.
void AnsweringFormClose(TAnsweringForm& form, TShell& shell);

} // namespace pelmora
