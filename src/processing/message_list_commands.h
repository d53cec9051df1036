#pragma once
// What the message list's buttons, double clicks and the blacklist command decide, without
// widgets: which message buttons the listed folder and the selection allow, what a double
// click on a row does, and which addresses "Add Address(-es) to Black-list" takes from the
// acted rows. The window only shows the results.

#include <string>
#include <vector>

namespace pelmora {

class TFolderView;
struct TMailMenuState;

// The message buttons under the list, in their order on the panel.
enum class TMessageButton { New, Open, Reply, ReplyAll, Forward, Print, Find, Attachments };

// Whether a button is usable. Every button but "New" waits for the first click after a
// listing; while search results are listed only "Open" works. "Reply" and "Reply All" need a
// folder whose mail came from others (inbox, custom folders); "Forward" works on any message,
// sent mail included.
bool MessageButtonEnabled(TMessageButton button, const TMailMenuState& state);

// What a double click on a row does.
enum class TListDoubleClick {
    CycleState, // on the state column of a folder's row: the row's state steps on
    Open,       // a message window for the row
    QuickView,  // the text in a pop-up, where no message windows can be opened
};
TListDoubleClick ListDoubleClickAction(int column, bool showingSearchResults,
                                       bool messageWindows);
// Runs the double click's action on the view (message windows are there when the view's
// OpenMessageWindow hook is set).
void MessageListDoubleClick(TFolderView& view, int column);

// The address columns of the rows the blacklist command acts on (every selected row from the
// first selected one, or the one selected row): column 2, which shows the senders of incoming
// folders and the recipients of outgoing ones.
std::vector<std::string> BlackListColumnsOfActedRows(const TFolderView& view);
// "Add Address(-es) to Black-list" on the listed rows: adds the new addresses to the
// program's blacklist file with the busy cursor and animation; the number added. Nothing
// happens when no row is selected.
int AddActedSendersToBlackList(TFolderView& view);

} // namespace pelmora
