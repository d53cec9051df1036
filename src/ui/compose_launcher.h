#pragma once
// TComposeLauncher: the main window's side of the message windows. It takes the composition
// context from the main window's selection, opens message windows for the list's commands
// (New Message, Open and the double click, Edit Message, Reply, Reply to All, Forward, Print
// Message), lists them in the "View" menu, closes them on "Close ALL windows", opens the
// attachments window for "View/Save Attachments", and refreshes the list after a window
// wrote into the listed folder.

#include "compose/compose_form.h"

#include <QObject>

#include <memory>
#include <string>
#include <vector>

namespace pelmora {

class TFolderView;
class TMainForm;
class TPelmoraMailForm;

class TComposeLauncher : public QObject {
    Q_OBJECT
public:
    TComposeLauncher(TMainForm& main, TFolderView& view);

    // Runs a mail-menu command that opens a window; false when the name is none of them.
    bool Command(const QString& name);

    // Opens a window; nullptr when it closed at once (no file for a mode that needs one).
    TPelmoraMailForm* OpenWindow(const compose::TComposeContext& context, compose::TComposeMode mode,
                                 const std::string& file, bool viewOnly, bool print);

private:
    bool Refresh();
    std::string SelectedFile() const;
    void ViewSaveAttachments();

    TMainForm& Main;   // Not owned.
    TFolderView& View; // Not owned.
    compose::TComposeContext Context;
    // Messages read for the attachments window; their private directories (which hold the
    // files opened from it) stay until the main window goes.
    std::vector<std::unique_ptr<compose::TComposeForm>> Viewed;
};

} // namespace pelmora
