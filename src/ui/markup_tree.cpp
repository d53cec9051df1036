#include "ui/markup_tree.h"

#include "paramtree/markup.h"
#include "ui/param_editors.h"
#include "ui/text_convert.h"

#include <QApplication>
#include <QDrag>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace pelmora {

namespace {

constexpr int kNodeImageGap = 2;
const QString kNodeMime = QStringLiteral("application/x-pelmora-node");

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

// --- TMarkupDelegate ---

TMarkupDelegate::TMarkupDelegate(TMarkupTree* tree) : QStyledItemDelegate(tree), Tree(tree) {}

TMarkupPaintOptions TMarkupDelegate::Options(bool selected) const {
    TMarkupPaintOptions options;
    options.Font = Tree->font();
    options.Palette = Tree->palette();
    options.TextColour = options.Palette.color(QPalette::Text);
    options.ParamColour = Tree->ParamColor;
    options.ShadowColour = Tree->ShadowColor;
    options.ShadowOffset = Tree->ShadowOffset;
    options.Selected = selected;
    options.SelectionFontColour = Tree->SelectionFontColor.isValid()
                                      ? Tree->SelectionFontColor
                                      : options.Palette.color(QPalette::HighlightedText);
    options.Images = Tree->HTMLImages;
    return options;
}

TMarkupLayout TMarkupDelegate::DrawnLayout(const TNode& node) const {
    TMarkupLayout layout = ParseMarkupLayout(node.Text());
    bool lastColon = false;
    for (TMarkupRun& run : layout.Runs) {
        if (run.Kind == TMarkupRunKind::Image) {
            if (Tree->MapImage && run.Image.Source == TMarkupImageSource::Index &&
                run.Image.Index >= 0)
                run.Image.Index = Tree->MapImage(node, run.Image.Index);
            lastColon = false;
            continue;
        }
        if (run.Kind != TMarkupRunKind::Text) {
            lastColon = false;
            continue;
        }
        // "Name:" + ": value" shows one colon; a parameter's own value is never touched.
        if (run.ParamIndex < 0) {
            std::string& text = run.Text;
            size_t at = 0;
            while ((at = text.find("::", at)) != std::string::npos)
                text.erase(at, 1);
            const size_t first = text.find_first_not_of(' ');
            if (lastColon && first != std::string::npos && text[first] == ':')
                text.erase(first, 1);
        }
        const size_t last = run.Text.find_last_not_of(' ');
        if (last != std::string::npos)
            lastColon = run.ParamIndex < 0 && run.Text[last] == ':';
    }
    return layout;
}

TMarkupPlacement TMarkupDelegate::Place(const QModelIndex& index, const QRect& rect,
                                        bool selected) const {
    const TNode* node = Tree->NodeModel() ? Tree->NodeModel()->NodeOf(index) : nullptr;
    if (!node)
        return {};
    const TMarkupPaintOptions options = Options(selected);
    int x = rect.left() + 1;
    const TMarkupLayout layout = DrawnLayout(*node);
    // A text that draws its own icon ("<img src=idx:..>") keeps it up to date itself; the
    // node's image would draw the same icon a second time beside it.
    const bool textHasIcon =
        std::any_of(layout.Runs.begin(), layout.Runs.end(), [](const TMarkupRun& run) {
            return run.Kind == TMarkupRunKind::Image &&
                   run.Image.Source == TMarkupImageSource::Index;
        });
    QPixmap nodeImage;
    const int image = node->ImageIndex() >= 0 && Tree->MapImage
                          ? Tree->MapImage(*node, node->ImageIndex())
                          : node->ImageIndex();
    if (!textHasIcon && options.Images && image >= 0 && image < options.Images->size()) {
        nodeImage = (*options.Images)[image];
        x += nodeImage.width() + kNodeImageGap;
    }
    TMarkupPlacement placement =
        PlaceMarkup(layout, options, QPoint(x, rect.top()), std::max(1, rect.right() - x));
    if (!nodeImage.isNull()) {
        TMarkupBox box;
        box.Kind = TMarkupRunKind::Image;
        box.Image = nodeImage;
        box.Rect = QRect(rect.left() + 1, rect.top(), nodeImage.width(), nodeImage.height());
        placement.Boxes.insert(placement.Boxes.begin(), box);
        placement.Size.rwidth() += nodeImage.width() + kNodeImageGap;
        placement.Size.setHeight(std::max(placement.Size.height(), nodeImage.height()));
    }
    // Text lower than its item sits in the middle.
    const int spare = rect.height() - placement.Size.height();
    if (spare > 1)
        ShiftPlacement(placement, QPoint(0, spare / 2));
    return placement;
}

void TMarkupDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const bool selected =
        Tree->ShowSelection && Tree->selectionModel() && Tree->selectionModel()->isSelected(index);
    const TMarkupPlacement placement = Place(index, option.rect, selected);
    if (selected) {
        const QColor fill = Tree->SelectionColor.isValid()
                                ? Tree->SelectionColor
                                : Tree->palette().color(QPalette::Highlight);
        QRect area = option.rect;
        area.setWidth(std::min(option.rect.width(), placement.Size.width() + 4));
        painter->fillRect(area, fill);
    }
    PaintMarkup(*painter, placement, option.rect, Options(selected));
}

