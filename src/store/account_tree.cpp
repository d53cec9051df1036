// Loading, saving and creating accounts in the account tree, and the number allocators.

#include "store/workspace.h"

#include "shell/atomic_file.h"
#include "paramtree/markup.h"
#include "paramtree/markup_layout.h"
#include "paramtree/tree_file.h"
#include "shell/shell_state.h"
#include "store/account_parameters.h"
#include "store/node_helpers.h"
#include "store/project_info.h"
#include "store/store_layout.h"

#include <filesystem>
#include <set>
#include <sys/stat.h>

namespace pelmora {

namespace {

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Project numbers already used by nodes of the account tree.
std::set<int> ProjectNumbersInTree(const TNodeTree& tree) {
    std::set<int> numbers;
    tree.Walk([&numbers](TNode& node) {
        if (node.Level() == 1)
            numbers.insert(NodeNumber(node.Text()));
    });
    return numbers;
}

} // namespace

std::string TWorkspace::AccountTreePath() const {
    return ShellState.Dirs().Store + "folders.tree";
}

void TWorkspace::LoadAccountTree() {
    const std::string path = AccountTreePath();
    TTreeFileSafety safety;
    safety.Mode = kPrivateFileMode;
    safety.BackupFailedText = "Cannot create " + path +
                              ".backup Foldertree data backup file! Disk full or file in use..?!";
    safety.BackupFailedMs = 6000;
    safety.CorruptQuestion = Text(0, 7);
    safety.RepairFailedText = Text(0, 9);
    safety.RepairFailedMs = 6000;
    safety.PlayPopped = [this] { PlayPopped(); };
    safety.PlayAttention = [this] { PlayAttention(); };
    safety.WarningCaption = Text(1, 262);
    std::string why;
    AccountReadOnly = !TreeMayBeSaved(LoadTreeFileSafely(path, AccountTree, Ui(), safety, &why));
    if (AccountReadOnly)
        ShowReadOnlyNotice("account tree", path, why);
    AddMissingAccountParameters();
}

bool TWorkspace::SaveAccountTree() {
    if (AccountReadOnly)
        return false;
    if (!WriteTreeFile(AccountTreePath(), AccountTree, kPrivateFileMode))
        return false;
    ShellState.AccountTreeChanged = false;
    return true;
}

// Accounts written before the connection parameters existed get them with their first
// values, so they can be set like the others.
void TWorkspace::AddMissingAccountParameters() {
    const TMessageTexts& texts = ShellState.Texts();
    for (int i = 0; i < AccountTree.TopCount(); ++i) {
        TNode* account = AccountTree.Top(i);
        if (!IsAccountNode(account))
            continue;
        TNode* server = FindBelow(account, kNodeServerSettings);
        if (!server)
            continue;
        for (const TAccountParameter& param : AccountParameters()) {
            if (!param.UnderServerSettings || FindBelow(account, param.Code))
                continue;
            AccountTree.Add(server, InitialParameterNode(param, texts, {}));
            ShellState.AccountTreeChanged = true;
        }
    }
}

void TWorkspace::EnsureDefaultAccount() {
    if (AccountReadOnly)
        return;
    for (int i = 0; i < AccountTree.TopCount(); ++i) {
        if (IsAccountNode(AccountTree.Top(i)))
            return;
    }
    CreateAccount(true);
}

int TWorkspace::NextAccountNumber() const {
    int highest = 0;
    std::set<int> used;
    for (int i = 0; i < AccountTree.TopCount(); ++i) {
        int number = NodeNumber(AccountTree.Top(i)->Text());
        highest = std::max(highest, number);
        used.insert(number);
    }
    int next = std::max(highest + 1, 2);
    if (next < 100)
        return next;
    // Numbers from 100 up are no accounts: take a free one below instead.
    for (int number = 2; number < 100; ++number) {
        if (!used.count(number))
            return number;
    }
    return -1;
}

// No new project numbers while the account tree is read-only: a project made now would
// hold mail that the restored file does not know.
std::optional<int> TWorkspace::NextProjectNumber() const {
    if (AccountReadOnly)
        return std::nullopt;
    const std::set<int> inTree = ProjectNumbersInTree(AccountTree);
    for (int number = kFirstUserProject; number <= kLastUserProject; ++number) {
        if (!inTree.count(number) &&
            !DirectoryExists(ShellState.Dirs().Store + std::to_string(number)))
            return number;
    }
    return std::nullopt;
}

std::optional<int> TWorkspace::NextDefaultProjectNumber() const {
    if (AccountReadOnly)
        return std::nullopt;
    const std::set<int> inTree = ProjectNumbersInTree(AccountTree);
    for (int number = kFirstDefaultProject; number <= kLastDefaultProject; ++number) {
        if (!inTree.count(number) &&
            !DirectoryExists(ShellState.Dirs().Store + std::to_string(number)))
            return number;
    }
    return std::nullopt;
}

bool TWorkspace::RefusedWhileAccountTreeReadOnly(const std::string& action) {
    if (!AccountReadOnly)
        return false;
    PlayPopped();
    Popup(Text(1, 262),
          "The account tree is read-only because its file was not loaded completely; " + action +
              " now.",
          6000, 13, false);
    return true;
}

bool TWorkspace::CreateProjectFiles(int project, int account, const std::string& plainName) {
    bool ok = EnsureProjectDirectories(ShellState.Dirs().Store, project);
    return WriteProjectInfo(ShellState.Dirs().Store, project, {account, plainName}) && ok;
}

bool TWorkspace::CreateAccount(bool isDefault) {
    if (RefusedWhileAccountTreeReadOnly("no account can be added"))
        return false;
    const TMessageTexts& texts = ShellState.Texts();
    bool ok = true;
    int number = isDefault ? 1 : NextAccountNumber();
    if (number < 0) {
        ok = false;
    } else {
        std::string numberText = isDefault ? "001" : std::to_string(number);
        std::string display = isDefault ? Text(1, 326) : Text(3, 14);
        std::string address = Text(3, 14);

        AccountTree.BeginUpdate();
        TNode* account = AccountTree.AddFirst(AccountNodeText(numberText, display, address));
        TNode* profile =
            AccountTree.Add(account, "<IMG src=\"idx:6\"><XID=101> <b><font color=#303090>" +
                                         Text(1, 323) + "</font></b>");
        TNode* server = AccountTree.Add(profile, "<XID=102><b>" + Text(1, 104) + "</b>");
        for (const TAccountParameter& param : AccountParameters()) {
            TNode* parent = param.UnderServerSettings ? server : profile;
            AccountTree.Add(parent, InitialParameterNode(param, texts, display));
        }

        std::optional<int> project = NextDefaultProjectNumber();
        if (project) {
            AccountTree.Add(account, ProjectNodeText(*project, Text(1, 327), "#502075"));
            ok = CreateProjectFiles(*project, number, Text(1, 327)) && ok;
        } else {
            ok = false;
        }
        AccountTree.SortAll(
            [](const TNode& a, const TNode& b) { return TextLess(a.Text(), b.Text()); });
        AccountTree.EndUpdate();
        SortAccounts();
    }
    ShellState.AccountTreeChanged = true;
    return SaveAccountTree() && ok;
}

void TWorkspace::AddNewAccount() {
    const TCommandScope busy(*this, TCommandKind::Tree, "Add Account");
    if (!busy)
        return;
    const int number = NextAccountNumber();
    CreateAccount(false);
    if (number >= 0)
        ShowNewAccount(number);
}

void TWorkspace::ShowNewAccount(int number) {
    TNode* account = FindTopLevel(AccountTree, number);
    if (!account)
        return;
    // The first parameter still "-not set-", in the order the tree shows them.
    const std::string notSet = Text(3, 14);
    TNode* unset = nullptr;
    AccountTree.Walk([&](TNode& node) {
        if (unset || &node == account || AccountOf(&node) != account)
            return;
        for (const TMarkupParam& param : ParseMarkupLayout(node.Text()).Params) {
            if (ReadParam(node.Text(), param.Href).value_or(std::string()) == notSet) {
                unset = &node;
                return;
            }
        }
    });
    AccountTree.Expand(account, true);
    for (TNode* parent = unset ? unset->Parent() : nullptr; parent; parent = parent->Parent())
        AccountTree.Expand(parent, true);
    AccountTree.Select(unset ? unset : account);
    if (unset) {
        ShellState.Ui().SetStatusText(TStatusBar::Folder,
                                      "New account: click the value of \"" +
                                          StripMarkup(unset->Text()) + "\" to fill it in");
    }
}

AccountSettings TWorkspace::ReadAccountSettings(TNode* node) const {
    return pelmora::ReadAccountSettings(node, Text(3, 33));
}

std::vector<AccountSettings> TWorkspace::AllAccountSettings() const {
    std::vector<AccountSettings> all;
    for (int i = 0; i < AccountTree.TopCount(); ++i) {
        if (IsAccountNode(AccountTree.Top(i)))
            all.push_back(ReadAccountSettings(AccountTree.Top(i)));
    }
    return all;
}

} // namespace pelmora
