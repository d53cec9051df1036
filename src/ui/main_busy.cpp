// The main window while a command runs. The core's workspace keeps the busy state and refuses
// a second command with a message; the window follows it so that the user cannot start one:
// while a message command works on the listed rows the list, its menu and keys, the message
// buttons and both trees are off, and while any command runs (a transfer run included) the
// menu items and keys that start message, tree and transfer commands are off. A transfer
// run leaves the list to browse and read; F8 and the other transfer items then stay on and
// bring the progress window forward.

#include "ui/main_form.h"

#include "ui/message_list_menu.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>
#include <QTreeView>

namespace pelmora {

namespace {

// Items that start a command on the listed rows.
const char* const kMessageCommandItems[] = {
    "MMenuToggleReadUnread", "MMenuToggelFlag",  "MMenuToggleCheck",
    "MMToggleOrphan",        "MMenuCopyMessage", "MMenuMoveMessagetootherProject",
    "MMenuDeleteMessage",    "mmenuremoveattachments",
};

// Items of the menus and tree popups that start tree commands.
const char* const kTreeCommandItems[] = {
    "MenuAddAccount",         "MenuDeleteCurrentAccount", "MenuSortProjects",
    "MenuSortAccounts",       "MenuAddNewProject",        "MenuDeleteProject",
    "MenuAddCusomtFolder",    "MenuRenameCustomFolder",   "MenuDeleteCustomFolder",
    "FMAddNewProject",        "FMDeleteAccountandallFolders", "PMAddNewFolder",
    "PMRemoveCustomFolder",   "PMChangeName",             "PMDeleteProject",
    "PMEmptyTrash",
};

// Items that start transfer runs.
const char* const kTransferItems[] = {
    "MenuSendReceiveforAll",      "MenuSendRetrieveMailforSelected", "MenuRetrieveMailforAll",
    "MenuRetrieveMailforSelected", "MenuSendMailforAllAccounts",     "MenuSendMailforSelectedAccount",
    "FMSendandRetrieve",          "FMRetrieveMail",                  "FMSendMail",
};

} // namespace

void TMainForm::ConnectBusyState() {
    Work.Hooks.BusyChanged = [this] { ApplyBusyState(); };
    // The popup menu switches some items on as it opens: switch them off again.
    if (MailMenuPopup)
        connect(MailMenuPopup, &QMenu::aboutToShow, this, [this] {
            if (Work.Busy())
                ApplyBusyState();
        });
}

void TMainForm::ApplyBusyState() {
    const TCommandKind kind = Work.BusyKind();
    if (kind == TCommandKind::None) {
        for (const QPointer<QAction>& action : BusyDisabled) {
            if (action)
                action->setEnabled(true);
        }
        BusyDisabled.clear();
        MessageListView->setEnabled(true);
        FolderTreeView->setEnabled(true);
        ProjectTreeView->setEnabled(true);
        ApplyMenuState(); // the message buttons as the list allows them
        UpdateTreeMenus(); // items that do not apply to the selection stay greyed
        return;
    }

    auto off = [this](QAction* action) {
        if (!action || !action->isEnabled())
            return;
        action->setEnabled(false);
        BusyDisabled.append(action);
    };
    for (const char* name : kMessageCommandItems)
        off(MailMenuPopup ? MailMenuPopup->Item(QString::fromLatin1(name)) : nullptr);
    for (const char* name : kTreeCommandItems)
        off(Actions.value(QString::fromLatin1(name)));
    if (kind != TCommandKind::Transfer) {
        for (const char* name : kTransferItems)
            off(Actions.value(QString::fromLatin1(name)));
    }
    if (kind == TCommandKind::Message) {
        // The rows are being worked on: nothing may select, list or drop meanwhile.
        MessageListView->setEnabled(false);
        FolderTreeView->setEnabled(false);
        ProjectTreeView->setEnabled(false);
        for (QToolButton* button : Buttons)
            button->setEnabled(false);
    }
}

} // namespace pelmora
