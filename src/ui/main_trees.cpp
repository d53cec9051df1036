// The account tree and the project tree of the main window, shown on the workspace's trees;
// clicks, keys, pop-up menus and tree commands go to the workspace.

#include "ui/main_form.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

namespace pelmora {

void TMainForm::ConnectTrees() {
    FolderTreeView->Events = Work.AccountTreeEvents();
    ProjectTreeView->Events = Work.ProjectTreeEvents();
    FolderTreeView->SetTree(&Work.AccountTree);
    ProjectTreeView->SetTree(&Work.ProjectTree);
    FolderTreeView->OnDragOver = [this](TNode* source, TNode* target) {
        return Work.FolderTreeDragOver(source, target);
    };
    FolderTreeView->OnDragDrop = [this](TNode* source, TNode* target) {
        Work.FolderTreeDragDrop(source, target);
    };

    connect(FolderTreeView, &TMarkupTree::NodeClicked, this, [this](TNode*) {
        Work.FolderTreeClick();
        UpdateTreeMenus();
    });
    // Every change of a tree's selection, by the user or by a command, updates the status
    // bar and the menus (the trees' change events).
    connect(FolderTreeView->NodeModel(), &TNodeTreeModel::NodeSelected, this,
            [this](const QModelIndex& index) {
                Work.FolderTreeChange(FolderTreeView->NodeModel()->NodeOf(index));
                UpdateTreeMenus();
            });
    connect(ProjectTreeView->NodeModel(), &TNodeTreeModel::NodeSelected, this,
            [this](const QModelIndex& index) {
                Work.ProjectTreeChange(ProjectTreeView->NodeModel()->NodeOf(index));
            });
    // Moving with the keys shows the project as a click does; a mouse click runs on
    // NodeClicked once the press is handled.
    connect(FolderTreeView, &TMarkupTree::CurrentNodeChanged, this, [this](TNode* node) {
        if (QApplication::mouseButtons() == Qt::NoButton && node) {
            Work.FolderTreeClick();
            UpdateTreeMenus();
        }
    });

    connect(FolderTreeView, &QWidget::customContextMenuRequested, this,
            &TMainForm::ShowFolderTreePopup);
    connect(ProjectTreeView, &QWidget::customContextMenuRequested, this,
            &TMainForm::ShowProjectTreePopup);

    // The list's hooks (clear, row count, listing, counts) are the folder view's.
    Work.Hooks.SetControlsEnabled = [this](bool enabled) { FolderTreeView->setEnabled(enabled); };
    ShellState.RestorePanelsTreeHook = [this] { Work.RestorePanelsTrees(); };
}

void TMainForm::ConnectTreeCommands() {
    auto bind = [this](const char* name, void (TWorkspace::*command)()) {
        QAction* action = Actions.value(QString::fromLatin1(name));
        if (!action)
            return;
        action->setEnabled(true);
        action->setProperty(kBoundProperty, true);
        connect(action, &QAction::triggered, this, [this, command] {
            (Work.*command)();
            UpdateTreeMenus();
        });
    };
    bind("MenuAddAccount", &TWorkspace::AddNewAccount);
    bind("MenuDeleteCurrentAccount", &TWorkspace::FMDeleteAccountandallFoldersClick);
    bind("MenuSortProjects", &TWorkspace::SortProjects);
    bind("MenuSortAccounts", &TWorkspace::SortAccounts);
    bind("MenuShowPorjectNumbers", &TWorkspace::MenuShowPorjectNumbersClick);
    bind("MenuAddNewProject", &TWorkspace::FMAddNewProjectClick);
    bind("MenuDeleteProject", &TWorkspace::PMDeleteProjectClick);
    bind("MenuAddCusomtFolder", &TWorkspace::PMAddNewFolderClick);
    bind("MenuRenameCustomFolder", &TWorkspace::PMChangeNameClick);
    bind("MenuDeleteCustomFolder", &TWorkspace::PMRemoveCustomFolderClick);
    bind("FMAddNewProject", &TWorkspace::FMAddNewProjectClick);
    bind("FMDeleteAccountandallFolders", &TWorkspace::FMDeleteAccountandallFoldersClick);
    bind("PMAddNewFolder", &TWorkspace::PMAddNewFolderClick);
    bind("PMRemoveCustomFolder", &TWorkspace::PMRemoveCustomFolderClick);
    bind("PMChangeName", &TWorkspace::PMChangeNameClick);
    bind("PMDeleteProject", &TWorkspace::PMDeleteProjectClick);
    UpdateTreeMenus();
}

void TMainForm::AllowItem(const char* name, bool available) {
    // Items stay where they are; one that does not apply, that has no command yet or that a
    // running command holds is greyed. While a command runs the busy state owns the items.
    QAction* action = Actions.value(QString::fromLatin1(name));
    if (!action || Work.Busy())
        return;
    action->setVisible(true);
    action->setEnabled(available && action->property(kBoundProperty).toBool());
}

void TMainForm::UpdateTreeMenus() {
    const TAccountTreeMenu& menu = Work.AccountMenu();
    AllowItem("MenuDeleteCurrentAccount", menu.DeleteAccount);
    AllowItem("FMDeleteAccountandallFolders", menu.DeleteAccount);
    AllowItem("MenuDeleteProject", menu.DeleteProject);
}

void TMainForm::ShowFolderTreePopup(const QPoint& at) {
    if (TNode* node = FolderTreeView->NodeAt(at)) {
        if (Work.AccountTree.Selected() != node) {
            Work.AccountTree.Select(node);
            Work.FolderTreeClick();
        }
    }
    UpdateTreeMenus();
    FolderTreePOPUP->popup(FolderTreeView->viewport()->mapToGlobal(at));
}

void TMainForm::ShowProjectTreePopup(const QPoint& at) {
    TNode* node = ProjectTreeView->NodeAt(at);
    if (node && Work.ProjectTree.Selected() != node)
        Work.ProjectTree.Select(node);
    const TProjectTreeMenu items = Work.ProjectTreePOPUPPopup(Work.ProjectTree.Selected());
    AllowItem("PMAddNewFolder", items.AddCustomFolder);
    AllowItem("PMRemoveCustomFolder", items.RemoveCustomFolder);
    AllowItem("PMChangeName", items.ChangeFolderName);
    AllowItem("PMEmptyTrash", items.EmptyTrash);
    AllowItem("PMBackupProject", items.BackupProject);
    AllowItem("PMDeleteProject", items.DeleteProject);
    for (const char* name : {"PMShowAddressBook", "PMSelectAddressFromAddressbook",
                             "PMEnterAddressManually", "PMenuEditMainaddrr", "PMUpdatewMain"})
        AllowItem(name, items.AddressBookItems);
    ProjectTreePOPUP->popup(ProjectTreeView->viewport()->mapToGlobal(at));
}

} // namespace pelmora