QSize TMarkupDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const {
    const TMarkupPlacement placement = Place(index, QRect(0, 0, 4000, 1), false);
    return QSize(placement.Size.width() + 6,
                 std::max(Tree->ItemHeight, placement.Size.height() + 2));
}

// --- TMarkupTree ---

TMarkupTree::TMarkupTree(QWidget* parent) : QTreeView(parent) {
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setMouseTracking(true);
    setUniformRowHeights(false);
    setAnimated(false);
    setExpandsOnDoubleClick(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    Delegate = new TMarkupDelegate(this);
    setItemDelegate(Delegate);

    Edit = new TPopupEdit(viewport());
    Spin = new TPopupSpinEdit(viewport());
    Date = new TPopupDatePicker(viewport());
    List = new TPopupListBox(this);
    Menu = new QMenu(this);
    Menu->setObjectName(QStringLiteral("ParamMenu"));

    auto wire = [this](auto* editor) {
        connect(editor, &std::remove_pointer_t<decltype(editor)>::Committed, this,
                [this, editor](const QString& text) { CommitText(editor->State.Href, text); });
        connect(editor, &std::remove_pointer_t<decltype(editor)>::Cancelled, this,
                &TMarkupTree::EditorClosed);
    };
    wire(Edit);
    wire(Spin);
    wire(Date);
    wire(List);
    connect(Menu, &QMenu::triggered, this,
            [this](QAction* action) { CommitMenu(MenuHref, action->data().toString()); });
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (!Syncing && NodeTree && Model) {
            Syncing = true;
            NodeTree->Expand(Model->NodeOf(index), true);
            Syncing = false;
        }
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (!Syncing && NodeTree && Model) {
            Syncing = true;
            NodeTree->Expand(Model->NodeOf(index), false);
            Syncing = false;
        }
    });
}

TMarkupTree::~TMarkupTree() {
    // The model observes the tree; it goes before the tree may.
    setModel(nullptr);
    delete Model;
}

void TMarkupTree::SetTree(TNodeTree* tree) {
    setModel(nullptr);
    delete Model;
    Model = nullptr;
    NodeTree = tree;
    if (!tree)
        return;
    Model = new TNodeTreeModel(*tree, this);
    setModel(Model);
    connect(Model, &TNodeTreeModel::NodeSelected, this, [this](const QModelIndex& index) {
        Syncing = true;
        setCurrentIndex(index);
        Syncing = false;
    });
    connect(Model, &TNodeTreeModel::NodeExpandRequested, this,
            [this](const QModelIndex& index, bool expand) {
                Syncing = true;
                setExpanded(index, expand);
                Syncing = false;
            });
    connect(Model, &TNodeTreeModel::TreeUpdateBegun, this, &TMarkupTree::BeginUpdate);
    connect(Model, &TNodeTreeModel::TreeUpdateEnded, this, &TMarkupTree::EndUpdate);
    // A reset (a tree loaded anew) forgets the view's expansion; take the tree's again.
    connect(Model, &QAbstractItemModel::modelReset, this, &TMarkupTree::SyncFromTree);
    SyncFromTree();
}

void TMarkupTree::SyncFromTree() {
    if (!NodeTree || !Model)
        return;
    Syncing = true;
    NodeTree->Walk([this](TNode& node) {
        if (node.Expanded())
            setExpanded(Model->IndexOf(&node), true);
    });
    if (NodeTree->Selected())
        setCurrentIndex(Model->IndexOf(NodeTree->Selected()));
    Syncing = false;
}

TNode* TMarkupTree::NodeAt(const QPoint& viewportPos) const {
    return Model ? Model->NodeOf(indexAt(viewportPos)) : nullptr;
}

TNode* TMarkupTree::CurrentNode() const {
    return Model ? Model->NodeOf(currentIndex()) : nullptr;
}

QModelIndex TMarkupTree::IndexOfNode(const TNode* node) const {
    return Model ? Model->IndexOf(node) : QModelIndex();
}

