#include "ui/message_list_menu.h"

#include "processing/receipt_commands.h"
#include "shell/shell_state.h"
#include "store/folder_listing.h"
#include "store/message_commands.h"
#include "store/message_state.h"
#include "ui/text_convert.h"

#include <QAction>
#include <QKeySequence>

namespace pelmora {
namespace {

struct TItem {
    const char* Name; // nullptr: a separator
    int Module;
    int Slot; // -1: the fixed caption "&Quick-View"
    QKeyCombination Key;
};

const TItem kItems[] = {
    {"MMenuNewMessage", 1, 201, Qt::CTRL | Qt::Key_N},
    {"MMenuRefreshList", 1, 188, QKeyCombination(Qt::Key_F5)},
    {"MMenuQuickView", 0, -1, QKeyCombination(Qt::Key_F2)},
    {"MMenuOpen", 1, 179, Qt::CTRL | Qt::Key_O},
    {"MMenuEdit", 1, 203, Qt::CTRL | Qt::Key_E},
    {"MMenuReply", 1, 180, Qt::CTRL | Qt::Key_R},
    {"MMenuReplytoAll", 1, 182, Qt::CTRL | Qt::Key_L},
    {"MMenuForward", 1, 181, Qt::CTRL | Qt::Key_W},
    {nullptr, 0, 0, {}},
    {"MMenuFindMessage", 1, 195, Qt::CTRL | Qt::Key_F},
    {"MMenuSearchMessage", 1, 196, Qt::CTRL | Qt::ALT | Qt::Key_S},
    {"MMenuFindReceipt", 1, 197, Qt::CTRL | Qt::SHIFT | Qt::Key_F3},
    {"MMenuFindsourceofreceipt", 1, 198, Qt::CTRL | Qt::ALT | Qt::Key_S},
    {"MMenuFindSenderinAddressbook", 1, 199, Qt::CTRL | Qt::Key_F3},
    {"MMenuFindSenderinProjectAddressBook", 1, 200, Qt::CTRL | Qt::Key_B},
    {"MMenuSearchAgain", 1, 194, QKeyCombination(Qt::Key_F3)},
    {nullptr, 0, 0, {}},
    {"MMenuToggleReadUnread", 1, 191, Qt::CTRL | Qt::ALT | Qt::Key_R},
    {"MMenuToggelFlag", 1, 190, Qt::CTRL | Qt::ALT | Qt::Key_F},
    {"MMenuToggleCheck", 1, 189, Qt::CTRL | Qt::ALT | Qt::Key_C},
    {"MMToggleOrphan", 1, 192, Qt::CTRL | Qt::ALT | Qt::Key_O},
    {nullptr, 0, 0, {}},
    {"MMenuSelectAll", 1, 41, Qt::CTRL | Qt::Key_A},
    {"MMenuCopyMessage", 1, 176, Qt::CTRL | Qt::Key_C},
    {"MMenuMoveMessagetootherProject", 1, 177, Qt::CTRL | Qt::Key_M},
    {"MMenuDeleteMessage", 1, 183, QKeyCombination(Qt::Key_Delete)},
    {"MMenuPrintMessage", 1, 235, Qt::CTRL | Qt::Key_P},
    {"MMenuSaveMessage", 1, 184, Qt::CTRL | Qt::Key_S},
    {"MMenuViewSaveAttachtments", 1, 202, Qt::CTRL | Qt::Key_V},
    {"mmenuremoveattachments", 1, 3, Qt::CTRL | Qt::ALT | Qt::Key_M},
    {nullptr, 0, 0, {}},
    {"MMenuBackupSelectedMessages", 1, 40, Qt::CTRL | Qt::ALT | Qt::Key_U},
    {nullptr, 0, 0, {}},
    {"MMenuAddSendertoAddressBook", 1, 187, Qt::CTRL | Qt::ALT | Qt::Key_A},
    {"MMenuAddSendertoProjBook", 1, 186, Qt::CTRL | Qt::ALT | Qt::Key_P},
    {"MMenuAddSendertoBlackList", 1, 185, Qt::CTRL | Qt::ALT | Qt::Key_B},
};

} // namespace

TMailMenu::TMailMenu(QWidget* parent, TFolderView& view) : QMenu(parent), View(view) {
    setObjectName(QStringLiteral("MailMenu"));
    const TShell& shell = View.Shell;
    for (const TItem& item : kItems) {
        if (!item.Name) {
            addSeparator();
            continue;
        }
        const QString name = QString::fromLatin1(item.Name);
        const QString caption = item.Slot < 0 ? QStringLiteral("&Quick-View")
                                              : ToQt(shell.Text(item.Module, item.Slot));
        QAction* action = addAction(caption);
        action->setObjectName(name);
        action->setShortcut(QKeySequence(item.Key));
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, [this, name] { Run(name); });
        Items[name] = action;
        Order.append(name);
    }
    connect(this, &QMenu::aboutToShow, this, &TMailMenu::UpdateItems);
}

