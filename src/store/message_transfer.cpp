#include "store/message_transfer.h"

#include "paramtree/node_tree.h"
#include "shell/shell_state.h"
#include "store/custom_folders.h"
#include "store/folder_counts.h"
#include "store/folder_listing.h"
#include "store/folder_repair.h"
#include "store/message_files.h"
#include "store/message_state.h"
#include "store/node_helpers.h"
#include "store/store_layout.h"
#include "store/workspace.h"
#include "shell/atomic_file.h"

#include <charconv>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

std::string UpperCopy(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string Extension(std::string_view fileName) {
    const size_t dot = fileName.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(fileName.substr(dot));
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsMessageFolder(int code) { return IsFixedFolderCode(code) || IsCustomFolderCode(code); }

// Same file on disk (both exist and are one inode), or the same path.
bool SameFile(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

} // namespace

std::string OrphanToUnreadName(std::string_view fileName) {
    const size_t dot = fileName.rfind('.');
    std::string base(dot == std::string_view::npos ? fileName : fileName.substr(0, dot));
    if (base.empty() || base.front() != '_')
        base.insert(0, "_");
    return base + ".eml";
}

std::string TrashArrivalName(std::string_view fileName) {
    if (!fileName.empty() && fileName.front() == '_')
        return std::string(fileName.substr(1));
    if (UpperCopy(Extension(fileName)) == ".EMLO")
        return std::string(fileName.substr(0, fileName.size() - 1));
    return std::string(fileName);
}

bool ReceiptsRuleAllows(int sourceCode, int destinationCode) {
    if (destinationCode != kFolderInReceipts && destinationCode != kFolderOutReceipts)
        return true;
    return sourceCode == destinationCode;
}

TPickedFolder ParsePickedFolder(std::string_view nodeText) {
    TPickedFolder picked;
    picked.Project = NodeNumber(nodeText);
    const size_t at = nodeText.find("<XPID=");
    if (at == std::string_view::npos)
        return picked;
    std::string_view rest = nodeText.substr(at + 6);
    rest = rest.substr(0, rest.find('>'));
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == ' ')
        rest.remove_suffix(1);
    int value = 0;
    auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (!rest.empty() && ec == std::errc() && ptr == rest.data() + rest.size())
        picked.Folder = value;
    return picked;
}

std::string PickerFolderText(int project, int code, std::string_view caption) {
    return "<XID=" + std::to_string(project) + "><XPID=" + std::to_string(code) + ">" +
           std::string(caption);
}

// Removes the copies of a message in other states at the destination (the destination
// name itself, "_" + it, and it + "f", "o", "c"), never the source.
static void RemoveOtherStates(const std::string& source, const std::string& destination) {
    std::error_code ec;
    const std::string dir = DirOf(destination);
    const std::string name = NameOf(destination);
    for (const std::string& other : {destination, dir + "_" + name, destination + "f",
                                     destination + "o", destination + "c"}) {
        if (!SameFile(other, source))
            fs::remove(other, ec);
    }
}

bool TFolderView::CopyMessageFile(const std::string& source, const std::string& destination) {
    std::error_code ec;
    // A message copied onto itself would be deleted below: refuse it.
    bool ok = fs::exists(source, ec) && !SameFile(source, destination);
    if (ok) {
        RemoveOtherStates(source, destination);
        ok = CopyFileBlocks(source, destination, true);
    }
    if (!ok && !ShowingSearchResults())
        Play(TSound::Popped);
    return ok;
}

TFolderView::TMoveResult TFolderView::MoveMessageFile(const std::string& source,
                                                      const std::string& destination) {
    std::error_code ec;
    if (!fs::exists(source, ec) || SameFile(source, destination)) {
        Play(TSound::Popped);
        return TMoveResult::Failed;
    }
    RemoveOtherStates(source, destination);
    // Within one file system the message is renamed: it is never in both places or in none.
    if (RenameNoReplace(source, destination))
        return TMoveResult::Moved;
    if (!CopyFileBlocks(source, destination, true)) {
        Play(TSound::Popped);
        return TMoveResult::Failed;
    }
    return ::unlink(source.c_str()) == 0 ? TMoveResult::Moved : TMoveResult::Copied;
}

bool TFolderView::BuildDestinationTree(TNodeTree& tree, int preselectedProject) {
    tree.BeginUpdate();
    tree.Clear();
    struct TEnd {
        TNodeTree& Tree;
        ~TEnd() { Tree.EndUpdate(); }
    } end{tree};
    const std::string store = Shell.Dirs().Store;
    TNode* preselected = nullptr;
    for (int a = 0; a < Work.AccountTree.TopCount(); ++a) {
        TNode* account = Work.AccountTree.Top(a);
        if (Shell.AbortRequested || Shell.Closing)
            return false;
        if (account->ChildCount() == 0)
            continue;
        TNode* top = tree.Add(nullptr, PlainCaption(account->Text()));
        for (int c = 0; c < account->ChildCount(); ++c) {
            if (Shell.AbortRequested || Shell.Closing)
                return false;
            TNode* child = account->Child(c);
            const int project = NodeNumber(child->Text());
            if (project < kFirstUserProject || project > kLastDefaultProject)
                continue;
            TNode* projectNode = tree.Add(top, PlainCaption(CaptionBase(child->Text())));
            TNode* inbox = tree.Add(projectNode, PickerFolderText(project, kFolderInbox, Text(1, 317)));
            // Every custom folder is offered, also those behind a gap in the numbers.
            const TCustomFolderTable custom = ScanCustomFolders(store, project, Text(3, 14));
            for (int code = kFirstCustomFolder; code <= kLastCustomFolder; ++code) {
                const TCustomFolder* folder = custom.At(code);
                if (folder && !folder->Name.empty())
                    tree.Add(inbox, PickerFolderText(project, code, folder->Name));
            }
            const std::pair<int, int> fixed[] = {{kFolderInReceipts, 316}, {kFolderSent, 287},
                                                 {kFolderOutReceipts, 319}, {kFolderOutbox, 318},
                                                 {kFolderTrash, 315}, {kFolderDrafts, 320}};
            for (const auto& [code, slot] : fixed)
                tree.Add(projectNode, PickerFolderText(project, code, Text(1, slot)));
            if (project == preselectedProject)
                preselected = projectNode;
        }
    }
    if (preselected) {
        tree.Select(preselected);
        tree.Expand(preselected->Parent(), true);
        tree.Expand(preselected, true);
        for (int i = 0; i < preselected->ChildCount(); ++i)
            tree.Expand(preselected->Child(i), true);
    } else if (!tree.Empty()) {
        tree.Select(tree.First());
        tree.Expand(tree.First(), false);
    }
    return true;
}

void TFolderView::CopyOrMoveMessages(bool move, bool isDelete, int preselectedProject,
                                     int targetFolder, bool explicitTarget) {
    // The loop below keeps row numbers across pumps: nothing else may touch the list or the
    // folders until it is done.
    const TCommandScope busy(Work, TCommandKind::Message,
                             isDelete ? "Delete" : (move || explicitTarget ? "Move" : "Copy"));
    if (!busy)
        return;
    Ui().SetBusyCursor(true);
    SetTreesEnabled(false);
    Shell.Animation().Start();
    StopRefresh = true;
    TMessageList destination;
    const bool searchResults = ShowingSearchResults();

    auto cleanUp = [&] {
        SetTreesEnabled(true);
        Shell.Animation().Stop();
        Ui().SetBusyCursor(false);
        StopRefresh = false;
        if (Hooks.FocusList)
            Hooks.FocusList();
        Shell.AbortRequested = Shell.Closing;
        if (!searchResults) {
            Shell.ProjectTreeChanged = true;
            ArmCounts();
        }
    };

    int sourceCode = -1;
    int currentProject = Shell.CurrentProject;
    int rememberedRow = -1;
    if (searchResults) {
        move = false;
        isDelete = false;
        explicitTarget = false;
    } else {
        ReselectRemembered();
        if (List.SelectedCount() == 0 || !Work.AccountTree.Selected() ||
            !Work.ProjectTree.Selected()) {
            cleanUp();
            return;
        }
        sourceCode = NodeNumber(Work.ProjectTree.Selected()->Text());
        if (!IsMessageFolder(sourceCode)) {
            Play(TSound::Popped);
            cleanUp();
            return;
        }
        currentProject = NodeNumber(Work.AccountTree.Selected()->Text());
    }
    // The source is known before the first pump lets the window paint.
    Ui().Pump();
    if (List.SelectedCount() == 0) {
        cleanUp();
        return;
    }

    int destProject = -1;
    int destFolder = -1;
    bool permanent = false;
    if (explicitTarget) {
        destProject = currentProject;
        destFolder = targetFolder;
        move = true;
    } else if (isDelete) {
        destProject = currentProject;
        destFolder = kFolderTrash;
        Ui().Pump();
        if (sourceCode == kFolderTrash) {
            Play(TSound::Attention);
            std::string caption = Text(1, 278);
            std::erase(caption, '&');
            bool check = false;
            if (Ui().AskDialog(caption, Text(1, 240), 12, check, false) != kAskFirst) {
                cleanUp();
                return;
            }
            permanent = true;
        }
    } else {
        TNodeTree picker;
        if (!BuildDestinationTree(picker, preselectedProject)) {
            cleanUp();
            return;
        }
        const std::string choice =
            Hooks.ChooseDestination ? Hooks.ChooseDestination(picker) : std::string();
        if (Shell.Closing || Shell.AbortRequested) {
            cleanUp();
            return;
        }
        const TPickedFolder picked = ParsePickedFolder(choice);
        destProject = picked.Project;
        destFolder = picked.Folder;
    }

    if (!isDelete) {
        if (!IsMessageFolder(destFolder) || destProject < kFirstUserProject) {
            cleanUp();
            return;
        }
        if (!ReceiptsRuleAllows(sourceCode, destFolder)) {
            Play(TSound::Attention);
            Popup(Text(1, 262), Text(0, 26), 6000, 13, false);
            cleanUp();
            return;
        }
        if (!searchResults && destProject == currentProject && destFolder == sourceCode) {
            // The rows' own folder: copying a file onto itself would destroy it.
            Play(TSound::Popped);
            cleanUp();
            return;
        }
        bool check = false;
        if (destFolder == kFolderOutbox && sourceCode != kFolderOutbox) {
            Play(TSound::Attention);
            if (Ui().AskDialog(Text(1, 176), Text(1, 348), 12, check, false) != kAskFirst) {
                cleanUp();
                return;
            }
        } else if (sourceCode == kFolderOutbox && destFolder != kFolderOutbox) {
            Play(TSound::Popped);
            if (Ui().AskDialog(Text(1, 176), Text(1, 349), 12, check, false) != kAskFirst) {
                cleanUp();
                return;
            }
        }
    }

    // Only files of the source folder are moved, copied or deleted; rows naming any other
    // file make the folder rebuild from its own files first.
    const std::vector<int> acted = CheckedActedRows(currentProject, sourceCode, false);
    if (acted.empty()) {
        cleanUp();
        return;
    }
    if (!searchResults)
        rememberedRow = List.FirstSelected();

    const std::string destDir = FolderDirectory(destProject, destFolder);
    const std::string destIndex = destDir + "tree.lst";
    TFolderSummary destCounts;
    if (!permanent) {
        std::error_code ec;
        CreatePrivateDirectories(destDir);
        TIndexLoad load = LoadIndex(destIndex, destination);
        if (load.Ok && !IndexRowsInFolder(destination, destDir)) {
            // Rows naming other folders' files would be written back with the arrivals.
            RebuildFolderIndex(destDir, destFolder, Control());
            load = LoadIndex(destIndex, destination);
        }
        destCounts = {load.Rows, load.Unread};
    }

    TFolderSummary source = UpdateFolderCaption(sourceCode, 0, 0, TCaptionMode::Read);
    if (source.Total < 0 || source.Unread < 0)
        source = {List.Count(), List.CountUnread()};
    {
        int animation = 1;
        if (permanent)
            animation = 4;
        else if (destFolder == kFolderTrash)
            animation = 3;
        // A permanent delete copies and moves nothing; its pop-up says what happens.
        const std::string doing =
            permanent ? Work.Shell().Texts().Own(TOwnText::DeletingMessages) : Text(1, 9);
        Popup(Text(1, 261), "\r\n" + doing, 10000, 14, true, animation);
    }
    Ui().Pump();

    std::vector<int> removed;
    bool aborted = false;
    bool sourceRenamed = false;
    int copied = 0;
    int done = 0;
    for (int row : acted) {
        if (++done % 50 == 0) {
            Ui().Pump();
            AnimationTick();
        }
        if (Shell.AbortRequested || Shell.Closing) {
            aborted = true;
            break;
        }
        const TListRow& current = List.Row(row);
        if (current.Caption().find('<') == std::string_view::npos) {
            aborted = true;
            break;
        }
        if (!RowFileInFolder(row, currentProject, sourceCode))
            continue; // changed since it was checked: left alone
        std::string path = RowFilePath(row);
        if (permanent) {
            std::string lower = path;
            for (char& c : lower)
                c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            if (lower.find("trash") == std::string::npos)
                continue;
            if (::unlink(path.c_str()) != 0)
                break;
            removed.push_back(row);
            --source.Total;
            if (CaptionCountsUnread(current.Caption()))
                --source.Unread;
            continue;
        }
        const std::string name = NameOf(path);
        if (!isDelete && UpperCopy(Extension(name)) == ".EMLO") {
            const std::string renamed = DirOf(path) + OrphanToUnreadName(name);
            if (RenameNoReplace(path, renamed)) {
                List.SetState(row, kStateUnread, renamed);
                path = renamed;
                sourceRenamed = true;
            }
        } else if (destFolder == kFolderTrash) {
            const std::string arrival = TrashArrivalName(name);
            if (arrival != name) {
                const std::string renamed = DirOf(path) + arrival;
                if (!RenameNoReplace(path, renamed)) {
                    Play(TSound::Popped); // the message stays where it is
                    continue;
                }
                List.SetState(row, kStateRead, renamed);
                path = renamed;
                sourceRenamed = true;
            }
        }
        const std::string destPath = destDir + NameOf(path);
        TMoveResult result = TMoveResult::Failed;
        if (move)
            result = MoveMessageFile(path, destPath);
        else if (CopyMessageFile(path, destPath))
            result = TMoveResult::Copied;
        if (result == TMoveResult::Failed)
            continue;
        const TListRow& moved = List.Row(row);
        std::int64_t size = 0;
        {
            const std::string_view column = moved.SubItem(3);
            std::from_chars(column.data(), column.data() + column.size(), size);
        }
        TListRow arrived = moved;
        arrived.Selected = false;
        arrived.SetCaption(RowCaption(moved.StateIndex, moved.ImageIndex, destPath));
        arrived.SetSubItem(3, FormatSizeColumn(size));
        destination.Add(std::move(arrived));
        ++copied;
        ++destCounts.Total;
        if (!NameOf(destPath).empty() && NameOf(destPath).front() == '_')
            ++destCounts.Unread;
        if (result == TMoveResult::Moved) {
            --source.Total;
            if (CaptionCountsUnread(List.Row(row).Caption()))
                --source.Unread;
            removed.push_back(row);
        }
    }
    List.RemoveRows(removed);

    if (aborted) {
        // The files already moved stay where they are; both folders are rebuilt from their
        // files at their next listing.
        if (sourceRenamed || !removed.empty())
            SetFolderStale(currentProject, sourceCode, true);
        if (copied > 0)
            SetFolderStale(destProject, destFolder, true);
        cleanUp();
        return;
    }

    if (!searchResults && (move || sourceRenamed)) {
        if (move)
            UpdateFolderCaption(sourceCode, source.Total, source.Unread, TCaptionMode::Set);
        const bool saved = SaveIndex(IndexPath(currentProject, sourceCode), List, Control());
        SetFolderStale(currentProject, sourceCode, !saved);
    }
    if (copied > 0) {
        const bool saved = SaveIndex(destIndex, destination, Control());
        if (!saved)
            SetFolderStale(destProject, destFolder, true);
        if (!searchResults && destProject == currentProject)
            UpdateFolderCaption(destFolder, destCounts.Total, destCounts.Unread, TCaptionMode::Set);
    }
    if (List.SelectedCount() == 0 && !List.Empty() && rememberedRow >= 0)
        List.SelectOnly(rememberedRow < List.Count() ? rememberedRow : List.Count() - 1);
    if (isDelete)
        Play(TSound::ToTrash);
    cleanUp();
}

void TFolderView::MenuCopyClick() {
    CopyOrMoveMessages(false, false, Shell.CurrentProject, -1, false);
}

void TFolderView::MenuMoveClick() {
    CopyOrMoveMessages(true, false, Shell.CurrentProject, -1, false);
}

void TFolderView::MenuDeleteClick() { CopyOrMoveMessages(true, true, -1, -1, false); }

void TFolderView::EmptyTrashClick() {
    TNode* node = Work.ProjectTree.Selected();
    if (!node || NodeNumber(node->Text()) != kFolderTrash)
        return;
    if (!TCommandScope(Work, TCommandKind::Message, "Empty Trash"))
        return; // said why; the command below would refuse too
    ProjectTreeClick();
    List.SelectAll();
    MenuDeleteClick();
}

bool TFolderView::ProjectTreeDragOver(const TNode* target) const {
    if (!target || target == Work.ProjectTree.Selected())
        return false;
    const int code = NodeNumber(target->Text());
    const bool folderPlace =
        target->Level() == 0 ||
        (target->Level() == 1 && NodeNumber(target->Parent()->Text()) == kFolderInbox);
    if (!folderPlace)
        return false;
    return code == kFolderInbox || code == kFolderSent || code == kFolderOutbox ||
           code == kFolderTrash || code == kFolderDrafts || IsCustomFolderCode(code);
}

bool TFolderView::AccountTreeDragOver(const TNode* target) const { return target != nullptr; }

void TFolderView::DropOnProjectTree(TNode* target) {
    if (!ProjectTreeDragOver(target))
        return;
    CopyOrMoveMessages(true, false, -1, NodeNumber(target->Text()), true);
}

void TFolderView::DropOnAccountTree(TNode* target) {
    if (!target)
        return;
    const int number = NodeNumber(target->Text());
    CopyOrMoveMessages(true, false, number >= 999 ? number : -1, -1, false);
}

} // namespace pelmora
