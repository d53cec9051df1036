#include "store/folder_listing.h"

#include "mime/mail_date.h"
#include "paramtree/text_util.h"
#include "shell/shell_state.h"
#include "store/custom_folders.h"
#include "store/folder_repair.h"
#include "store/list_sort.h"
#include "store/message_files.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/workspace.h"
#include "shell/atomic_file.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr int kRowsPerPump = 50;

void AppendTwo(std::string& out, int value) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

} // namespace

std::string FormatListDate(double dayCount) {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, dayOfWeek = 0;
    DecodeDayCount(dayCount, year, month, day, hour, minute, second, dayOfWeek);
    std::string out;
    out.reserve(16);
    AppendTwo(out, day);
    out += '-';
    AppendTwo(out, month);
    out += '-';
    out += std::to_string(year);
    out += ' ';
    AppendTwo(out, hour);
    out += ':';
    AppendTwo(out, minute);
    return out;
}

std::string AddressText(std::string_view name, std::string_view address) {
    if (TrimView(name).empty())
        return std::string(address);
    return std::string(name) + " (" + std::string(address) + ")";
}

TFolderView::TFolderView(TWorkspace& work) : Work(work), Shell(work.Shell()) {
    Work.Hooks.ListFolder = [this](int code) {
        (void)code; // the project tree's selection names the folder
        ProjectTreeClick();
    };
    Work.Hooks.ClearMessageList = [this] {
        List.Clear();
        Project = -1;
        Folder = -1;
        ApplyHeadings(-1); // no folder listed: "Sender"
    };
    Work.Hooks.MessageListRowCount = [this] { return List.Count(); };
    Work.Hooks.RefreshCounts = [this] { RefreshCounts(); };
    Work.Hooks.ShowingSearchResults = [this] { return ShowingSearchResults(); };
    LoadListSort(Shell.Registry(), List);
}

TFolderView::~TFolderView() {
    Work.Hooks.ListFolder = nullptr;
    Work.Hooks.ClearMessageList = nullptr;
    Work.Hooks.MessageListRowCount = nullptr;
    Work.Hooks.RefreshCounts = nullptr;
    Work.Hooks.ShowingSearchResults = nullptr;
}

TUiServices& TFolderView::Ui() { return Shell.Ui(); }

const std::string& TFolderView::Text(int module, int slot) const {
    return Shell.Text(module, slot);
}

void TFolderView::Popup(const std::string& caption, const std::string& text, int ms, int size,
                        bool modeless, int animation, bool large) {
    TPopupRequest request;
    request.Caption = caption;
    request.Text = text;
    request.DisplayMs = ms;
    request.TextSize = size;
    request.Modeless = modeless;
    request.Animation = static_cast<TPopupAnimation>(animation);
    request.Large = large;
    Ui().ShowPopup(request);
}

void TFolderView::Play(TSound sound) { Shell.PlaySound(sound); }

void TFolderView::ArmCounts() {
    if (Hooks.ArmCountsRefresh)
        Hooks.ArmCountsRefresh(Shell.LittleJobsInterval());
    else if (Work.Hooks.ArmCountsRefresh)
        Work.Hooks.ArmCountsRefresh(Shell.LittleJobsInterval());
}

void TFolderView::SetTreesEnabled(bool enabled) {
    if (Hooks.SetTreesEnabled)
        Hooks.SetTreesEnabled(enabled);
}

void TFolderView::AnimationTick() {
    if (Shell.Animation().Running())
        Shell.Animation().Tick(Ui());
}

TIndexControl TFolderView::Control() {
    TIndexControl control;
    control.Ui = &Ui();
    control.AbortRequested = &Shell.AbortRequested;
    control.Closing = &Shell.Closing;
    control.AdvanceAnimation = [this] { AnimationTick(); };
    return control;
}

bool TFolderView::ShowingSearchResults() const {
    return Hooks.ShowingSearchResults && Hooks.ShowingSearchResults();
}

void TFolderView::ReselectRemembered() {
    if (!Work.AccountTree.Empty() && !Work.AccountTree.Selected() && Work.CurrentProjectNode())
        Work.AccountTree.Select(Work.CurrentProjectNode());
    if (!Work.ProjectTree.Empty() && !Work.ProjectTree.Selected() && Folder > 0) {
        TNode* node = Work.ProjectTree.FindFirst([this](const TNode& n) {
            return NodeNumber(n.Text()) == Folder && (n.Level() == 0 || n.Level() == 1);
        });
        if (node)
            Work.ProjectTree.Select(node);
    }
}