QAction* TMailMenu::Item(const QString& name) const {
    const auto it = Items.find(name);
    return it == Items.end() ? nullptr : it->second;
}

QStringList TMailMenu::ItemNames() const {
    return Order;
}

void TMailMenu::UpdateItems() {
    const TMailMenuItems state = View.MailMenuPopup();
    const TShell& shell = View.Shell;
    if (state.OnlySearchItems) {
        for (const auto& [name, action] : Items) {
            action->setVisible(name == QLatin1String("MMenuQuickView") ||
                               name == QLatin1String("MMenuOpen") ||
                               name == QLatin1String("MMenuSaveMessage") ||
                               name == QLatin1String("MMenuCopyMessage"));
        }
        for (QAction* action : actions()) {
            if (action->isSeparator())
                action->setVisible(false);
        }
        return;
    }
    for (QAction* action : actions())
        action->setVisible(true);
    Item(QStringLiteral("MMenuDeleteMessage"))
        ->setText(ToQt(state.DeleteIsPermanent ? shell.Text(3, 12) : shell.Text(1, 183)));
    Item(QStringLiteral("MMenuEdit"))->setEnabled(state.Edit);
    Item(QStringLiteral("MMenuFindsourceofreceipt"))->setEnabled(state.FindSourceOfReceipt);
    Item(QStringLiteral("MMenuFindReceipt"))->setEnabled(state.FindReceipt);
    Item(QStringLiteral("mmenuremoveattachments"))->setEnabled(state.RemoveAttachments);
}

void TMailMenu::Run(const QString& name) {
    if (name == QLatin1String("MMenuRefreshList"))
        View.RefreshList();
    else if (name == QLatin1String("MMenuQuickView"))
        View.QuickViewClick();
    else if (name == QLatin1String("MMenuOpen"))
        View.OpenClick();
    else if (name == QLatin1String("MMenuToggleReadUnread"))
        View.ChangeMessageState(kToggleRead, false);
    else if (name == QLatin1String("MMenuToggelFlag"))
        View.ChangeMessageState(kToggleFlag, false);
    else if (name == QLatin1String("MMenuToggleCheck"))
        View.ChangeMessageState(kToggleCheck, false);
    else if (name == QLatin1String("MMToggleOrphan"))
        View.ChangeMessageState(kToggleOrphan, false);
    else if (name == QLatin1String("MMenuSelectAll"))
        View.SelectAllClick();
    else if (name == QLatin1String("MMenuCopyMessage"))
        View.MenuCopyClick();
    else if (name == QLatin1String("MMenuMoveMessagetootherProject"))
        View.MenuMoveClick();
    else if (name == QLatin1String("MMenuDeleteMessage"))
        View.MenuDeleteClick();
    else if (name == QLatin1String("MMenuSaveMessage"))
        View.SaveToFileClick();
    else if (name == QLatin1String("mmenuremoveattachments"))
        View.RemoveAllAttachmentsClick();
    else if (name == QLatin1String("MMenuFindReceipt"))
        FindReceiptOfSelectedMessage(View);
    else if (name == QLatin1String("MMenuFindsourceofreceipt"))
        FindSourceOfSelectedReceipt(View);
    else
        Q_EMIT CommandRequested(name);
}

} // namespace pelmora
