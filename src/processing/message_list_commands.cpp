#include "processing/message_list_commands.h"

#include "addressbook/blacklist.h"
#include "shell/shell_state.h"
#include "store/folder_listing.h"

namespace pelmora {

bool MessageButtonEnabled(TMessageButton button, const TMailMenuState& state) {
    switch (button) {
    case TMessageButton::New:
    case TMessageButton::Find:
        return !state.OnlyOpen;
    case TMessageButton::Open:
        return state.MessageButtons;
    case TMessageButton::Reply:
    case TMessageButton::ReplyAll:
        return !state.OnlyOpen && state.MessageButtons && state.ReplyButtons;
    case TMessageButton::Forward:
    case TMessageButton::Print:
        return !state.OnlyOpen && state.MessageButtons;
    case TMessageButton::Attachments:
        return !state.OnlyOpen && state.AttachmentsButton;
    }
    return false;
}

TListDoubleClick ListDoubleClickAction(int column, bool showingSearchResults,
                                       bool messageWindows) {
    // Search results belong to no listed folder: their state cannot be changed there.
    if (column == 0 && !showingSearchResults)
        return TListDoubleClick::CycleState;
    return messageWindows ? TListDoubleClick::Open : TListDoubleClick::QuickView;
}

void MessageListDoubleClick(TFolderView& view, int column) {
    switch (ListDoubleClickAction(column, view.ShowingSearchResults(),
                                  static_cast<bool>(view.Hooks.OpenMessageWindow))) {
    case TListDoubleClick::CycleState:
        view.ChangeMessageState(0, true);
        break;
    case TListDoubleClick::Open:
        view.OpenClick();
        break;
    case TListDoubleClick::QuickView:
        view.QuickViewClick();
        break;
    }
}

std::vector<std::string> BlackListColumnsOfActedRows(const TFolderView& view) {
    std::vector<std::string> columns;
    for (int row : view.ActedRows(false))
        columns.emplace_back(view.List.Row(row).Cell(2));
    return columns;
}

int AddActedSendersToBlackList(TFolderView& view) {
    if (view.List.Empty() || view.List.SelectedCount() == 0)
        return 0;
    TShell& shell = view.Shell;
    TUiServices& ui = shell.Ui();
    shell.Animation().Start();
    ui.SetBusyCursor(true);
    ui.Pump();
    const int added = AddSendersToBlackList(BlackListPath(shell.Dirs().AddressBooks),
                                            BlackListColumnsOfActedRows(view), &ui);
    ui.SetBusyCursor(false);
    shell.Animation().Stop();
    if (view.Hooks.FocusList)
        view.Hooks.FocusList();
    return added;
}

} // namespace pelmora
