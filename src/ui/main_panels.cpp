// The panels of the main window: the account tree with its status bar, the project tree, the
// message list, the message buttons with the busy animation and the message status bar.

#include "ui/main_form.h"

#include "store/node_helpers.h"
#include "ui/artwork.h"
#include "ui/message_list_view.h"
#include "ui/status_line.h"
#include "ui/text_convert.h"
#include "ui/tree_images.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace pelmora {

namespace {

TMarkupTree* MakeTree(QWidget* parent, const QString& name) {
    auto* tree = new TMarkupTree(parent);
    tree->setObjectName(name);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    tree->HTMLImages = &TreeImages();
    tree->ShowSelection = true;
    return tree;
}

// The project tree draws the sent-receipts folder with its own icon.
int ProjectTreeImage(const TNode& node, int image) {
    return SentReceiptImage(node.Level() == 0 ? NodeNumber(node.Text()) : -1, image);
}

struct TButtonDef {
    const char* Name;
    int Slot; // module 1
    QStyle::StandardPixmap Icon;
};

// The message buttons in their order, with the texts of their captions.
constexpr TButtonDef kMessageButtons[] = {
    {"NewMailBut", 201, QStyle::SP_FileIcon},
    {"OpenMailBut", 231, QStyle::SP_DialogOpenButton},
    {"ReplyMailBut", 232, QStyle::SP_ArrowBack},
    {"ReplyAllBut", 233, QStyle::SP_MediaSeekBackward},
    {"ForwardMailBut", 234, QStyle::SP_ArrowForward},
    {"PrintMailBut", 235, QStyle::SP_DriveFDIcon},
    {"FindMailBut", 236, QStyle::SP_FileDialogContentsView},
    {"AttachBut", 237, QStyle::SP_DirIcon},
};

} // namespace

void TMainForm::BuildPanels() {
    MainSplitter = new QSplitter(Qt::Horizontal, this);
    MainSplitter->setObjectName(QStringLiteral("MainSplitter"));
    MainSplitter->setChildrenCollapsible(false);

    FolderPanelParent = new QWidget(MainSplitter);
    FolderPanelParent->setObjectName(QStringLiteral("FolderPanelParent"));
    auto* left = new QVBoxLayout(FolderPanelParent);
    left->setContentsMargins(4, 4, 0, 0);
    left->setSpacing(2);
    FolderTreeView = MakeTree(FolderPanelParent, QStringLiteral("FolderTree"));
    left->addWidget(FolderTreeView, 1);
    FolderStatusBar = new TStatusLine(FolderPanelParent);
    FolderStatusBar->setObjectName(QStringLiteral("FolderStatus"));
    left->addWidget(FolderStatusBar);

    RightSplitter = new QSplitter(Qt::Vertical, MainSplitter);
    RightSplitter->setObjectName(QStringLiteral("RightSplitter"));
    RightSplitter->setChildrenCollapsible(false);

    MessageListPanel = new QWidget(RightSplitter);
    MessageListPanel->setObjectName(QStringLiteral("MessageListPanel"));
    auto* top = new QVBoxLayout(MessageListPanel);
    top->setContentsMargins(0, 4, 4, 0);
    ProjectTreeView = MakeTree(MessageListPanel, QStringLiteral("ProjectTree"));
    ProjectTreeView->MapImage = ProjectTreeImage;
    top->addWidget(ProjectTreeView);

    auto* bottom = new QWidget(RightSplitter);
    bottom->setObjectName(QStringLiteral("MessagePanel"));
    auto* lower = new QVBoxLayout(bottom);
    lower->setContentsMargins(0, 0, 4, 0);
    lower->setSpacing(2);

    ListModel = new TMessageListModel(this);
    MessageListView = new TMessageListView(bottom);
    MessageListView->setObjectName(QStringLiteral("MessageList"));
    MessageListView->setModel(ListModel);
    MessageListView->setRootIsDecorated(false);
    MessageListView->setUniformRowHeights(true);
    MessageListView->setAlternatingRowColors(true);
    MessageListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    MessageListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    MessageListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MessageListView->setContextMenuPolicy(Qt::CustomContextMenu);
    MessageListView->header()->setStretchLastSection(false);
    MessageListView->header()->setSectionsMovable(false);
    lower->addWidget(MessageListView, 1);

    auto* buttonPanel = new QWidget(bottom);
    buttonPanel->setObjectName(QStringLiteral("MessageButtonPanel"));
    auto* row = new QHBoxLayout(buttonPanel);
    row->setContentsMargins(0, 2, 0, 2);
    row->setSpacing(2);
    for (const TButtonDef& def : kMessageButtons) {
        auto* button = new QToolButton(buttonPanel);
        button->setObjectName(QString::fromLatin1(def.Name));
        button->setIcon(style()->standardIcon(def.Icon));
        button->setIconSize(QSize(20, 20));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setMinimumWidth(36); // narrow windows may clip captions, never the panels
        // The commands behind the buttons act on listed messages; none are listed yet.
        button->setEnabled(false);
        row->addWidget(button);
        Buttons.insert(button->objectName(), button);
    }
    Animation = new QLabel(buttonPanel);
    Animation->setObjectName(QStringLiteral("AnimationPicture"));
    Animation->setFixedSize(68, 24);
    Animation->setAlignment(Qt::AlignCenter);
    row->addWidget(Animation);
    lower->addWidget(buttonPanel);

    MessageStatusBar = new TStatusLine(bottom);
    MessageStatusBar->setObjectName(QStringLiteral("MessageStatus"));
    lower->addWidget(MessageStatusBar);

    // A bigger window gives every panel more room, the list the most.
    RightSplitter->setStretchFactor(0, 1);
    RightSplitter->setStretchFactor(1, 2);
    MainSplitter->setStretchFactor(0, 1);
    MainSplitter->setStretchFactor(1, 3);
    setCentralWidget(MainSplitter);

    Ui.SetStatusBars(FolderStatusBar, MessageStatusBar);
    Ui.SetAnimationLabel(Animation);
}

