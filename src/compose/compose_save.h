#pragma once
// Turning a message window's state into a message and writing it into the store: "Save"
// keeps it in the project's drafts folder (an edited stored message in its own file), "Send"
// queues it in the project's outbox, where the next transfer run picks it up. Each write is
// a whole new file (temporary name, flushed, renamed) and only then is an older copy (an
// earlier draft, the edited file) removed and the folder indexes brought in line, so a
// failed write never loses what the user wrote.

#include "compose/compose_form.h"

#include <string>

namespace pelmora {
class TShell;
}

namespace pelmora::compose {

// Fills form.Message from the fields. With full false only the sender part is redone (after
// a change of the sending account). False, after the pop-up that says which address is
// wrong, when a recipient or the sender does not look like an address; nothing is written.
bool BuildMessage(TComposeForm& form, TShell& shell, bool full);

// What Save or Send did, for the window to refresh the main window's list.
struct TFileResult {
    bool Written = false;
    std::string Target;  // the written file
    std::string OldFile; // a removed older copy (draft, edited file), empty when none
    int Project = 0;     // the project the file went into
    int FolderCode = 0;  // drafts, outbox (or the edited file's folder)
};

// "Save" and "Send". Both check the account and To fields first (pop-ups 4/14 and 4/27).
// Send on success clears Modified; the window then closes.
TFileResult SaveMessage(TComposeForm& form, TShell& shell);
TFileResult SendMessage(TComposeForm& form, TShell& shell);

// The folder code of a folder directory of the store (drafts 117, outbox 115, ...); 0 when
// the directory is none of a project's fixed folders.
int FolderCodeOfDirectory(const std::string& directory);

} // namespace pelmora::compose
