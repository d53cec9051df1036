// The project tree: its file, its first nodes, and the account-tree selection handler that
// shows a project.

#include "store/workspace.h"

#include "shell/atomic_file.h"
#include "paramtree/markup.h"
#include "paramtree/text_util.h"
#include "paramtree/tree_file.h"
#include "shell/shell_state.h"
#include "store/node_helpers.h"
#include "store/project_info.h"
#include "store/store_layout.h"

namespace pelmora {

namespace {

struct TFixedFolder {
    int Code;
    int CaptionSlot; // module 1
    int Icon;
};

constexpr TFixedFolder kFixedFolders[] = {
    {kFolderInbox, 317, 12},      {kFolderInReceipts, 316, 18}, {kFolderSent, 287, 9},
    {kFolderOutReceipts, 319, 5}, {kFolderOutbox, 318, 15},     {kFolderTrash, 315, 21},
    {kFolderDrafts, 320, 24},
};

} // namespace

std::string TWorkspace::ProjectTreePath(int project) const {
    return ShellState.Dirs().AddressBooks + std::to_string(project) + ".addr";
}

bool TWorkspace::LoadProjectTree(int project) {
    const std::string path = ProjectTreePath(project);
    TTreeFileSafety safety;
    safety.Mode = kPrivateFileMode;
    safety.WarningCaption = Text(1, 262);
    safety.BackupFailedText =
        "Cannot create " + path + ".backup Addressbook backup file! Disk full or file in use..?!";
    safety.BackupFailedMs = 5000;
    safety.CorruptQuestion = Text(0, 6);
    safety.RepairFailedText = Text(0, 8);
    safety.RepairFailedMs = 5000;
    safety.PlayPopped = [this] { PlayPopped(); };
    safety.PlayAttention = [this] { PlayAttention(); };
    std::string why;
    const TTreeLoadOutcome outcome = LoadTreeFileSafely(path, ProjectTree, Ui(), safety, &why);
    if (TreeMayBeSaved(outcome)) {
        ReadOnlyProjects.erase(project);
        return outcome != TTreeLoadOutcome::Missing;
    }
    ReadOnlyProjects.insert(project);
    ShowReadOnlyNotice("project tree", path, why);
    return true;
}

bool TWorkspace::SaveProjectTree(int project) {
    if (project < 0 || ProjectTreeReadOnly(project))
        return false;
    if (!WriteTreeFile(ProjectTreePath(project), ProjectTree, kPrivateFileMode)) {
        PlayAttention();
        Popup(Text(1, 262), Text(0, 3), 5000, 13, false);
        return false;
    }
    ShellState.ProjectTreeChanged = false;
    return true;
}

void TWorkspace::SaveShownProjectTree() {
    if (!ProjectTree.Empty() && ShellState.ProjectTreeChanged && ShellState.CurrentProject >= 0)
        SaveProjectTree(ShellState.CurrentProject);
}

void TWorkspace::RescanCustomFolders() {
    if (ShellState.CurrentProject < 0) {
        Folders = TCustomFolderTable{};
        return;
    }
    Folders = ScanCustomFolders(ShellState.Dirs().Store, ShellState.CurrentProject, Text(3, 14));
}

void TWorkspace::BuildNewProjectTree(int project) {
    TNode* selected = AccountTree.Selected();
    if (!selected) {
        Ui().Beep();
        return;
    }
    // The name is kept as the account tree holds it (escaped).
    const std::string name = Trim(StripMarkup(CaptionBase(selected->Text())));
    const std::string notSet = Text(3, 14);
    // A tree built afresh replaces no file that failed to load.
    ReadOnlyProjects.erase(project);

    ProjectTree.BeginUpdate();
    ProjectTree.Clear();
    ProjectTree.Add(nullptr, "<XID=100><img src=\"idx:3\"> <b><font color=\"clPurple\">" +
                                 Text(1, 288) + ":</font></b> <a href=\"ChangeProjName\">" + name +
                                 "</a>");
    ProjectTree.Add(nullptr, "<XID=101>" + Text(1, 292) + ": <a href=\"changeprojectadmin\">" +
                                 notSet + "</a>");
    ProjectTree.Add(nullptr, "<XID=102>" + Text(1, 248) + ": <a href=\"RequestReceipts\"> " +
                                 Text(3, 34) + " </a>");
    TNode* tracking =
        ProjectTree.Add(nullptr, "<XID=103>" + Text(1, 94) + ": <a href=\"GenTrackingNumber\"> " +
                                     Text(3, 34) + " </a>");
    ProjectTree.Add(tracking, "<XID=201>" + Text(1, 95) +
                                  ": <a href=\"TrackingNumberStyle\" class=\"LIST\" props=\"" +
                                  EscapeParam(Text(1, 97)) + "," + EscapeParam(Text(1, 96)) + "," +
                                  EscapeParam(Text(1, 98)) + "\">" + EscapeParam(Text(1, 97)) +
                                  "</a>");
    ProjectTree.Add(nullptr, "<XID=104><font color=\"clBlack\">" + Text(1, 295) +
                                 ": <a href=\"ProjectDescription\">" + notSet + "</a></font>");
    ProjectTree.Add(nullptr, "<XID=105><font color=\"clBlack\">" + Text(1, 296) +
                                 ":  <a href=\"ProjectSignature\">" + notSet + "</a></font>");
    ProjectTree.Add(nullptr, "<XID=106>" + Text(1, 101) + ": <a href=\"AddSignature\"> " +
                                 Text(3, 34) + " </a>");
    ProjectTree.Add(nullptr,
                    "<XID=107>" + Text(1, 297) + ": <a href=\"ProjURL\"> " + notSet + " </a>");
    ProjectTree.Add(nullptr,
                    "<XID=108>" + Text(1, 4) + ": <a href=\"Stationery\"> " + notSet + " </a>");
    TNode* book =
        ProjectTree.Add(nullptr, "<XID=110><img src=\"idx:0\"> <font color=\"clGray\"><b>" +
                                     Text(1, 293) + "</b></font> (0)");
    ProjectTree.Add(book, "<XID=-1><font color=\"clPurple\"><b>" + Text(1, 78) + "</b></font>");

    const std::string store = ShellState.Dirs().Store;
    Folders = ScanCustomFolders(store, project, notSet);
    for (const TFixedFolder& folder : kFixedFolders) {
        TNode* node = ProjectTree.Add(
            nullptr, FolderNodeText(folder.Code, folder.Icon, Text(1, folder.CaptionSlot)));
        if (folder.Code != kFolderInbox)
            continue;
        // Every custom folder on disk gets its node, gaps in the numbering included.
        for (int code = kFirstCustomFolder; code <= kLastCustomFolder; ++code) {
            const TCustomFolder* custom = Folders.At(code);
            if (!custom->Name.empty())
                ProjectTree.Add(node, FolderNodeText(code, 12, EscapeParam(custom->Name)));
        }
    }
    ProjectTree.SortAll(
        [](const TNode& a, const TNode& b) { return TextLess(a.Text(), b.Text()); });
    ProjectTree.EndUpdate();
}

void TWorkspace::FolderTreeClick() {
    if (!TCommandScope(*this, TCommandKind::Browse, "Show project"))
        return;
    TShell& shell = ShellState;
    if (!shell.StartingUp)
        shell.PlaySound(TSound::Click);
    if (Hooks.ShowingSearchResults && Hooks.ShowingSearchResults()) {
        bool check = false;
        if (Ui().AskDialog(Text(1, 72), Text(1, 72), 12, check, false) != kAskFirst)
            return;
    }
    if (AccountTree.Empty())
        return;
    TNode* selected = AccountTree.Selected();
    if (!selected) {
        if (!RememberedProject)
            return;
        AccountTree.Select(RememberedProject);
        selected = RememberedProject;
    }

    if (Hooks.SetControlsEnabled)
        Hooks.SetControlsEnabled(false);
    shell.AbortRequested = shell.Closing;
    shell.Animation().Start();
    Ui().SetBusyCursor(true);
    auto finish = [&] {
        if (Hooks.SetControlsEnabled)
            Hooks.SetControlsEnabled(true);
        Ui().SetBusyCursor(false);
        shell.Animation().Stop();
    };

    TNode* account = AccountOf(selected);
    bool hasDefault = false;
    for (int i = 0; i < account->ChildCount(); ++i) {
        int number = NodeNumber(account->Child(i)->Text());
        if (number > 99999 && number <= kLastDefaultProject)
            hasDefault = true;
    }
    if (!hasDefault && IsAccountNode(account)) {
        std::optional<int> project = NextDefaultProjectNumber();
        if (project) {
            TNode* node =
                AccountTree.Add(account, "<XID=" + std::to_string(*project) +
                                             "><IMG src=\"idx:3\"> <font color=\"#808080\"><B>" +
                                             Text(1, 327) + "</b></font> (0/0)");
            CreateProjectFiles(*project, NodeNumber(account->Text()), Text(1, 327));
            shell.AccountTreeChanged = true;
            AccountTree.Select(node);
            finish();
            FolderTreeClick();
            return;
        }
    }

    SaveShownProjectTree();
    AccountMenuState.DeleteAccount = selected->Level() == 0;

    int number = NodeNumber(selected->Text());
    if (number < 999 || number > 99999999) {
        ProjectTree.Clear();
        if (Hooks.ClearMessageList)
            Hooks.ClearMessageList();
        shell.CurrentProject = -1;
        shell.ProjectTreeChanged = false;
        Folders = TCustomFolderTable{};
        finish();
        return;
    }

    if (Hooks.StopNewMailBlinking)
        Hooks.StopNewMailBlinking();
    RememberedAccount = account;
    RememberedProject = selected;
    shell.CurrentProject = number;
    const std::string store = shell.Dirs().Store;
    EnsureProjectDirectories(store, number);
    if (!ProjectInfoExists(store, number))
        WriteProjectInfo(
            store, number,
            {NodeNumber(account->Text()), PlainCaption(CaptionBase(selected->Text()))});
    if (!LoadProjectTree(number))
        BuildNewProjectTree(number);
    shell.ProjectTreeChanged = false;
    RescanCustomFolders();
    AccountMenuState.DeleteProject = number < kFirstDefaultProject;
    if (TNode* inbox = FindTopLevel(ProjectTree, kFolderInbox)) {
        ProjectTree.Select(inbox);
        ProjectTree.Expand(inbox);
        if (Hooks.ListFolder)
            Hooks.ListFolder(kFolderInbox);
    }
    if (Hooks.ArmCountsRefresh)
        Hooks.ArmCountsRefresh(shell.LittleJobsInterval());
    finish();
}

} // namespace pelmora