QSize MainWindowSize(const QSize& stored, const QRect& screen) {
    QSize size = stored.expandedTo(QSize(kMainWindowMinWidth, kMainWindowMinHeight));
    if (screen.isValid())
        size = size.boundedTo(screen.size());
    return size;
}

void TMainForm::ApplyPanelSizes() {
    const TPanelSizes& panels = ShellState.Panels();
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect room = shown ? shown->availableGeometry() : QRect();
    if (!isMaximized() && !isFullScreen()) {
        // Room for both trees and every list column; the frame's decorations included.
        const QSize decorations = frameGeometry().size() - geometry().size();
        const QRect inner = room.isValid() ? room.adjusted(0, 0, -decorations.width(),
                                                           -decorations.height())
                                           : room;
        resize(MainWindowSize(QSize(panels.MainFormWidth, panels.MainFormHeight), inner));
        if (!isVisible() && room.isValid()) {
            QRect frame(QPoint(0, 0), size() + decorations);
            frame.moveCenter(room.center());
            move(frame.topLeft());
        }
    }
    // The splitters share out what they have; the first pane gets the stored size, grown in
    // step with a window that opens larger than it was stored.
    const int stored = std::max(panels.MainFormWidth, 1);
    const int treeWidth =
        width() > stored ? panels.FolderTreeWidth * width() / stored : panels.FolderTreeWidth;
    const int across = std::max(MainSplitter->width(), treeWidth + 100);
    MainSplitter->setSizes({treeWidth, across - treeWidth});
    const int height = std::max(RightSplitter->height(), panels.ProjectHeight + 100);
    RightSplitter->setSizes({panels.ProjectHeight, height - panels.ProjectHeight});
    QHeaderView* header = MessageListView->header();
    for (int column = 0; column < static_cast<int>(panels.ListColumnWidths.size()); ++column)
        header->resizeSection(column, panels.ListColumnWidths[column]);
    header->resizeSection(5, 0);
    static_cast<TMessageListView*>(MessageListView)->FillWidth();
}

void TMainForm::StorePanelSizes() {
    // Before the window was first shown its panes have no real sizes yet.
    if (!SizesApplied)
        return;
    TPanelSizes& panels = ShellState.Panels();
    const QList<int> across = MainSplitter->sizes();
    if (!across.isEmpty() && across[0] > 0)
        panels.FolderTreeWidth = across[0];
    const QList<int> down = RightSplitter->sizes();
    if (!down.isEmpty() && down[0] > 0)
        panels.ProjectHeight = down[0];
    const QRect frame = normalGeometry().isValid() ? normalGeometry() : geometry();
    panels.MainFormWidth = frame.width();
    panels.MainFormHeight = frame.height();
    for (int column = 0; column < static_cast<int>(panels.ListColumnWidths.size()); ++column)
        panels.ListColumnWidths[column] = MessageListView->header()->sectionSize(column);
}

int ShownFontSize(int stored, int desktop) {
    return std::max(desktop + stored - kDefaultFontSize, 1);
}

void TMainForm::ApplyFonts() {
    // The stored sizes count from the program's default; they are shown relative to the
    // desktop's font, so the default is the desktop's size and "Bigger Font" adds a point.
    auto apply = [](QWidget* widget, int points) {
        QFont font = widget->font();
        const int desktop = QApplication::font(widget).pointSize();
        font.setPointSize(ShownFontSize(points, desktop > 0 ? desktop : 10));
        widget->setFont(font);
    };
    apply(FolderTreeView, ShellState.FontSize(TFontTarget::FoldersTree));
    apply(ProjectTreeView, ShellState.FontSize(TFontTarget::ProjectTree));
    apply(MessageListView, ShellState.FontSize(TFontTarget::MessageList));
}

void TMainForm::ApplyListHeadings() {
    QStringList headings;
    for (int slot : {306, 307, 308, 310, 313})
        headings << ToQt(ShellState.Text(1, slot));
    headings << QString();
    ListModel->SetHeadings(headings);
    for (auto it = Buttons.begin(); it != Buttons.end(); ++it) {
        for (const TButtonDef& def : kMessageButtons) {
            if (it.key() == QLatin1String(def.Name))
                it.value()->setText(ToQt(ShellState.Text(1, def.Slot)));
        }
    }
}

} // namespace pelmora