std::string TMarkupTree::ParamAt(const QPoint& viewportPos, QRect* area) const {
    const QModelIndex index = indexAt(viewportPos);
    const TNode* node = Model ? Model->NodeOf(index) : nullptr;
    if (!node)
        return {};
    const TMarkupPlacement placement = Delegate->Place(index, visualRect(index), false);
    const int hit = HitTestMarkup(placement, viewportPos);
    if (hit < 0)
        return {};
    const TMarkupLayout layout = ParseMarkupLayout(node->Text());
    if (hit >= static_cast<int>(layout.Params.size()))
        return {};
    if (area)
        *area = ParamArea(placement, hit);
    return layout.Params[hit].Href;
}

QRect TMarkupTree::ParamRect(TNode* node, const std::string& href) const {
    const QModelIndex index = IndexOfNode(node);
    const QRect item = visualRect(index);
    const TMarkupPlacement placement = Delegate->Place(index, item, false);
    const TMarkupLayout layout = ParseMarkupLayout(node->Text());
    for (size_t i = 0; i < layout.Params.size(); ++i) {
        if (SameName(layout.Params[i].Href, href)) {
            const QRect area = ParamArea(placement, static_cast<int>(i));
            if (!area.isEmpty())
                return area;
        }
    }
    return item;
}

void TMarkupTree::mousePressEvent(QMouseEvent* event) {
    QTreeView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton || !NodeTree)
        return;
    const QPoint pos = event->position().toPoint();
    PressPos = pos;
    TNode* node = NodeAt(pos);
    if (!node)
        return;
    const QPersistentModelIndex clicked(IndexOfNode(node));
    if (NodeTree->Selected() != node) {
        Syncing = true;
        NodeTree->Select(node);
        Syncing = false;
    }
    const std::string href = ParamAt(pos);
    if (!href.empty())
        ClickParameter(node, href);
    // The click handlers may have removed the node.
    if (clicked.isValid())
        Q_EMIT NodeClicked(Model->NodeOf(clicked));
}

void TMarkupTree::ClickParameter(TNode* node, const std::string& href) {
    if (!NodeTree || !node)
        return;
    const QPersistentModelIndex target(IndexOfNode(node));
    const std::vector<TParamEditorRequest> requests =
        ClickParam(*NodeTree, node, href, Events, ParamListSorted);
    if (!target.isValid())
        return;
    for (const TParamEditorRequest& request : requests)
        OpenEditor(Model->NodeOf(target), request, ParamRect(Model->NodeOf(target), href));
}

void TMarkupTree::OpenEditor(TNode* node, const TParamEditorRequest& request, const QRect& area) {
    EditedIndex = QPersistentModelIndex(IndexOfNode(node));
    const QString href = ToQt(request.Href);
    const QString value = ToQt(request.Value);
    switch (request.Kind) {
    case TParamEditorKind::Menu: {
        Menu->clear();
        for (const std::string& entry : request.Entries) {
            QString caption = ToQt(entry);
            caption.replace(QLatin1Char('&'), QStringLiteral("&&")); // shown as written
            QAction* action = Menu->addAction(caption);
            action->setData(ToQt(entry));
        }
        MenuHref = href;
        Menu->popup(viewport()->mapToGlobal(QPoint(area.left(), area.bottom() + 2)));
        break;
    }
    case TParamEditorKind::Date:
        Date->Start(href, value, area);
        break;
    case TParamEditorKind::Spin:
        Spin->Start(href, request.SpinValue.value_or(0), area);
        break;
    case TParamEditorKind::Edit:
        Edit->Start(href, value, area);
        break;
    case TParamEditorKind::List: {
        QStringList entries;
        for (const std::string& entry : request.Entries)
            entries << ToQt(entry);
        List->Start(href, entries, request.SelectedEntry,
                    QRect(viewport()->mapToGlobal(area.topLeft()), area.size()));
        break;
    }
    }
}

TNode* TMarkupTree::EditedNode() const {
    return EditedIndex.isValid() && Model ? Model->NodeOf(EditedIndex) : nullptr;
}

void TMarkupTree::CommitText(const QString& href, const QString& text) {
    if (TNode* node = EditedNode())
        CommitEditorText(*NodeTree, node, FromQt(href), FromQt(text), Events);
    EditorClosed();
}

void TMarkupTree::CommitMenu(const QString& href, const QString& caption) {
    if (TNode* node = EditedNode())
        CommitMenuChoice(*NodeTree, node, FromQt(href), FromQt(caption), Events);
    EditorClosed();
}

void TMarkupTree::EditorClosed() {
    if (isVisible())
        setFocus(Qt::OtherFocusReason);
}

