#include "ui/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace pelmora {

namespace {

const QColor kBrandDark(28, 64, 112);
const QColor kBrandLight(74, 140, 210);
const QColor kAccent(246, 170, 40);

// An envelope with a folder tab: the program's mark.
void DrawMark(QPainter& painter, const QRectF& box) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal w = box.width();
    const qreal h = box.height();
    QRectF body(box.left() + w * 0.08, box.top() + h * 0.22, w * 0.84, h * 0.62);
    QPainterPath tab;
    tab.addRoundedRect(QRectF(body.left(), box.top() + h * 0.1, w * 0.36, h * 0.2), w * 0.04,
                       w * 0.04);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAccent);
    painter.drawPath(tab);
    QLinearGradient fill(body.topLeft(), body.bottomLeft());
    fill.setColorAt(0, kBrandLight);
    fill.setColorAt(1, kBrandDark);
    painter.setBrush(fill);
    painter.drawRoundedRect(body, w * 0.06, w * 0.06);
    QPen flap(Qt::white, std::max<qreal>(1.0, w * 0.05), Qt::SolidLine, Qt::RoundCap,
              Qt::RoundJoin);
    painter.setPen(flap);
    painter.setBrush(Qt::NoBrush);
    QPainterPath v;
    v.moveTo(body.left() + w * 0.06, body.top() + h * 0.08);
    v.lineTo(body.center().x(), body.top() + body.height() * 0.58);
    v.lineTo(body.right() - w * 0.06, body.top() + h * 0.08);
    painter.drawPath(v);
    painter.restore();
}

} // namespace

QPixmap ProductLogo() {
    QPixmap pixmap(260, 56);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    DrawMark(painter, QRectF(0, 0, 56, 56));
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("Sans Serif"), 22, QFont::Bold);
    painter.setFont(font);
    painter.setPen(kBrandDark);
    painter.drawText(QRectF(64, 0, 196, 40), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Pelmora"));
    QFont small(QStringLiteral("Sans Serif"), 8);
    painter.setFont(small);
    painter.setPen(QColor(90, 90, 90));
    painter.drawText(QRectF(66, 36, 194, 18), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("project mail v.3.0.5"));
    return pixmap;
}

QPixmap SplashPicture(bool farewell) {
    QPixmap pixmap(420, 240);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, 240);
    background.setColorAt(0, QColor(238, 244, 252));
    background.setColorAt(1, QColor(200, 218, 240));
    painter.fillRect(pixmap.rect(), background);
    painter.setPen(QPen(kBrandDark, 2));
    painter.drawRect(pixmap.rect().adjusted(1, 1, -1, -1));
    DrawMark(painter, QRectF(30, 50, 110, 110));
    painter.setFont(QFont(QStringLiteral("Sans Serif"), 30, QFont::Bold));
    painter.setPen(kBrandDark);
    painter.drawText(QRectF(150, 50, 260, 60), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Pelmora"));
    painter.setFont(QFont(QStringLiteral("Sans Serif"), 11));
    painter.setPen(QColor(60, 60, 60));
    painter.drawText(QRectF(152, 108, 260, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     farewell ? QStringLiteral("Goodbye!") : QStringLiteral("Mail by project"));
    painter.setFont(QFont(QStringLiteral("Sans Serif"), 8));
    painter.drawText(QRectF(0, 200, 410, 30), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("v.3.0.5 by Sorvath"));
    return pixmap;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        DrawMark(painter, QRectF(0, 0, size, size));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap BusyFrame(int frame) {
    constexpr int kFrames = 15;
    QPixmap pixmap(64, 20);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 8; ++i) {
        const double phase = 2 * std::numbers::pi * (frame % kFrames) / kFrames;
        const double wave = 0.5 + 0.5 * std::sin(phase - i * 0.6);
        QColor colour = kBrandLight;
        colour.setAlphaF(static_cast<float>(0.2 + 0.8 * wave));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        const double radius = 1.8 + 1.6 * wave;
        painter.drawEllipse(QPointF(5 + i * 7.7, 10), radius, radius);
    }
    return pixmap;
}

} // namespace pelmora
