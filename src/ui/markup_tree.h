#pragma once
// TMarkupTree: a read-only tree view over a TNodeTree that draws each node text's mark-up
// (icons, styles, colours, parameters), shows the hand cursor over parameters, and runs the
// parameter clicks: the core decides (paramtree/param_events.h), the view opens the in-place
// editor or menu it asks for and hands the user's choice back. The tree is not owned.

#include "paramtree/param_events.h"
#include "ui/markup_renderer.h"
#include "ui/models/node_tree_model.h"

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <functional>

class QMenu;

namespace pelmora {

class TMarkupTree;
class TPopupDatePicker;
class TPopupEdit;
class TPopupListBox;
class TPopupSpinEdit;

// Draws the items of a TMarkupTree.
class TMarkupDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TMarkupDelegate(TMarkupTree* tree);

    // The placed node text of an item drawn in `rect`.
    TMarkupPlacement Place(const QModelIndex& index, const QRect& rect, bool selected) const;
    TMarkupPaintOptions Options(bool selected) const;
    // The node text's layout as it is drawn: images through the tree's MapImage, and a colon
    // doubled where a caption ending in ":" meets the program's own ": " written once.
    TMarkupLayout DrawnLayout(const TNode& node) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TMarkupTree* Tree; // Not owned (the parent).
};

class TMarkupTree : public QTreeView {
    Q_OBJECT
public:
    explicit TMarkupTree(QWidget* parent);
    ~TMarkupTree() override;

    // Shows a tree (nullptr: none). The model is rebuilt; the tree must outlive the view or
    // be detached first.
    void SetTree(TNodeTree* tree);
    TNodeTree* Tree() const { return NodeTree; }
    TNodeTreeModel* NodeModel() const { return Model; }
    TNode* NodeAt(const QPoint& viewportPos) const;
    TNode* CurrentNode() const;
    QModelIndex IndexOfNode(const TNode* node) const;

    // Published properties.
    const QVector<QPixmap>* HTMLImages = nullptr; // Not owned.
    int ItemHeight = 16;
    QColor SelectionColor;     // default: the palette's highlight
    QColor SelectionFontColor; // default: the palette's highlighted text
    bool ShowSelection = false;
    QColor ParamColor = QColor(0x00, 0x80, 0x00);
    bool ParamHint = false;
    QColor ShadowColor = QColor(0x80, 0x80, 0x80);
    int ShadowOffset = 1;
    bool ParamListSorted = false;
    // The image drawn for image `image` of a node (its own or one of its text); empty: as is.
    // The stored text keeps its numbers; only the drawing changes.
    std::function<int(const TNode& node, int image)> MapImage;

    // Events: those the core runs, plus hover and hint.
    TMarkupTreeEvents Events;
    std::function<void(TNode* node, const std::string& href, const std::string& value)>
        OnParamEnter;
    std::function<void(TNode* node, const std::string& href, std::string& hint, bool& show)>
        OnParamHint;
    // Dragging a node onto another within this tree; without OnDragDrop nothing is dragged.
    std::function<bool(TNode* source, TNode* target)> OnDragOver;
    std::function<void(TNode* source, TNode* target)> OnDragDrop;
    // Dropping data of another kind (message rows) on a node: whether the node takes it, and
    // the drop. Without OnForeignDrop such data is refused.
    QString ForeignMime;
    std::function<bool(TNode* target)> OnForeignDragOver;
    std::function<void(TNode* target)> OnForeignDrop;

    // The parameter (name) under a viewport position; empty when none.
    std::string ParamAt(const QPoint& viewportPos, QRect* area = nullptr) const;
    // Runs a click on a parameter of a node as a mouse click on it would.
    void ClickParameter(TNode* node, const std::string& href);

    // Suspends and resumes redrawing (nested); EndAllUpdates drops every suspension.
    void BeginUpdate();
    void EndUpdate();
    void EndAllUpdates();

    // The editors, for the window's own use and for tests.
    TPopupEdit* EditBox() const { return Edit; }
    TPopupSpinEdit* SpinBox() const { return Spin; }
    TPopupDatePicker* DatePicker() const { return Date; }
    TPopupListBox* ListBox() const { return List; }
    QMenu* ParamMenu() const { return Menu; }

Q_SIGNALS:
    // A node was clicked (after the ordinary selection and any parameter handling).
    void NodeClicked(TNode* node);
    // The current node changed, by mouse or keyboard.
    void CurrentNodeChanged(TNode* node);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool ForeignDropAt(const QDropEvent* event) const;

private:
    void SyncFromTree();
    void OpenEditor(TNode* node, const TParamEditorRequest& request, const QRect& area);
    void CommitText(const QString& href, const QString& text);
    void CommitMenu(const QString& href, const QString& caption);
    void EditorClosed();
    TNode* EditedNode() const;
    QRect ParamRect(TNode* node, const std::string& href) const;

    TNodeTree* NodeTree = nullptr; // Not owned.
    TNodeTreeModel* Model = nullptr;
    TMarkupDelegate* Delegate = nullptr;
    TPopupEdit* Edit = nullptr;
    TPopupSpinEdit* Spin = nullptr;
    TPopupDatePicker* Date = nullptr;
    TPopupListBox* List = nullptr;
    QMenu* Menu = nullptr;
    QString MenuHref;
    QPersistentModelIndex EditedIndex;
    bool OverParam = false;
    QPoint PressPos;
    QPersistentModelIndex DragSource;
    int UpdateDepth = 0;
    bool Syncing = false;
};

} // namespace pelmora
