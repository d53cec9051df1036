#pragma once
// TWorkspace: the program's state beyond the shell that the main window shows (the account
// tree, the shown project tree, the current account and project, the custom folders of the
// current project) and the commands on the two trees. The Qt window mirrors the trees
// through their observers, hands clicks and menu commands to these functions and fills in
// the hooks that reach the message list and the folder counts. Every question, pop-up and
// sound goes through the shell's TUiServices; failures are reported there and never thrown.

#include "paramtree/node_tree.h"
#include "paramtree/param_events.h"
#include "store/account_settings.h"
#include "store/custom_folders.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace pelmora {

class TShell;
class TUiServices;

// What the trees need from the rest of the main window; any hook may be empty.
struct TWorkspaceHooks {
    std::function<bool()> ShowingSearchResults; // the list shows search results
    std::function<void()> ClearMessageList;
    std::function<int()> MessageListRowCount;
    std::function<void(int folderCode)> ListFolder; // list a folder of the current project
    std::function<void()> RefreshCounts;            // refresh all folder counts now
    std::function<void(int delayMs)> ArmCountsRefresh;
    std::function<void()> StopNewMailBlinking; // and switch the light off
    // Disables / enables the message buttons, the list's popup menu and the account tree
    // around the selection handler.
    std::function<void(bool enabled)> SetControlsEnabled;
    // A command took or gave back the busy state (BusyKind tells which); the window
    // disables or enables the list, its menus and keys from it.
    std::function<void()> BusyChanged;
};

// What a command does to the shared state, for the one-command-at-a-time rule: while a
// message, tree or transfer command runs no other of these may start; folders may still be
// listed and browsed, except while a message command works on the listed rows.
enum class TCommandKind {
    None,     // no command runs
    Browse,   // listing, sorting, selecting a project; never holds the state
    Message,  // state changes, copy, move, delete, saving, removing attachments
    Tree,     // account, project and folder commands of the trees
    Transfer, // a transfer run, from its checks to its last question
};

// Which items of the account-tree popup and the "Projects"/"Accounts" menus are visible.
struct TAccountTreeMenu {
    bool DeleteAccount = false; // "Delete Current Account", "Delete Account and all Folders"
    bool DeleteProject = false; // "Delete Project"
};

// Which items of the project-tree popup are visible for a node.
struct TProjectTreeMenu {
    bool AddCustomFolder = false;
    bool RemoveCustomFolder = false;
    bool ChangeFolderName = false;
    bool EmptyTrash = false;
    bool BackupProject = false;
    bool DeleteProject = false;
    bool AddressBookItems = false; // show, select from address book, enter manually, edit,
                                   // update with main
};

class TWorkspace {
public:
    explicit TWorkspace(TShell& shell);
    ~TWorkspace();
    TWorkspace(const TWorkspace&) = delete;
    TWorkspace& operator=(const TWorkspace&) = delete;

    TShell& Shell() { return ShellState; }
    TUiServices& Ui();
    TWorkspaceHooks Hooks;

    TNodeTree AccountTree; // FolderTree
    TNodeTree ProjectTree; // ProjectTree

    // The remembered account and project nodes of the account tree (nullptr when none).
    TNode* CurrentAccountNode() const;
    TNode* CurrentProjectNode() const;
    const TCustomFolderTable& CustomFolders() const { return Folders; }
    const TAccountTreeMenu& AccountMenu() const { return AccountMenuState; }

    // Events for the two tree views (parameter clicks, popups, changes).
    TMarkupTreeEvents AccountTreeEvents();
    TMarkupTreeEvents ProjectTreeEvents();

    // --- One command at a time ---
    // The window pumps events while a command runs (progress, questions, pop-ups), so a click,
    // a key or the collection timer may arrive in the middle of one. Every command asks
    // BeginCommand first; a refused command changes nothing.
    TCommandKind BusyKind() const { return RunningKind; }
    const std::string& BusyCommand() const { return RunningName; }
    bool Busy() const { return RunningKind != TCommandKind::None; }
    // True when `kind` may start now. A message, tree or transfer command then holds the
    // state until EndCommand. Otherwise (unless quiet) the user is told why with
    // BusyRefusalText.
    bool BeginCommand(TCommandKind kind, const std::string& name, bool quiet = false);
    void EndCommand();
    // "<name> cannot start now: <running command> is still running. ..."
    std::string BusyRefusalText(const std::string& name) const;

    // --- Start and close of the main window ---
    // Mends folder indexes left without rows by a crash, loads the account tree, makes sure
    // a default account exists, selects, remembers and expands the first node.
    void FormCreateTrees();
    // Off when another process may be writing the store right now (a window beside an
    // unattended run, or the reverse): FormCreateTrees then leaves every index as it is.
    bool RepairIndexesAtStart = true;
    // Selects the first account's default project and runs the selection handler.
    void FirstActivationShowDefaultProject();
    // "Restore Panels": reload the account tree unless it changed, clear the project tree
    // and the list, make sure a default account exists and refresh the counts.
    void RestorePanelsTrees();
    // Saves the account tree (text 0/5 on failure) and the shown project tree when changed.
    bool FormCloseSaveTrees();