std::string TFolderView::FolderDirectory(int project, int code) const {
    return FolderPath(Shell.Dirs().Store, project, code);
}

std::string TFolderView::IndexPath(int project, int code) const {
    const std::string dir = FolderDirectory(project, code);
    return dir.empty() ? std::string() : dir + "tree.lst";
}

bool TFolderView::FolderStale(int project, int code) const {
    if (IsFixedFolderCode(code))
        return FixedStale[static_cast<size_t>(code - kFolderInbox)];
    if (IsCustomFolderCode(code)) {
        std::error_code ec;
        return fs::exists(FolderDirectory(project, code) + "update.txt", ec);
    }
    return false;
}

void TFolderView::SetFolderStale(int project, int code, bool stale) {
    if (IsFixedFolderCode(code)) {
        FixedStale[static_cast<size_t>(code - kFolderInbox)] = stale;
        return;
    }
    if (!IsCustomFolderCode(code))
        return;
    TCustomFolderTable scratch;
    if (stale)
        MarkFolderStale(Shell.Dirs().Store, project, code, scratch);
    else
        ClearFolderStale(Shell.Dirs().Store, project, code, scratch);
}

std::string TFolderView::SenderHeading(int code) const {
    if (FolderShowsRecipients(code) || code == kFolderOutReceipts)
        return Text(1, 311);
    if (code == kFolderInbox || code == kFolderInReceipts || code == kFolderTrash ||
        IsCustomFolderCode(code))
        return Text(1, 312);
    return Text(1, 308);
}

void TFolderView::ApplyHeadings(int code) {
    List.SetHeadings({Text(1, 306), Text(1, 307), SenderHeading(code), Text(1, 310), Text(1, 313),
                      std::string()});
}

std::string TFolderView::RowFilePath(int row) const {
    if (row < 0 || row >= List.Count())
        return {};
    return RowPath(List.Row(row).Caption());
}

std::vector<int> TFolderView::ActedRows(bool single) const {
    std::vector<int> rows;
    const int first = List.FirstSelected();
    if (first < 0)
        return rows;
    if (single || List.SelectedCount() == 1) {
        rows.push_back(first);
        return rows;
    }
    for (int i = first; i < List.Count(); ++i) {
        if (List.Row(i).Selected)
            rows.push_back(i);
    }
    return rows;
}

bool TFolderView::SaveListedIndex() {
    if (Project < 0 || Folder < 0)
        return false;
    const bool saved = SaveIndex(IndexPath(Project, Folder), List, Control());
    SetFolderStale(Project, Folder, !saved);
    return saved;
}

void TFolderView::ProjectTreeClick() {
    if (!TCommandScope(Work, TCommandKind::Browse, "List folder"))
        return;
    if (!Shell.StartingUp)
        Play(TSound::Click);
    if (ShowingSearchResults()) {
        bool check = false;
        if (Ui().AskDialog(Text(1, 72), Text(1, 72), 12, check, false) != kAskFirst)
            return;
    }
    if (Building) {
        Shell.AbortRequested = true;
        Popup(Text(2, 22), Text(1, 254), 6000, 10, true);
        return;
    }
    TNode* node = Work.ProjectTree.Selected();
    const int code = node ? NodeNumber(node->Text()) : -1;
    const bool folderNode =
        node && ((node->Level() == 0 && IsFixedFolderCode(code)) ||
                 (node->Level() == 1 && node->Parent() &&
                  NodeNumber(node->Parent()->Text()) == kFolderInbox && IsCustomFolderCode(code)));
    if (!folderNode) {
        List.Clear();
        Project = -1;
        Folder = -1;
        ApplyHeadings(-1); // no folder listed: "Sender"
        return;
    }

    Ui().SetBusyCursor(true);
    if (Hooks.SetAccountTreeEnabled)
        Hooks.SetAccountTreeEnabled(false);
    Shell.Animation().Start();
    Menu = TMailMenuState{};
    Menu.Edit = code == kFolderOutbox || code == kFolderDrafts;
    Menu.FindSourceOfReceipt = code == kFolderInReceipts || code == kFolderOutReceipts;
    Menu.FindReceipt = code == kFolderSent;
    TNode* projectNode = Work.AccountTree.Selected();
    int project = projectNode ? NodeNumber(projectNode->Text()) : -1;
    if (project < 999)
        project = -1;
    Shell.CurrentProject = project;
    Shell.AbortRequested = Shell.Closing;

    if (project > 998 && IsFixedFolderCode(code)) {
        std::error_code ec;
        CreatePrivateDirectories(FolderDirectory(project, code));
    }
    ListFolder(project, code);
    List.ClearSelection();
    if (Hooks.RefreshComposeContext)
        Hooks.RefreshComposeContext();

    if (project > 998 && Hooks.ProcessSubscribers) {
        const std::string queue = ProjectDirectory(Shell.Dirs().Store, project) + "subscribers.que";
        std::error_code ec;
        if (fs::exists(queue, ec)) {
            Hooks.ProcessSubscribers(project, queue);
            fs::remove(queue, ec);
        }
    }
    Ui().SetBusyCursor(false);
    if (Hooks.SetAccountTreeEnabled)
        Hooks.SetAccountTreeEnabled(true);
    Shell.Animation().Stop();
    if (Hooks.MenuStateChanged)
        Hooks.MenuStateChanged();
    if (Hooks.FocusList)
        Hooks.FocusList();
}

