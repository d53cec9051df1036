#include "store/message_state.h"

#include "shell/shell_state.h"
#include "store/folder_listing.h"
#include "store/message_files.h"
#include "store/node_helpers.h"
#include "store/workspace.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace pelmora {

int NextMessageState(int kind, int state, bool cycle) {
    if (cycle)
        return state + 1 > kStateUnread || state < kStateRead ? kStateRead : state + 1;
    switch (kind) {
    case kToggleRead:
        return state == kStateUnread || state == kStateOrphan ? kStateRead : kStateUnread;
    case kToggleCheck:
        return state == kStateCheck ? kStateRead : kStateCheck;
    case kToggleFlag:
        return state == kStateFlag ? kStateRead : kStateFlag;
    case kToggleOrphan:
        return state == kStateOrphan ? kStateRead : kStateOrphan;
    default:
        return state;
    }
}

std::optional<std::string> RenameToState(const std::string& path, int state) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::optional<std::string> newName = MessageNameForState(name, state);
    if (!newName)
        return std::nullopt;
    const std::string target = dir + *newName;
    if (target == path)
        return access(path.c_str(), F_OK) == 0 ? std::optional<std::string>(path) : std::nullopt;
    if (!RenameNoReplace(path, target))
        return std::nullopt;
    return target;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without no-replace renames: a hard link cannot replace a file either.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    if (::unlink(from.c_str()) != 0) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

bool TFolderView::SetRowState(int row, int state) {
    const std::string path = RowFilePath(row);
    // Only a file of the listed folder is ever renamed.
    const std::optional<std::string> renamed = RowFileInFolder(row, Project, Folder)
                                                   ? RenameToState(path, state)
                                                   : std::nullopt;
    if (!renamed) {
        Play(TSound::Attention);
        Popup(Text(1, 262), Text(0, 16) + "\r\nFile: " + path, 6000, 13, false);
        return false;
    }
    List.SetState(row, state, *renamed);
    return true;
}

void TFolderView::ChangeMessageState(int kind, bool cycle) {
    if (List.Empty())
        return;
    const TCommandScope busy(Work, TCommandKind::Message, "Change message state");
    if (!busy)
        return;
    ReselectRemembered();
    if (!Work.AccountTree.Selected() || !Work.ProjectTree.Selected() ||
        List.SelectedCount() == 0 || ChangingState)
        return;
    const int project = NodeNumber(Work.AccountTree.Selected()->Text());
    const int code = NodeNumber(Work.ProjectTree.Selected()->Text());
    const std::vector<int> rows = CheckedActedRows(project, code, cycle);
    if (rows.empty())
        return;
    ChangingState = true;
    Shell.Animation().Start();
    Ui().SetBusyCursor(true);

    int changed = 0;
    int done = 0;
    for (int row : rows) {
        const int state = NextMessageState(kind, List.Row(row).StateIndex, cycle);
        if (!SetRowState(row, state))
            break;
        ++changed;
        if (++done % 200 == 0)
            Ui().Pump();
        if (Shell.AbortRequested || Shell.Closing)
            break;
    }
    if (changed > 0 && project > 998) {
        const bool saved = SaveIndex(IndexPath(project, code), List, Control());
        SetFolderStale(project, code, !saved);
    }
    ChangingState = false;
    Ui().SetBusyCursor(false);
    Shell.Animation().Stop();
    Shell.ProjectTreeChanged = true;
    ArmCounts();
}

} // namespace pelmora
