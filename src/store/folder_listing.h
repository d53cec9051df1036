#pragma once
// TFolderView: the message-list side of the main window. It owns the shown message list and
// the stale flags of the fixed folders, lists folders from their indexes or their files,
// keeps the folder counts in the tree captions and runs every command on the listed rows
// (state changes, copy, move, delete, save, remove attachments). The trees, the run flags and
// the user interface come from the workspace and its shell; every question, pop-up and sound
// goes through TUiServices, and failures are reported there, never thrown. The Qt window
// mirrors the list through TMessageList's observers and fills in the hooks.

#include "store/folder_index.h"
#include "store/message_list.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace pelmora {

class TNode;
class TNodeTree;
class TShell;
class TUiServices;
class TWorkspace;
enum class TSound;

// Which items of the message-list popup menu and which message buttons are usable.
struct TMailMenuState {
    bool Edit = false;                // outbox and drafts only
    bool FindSourceOfReceipt = false; // 112 and 114
    bool FindReceipt = false;         // 113
    bool RemoveAttachments = false;   // focused row has an attachment
    bool AttachmentsButton = false;
    bool MessageButtons = false;      // enabled by the first click after a listing
    bool ReplyButtons = false;        // inbox and custom folders
    bool OnlyOpen = false;            // search results listed: only "Open"
};

// What the list needs from the window; every hook may be empty.
struct TFolderViewHooks {
    std::function<void(bool enabled)> SetTreesEnabled; // both trees
    std::function<void(bool enabled)> SetAccountTreeEnabled;
    std::function<bool()> AccountTreeEnabled;
    std::function<void(bool enabled)> SetListEnabled;
    std::function<void()> FocusList;
    std::function<void(int delayMs)> ArmCountsRefresh; // LittleJobsTimer
    // Refreshes the composition context; false when it cannot be had.
    std::function<bool()> RefreshComposeContext;
    // Works off a project's "subscribers.que"; the file is deleted afterwards.
    std::function<void(int project, const std::string& path)> ProcessSubscribers;
    std::function<void()> MenuStateChanged;
    // The destination picker: shows the tree modally and returns the chosen node text (empty
    // when cancelled). The tree is built by BuildDestinationTree.
    std::function<std::string(TNodeTree& tree)> ChooseDestination;
    // True while the list shows backup-search results (no project-tree node).
    std::function<bool()> ShowingSearchResults;
    // Opens a message window for a row's file (composition windows, print flag).
    std::function<void(const std::string& path, int row, bool print)> OpenMessageWindow;
};

struct TMailMenuItems;

enum class TCaptionMode { Read, Set, Add };

class TFolderView {
public:
    explicit TFolderView(TWorkspace& work);
    ~TFolderView();
    TFolderView(const TFolderView&) = delete;
    TFolderView& operator=(const TFolderView&) = delete;

    TWorkspace& Work;
    TShell& Shell;
    TMessageList List;
    TFolderViewHooks Hooks;

    // --- Listing ---
    bool ListBuilding() const { return Building; }
    int ListedProject() const { return Project; }
    int ListedFolder() const { return Folder; }
    // Counts of the listed folder as last shown.
    int ShownTotal() const { return Total; }
    int ShownUnread() const { return Unread; }
    const TMailMenuState& MenuState() const { return Menu; }
    bool ShowingSearchResults() const;

    // Stale flags: in memory for 111 to 117, "update.txt" for custom folders.
    bool FolderStale(int project, int code) const;
    void SetFolderStale(int project, int code, bool stale);

    // A click on (or Up/Down to) a project-tree node.
    void ProjectTreeClick();
    // Lists a folder of a project from its index or its files.
    void ListFolder(int project, int code);
    // Reads one message file and appends its row; false when it could not be read.
    bool AddMessageRow(const std::string& path, std::int64_t size, bool showRecipients);
    // "&Refresh List" (F5).
    void RefreshList();
    // The selection changed.
    void MessageListSelectItem();
    // A click on a row.
    void MessageListClick();
    // A click on a column heading: sorts through the list's rule, keeps the order in the
    // registry and focuses the top row when none is focused.
    void ColumnClick(int column);
    // Column 2's heading for a folder code.
    std::string SenderHeading(int code) const;
    void ApplyHeadings(int code);

