// The message list of the main window over the core's folder view: listing from the project
// tree, heading clicks, the selection in both directions, clicks and keys, the popup menu,
// dragging rows onto the trees, the counts refresh timer and the message buttons.

#include "ui/main_form.h"

#include "addressbook/blacklist.h"
#include "processing/message_list_commands.h"
#include "shell/shell_state.h"
#include "shell/sounds.h"
#include "store/folder_listing.h"
#include "ui/compose_launcher.h"
#include "ui/map_sel_form.h"
#include "ui/message_list_menu.h"
#include "ui/message_list_view.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace pelmora {

namespace {

// The mail-menu items whose windows (finding, address books, backups) are not part of this
// program yet: they stay disabled rather than
// pretend to work.
bool ItemUnavailable(const QString& name) {
    static const QStringList unavailable = {
        QStringLiteral("MMenuFindMessage"),
        QStringLiteral("MMenuSearchMessage"),
        QStringLiteral("MMenuFindSenderinAddressbook"),
        QStringLiteral("MMenuFindSenderinProjectAddressBook"),
        QStringLiteral("MMenuSearchAgain"),
        QStringLiteral("MMenuBackupSelectedMessages"),
        QStringLiteral("MMenuAddSendertoAddressBook"),
        QStringLiteral("MMenuAddSendertoProjBook"),
    };
    return unavailable.contains(name);
}

// A message button, the mail-menu item it runs and whether the list's state allows it.
struct TButtonRule {
    const char* Button;
    const char* Item;
    bool (*Allowed)(const TMailMenuState& state);
};

const TButtonRule kButtonRules[] = {
    {"NewMailBut", "MMenuNewMessage",
     [](const TMailMenuState& s) { return MessageButtonEnabled(TMessageButton::New, s); }},
    {"OpenMailBut", "MMenuOpen",
     [](const TMailMenuState& s) { return MessageButtonEnabled(TMessageButton::Open, s); }},
    {"ReplyMailBut", "MMenuReply",
     [](const TMailMenuState& s) { return MessageButtonEnabled(TMessageButton::Reply, s); }},
    {"ReplyAllBut", "MMenuReplytoAll",
     [](const TMailMenuState& s) { return MessageButtonEnabled(TMessageButton::ReplyAll, s); }},
    {"ForwardMailBut", "MMenuForward",
     [](const TMailMenuState& s) { return MessageButtonEnabled(TMessageButton::Forward, s); }},
    {"PrintMailBut", "MMenuPrintMessage",
     [](const TMailMenuState& s) { return MessageButtonEnabled(TMessageButton::Print, s); }},
    {"FindMailBut", "MMenuFindMessage",
     [](const TMailMenuState& s) { return MessageButtonEnabled(TMessageButton::Find, s); }},
    {"AttachBut", "MMenuViewSaveAttachtments",
     [](const TMailMenuState& s) {
         return MessageButtonEnabled(TMessageButton::Attachments, s);
     }},
};

} // namespace

