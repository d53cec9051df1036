#pragma once
// TStatusLine: a status bar whose message wraps onto as many lines as it needs instead of
// being cut at the bar's edge; the bar grows and shrinks with its message and its width.

#include <QStatusBar>

namespace pelmora {

class TStatusLine : public QStatusBar {
    Q_OBJECT
public:
    explicit TStatusLine(QWidget* parent);

    // The height the current message needs at `width`.
    int NeededHeight(int width) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Fit();
    QRect MessageRect(const QRect& area) const;
};

} // namespace pelmora
