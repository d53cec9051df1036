#include "store/workspace.h"

#include "paramtree/markup.h"
#include "shell/shell_state.h"
#include "store/folder_repair.h"
#include "store/node_helpers.h"

namespace pelmora {

// Forgets the remembered account and project nodes when they leave the account tree.
class TWorkspace::TRememberGuard : public TNodeTreeObserver {
public:
    explicit TRememberGuard(TWorkspace& owner) : Owner(owner) {}
    void NodesAboutToBeRemoved(TNode* parent, int first, int last) override {
        for (int i = first; i <= last; ++i)
            Forget(Owner.AccountTree.Child(parent, i));
    }
    void AboutToBeReset() override {
        Owner.RememberedAccount = nullptr;
        Owner.RememberedProject = nullptr;
    }

private:
    void Forget(TNode* node) {
        if (!node)
            return;
        for (TNode** remembered : {&Owner.RememberedAccount, &Owner.RememberedProject}) {
            if (*remembered && (*remembered == node || node->IsAncestorOf(*remembered)))
                *remembered = nullptr;
        }
    }
    TWorkspace& Owner; // Not owned.
};

TWorkspace::TWorkspace(TShell& shell) : ShellState(shell), Guard(new TRememberGuard(*this)) {
    AccountTree.AddObserver(Guard.get());
    ShellState.RestorePanelsTreeHook = [this] { RestorePanelsTrees(); };
}

TWorkspace::~TWorkspace() {
    AccountTree.RemoveObserver(Guard.get());
    ShellState.RestorePanelsTreeHook = nullptr;
}

TUiServices& TWorkspace::Ui() {
    return ShellState.Ui();
}

const std::string& TWorkspace::Text(int module, int slot) const {
    return ShellState.Text(module, slot);
}

void TWorkspace::Popup(const std::string& caption, const std::string& text, int ms, int size,
                       bool modeless, bool large) {
    TPopupRequest request;
    request.Caption = caption;
    request.Text = text;
    request.DisplayMs = ms;
    request.TextSize = size;
    request.Modeless = modeless;
    request.Large = large;
    Ui().ShowPopup(request);
}

void TWorkspace::PlayPopped() {
    ShellState.PlaySound(TSound::Popped);
}

void TWorkspace::PlayAttention() {
    ShellState.PlaySound(TSound::Attention);
}

TNode* TWorkspace::CurrentAccountNode() const {
    return RememberedAccount;
}

TNode* TWorkspace::CurrentProjectNode() const {
    return RememberedProject;
}

TNode* TWorkspace::ShownProjectNode() const {
    if (ShellState.CurrentProject < 0)
        return nullptr;
    TNode* remembered = CurrentProjectNode();
    if (remembered && NodeNumber(remembered->Text()) == ShellState.CurrentProject)
        return remembered;
    const int project = ShellState.CurrentProject;
    return AccountTree.FindFirst(
        [project](const TNode& n) { return IsProjectNode(&n) && NodeNumber(n.Text()) == project; });
}

TMarkupTreeEvents TWorkspace::AccountTreeEvents() {
    TMarkupTreeEvents events;
    events.OnParamClick = [this](TNode* node, const std::string& href, std::string& value) {
        FolderTreeParamClick(node, href, value);
    };
    events.OnParamChanged = [this](TNode*, const std::string&, const std::string&,
                                   const std::string&) { ShellState.AccountTreeChanged = true; };
    return events;
}

TMarkupTreeEvents TWorkspace::ProjectTreeEvents() {
    TMarkupTreeEvents events;
    events.OnParamClick = [this](TNode* node, const std::string& href, std::string& value) {
        ProjectTreeParamClick(node, href, value);
    };
    events.OnParamPopup = [this](TNode* node, const std::string& href,
                                 std::vector<std::string>& values, bool& doPopup) {
        ProjectTreeParamPopup(node, href, values, doPopup);
    };
    events.OnParamChanged = [this](TNode*, const std::string&, const std::string&,
                                   const std::string&) { ShellState.ProjectTreeChanged = true; };
    return events;
}

void TWorkspace::FormCreateTrees() {
    // Folders left without a row or with wrong counts by a crash are mended first.
    if (RepairIndexesAtStart)
        RepairStoreIndexes(ShellState.Dirs().Store);
    LoadAccountTree();
    EnsureDefaultAccount();
    if (TNode* first = AccountTree.First()) {
        AccountTree.Select(first);
        RememberedAccount = first;
        AccountTree.Expand(first);
    }
}

void TWorkspace::FirstActivationShowDefaultProject() {
    TNode* project = AccountTree.FindFirst(
        [](const TNode& n) { return n.Level() == 1 && NodeNumber(n.Text()) > 99999; });
    if (!project)
        return;
    AccountTree.Select(project);
    FolderTreeClick();
}

void TWorkspace::RestorePanelsTrees() {
    const TCommandScope busy(*this, TCommandKind::Tree, "Restore Panels");
    if (!busy)
        return;
    if (!ShellState.AccountTreeChanged) {
        LoadAccountTree();
        ProjectTree.Clear();
        ShellState.CurrentProject = -1;
        ShellState.ProjectTreeChanged = false;
        if (Hooks.ClearMessageList)
            Hooks.ClearMessageList();
    }
    EnsureDefaultAccount();
    if (Hooks.RefreshCounts)
        Hooks.RefreshCounts();
}

void TWorkspace::ShowReadOnlyNotice(const std::string& what, const std::string& path,
                                    const std::string& why) {
    PlayAttention();
    Popup(Text(1, 262),
          "The " + what + " was not loaded completely and is read-only:\r\n" + path + "\r\n" + why +
              ".\r\n\r\nPelmora will not write this file or its safety copies \".backup\" " +
              "and \".lw_backup\" while it runs; changes to this tree are not saved. Restore " +
              "the file (or remove it) and start Pelmora again.",
          10000, 13, false);
}

bool TWorkspace::BeginCommand(TCommandKind kind, const std::string& name, bool quiet) {
    bool allowed = RunningKind == TCommandKind::None;
    // Browsing replaces the listed rows, which only a message command works on (tree
    // commands list the folders they change themselves).
    if (kind == TCommandKind::Browse)
        allowed = RunningKind != TCommandKind::Message;
    if (!allowed) {
        if (!quiet) {
            ShellState.Ui().Beep();
            Popup(Text(1, 262), BusyRefusalText(name), 5000, 12, true);
        }
        return false;
    }
    if (kind == TCommandKind::Browse || kind == TCommandKind::None)
        return true;
    RunningKind = kind;
    RunningName = name;
    if (Hooks.BusyChanged)
        Hooks.BusyChanged();
    return true;
}

void TWorkspace::EndCommand() {
    if (RunningKind == TCommandKind::None)
        return;
    RunningKind = TCommandKind::None;
    RunningName.clear();
    if (Hooks.BusyChanged)
        Hooks.BusyChanged();
}

std::string TWorkspace::BusyRefusalText(const std::string& name) const {
    return "\r\n\"" + name + "\" cannot start now: \"" + RunningName +
           "\" is still running.\r\nPlease wait until it has finished and try again.";
}

TCommandScope::TCommandScope(TWorkspace& work, TCommandKind kind, const std::string& name,
                             bool quiet)
    : Work(work) {
    const bool wasFree = !Work.Busy();
    Allowed = Work.BeginCommand(kind, name, quiet);
    Holding = Allowed && wasFree && Work.Busy();
}

TCommandScope::~TCommandScope() {
    if (Holding)
        Work.EndCommand();
}

bool TWorkspace::FormCloseSaveTrees() {
    // A read-only tree was announced when it was loaded; its file stays as it is.
    bool ok = AccountReadOnly || SaveAccountTree();
    if (!ok) {
        PlayAttention();
        Popup(Text(1, 262), Text(0, 5), 5000, 13, false);
    }
    if (!ProjectTree.Empty() && ShellState.ProjectTreeChanged && ShellState.CurrentProject >= 0 &&
        !ProjectTreeReadOnly(ShellState.CurrentProject))
        ok = SaveProjectTree(ShellState.CurrentProject) && ok;
    return ok;
}

} // namespace pelmora
