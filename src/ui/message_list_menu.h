#pragma once
// TMailMenu: the popup menu of the message list ("MailMenu"), its items in order with their
// captions from the texts table and their shortcuts. Items whose command lives in the core's
// TFolderView (refresh, quick view, open, state toggles, select all, copy, move, delete, save,
// remove attachments, the two receipt searches) run it directly; the others (new message,
// reply, forward, print, find, search, address books, backups, attachments window) are
// announced through CommandRequested with the item's name, for the window that owns them.

#include <QMenu>
#include <QString>
#include <map>

namespace pelmora {

class TFolderView;

class TMailMenu : public QMenu {
    Q_OBJECT
public:
    // The view is not owned and must outlive the menu.
    TMailMenu(QWidget* parent, TFolderView& view);

    // The item of a component name ("MMenuCopyMessage", ...); nullptr for an unknown name.
    QAction* Item(const QString& name) const;
    // Names of the items in menu order (separators left out).
    QStringList ItemNames() const;
    // Shows, hides and enables the items as the menu opens (MailMenuPopup).
    void UpdateItems();

Q_SIGNALS:
    void CommandRequested(const QString& itemName);

private:
    void Run(const QString& name);

    TFolderView& View; // Not owned.
    std::map<QString, QAction*> Items;
    QStringList Order;
};

} // namespace pelmora
