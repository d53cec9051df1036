// Commands on the account tree: projects and accounts added and deleted, sorting, moving
// projects, the project-number overview, status texts and popup-menu visibility.

#include "store/workspace.h"

#include "paramtree/markup.h"
#include "paramtree/text_util.h"
#include "shell/shell_state.h"
#include "store/node_helpers.h"
#include "store/project_info.h"
#include "store/store_layout.h"

#include <cstring>
#include <filesystem>

namespace pelmora {

namespace fs = std::filesystem;

namespace {

// Names compare without regard to case, in the collation of the user's locale.
bool CaptionLess(const TNode& a, const TNode& b) {
    const std::string left = LowerAscii(PlainCaption(CaptionBase(a.Text())));
    const std::string right = LowerAscii(PlainCaption(CaptionBase(b.Text())));
    return std::strcoll(left.c_str(), right.c_str()) < 0;
}

} // namespace

void TWorkspace::FMAddNewProjectClick() {
    const TCommandScope busy(*this, TCommandKind::Tree, "Add New Project");
    if (!busy)
        return;
    TNode* selected = AccountTree.Selected();
    if (!selected) {
        PlayPopped();
        Popup(Text(1, 261), Text(1, 109), 5000, 12, true);
        return;
    }
    if (RefusedWhileAccountTreeReadOnly("no project can be added"))
        return;
    const std::string name = Ui().QueryText(Text(1, 291), Text(1, 291), "", false).value_or("");
    if (!name.empty()) {
        SaveShownProjectTree();
        std::optional<int> project = NextProjectNumber();
        if (!project) {
            PlayPopped();
        } else {
            TNode* account = AccountOf(selected);
            TNode* node =
                AccountTree.Add(account, ProjectNodeText(*project, EscapeParam(name), "#251080"));
            AccountTree.Select(node);
            ShellState.CurrentProject = *project;
            BuildNewProjectTree(*project);
            CreateProjectFiles(*project, NodeNumber(account->Text()), name);
        }
    }
    SaveAccountTree();
    FolderTreeClick();
}

bool TWorkspace::DeleteProjectFiles(int project, bool quiet) {
    if (project < kFirstUserProject)
        return false;
    bool ok = true;
    const std::string books = ShellState.Dirs().AddressBooks;
    const std::string prefix = std::to_string(project) + ".";
    std::error_code ec;
    std::vector<fs::path> doomed;
    for (fs::directory_iterator it(books, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.rfind(prefix, 0) == 0 && !it->is_directory(typeError))
            doomed.push_back(it->path());
    }
    for (const fs::path& path : doomed) {
        std::error_code removeError;
        if (!fs::remove(path, removeError) || removeError)
            ok = false;
    }
    if (!ok && !quiet) {
        PlayAttention();
        Popup(Text(1, 262), Text(0, 10) + " Addressbook-file " + books + std::to_string(project),
              5000, 13, false);
    }
    const std::string dir = ShellState.Dirs().Store + std::to_string(project);
    if (fs::exists(fs::symlink_status(dir, ec))) {
        std::error_code removeError;
        fs::remove_all(dir, removeError);
        if (removeError || fs::exists(fs::symlink_status(dir, ec))) {
            ok = false;
            if (!quiet) {
                PlayAttention();
                Popup(Text(1, 262), Text(0, 10) + " Project directory: " + dir, 5000, 13, false);
            }
        }
    }
    return ok;
}

void TWorkspace::PMDeleteProjectClick() {
    const TCommandScope busy(*this, TCommandKind::Tree, "Delete Project");
    if (!busy)
        return;
    if (!AccountTree.Selected()) {
        Popup(Text(1, 261), Text(1, 109), 5000, 12, true);
        return;
    }
    TNode* projectNode = ShownProjectNode();
    const int project = ShellState.CurrentProject;
    if (!ProjectTree.Selected() || !projectNode || project < kFirstUserProject) {
        Popup(Text(1, 261), Text(1, 108), 5000, 12, true);
        return;
    }
    if (RefusedWhileAccountTreeReadOnly("no project can be deleted"))
        return;
    PlayPopped();
    if (project >= kFirstDefaultProject) {
        Popup(Text(1, 262), "\r\n\r\n" + Text(1, 328), 4000, 13, false);
        return;
    }
    bool check = false;
    if (Ui().AskDialog(Text(1, 300), Text(1, 304), 12, check, false) != kAskFirst)
        return;
    PlayAttention();
    if (Ui().AskDialog(Text(1, 300), Text(1, 305), 12, check, false) != kAskFirst)
        return;

    bool hadAddresses = false;
    if (TNode* book = FindTopLevel(ProjectTree, kNodeAddressBook)) {
        for (int i = 0; i < book->ChildCount(); ++i) {
            if (NodeNumber(book->Child(i)->Text()) != kNodeEmptyAddressBook)
                hadAddresses = true;
        }
    }
    if (Hooks.ClearMessageList)
        Hooks.ClearMessageList();
    ProjectTree.Clear();
    ShellState.ProjectTreeChanged = false;
    DeleteProjectFiles(project, !hadAddresses);
    AccountTree.Delete(projectNode);
    ShellState.CurrentProject = -1;
    Folders = TCustomFolderTable{};
    SaveAccountTree();
    if (Hooks.RefreshCounts)
        Hooks.RefreshCounts();
}

void TWorkspace::FMDeleteAccountandallFoldersClick() {
    const TCommandScope busy(*this, TCommandKind::Tree, "Delete Account");
    if (!busy)
        return;
    TNode* selected = AccountTree.Selected();
    if (!selected)
        selected = RememberedAccount;
    if (!selected) {
        Popup(Text(1, 261), Text(1, 109), 5000, 12, true);
        return;
    }
    if (RefusedWhileAccountTreeReadOnly("no account can be deleted"))
        return;
    PlayPopped();
    bool check = false;
    if (Ui().AskDialog(Text(1, 324), Text(1, 324), 12, check, false) != kAskFirst)
        return;
    PlayAttention();
    if (Ui().AskDialog(Text(1, 324), Text(1, 325), 12, check, false) != kAskFirst)
        return;

    ProjectTree.Clear();
    if (Hooks.ClearMessageList)
        Hooks.ClearMessageList();
    ShellState.CurrentProject = -1;
    ShellState.ProjectTreeChanged = false;
    Folders = TCustomFolderTable{};
    TNode* account = AccountOf(selected);
    AccountTree.Select(account);
    for (int i = 0; i < account->ChildCount(); ++i) {
        int number = NodeNumber(account->Child(i)->Text());
        if (number >= kFirstUserProject && number <= kLastDefaultProject)
            DeleteProjectFiles(number, true);
    }
    AccountTree.Delete(account);
    AccountTree.Select(AccountTree.First());
    SaveAccountTree();
}

void TWorkspace::SortAccounts() {
    const TCommandScope busy(*this, TCommandKind::Tree, "Sort Accounts");
    if (!busy)
        return;
    AccountTree.SortAmong(
        nullptr, [](const TNode& n) { return IsAccountNode(&n); }, CaptionLess);
    ShellState.AccountTreeChanged = true;
}

void TWorkspace::SortProjects() {
    const TCommandScope busy(*this, TCommandKind::Tree, "Sort Projects");
    if (!busy)
        return;
    auto isProject = [](const TNode& n) { return NodeNumber(n.Text()) > 999; };
    for (int i = 0; i < AccountTree.TopCount(); ++i)
        AccountTree.SortAmong(AccountTree.Top(i), isProject, CaptionLess);
    ShellState.AccountTreeChanged = true;
}

bool TWorkspace::FolderTreeDragOver(TNode* source, TNode* target) const {
    return source && target && source != target && IsProjectNode(source) &&
           NodeNumber(source->Text()) >= kFirstUserProject &&
           NodeNumber(target->Text()) >= kFirstUserProject && target->Parent();
}

void TWorkspace::FolderTreeDragDrop(TNode* source, TNode* target) {
    if (!FolderTreeDragOver(source, target))
        return;
    const TCommandScope busy(*this, TCommandKind::Tree, "Move Project");
    if (!busy)
        return;
    if (NodeNumber(source->Text()) >= kFirstDefaultProject &&
        AccountOf(source) != AccountOf(target)) {
        PlayPopped();
        Popup(Text(1, 262), "\r\n\r\n" + Text(1, 328), 4000, 13, false);
        return;
    }
    // Move counts the row with the dragged node still in place, so this lands right
    // before the target.
    AccountTree.Move(source, target->Parent(), target->Index());
    AccountTree.Select(source);
    ShellState.AccountTreeChanged = true;
    FolderTreeClick();
}

void TWorkspace::MenuShowPorjectNumbersClick() {
    std::string text;
    for (int i = 0; i < AccountTree.TopCount(); ++i) {
        TNode* account = AccountTree.Top(i);
        bool first = true;
        for (int j = 0; j < account->ChildCount(); ++j) {
            TNode* project = account->Child(j);
            int number = NodeNumber(project->Text());
            if (number <= 999)
                continue;
            if (first)
                text += "\r\n";
            first = false;
            text += Text(2, 11) + PlainCaption(CaptionBase(account->Text())) + ", " + Text(1, 288) +
                    ": " + PlainCaption(CaptionBase(project->Text())) + " > " +
                    std::to_string(number) + "\r\n";
        }
    }
    Popup(Text(1, 261), text, 5000, 11, false, true);
}

void TWorkspace::FolderTreeChange(TNode* node) {
    AccountMenuState = FolderTreePopupItems(node);
    if (ShellState.Closing || !node)
        return;
    std::string text = PlainCaption(node->Text());
    if (node->Parent())
        text = PlainCaption(AccountOf(node)->Text()) + ": " + text;
    Ui().SetStatusText(TStatusBar::Folder, text);
}

void TWorkspace::ProjectTreeChange(TNode* node) {
    if (ShellState.Closing || !node)
        return;
    std::string text = PlainCaption(node->Text());
    if (node->Parent() || node != ProjectTree.First())
        text = PlainCaption(ProjectTree.First()->Text()) + ": " + text;
    Ui().SetStatusText(TStatusBar::Message, text);
}

TAccountTreeMenu TWorkspace::FolderTreePopupItems(TNode* node) const {
    TAccountTreeMenu menu;
    if (!node)
        return menu;
    menu.DeleteAccount = node->Level() == 0;
    int number = NodeNumber(node->Text());
    menu.DeleteProject =
        IsProjectNode(node) && number >= kFirstUserProject && number < kFirstDefaultProject;
    return menu;
}

TProjectTreeMenu TWorkspace::ProjectTreePOPUPPopup(TNode* node) const {
    TProjectTreeMenu menu;
    menu.BackupProject = true;
    menu.DeleteProject = ShellState.CurrentProject >= kFirstUserProject &&
                         ShellState.CurrentProject < kFirstDefaultProject;
    if (!node)
        return menu;
    TNode* top = node;
    while (top->Parent())
        top = top->Parent();
    const int topNumber = NodeNumber(top->Text());
    if (topNumber == kNodeAddressBook) {
        menu.AddressBookItems = true;
        menu.BackupProject = false;
        menu.DeleteProject = false;
    } else if (topNumber == kFolderInbox) {
        menu.AddCustomFolder = true;
        menu.RemoveCustomFolder = true;
        menu.ChangeFolderName = true;
    } else if (topNumber == kFolderTrash) {
        menu.EmptyTrash = true;
    }
    return menu;
}

} // namespace pelmora
