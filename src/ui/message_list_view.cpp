#include "ui/message_list_view.h"

#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

namespace pelmora {

TMessageListView::TMessageListView(QWidget* parent) : QTreeView(parent) {
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
}

void TMessageListView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const QModelIndex index = indexAt(at);
    const int edge = header()->sectionViewportPosition(0) + header()->sectionSize(0) + 4;
    QTreeView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && index.isValid() && at.x() < edge && OnStateColumnPress)
        OnStateColumnPress(index.row());
}

void TMessageListView::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat() &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && OnEnterReleased) {
        OnEnterReleased();
        event->accept();
        return;
    }
    QTreeView::keyReleaseEvent(event);
}

void TMessageListView::startDrag(Qt::DropActions) {
    if (!selectionModel() || !selectionModel()->hasSelection())
        return;
    // The drop target reads the rows from the core list's selection; the data only names
    // what is dragged.
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kMessageRowsMime), QByteArray("rows"));
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

} // namespace pelmora
