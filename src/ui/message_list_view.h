#pragma once
// TMessageListView: the message list's view. Besides a tree view it drags the selected rows
// (the model's data of its own type, which the trees accept), reports a press left of the
// state column's right edge and the release of an Enter that was pressed on the list: the
// release of an Enter that confirmed a dialog or closed a pop-up does nothing here.

#include "ui/models/message_list_model.h"

#include <QTreeView>

#include <functional>

namespace pelmora {

class TMessageListView : public QTreeView {
    Q_OBJECT
public:
    explicit TMessageListView(QWidget* parent);

    // A left press within the state column (plus 4 px) on a row.
    std::function<void(int row)> OnStateColumnPress;
    // Enter released on the list.
    std::function<void()> OnEnterReleased;

    // The columns that grow with the list (sender or recipients, subject) take the width the
    // columns leave free, so the list has no empty strip on the right.
    void FillWidth();

protected:
    // The keys of the list's own commands (Ctrl+C copies messages) go to those commands, not
    // to the view's built-in handling of the same keys (copying a cell's text).
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    bool EnterPressed = false; // the Enter key went down while the list had the focus
};

} // namespace pelmora