    // --- Counts ---
    // Reads, sets or adds to the counts in the caption of a folder node of the shown project
    // tree; returns the counts it holds afterwards ({-1, -1} when there is no such node).
    TFolderSummary UpdateFolderCaption(int code, int total, int unread, TCaptionMode mode);
    // Recomputes the counts of every project and account from the folder summaries.
    void RefreshCounts();
    bool RefreshRunning() const { return Refreshing; }
    // Set by long operations that must not be disturbed: the counts refresh stops early.
    bool StopRefresh = false;

    // --- Commands on the rows ---
    // kind 1 read/unread, 2 check, 3 flag, 4 orphan; cycle steps the selected row's state.
    void ChangeMessageState(int kind, bool cycle);
    bool StateChangeBusy() const { return ChangingState; }
    // Renames one row's file to a new state and updates the row; false (reported with text
    // 0/16) when the rename fails.
    bool SetRowState(int row, int state);
    void CopyOrMoveMessages(bool move, bool isDelete, int preselectedProject, int targetFolder,
                            bool explicitTarget);
    bool CopyMessageFile(const std::string& source, const std::string& destination);
    // Moves a message file (a rename where possible, else copy and delete).
    enum class TMoveResult { Failed, Copied, Moved };
    TMoveResult MoveMessageFile(const std::string& source, const std::string& destination);
    void MenuCopyClick();
    void MenuMoveClick();
    void MenuDeleteClick();
    void EmptyTrashClick();
    // Rows dropped on a project-tree folder / an account-tree node.
    void DropOnProjectTree(TNode* target);
    void DropOnAccountTree(TNode* target);
    // Whether rows may be dropped there.
    bool ProjectTreeDragOver(const TNode* target) const;
    bool AccountTreeDragOver(const TNode* target) const;
    // Builds the destination picker's tree; false when stopped by Esc or closing.
    bool BuildDestinationTree(TNodeTree& tree, int preselectedProject);

    void SaveToFileClick();
    void RemoveAllAttachmentsClick();
    // The quick-view text of a message file (plain text, else the HTML text without tags).
    std::string QuickViewText(const std::string& path, std::string* senderAddress) const;
    void QuickViewClick();
    void SelectAllClick();
    // "&Open": a window for every row of the selection range; unread and orphan rows become
    // read. Quick-View while search results are listed.
    void OpenClick();
    // The popup menu's items as it opens.
    TMailMenuItems MailMenuPopup() const;
    void InvertSelection();

    // The path of a row's file; empty for a row without "<".
    std::string RowFilePath(int row) const;
    // Whether a command on the rows of folder `code` of `project` may touch a row's file: it
    // must be a regular file of that folder (IsFileInFolder). While search results are
    // listed, a file anywhere below the temporary directory or the store will do.
    bool RowFileInFolder(int row, int project, int code) const;
    // The rows a command on folder `code` of `project` acts on (ActedRows), every one checked
    // with RowFileInFolder. When one fails, the rows cannot be trusted: the folder is rebuilt
    // from its own files (nothing else is touched), the rows with the same file name and
    // Message-ID as the acted ones are selected again, and those are returned, so the
    // command goes on with this store's files. Rows that still fail are left out.
    std::vector<int> CheckedActedRows(int project, int code, bool single);
    // The rows a command acts on: the selected row alone when exactly one is selected (or
    // `single`), else every selected row from the first selected one on.
    std::vector<int> ActedRows(bool single) const;

    // The folder of the listed project's folder code: store + project + ...
    std::string FolderDirectory(int project, int code) const;
    std::string IndexPath(int project, int code) const;
    // Rewrites the listed folder's index from the list and sets its stale flag from the
    // result.
    bool SaveListedIndex();

private:
    TUiServices& Ui();
    const std::string& Text(int module, int slot) const;
    void Popup(const std::string& caption, const std::string& text, int ms, int size,
               bool modeless, int animation = 0, bool large = false);
    void Play(TSound sound);
    void ArmCounts();
    void SetTreesEnabled(bool enabled);
    void ReselectRemembered();
    TIndexControl Control();
    void AnimationTick();
    void WriteCounts(TNode* node, int total, int unread, int outbox, bool account);

    bool Building = false;
    bool ChangingState = false;
    bool Refreshing = false;
    bool ClickedSinceListing = false;
    int Project = -1;
    int Folder = -1;
    int Total = 0;
    int Unread = 0;
    std::array<bool, 7> FixedStale{};
    TMailMenuState Menu;
};

// The date column: "dd-mm-yyyy hh:nn" of a local day count (0 gives "30-12-1899 00:00").
std::string FormatListDate(double dayCount);
// "name (address)" or the address alone.
std::string AddressText(std::string_view name, std::string_view address);

} // namespace pelmora