void TMainForm::ConnectMessageList() {
    // The folder view takes over the workspace's list hooks; the window's own hooks are set.
    FolderView = std::make_unique<TFolderView>(Work);
    TFolderView& view = *FolderView;
    ListModel->SetList(&view.List);

    LittleJobsTimer = new QTimer(this);
    LittleJobsTimer->setObjectName(QStringLiteral("LittleJobsTimer"));
    LittleJobsTimer->setSingleShot(true);
    connect(LittleJobsTimer, &QTimer::timeout, this, [this] {
        if (FolderView->ListBuilding() || FolderView->StateChangeBusy()) {
            LittleJobsTimer->start(ShellState.LittleJobsInterval());
            return;
        }
        FolderView->RefreshCounts();
    });
    auto arm = [this](int delayMs) { LittleJobsTimer->start(std::max(delayMs, 0)); };
    view.Hooks.ArmCountsRefresh = arm;
    Work.Hooks.ArmCountsRefresh = arm;
    view.Hooks.SetTreesEnabled = [this](bool enabled) { SetTreesEnabled(enabled); };
    view.Hooks.SetAccountTreeEnabled = [this](bool enabled) {
        FolderTreeView->setEnabled(enabled);
    };
    view.Hooks.AccountTreeEnabled = [this] { return FolderTreeView->isEnabled(); };
    view.Hooks.SetListEnabled = [this](bool enabled) { MessageListView->setEnabled(enabled); };
    view.Hooks.FocusList = [this] { MessageListView->setFocus(); };
    view.Hooks.MenuStateChanged = [this] { ApplyMenuState(); };
    new TComposeLauncher(*this, view); // message windows: New, Open, Reply, ..., attachments
    view.Hooks.ChooseDestination = [this](TNodeTree& tree) {
        return TMapSelForm::Choose(this, tree, ShellState.Texts());
    };
    Work.Hooks.SetControlsEnabled = [this](bool enabled) {
        FolderTreeView->setEnabled(enabled);
        if (MailMenuPopup)
            MailMenuPopup->setEnabled(enabled);
        if (enabled) {
            ApplyMenuState();
        } else {
            for (QToolButton* button : Buttons)
                button->setEnabled(false);
        }
    };

    // Headings: the core keeps the direction rule and the stored order.
    QHeaderView* header = MessageListView->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    auto showSort = [this] {
        const TMessageList& list = FolderView->List;
        MessageListView->header()->setSortIndicator(
            list.SortColumn(), list.Ascending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    };
    connect(header, &QHeaderView::sectionClicked, this, [this, showSort](int column) {
        FolderView->ColumnClick(column);
        showSort();
    });
    connect(ListModel, &QAbstractItemModel::modelReset, this, showSort);
    showSort();

    // The selection, both ways.
    QItemSelectionModel* selection = MessageListView->selectionModel();
    connect(selection, &QItemSelectionModel::selectionChanged, this,
            [this] { MirrorSelectionToCore(); });
    connect(selection, &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (MirroringSelection)
                    return;
                MirroringSelection = true;
                FolderView->List.SetFocused(current.isValid() ? current.row() : -1);
                MirroringSelection = false;
            });
    connect(ListModel, &TMessageListModel::CoreSelectionChanged, this,
            [this] { MirrorSelectionFromCore(); });
    connect(ListModel, &QAbstractItemModel::modelReset, this,
            [this] { MirrorSelectionFromCore(); });

    // Clicks and keys.
    connect(MessageListView, &QAbstractItemView::clicked, this,
            [this] { FolderView->MessageListClick(); });
    connect(MessageListView, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { MessageListDoubleClick(*FolderView, index.column()); });
    auto* listView = static_cast<TMessageListView*>(MessageListView);
    listView->OnStateColumnPress = [this](int row) {
        if (row >= 0 && row < FolderView->List.Count())
            FolderView->List.SelectOnly(row);
    };
    listView->OnEnterReleased = [this] {
        ShellState.PlaySound(TSound::Click);
        FolderView->QuickViewClick();
    };

    // The popup menu; its shortcuts work while the list has the focus.
    MailMenuPopup = new TMailMenu(this, view);
    MessageListView->addActions(MailMenuPopup->actions());
    connect(MailMenuPopup, &QMenu::aboutToShow, this, [this] { ApplyMenuState(); });
    connect(MailMenuPopup, &TMailMenu::CommandRequested, this, &TMainForm::MailMenuCommand);
    connect(MessageListView, &QWidget::customContextMenuRequested, this, &TMainForm::ShowMailMenu);
    for (const TButtonRule& rule : kButtonRules) {
        QToolButton* button = Buttons.value(QString::fromLatin1(rule.Button));
        QAction* item = MailMenuPopup->Item(QString::fromLatin1(rule.Item));
        if (button && item)
            connect(button, &QToolButton::clicked, item, &QAction::trigger);
    }

    // The project tree lists its folders.
    connect(ProjectTreeView, &TMarkupTree::NodeClicked, this,
            [this](TNode*) { FolderView->ProjectTreeClick(); });
    connect(ProjectTreeView, &TMarkupTree::CurrentNodeChanged, this, [this](TNode* node) {
        if (QApplication::mouseButtons() == Qt::NoButton && node && !FolderView->ListBuilding())
            FolderView->ProjectTreeClick();
    });
    if (QAction* emptyTrash = Actions.value(QStringLiteral("PMEmptyTrash"))) {
        emptyTrash->setEnabled(true);
        emptyTrash->setProperty(kBoundProperty, true);
        connect(emptyTrash, &QAction::triggered, this, [this] { FolderView->EmptyTrashClick(); });
    }
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_A), QKeySequence(Qt::KeypadModifier | Qt::Key_1)}) {
        auto* invert = new QShortcut(keys, ProjectTreeView);
        invert->setContext(Qt::WidgetShortcut);
        connect(invert, &QShortcut::activated, this, [this] { FolderView->InvertSelection(); });
    }
    for (QWidget* tree :
         {static_cast<QWidget*>(FolderTreeView), static_cast<QWidget*>(ProjectTreeView)}) {
        auto* refresh = new QShortcut(QKeySequence(Qt::Key_F5), tree);
        refresh->setContext(Qt::WidgetShortcut);
        connect(refresh, &QShortcut::activated, this, [this] { FolderView->RefreshList(); });
    }

    // Rows dragged onto the trees.
    const QString rows = QString::fromLatin1(kMessageRowsMime);
    ProjectTreeView->ForeignMime = rows;
    ProjectTreeView->OnForeignDragOver = [this](TNode* node) {
        return FolderView->ProjectTreeDragOver(node);
    };
    ProjectTreeView->OnForeignDrop = [this](TNode* node) { FolderView->DropOnProjectTree(node); };
    FolderTreeView->ForeignMime = rows;
    FolderTreeView->OnForeignDragOver = [this](TNode* node) {
        return FolderView->AccountTreeDragOver(node);
    };
    FolderTreeView->OnForeignDrop = [this](TNode* node) { FolderView->DropOnAccountTree(node); };
    ProjectTreeView->setAcceptDrops(true);
    ProjectTreeView->viewport()->setAcceptDrops(true);
    FolderTreeView->setAcceptDrops(true);
    FolderTreeView->viewport()->setAcceptDrops(true);

    ApplyMenuState();
}