void TFolderView::ListFolder(int project, int code) {
    if (project <= 998 || Shell.AbortRequested)
        return;
    const std::string dir = FolderDirectory(project, code);
    if (dir.empty())
        return;
    const std::string index = dir + "tree.lst";

    if (Hooks.SetListEnabled)
        Hooks.SetListEnabled(false);
    Ui().SetBusyCursor(true);
    Shell.Animation().Start();
    Building = true;
    ClickedSinceListing = false;
    Project = project;
    Folder = code;
    ApplyHeadings(code);
    Total = 0;
    Unread = 0;

    bool staleSeen = FolderStale(project, code);
    bool listed = false;
    std::error_code ec;
    List.BeginBulk();
    if (!staleSeen && fs::exists(index, ec)) {
        const TIndexLoad load = LoadIndex(index, List, Control());
        if (load.Ok && !Shell.AbortRequested) {
            const TMessageCounts files = CountMessageFiles(dir + "*.eml?");
            // Rows naming files of another folder (an index copied with its data home, or
            // one written by hand) are not this folder's rows: it is rebuilt from its files.
            if (files.Total == load.Rows && IndexRowsInFolder(List, dir)) {
                listed = true;
                Total = load.Rows;
                Unread = load.Unread;
                SetFolderStale(project, code, false);
                // A summary that missed the last change would bring wrong counts back into
                // the trees at the next counts refresh.
                const std::optional<TFolderSummary> summary =
                    ReadFolderSummary(SummaryPathFor(index));
                if (!summary || summary->Total != Total || summary->Unread != Unread)
                    WriteFolderSummary(SummaryPathFor(index), {Total, Unread});
            } else {
                List.Clear();
                staleSeen = true;
                SetFolderStale(project, code, true);
            }
        } else if (load.Ok) {
            // Stopped while loading: what was read is shown; the folder is checked next time.
            listed = true;
            Total = load.Rows;
            Unread = load.Unread;
        } else {
            List.Clear();
        }
    }

    bool aborted = false;
    if (!listed) {
        List.Clear();
        Total = 0;
        Unread = 0;
        for (const TMessageFileEntry& file : ListMessageFiles(dir)) {
            if (Shell.AbortRequested || Shell.Closing) {
                aborted = true;
                break;
            }
            AddMessageRow(file.Path, file.Size, FolderShowsRecipients(code));
        }
        aborted = aborted || Shell.AbortRequested || Shell.Closing;
        if (aborted) {
            // A partial list is shown but never written as the folder's index.
            SetFolderStale(project, code, true);
        } else {
            const bool saved = SaveIndex(index, List, Control());
            SetFolderStale(project, code, !saved);
        }
    }
    List.EndBulk();

    if (!aborted)
        UpdateFolderCaption(code, Total, Unread, TCaptionMode::Set);
    if (Hooks.SetListEnabled)
        Hooks.SetListEnabled(true);
    Building = false;
    Ui().SetBusyCursor(false);
    Shell.Animation().Stop();
    Shell.AbortRequested = Shell.Closing;
    if (staleSeen)
        ArmCounts();
    TNode* node = Work.ProjectTree.Selected();
    Ui().SetStatusText(TStatusBar::Message, node ? PlainCaption(node->Text()) : std::string());
}

