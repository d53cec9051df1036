#pragma once
// TMessageListView: the message list's view. Besides a tree view it drags the selected rows
// (no picture, a data type of its own that the trees accept), reports a press left of the
// state column's right edge and the release of Enter.

#include <QTreeView>

#include <functional>

namespace pelmora {

// The data type of dragged message rows; the rows are the core list's selection.
inline constexpr const char* kMessageRowsMime = "application/x-pelmora-message-rows";

class TMessageListView : public QTreeView {
    Q_OBJECT
public:
    explicit TMessageListView(QWidget* parent);

    // A left press within the state column (plus 4 px) on a row.
    std::function<void(int row)> OnStateColumnPress;
    // Enter released on the list.
    std::function<void()> OnEnterReleased;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
};

} // namespace pelmora
