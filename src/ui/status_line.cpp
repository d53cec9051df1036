#include "ui/status_line.h"

#include <QPainter>
#include <QResizeEvent>
#include <QStyleOption>

namespace pelmora {

namespace {

constexpr int kMarginX = 6;
constexpr int kMarginY = 3;
constexpr int kTextFlags = Qt::AlignLeading | Qt::AlignVCenter | Qt::TextWordWrap;

} // namespace

TStatusLine::TStatusLine(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    connect(this, &QStatusBar::messageChanged, this, [this] {
        Fit();
        update();
    });
    Fit();
}

QRect TStatusLine::MessageRect(const QRect& area) const {
    return area.adjusted(kMarginX, kMarginY, -kMarginX, -kMarginY);
}

int TStatusLine::NeededHeight(int width) const {
    const QString message = currentMessage();
    const int line = fontMetrics().height();
    if (message.isEmpty())
        return line + 2 * kMarginY;
    const QRect room = MessageRect(QRect(0, 0, std::max(width, 4 * kMarginX), 10000));
    const QRect used = fontMetrics().boundingRect(room, kTextFlags, message);
    return std::max(line, used.height()) + 2 * kMarginY;
}

void TStatusLine::Fit() {
    const int height = NeededHeight(width());
    if (minimumHeight() != height)
        setMinimumHeight(height);
}

void TStatusLine::resizeEvent(QResizeEvent* event) {
    QStatusBar::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        Fit();
}

void TStatusLine::paintEvent(QPaintEvent*) {
    // The panel as the style draws it (a colour from a style sheet included), then the whole
    // message, wrapped.
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &painter, this);
    const QString message = currentMessage();
    if (message.isEmpty())
        return;
    painter.setPen(palette().windowText().color());
    painter.drawText(MessageRect(rect()), kTextFlags, message);
}

} // namespace pelmora