void TMarkupTree::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if ((event->buttons() & Qt::LeftButton) && OnDragDrop && !DragSource.isValid() &&
        (pos - PressPos).manhattanLength() >= QApplication::startDragDistance()) {
        if (TNode* source = NodeAt(PressPos)) {
            DragSource = QPersistentModelIndex(IndexOfNode(source));
            auto* drag = new QDrag(this);
            auto* mime = new QMimeData;
            mime->setData(kNodeMime, QByteArray());
            drag->setMimeData(mime);
            drag->exec(Qt::MoveAction);
            DragSource = QPersistentModelIndex();
            return;
        }
    }
    QTreeView::mouseMoveEvent(event);
    const std::string href = ParamAt(pos);
    if (href.empty()) {
        if (OverParam) {
            viewport()->unsetCursor();
            OverParam = false;
        }
        return;
    }
    if (!OverParam) {
        viewport()->setCursor(Qt::PointingHandCursor);
        OverParam = true;
    }
    if (OnParamEnter) {
        TNode* node = NodeAt(pos);
        OnParamEnter(node, href, ReadParam(node->Text(), href).value_or(std::string()));
    }
}

bool TMarkupTree::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip && ParamHint) {
        auto* help = static_cast<QHelpEvent*>(event);
        const std::string href = ParamAt(help->pos());
        if (href.empty()) {
            QToolTip::hideText();
            return true;
        }
        std::string hint = href;
        bool show = true;
        if (OnParamHint)
            OnParamHint(NodeAt(help->pos()), href, hint, show);
        if (show)
            QToolTip::showText(help->globalPos() + QPoint(10, -10), ToQt(hint), viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return QTreeView::viewportEvent(event);
}

void TMarkupTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    // The delegate draws the selection itself, and only when ShowSelection asks for it.
    QStyleOptionViewItem plain = option;
    plain.state &= ~QStyle::State_Selected;
    plain.state &= ~QStyle::State_HasFocus;
    plain.palette.setColor(QPalette::Highlight, plain.palette.color(QPalette::Base));
    QTreeView::drawRow(painter, plain, index);
}

void TMarkupTree::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    if (Syncing || !NodeTree || !Model)
        return;
    TNode* node = Model->NodeOf(current);
    Syncing = true;
    NodeTree->Select(node);
    Syncing = false;
    Q_EMIT CurrentNodeChanged(node);
}

bool TMarkupTree::ForeignDropAt(const QDropEvent* event) const {
    if (ForeignMime.isEmpty() || !OnForeignDrop || !event->mimeData()->hasFormat(ForeignMime))
        return false;
    TNode* target = NodeAt(event->position().toPoint());
    return target && (!OnForeignDragOver || OnForeignDragOver(target));
}

void TMarkupTree::dragEnterEvent(QDragEnterEvent* event) {
    if (!ForeignMime.isEmpty() && OnForeignDrop && event->mimeData()->hasFormat(ForeignMime)) {
        event->acceptProposedAction();
        return;
    }
    if (event->source() == this && DragSource.isValid() && event->mimeData()->hasFormat(kNodeMime))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMarkupTree::dragMoveEvent(QDragMoveEvent* event) {
    if (event->source() != this && !ForeignMime.isEmpty() &&
        event->mimeData()->hasFormat(ForeignMime)) {
        if (ForeignDropAt(event))
            event->acceptProposedAction();
        else
            event->ignore();
        return;
    }
    TNode* source = DragSource.isValid() ? Model->NodeOf(DragSource) : nullptr;
    TNode* target = NodeAt(event->position().toPoint());
    if (source && target && event->source() == this && OnDragOver && OnDragOver(source, target))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMarkupTree::dropEvent(QDropEvent* event) {
    if (event->source() != this && !ForeignMime.isEmpty() &&
        event->mimeData()->hasFormat(ForeignMime)) {
        if (!ForeignDropAt(event)) {
            event->ignore();
            return;
        }
        event->acceptProposedAction();
        OnForeignDrop(NodeAt(event->position().toPoint()));
        return;
    }
    TNode* source = DragSource.isValid() ? Model->NodeOf(DragSource) : nullptr;
    TNode* target = NodeAt(event->position().toPoint());
    if (!source || !target || event->source() != this || !OnDragOver ||
        !OnDragOver(source, target)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    OnDragDrop(source, target);
}

void TMarkupTree::BeginUpdate() {
    if (UpdateDepth++ == 0)
        setUpdatesEnabled(false);
}

void TMarkupTree::EndAllUpdates() {
    UpdateDepth = 0;
    setUpdatesEnabled(true);
    viewport()->update();
}

void TMarkupTree::EndUpdate() {
    if (UpdateDepth == 0)
        return;
    if (--UpdateDepth == 0) {
        setUpdatesEnabled(true);
        viewport()->update();
    }
}

} // namespace pelmora
