// The check every command on the rows of the message list makes before it touches a row's
// file, and the rebuild of the folder when a row fails it.

#include "store/folder_listing.h"

#include "shell/shell_state.h"
#include "store/store_layout.h"

#include <set>
#include <utility>

namespace pelmora {
namespace {

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool TFolderView::RowFileInFolder(int row, int project, int code) const {
    const std::string path = RowFilePath(row);
    if (path.empty())
        return false;
    if (ShowingSearchResults()) {
        return IsFileInFolder(path, Shell.Dirs().Temp, true) ||
               IsFileInFolder(path, Shell.Dirs().Store, true);
    }
    if (project <= 998)
        return false;
    const std::string folder = FolderDirectory(project, code);
    return !folder.empty() && IsFileInFolder(path, folder);
}

std::vector<int> TFolderView::CheckedActedRows(int project, int code, bool single) {
    std::vector<int> rows = ActedRows(single);
    bool allGood = true;
    for (int row : rows) {
        if (!RowFileInFolder(row, project, code)) {
            allGood = false;
            break;
        }
    }
    if (allGood)
        return rows;

    if (!ShowingSearchResults() && project > 998 && !FolderDirectory(project, code).empty() &&
        !Building) {
        // The same messages in this folder: same file name, same Message-ID.
        std::set<std::pair<std::string, std::string>> wanted;
        for (int row : rows) {
            wanted.emplace(NameOf(RowFilePath(row)), std::string(List.Row(row).SubItem(4)));
        }
        SetFolderStale(project, code, true);
        const bool aborted = Shell.AbortRequested;
        Shell.AbortRequested = false;
        ListFolder(project, code);
        Shell.AbortRequested = aborted || Shell.Closing;
        List.ClearSelection();
        int first = -1;
        for (int i = 0; i < List.Count(); ++i) {
            const TListRow& row = List.Row(i);
            if (wanted.count({NameOf(RowPath(row.Caption())), std::string(row.SubItem(4))})) {
                List.Select(i, true);
                if (first < 0)
                    first = i;
            }
        }
        if (first >= 0)
            List.SetFocused(first);
        rows = ActedRows(single);
    }
    std::erase_if(rows, [&](int row) { return !RowFileInFolder(row, project, code); });
    return rows;
}

} // namespace pelmora