bool TFolderView::AddMessageRow(const std::string& path, std::int64_t size, bool showRecipients) {
    if (Shell.AbortRequested)
        return false;
    int state = kStateRead;
    const bool added = AppendRowFromFile(List, path, size, showRecipients, &state);
    if (added) {
        ++Total;
        if (state == kStateUnread || state == kStateOrphan)
            ++Unread;
        Ui().SetStatusText(TStatusBar::Message, Text(2, 31) + std::to_string(Total));
    }
    if (!added || Total % kRowsPerPump == 0) {
        Ui().Pump();
        AnimationTick();
    }
    return added;
}

void TFolderView::RefreshList() {
    TNode* node = Work.ProjectTree.Selected();
    const int code = node ? NodeNumber(node->Text()) : -1;
    if (Shell.CurrentProject > 998)
        SetFolderStale(Shell.CurrentProject, code, true);
    ProjectTreeClick();
    if (Hooks.FocusList)
        Hooks.FocusList();
}

void TFolderView::MessageListSelectItem() {
    Menu.AttachmentsButton = false;
    Menu.RemoveAttachments = false;
    if (List.SelectedCount() == 0) {
        Ui().SetStatusText(TStatusBar::Message, std::string());
        if (Hooks.MenuStateChanged)
            Hooks.MenuStateChanged();
        return;
    }
    if (List.SelectedCount() == 1) {
        const TListRow& row = List.Row(List.FirstSelected());
        Ui().SetStatusText(TStatusBar::Message,
                           std::string(row.SubItem(1)) + " > " + std::string(row.SubItem(2)));
    } else {
        Ui().SetStatusText(TStatusBar::Message,
                           std::to_string(List.SelectedCount()) + Text(1, 322));
    }
    if (ShowingSearchResults()) {
        Menu.OnlyOpen = true;
        if (Hooks.MenuStateChanged)
            Hooks.MenuStateChanged();
        return;
    }
    const int focused = List.Focused() >= 0 ? List.Focused() : List.FirstSelected();
    const std::string path = RowFilePath(focused);
    std::error_code ec;
    if (!path.empty() && fs::exists(path, ec)) {
        // The attachments of a file outside the listed folder are not offered.
        if (List.Row(focused).ImageIndex >= kImageAttachment &&
            RowFileInFolder(focused, Project, Folder)) {
            Menu.AttachmentsButton = true;
            Menu.RemoveAttachments = true;
        }
    } else if (focused >= 0 && Work.BusyKind() != TCommandKind::Message) {
        // (A command moving rows away mends the list itself when it ends.)
        Play(TSound::Attention);
        Popup(Text(1, 262), Text(0, 25), 6000, 12, true);
        List.Remove(focused);
        if (Project > 998)
            SetFolderStale(Project, Folder, true);
        RefreshList();
        return;
    }
    if (Hooks.MenuStateChanged)
        Hooks.MenuStateChanged();
}

void TFolderView::ColumnClick(int column) {
    if (!TCommandScope(Work, TCommandKind::Browse, "Sort"))
        return;
    if (Hooks.SetListEnabled)
        Hooks.SetListEnabled(false);
    SetTreesEnabled(false);
    Shell.Animation().Start();
    Ui().SetStatusText(TStatusBar::Message, Text(1, 249));
    List.HeadingClick(column);
    SaveListSort(Shell.Registry(), List);
    if (!List.Empty() && List.Focused() < 0)
        List.SetFocused(0);
    Menu.MessageButtons = List.Focused() >= 0;
    Menu.ReplyButtons = Menu.MessageButtons && (Folder == kFolderInbox || IsCustomFolderCode(Folder));
    Shell.Animation().Stop();
    SetTreesEnabled(true);
    if (Hooks.SetListEnabled)
        Hooks.SetListEnabled(true);
    Ui().SetStatusText(TStatusBar::Message, std::string());
    if (Hooks.MenuStateChanged)
        Hooks.MenuStateChanged();
}

void TFolderView::MessageListClick() {
    Play(TSound::Click);
    if (!ClickedSinceListing) {
        ClickedSinceListing = true;
        Menu.MessageButtons = true;
        Menu.ReplyButtons = Folder == kFolderInbox || IsCustomFolderCode(Folder);
        if (Hooks.MenuStateChanged)
            Hooks.MenuStateChanged();
    }
}

} // namespace pelmora