    // --- Tree files ---
    void LoadAccountTree();
    bool SaveAccountTree();
    // False when neither the project tree file nor a good copy of it exists (tree empty).
    bool LoadProjectTree(int project);
    bool SaveProjectTree(int project);
    // Saves the shown project tree when it changed.
    void SaveShownProjectTree();
    void BuildNewProjectTree(int project);
    std::string AccountTreePath() const;
    std::string ProjectTreePath(int project) const;
    // A tree whose file did not load whole (its repair declined or impossible) stays
    // read-only until it is loaded again: saves leave its file and safety copies alone and
    // no accounts or default projects are added to it, so nothing is created on disk that
    // the file, once restored, would not know.
    bool AccountTreeReadOnly() const { return AccountReadOnly; }
    bool ProjectTreeReadOnly(int project) const { return ReadOnlyProjects.count(project) > 0; }

    // --- Accounts and numbers ---
    void EnsureDefaultAccount();
    bool CreateAccount(bool isDefault);
    std::optional<int> NextProjectNumber() const;
    std::optional<int> NextDefaultProjectNumber() const;
    int NextAccountNumber() const;
    // Expands the account numbered `number`, selects its first parameter that is not set and
    // says in the account status bar what to fill in.
    void ShowNewAccount(int number);
    AccountSettings ReadAccountSettings(TNode* node) const;
    // Settings of every account in tree order.
    std::vector<AccountSettings> AllAccountSettings() const;

    // --- Account tree ---
    void FolderTreeClick();
    // The selection changed: status bar text and menu visibility.
    void FolderTreeChange(TNode* node);
    void FolderTreeParamClick(TNode* node, const std::string& href, std::string& value);
    bool FolderTreeDragOver(TNode* source, TNode* target) const;
    void FolderTreeDragDrop(TNode* source, TNode* target);
    TAccountTreeMenu FolderTreePopupItems(TNode* node) const;

    // --- Project tree ---
    void ProjectTreeParamClick(TNode* node, const std::string& href, std::string& value);
    void ProjectTreeParamPopup(TNode* node, const std::string& href,
                               std::vector<std::string>& values, bool& doPopup);
    void ProjectTreeChange(TNode* node);
    TProjectTreeMenu ProjectTreePOPUPPopup(TNode* node) const;

    // --- Commands ---
    void FMAddNewProjectClick();
    void PMDeleteProjectClick();
    void AddNewAccount();
    void FMDeleteAccountandallFoldersClick();
    void PMAddNewFolderClick();
    void PMRemoveCustomFolderClick();
    void PMChangeNameClick();
    void SortProjects();
    void SortAccounts();
    void MenuShowPorjectNumbersClick();
    // Deletes a project's address-book files and its store directory; false on a failure
    // (reported unless quiet) or for numbers below 1000.
    bool DeleteProjectFiles(int project, bool quiet);
    void RescanCustomFolders();

private:
    const std::string& Text(int module, int slot) const;
    void Popup(const std::string& caption, const std::string& text, int ms, int size, bool modeless,
               bool large = false);
    void PlayPopped();
    void PlayAttention();
    bool CreateProjectFiles(int project, int account, const std::string& plainName);
    void AddMissingAccountParameters();
    void RebuildAccountCaption(TNode* paramNode, const std::string& displayName,
                               const std::string& address);
    TNode* ShownProjectNode() const;
    // True (after saying why) when the account tree is read-only: commands that add or
    // delete accounts or projects, on disk and in the tree, are refused then.
    bool RefusedWhileAccountTreeReadOnly(const std::string& action);
    // Tells why a tree is read-only and what that means.
    void ShowReadOnlyNotice(const std::string& what, const std::string& path,
                            const std::string& why);

    class TRememberGuard;
    friend class TRememberGuard;

    TShell& ShellState; // Not owned.
    TCustomFolderTable Folders;
    TAccountTreeMenu AccountMenuState;
    TNode* RememberedAccount = nullptr; // Not owned; reset when its node goes.
    TNode* RememberedProject = nullptr; // Not owned; reset when its node goes.
    std::unique_ptr<TNodeTreeObserver> Guard;
    bool AccountReadOnly = false;
    std::set<int> ReadOnlyProjects;
    TCommandKind RunningKind = TCommandKind::None;
    std::string RunningName;
};

// Holds the workspace's busy state for one command: taken in the constructor (or refused,
// see TWorkspace::BeginCommand), given back in the destructor. A Browse scope holds nothing.
class TCommandScope {
public:
    TCommandScope(TWorkspace& work, TCommandKind kind, const std::string& name,
                  bool quiet = false);
    ~TCommandScope();
    TCommandScope(const TCommandScope&) = delete;
    TCommandScope& operator=(const TCommandScope&) = delete;
    // False when the command was refused.
    explicit operator bool() const { return Allowed; }

private:
    TWorkspace& Work; // Not owned.
    bool Allowed = false;
    bool Holding = false;
};

} // namespace pelmora
