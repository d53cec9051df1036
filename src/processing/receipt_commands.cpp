#include "processing/receipt_commands.h"

#include "paramtree/node_tree.h"
#include "processing/receipts.h"
#include "shell/shell_state.h"
#include "shell/sounds.h"
#include "store/folder_listing.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/workspace.h"

#include <filesystem>
#include <string>
#include <vector>

namespace pelmora {
namespace {

// The shown folder and row, the disabled window and the busy animation of one search.
class TSearchState {
public:
    explicit TSearchState(TFolderView& view)
        : View(view), Node(view.Work.ProjectTree.Selected()),
          RowFile(view.List.FirstSelected() >= 0 ? view.RowFilePath(view.List.FirstSelected())
                                                 : std::string()) {
        View.Shell.AbortRequested = false;
        Enable(false);
        View.Shell.Ui().SetBusyCursor(true);
        View.Shell.Animation().Start();
    }
    ~TSearchState() {
        Enable(true);
        View.Shell.Ui().SetBusyCursor(false);
        View.Shell.Animation().Stop();
        if (View.Hooks.FocusList)
            View.Hooks.FocusList();
    }
    TSearchState(const TSearchState&) = delete;
    TSearchState& operator=(const TSearchState&) = delete;

    // Lists a top-level folder of the shown project; false when it has no node.
    bool List(int code) {
        TNode* node = FindTopLevel(View.Work.ProjectTree, code);
        if (!node)
            return false;
        View.Work.ProjectTree.Select(node);
        View.ProjectTreeClick();
        return View.ListedFolder() == code;
    }
    void Select(int row) {
        View.List.ClearSelection();
        View.List.SelectOnly(row);
        View.List.SetFocused(row);
        View.MessageListSelectItem();
    }
    // Shows the folder and the row of the start again.
    void Restore() {
        if (Node && View.Work.ProjectTree.Selected() != Node) {
            View.Work.ProjectTree.Select(Node);
            View.ProjectTreeClick();
        }
        for (int row = 0; row < View.List.Count(); ++row) {
            if (!RowFile.empty() && View.RowFilePath(row) == RowFile) {
                Select(row);
                return;
            }
        }
    }
    bool Stopped() const { return View.Shell.AbortRequested || View.Shell.Closing; }

private:
    void Enable(bool enabled) {
        if (View.Hooks.SetTreesEnabled)
            View.Hooks.SetTreesEnabled(enabled);
        if (View.Hooks.SetListEnabled)
            View.Hooks.SetListEnabled(enabled);
    }

    TFolderView& View; // Not owned.
    TNode* Node;       // Not owned: a node of the shown project tree.
    std::string RowFile;
};

} // namespace

bool FindReceiptOfSelectedMessage(TFolderView& view) {
    TShell& shell = view.Shell;
    const TCommandScope busy(view.Work, TCommandKind::Tree, "Find Receipt");
    if (!busy)
        return false;
    const int selected = view.List.FirstSelected();
    if (selected < 0 || view.ListedFolder() != kFolderSent) {
        shell.PlaySound(TSound::Popped);
        return false;
    }
    const std::string messageId(view.List.Row(selected).SubItem(4));
    if (StripEnclosingBrackets(messageId).empty()) {
        ReportFindFailure(shell, {TFindStatus::NoMessageId, -1}, false);
        return false;
    }
    TSearchState search(view);
    TFindResult result;
    if (search.List(kFolderInReceipts) && !search.Stopped()) {
        std::vector<std::string> files;
        files.reserve(static_cast<size_t>(view.List.Count()));
        for (int row = 0; row < view.List.Count(); ++row)
            files.push_back(view.RowFilePath(row));
        result = FindReceiptOfMessage(messageId, files, &shell.AbortRequested, &shell.Ui());
    }
    if (result.Status == TFindStatus::Found && !search.Stopped()) {
        search.Select(result.Row);
        return true;
    }
    search.Restore();
    ReportFindFailure(shell, {TFindStatus::NotFound, -1}, false);
    return false;
}

bool FindSourceOfSelectedReceipt(TFolderView& view) {
    TShell& shell = view.Shell;
    const TCommandScope busy(view.Work, TCommandKind::Tree, "Find source of receipt");
    if (!busy)
        return false;
    const int selected = view.List.FirstSelected();
    const int sourceFolder = SourceFolderOfReceipts(view.ListedFolder());
    if (selected < 0 || sourceFolder < 0) {
        shell.PlaySound(TSound::Popped);
        return false;
    }
    const std::string receipt = view.RowFilePath(selected);
    // The receipt is read before anything changes: a missing file or a message that is no
    // receipt ends the command where it stands.
    const TFindResult check = FindSourceOfReceipt(receipt, {});
    if (check.Status == TFindStatus::FileMissing || check.Status == TFindStatus::NotAReceipt) {
        ReportFindFailure(shell, check, true);
        if (check.Status == TFindStatus::FileMissing)
            view.RefreshList();
        return false;
    }
    TSearchState search(view);
    TFindResult result;
    if (search.List(sourceFolder) && !search.Stopped()) {
        std::vector<std::string> ids;
        ids.reserve(static_cast<size_t>(view.List.Count()));
        for (int row = 0; row < view.List.Count(); ++row)
            ids.emplace_back(view.List.Row(row).SubItem(4));
        result = FindSourceOfReceipt(receipt, ids, &shell.AbortRequested, &shell.Ui());
    }
    if (result.Status == TFindStatus::Found && !search.Stopped()) {
        search.Select(result.Row);
        return true;
    }
    search.Restore();
    ReportFindFailure(shell, {TFindStatus::NotFound, -1}, true);
    return false;
}

} // namespace pelmora
