// Adding, removing and renaming custom folders of the shown project.

#include "store/workspace.h"

#include "paramtree/markup.h"
#include "paramtree/text_util.h"
#include "shell/shell_state.h"
#include "store/message_files.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "shell/atomic_file.h"

#include <filesystem>

namespace pelmora {

namespace fs = std::filesystem;

namespace {

// The selected custom-folder node of the project tree, or nullptr.
TNode* SelectedCustomFolder(const TNodeTree& tree) {
    TNode* node = tree.Selected();
    if (!node || node->Level() != 1 || !IsCustomFolderCode(NodeNumber(node->Text())))
        return nullptr;
    return node;
}

} // namespace

void TWorkspace::PMAddNewFolderClick() {
    const TCommandScope busy(*this, TCommandKind::Tree, "Add Custom Folder");
    if (!busy)
        return;
    const int project = ShellState.CurrentProject;
    if (!ProjectTree.Selected() || project < 0) {
        Popup(Text(1, 261), Text(1, 108), 5000, 12, true);
        return;
    }
    const std::optional<std::string> typed = Ui().QueryText(Text(1, 291), Text(1, 291), "", false);
    if (!typed)
        return;
    const std::string name = typed->empty() ? Text(3, 14) : *typed;
    TNode* inbox = FindTopLevel(ProjectTree, kFolderInbox);
    if (!inbox) {
        PlayPopped();
        Popup(Text(1, 261), Text(1, 110), 5000, 12, true);
        return;
    }
    RescanCustomFolders();
    if (!Folders.FirstFree) {
        PlayPopped();
        return;
    }
    const int code = *Folders.FirstFree;
    const std::string path = FolderPath(ShellState.Dirs().Store, project, code);
    std::error_code ec;
    CreatePrivateDirectories(path);
    if (!fs::is_directory(path, ec) || !WriteFolderLabel(path, name)) {
        PlayAttention();
        Popup(Text(1, 262), Text(0, 34), 5000, 13, false);
        return;
    }
    ProjectTree.Add(inbox, FolderNodeText(code, 12, EscapeParam(name)));
    RescanCustomFolders();
    ShellState.ProjectTreeChanged = true;
    SaveProjectTree(project);
    ProjectTree.Expand(inbox);
}

void TWorkspace::PMRemoveCustomFolderClick() {
    const TCommandScope busy(*this, TCommandKind::Tree, "Remove Custom Folder");
    if (!busy)
        return;
    const int project = ShellState.CurrentProject;
    TNode* node = SelectedCustomFolder(ProjectTree);
    if (!node || project < 0) {
        Popup(Text(1, 261), Text(1, 110), 5000, 12, true);
        return;
    }
    const int code = NodeNumber(node->Text());
    const std::string path = FolderPath(ShellState.Dirs().Store, project, code);
    // The list must have shown the folder empty, and the folder must hold no message
    // files: a list showing another folder must never let messages be deleted.
    bool listEmpty = !Hooks.MessageListRowCount || Hooks.MessageListRowCount() == 0;
    bool folderEmpty = CountMessageFiles(path + "*.eml?").Total == 0;
    if (!listEmpty || !folderEmpty) {
        PlayPopped();
        Popup(Text(1, 262), Text(1, 91), 6000, 12, true);
        return;
    }
    std::error_code ec;
    fs::remove_all(path, ec);
    if (ec || fs::exists(fs::symlink_status(path, ec))) {
        PlayAttention();
        Popup(Text(1, 262), Text(0, 10) + ShellState.Texts().Own(TOwnText::ProjectDirectory) + path, 5000, 13, false);
        return;
    }
    TNode* parent = node->Parent();
    ProjectTree.Delete(node);
    ProjectTree.Select(parent);
    RescanCustomFolders();
    ShellState.ProjectTreeChanged = true;
    SaveProjectTree(project);
}

void TWorkspace::PMChangeNameClick() {
    const TCommandScope busy(*this, TCommandKind::Tree, "Rename Custom Folder");
    if (!busy)
        return;
    const int project = ShellState.CurrentProject;
    TNode* node = SelectedCustomFolder(ProjectTree);
    if (!node || project < 0) {
        Popup(Text(1, 261), Text(1, 110), 3000, 12, true);
        return;
    }
    const int code = NodeNumber(node->Text());
    TCustomFolder* folder = Folders.At(code);
    const std::string oldName = folder ? folder->Name : PlainCaption(CaptionBase(node->Text()));
    const std::string name =
        Trim(Ui().QueryText(Text(1, 113), Text(1, 113), oldName, false).value_or(""));
    if (name.empty())
        return;
    if (folder)
        folder->Name = name;
    if (!WriteFolderLabel(FolderPath(ShellState.Dirs().Store, project, code), name))
        return;
    ProjectTree.SetText(node, FolderNodeText(code, 12, EscapeParam(name)));
    if (Hooks.RefreshCounts)
        Hooks.RefreshCounts();
    ShellState.ProjectTreeChanged = true;
    SaveProjectTree(project);
}

} // namespace pelmora