void TMainForm::MirrorSelectionToCore() {
    if (MirroringSelection)
        return;
    MirroringSelection = true;
    TMessageList& list = FolderView->List;
    const QModelIndexList rows = MessageListView->selectionModel()->selectedRows();
    std::vector<bool> chosen(static_cast<size_t>(list.Count()), false);
    for (const QModelIndex& index : rows) {
        if (index.row() >= 0 && index.row() < list.Count())
            chosen[static_cast<size_t>(index.row())] = true;
    }
    for (int row = 0; row < list.Count(); ++row) {
        if (list.Row(row).Selected != chosen[static_cast<size_t>(row)])
            list.Select(row, chosen[static_cast<size_t>(row)]);
    }
    const QModelIndex current = MessageListView->selectionModel()->currentIndex();
    if (current.isValid())
        list.SetFocused(current.row());
    MirroringSelection = false;
    FolderView->MessageListSelectItem();
}

void TMainForm::MirrorSelectionFromCore() {
    if (MirroringSelection)
        return;
    MirroringSelection = true;
    const TMessageList& list = FolderView->List;
    QItemSelection selected;
    const int last = ListModel->columnCount() - 1;
    for (int row = 0; row < list.Count(); ++row) {
        if (!list.Row(row).Selected)
            continue;
        int end = row;
        while (end + 1 < list.Count() && list.Row(end + 1).Selected)
            ++end;
        selected.select(ListModel->index(row, 0), ListModel->index(end, last));
        row = end;
    }
    QItemSelectionModel* model = MessageListView->selectionModel();
    model->select(selected, QItemSelectionModel::ClearAndSelect);
    const int focused = list.Focused();
    if (focused >= 0 && focused < list.Count()) {
        model->setCurrentIndex(ListModel->index(focused, 0), QItemSelectionModel::NoUpdate);
        MessageListView->scrollTo(ListModel->index(focused, 0));
    }
    MirroringSelection = false;
}

void TMainForm::ApplyMenuState() {
    if (!FolderView)
        return;
    const TMailMenuState& state = FolderView->MenuState();
    for (const TButtonRule& rule : kButtonRules) {
        QToolButton* button = Buttons.value(QString::fromLatin1(rule.Button));
        const QString item = QString::fromLatin1(rule.Item);
        if (button)
            button->setEnabled(!ItemUnavailable(item) && rule.Allowed(state));
    }
    if (!MailMenuPopup)
        return;
    for (const QString& name : MailMenuPopup->ItemNames()) {
        if (ItemUnavailable(name))
            MailMenuPopup->Item(name)->setEnabled(false);
    }
}

void TMainForm::ShowMailMenu(const QPoint& at) {
    MailMenuPopup->popup(MessageListView->viewport()->mapToGlobal(at));
}

void TMainForm::MailMenuCommand(const QString& name) {
    // Every other announced item belongs to a window this program does not have yet and is
    // disabled (ApplyMenuState).
    if (name == QLatin1String("MMenuAddSendertoBlackList"))
        AddSendersToBlackListClick();
    else if (auto* launcher = findChild<TComposeLauncher*>())
        launcher->Command(name);
}

void TMainForm::AddSendersToBlackListClick() {
    AddActedSendersToBlackList(*FolderView);
    MessageListView->setFocus();
}

} // namespace pelmora
