#include "ui/message_list_view.h"

#include <QAction>
#include <QDrag>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QResizeEvent>

#include <algorithm>

namespace pelmora {

TMessageListView::TMessageListView(QWidget* parent) : QTreeView(parent) {
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
}

bool TMessageListView::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (const QAction* action : actions()) {
            if (action->isEnabled() && action->shortcut() == pressed) {
                event->ignore();
                return true;
            }
        }
    }
    return QTreeView::event(event);
}

void TMessageListView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const QModelIndex index = indexAt(at);
    const int edge = header()->sectionViewportPosition(0) + header()->sectionSize(0) + 4;
    QTreeView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && index.isValid() && at.x() < edge && OnStateColumnPress)
        OnStateColumnPress(index.row());
}

namespace {

bool IsEnter(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace

void TMessageListView::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(event)) {
        if (!event->isAutoRepeat())
            EnterPressed = true;
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TMessageListView::keyReleaseEvent(QKeyEvent* event) {
    if (IsEnter(event) && !event->isAutoRepeat()) {
        const bool pressedHere = EnterPressed;
        EnterPressed = false;
        event->accept();
        if (pressedHere && OnEnterReleased)
            OnEnterReleased();
        return;
    }
    QTreeView::keyReleaseEvent(event);
}

void TMessageListView::focusOutEvent(QFocusEvent* event) {
    // A dialog or pop-up that takes the focus takes the key with it.
    EnterPressed = false;
    QTreeView::focusOutEvent(event);
}

namespace {

constexpr int kSenderColumn = 2;
constexpr int kSubjectColumn = 3;
constexpr int kGrowingMinimum = 60;

} // namespace

void TMessageListView::FillWidth() {
    QHeaderView* columns = header();
    if (!model() || columns->count() <= kSubjectColumn)
        return;
    const int free = viewport()->width() - columns->length();
    if (free > 0)
        columns->resizeSection(kSubjectColumn, columns->sectionSize(kSubjectColumn) + free);
}

void TMessageListView::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    QHeaderView* columns = header();
    const int oldWidth = event->oldSize().width();
    if (!model() || columns->count() <= kSubjectColumn || oldWidth <= 0)
        return;
    // A wider or narrower list shares the change between sender and subject, two to three.
    const int change = event->size().width() - oldWidth;
    const int sender = columns->sectionSize(kSenderColumn);
    const int subject = columns->sectionSize(kSubjectColumn);
    const int senderShare = change * 2 / 5;
    columns->resizeSection(kSenderColumn, std::max(kGrowingMinimum, sender + senderShare));
    columns->resizeSection(kSubjectColumn,
                           std::max(kGrowingMinimum, subject + change - senderShare));
    FillWidth();
}

void TMessageListView::startDrag(Qt::DropActions supportedActions) {
    if (!selectionModel() || !model())
        return;
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    // The drop target acts on the core list's selection; the data names the dragged files.
    QMimeData* data = model()->mimeData(rows);
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(supportedActions & (Qt::MoveAction | Qt::CopyAction), Qt::MoveAction);
    drag->deleteLater();
}

} // namespace pelmora
