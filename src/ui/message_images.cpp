#include "ui/message_images.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace pelmora {

namespace {

constexpr int kSize = 16;

QPixmap Blank()
{
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void Envelope(QPainter& p, const QColor& body, bool open)
{
    p.setPen(QPen(QColor(60, 70, 90), 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1.5, 1.5);
    QPainterPath flap;
    if (open) {
        flap.moveTo(1.5, 4.5);
        flap.lineTo(8, 0.8);
        flap.lineTo(14.5, 4.5);
    } else {
        flap.moveTo(1.5, 4.5);
        flap.lineTo(8, 10);
        flap.lineTo(14.5, 4.5);
    }
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

QPixmap Draw(int state)
{
    QPixmap pixmap = Blank();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (state) {
    case -1: // read
        Envelope(p, QColor(236, 236, 236), true);
        break;
    case 0: // check
        p.setPen(QPen(QColor(20, 140, 40), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(3, 8.5), QPointF(6.5, 12.5));
        p.drawLine(QPointF(6.5, 12.5), QPointF(13.5, 3.5));
        break;
    case 1: // flag
        p.setPen(QPen(QColor(70, 70, 70), 1.4));
        p.drawLine(QPointF(4, 2), QPointF(4, 15));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 40, 40));
        p.drawPolygon(QPolygonF({QPointF(4.5, 2.5), QPointF(13.5, 5), QPointF(4.5, 8.5)}));
        break;
    case 2: // unread
        Envelope(p, QColor(255, 214, 90), false);
        break;
    case 4: // orphan: no project claimed it
        Envelope(p, QColor(225, 215, 245), false);
        p.setPen(QPen(QColor(110, 60, 170), 1.6));
        p.setFont(QFont(QStringLiteral("Sans Serif"), 7, QFont::Bold));
        p.drawText(QRectF(9, 0, 7, 8), Qt::AlignCenter, QStringLiteral("?"));
        break;
    case 5: // low priority
        p.setPen(QPen(QColor(40, 90, 200), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(8, 2), QPointF(8, 13.5));
        p.drawLine(QPointF(8, 13.5), QPointF(4, 9.5));
        p.drawLine(QPointF(8, 13.5), QPointF(12, 9.5));
        break;
    case 6: // high priority
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(215, 30, 30));
        p.drawRoundedRect(QRectF(6.5, 1.5, 3, 9), 1.2, 1.2);
        p.drawEllipse(QRectF(6.5, 11.5, 3, 3));
        break;
    default:
        return {};
    }
    return pixmap;
}

} // namespace

QPixmap MessageStateImage(int state)
{
    static QHash<int, QPixmap> cache;
    auto it = cache.find(state);
    if (it == cache.end())
        it = cache.insert(state, Draw(state));
    return it.value();
}

QPixmap AttachmentImage()
{
    static const QPixmap clip = [] {
        QPixmap pixmap = Blank();
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(90, 90, 100), 1.4, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        QPainterPath path;
        path.moveTo(10, 5);
        path.lineTo(10, 12);
        path.arcTo(QRectF(6, 10, 4, 4), 0, -180);
        path.lineTo(6, 3.5);
        path.arcTo(QRectF(6, 1.5, 6, 4), 180, -180);
        path.lineTo(12, 12.5);
        p.drawPath(path);
        return pixmap;
    }();
    return clip;
}

QPixmap MessageRowImage(int state, int image)
{
    static QHash<int, QPixmap> cache;
    const bool clip = image >= 3;
    const int key = state * 2 + (clip ? 1 : 0);
    auto it = cache.find(key);
    if (it != cache.end())
        return it.value();
    QPixmap row(2 * kSize + 2, kSize);
    row.fill(Qt::transparent);
    QPainter p(&row);
    p.drawPixmap(0, 0, MessageStateImage(state));
    if (clip)
        p.drawPixmap(kSize + 2, 0, AttachmentImage());
    p.end();
    return cache.insert(key, row).value();
}

} // namespace pelmora
