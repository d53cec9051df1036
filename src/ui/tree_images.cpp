#include "ui/tree_images.h"

#include <QPainter>
#include <QPainterPath>

namespace pelmora {

namespace {

enum class TGlyph {
    Account,
    Project,
    Profile,
    Waiting,
    Address,
    Sent,
    Inbox,
    Outbox,
    Receipt,
    SentReceipt,
    Trash,
    Draft
};
// 0: nothing in it (faded), 1: messages, 2: unread messages (marked).
using TFill = int;

const QColor kInk(40, 70, 120);

void Envelope(QPainter& p, const QRectF& r, const QColor& body) {
    p.setBrush(body);
    p.drawRoundedRect(r, 1.5, 1.5);
    QPainterPath flap;
    flap.moveTo(r.left() + 0.5, r.top() + 0.5);
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.6);
    flap.lineTo(r.right() - 0.5, r.top() + 0.5);
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& colour) {
    p.save();
    p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    const QPointF d = (to - from) / std::max(1.0, std::hypot((to - from).x(), (to - from).y()));
    const QPointF n(-d.y(), d.x());
    p.drawLine(to, to - d * 3.2 + n * 2.6);
    p.drawLine(to, to - d * 3.2 - n * 2.6);
    p.restore();
}

void Tray(QPainter& p, const QColor& body) {
    p.setBrush(body);
    QPainterPath tray;
    tray.moveTo(1.5, 9);
    tray.lineTo(5, 9);
    tray.lineTo(6, 11);
    tray.lineTo(10, 11);
    tray.lineTo(11, 9);
    tray.lineTo(14.5, 9);
    tray.lineTo(14.5, 14.5);
    tray.lineTo(1.5, 14.5);
    tray.closeSubpath();
    p.drawPath(tray);
}

QPixmap Draw(TGlyph glyph, TFill fill) {
    QPixmap pixmap(kTreeImageSize, kTreeImageSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const bool empty = fill == 0;
    QColor line = empty ? QColor(150, 150, 150) : kInk;
    p.setPen(QPen(line, 1));
    const QColor paper = empty ? QColor(235, 235, 235) : QColor(255, 250, 230);
    switch (glyph) {
    case TGlyph::Account:
        p.setBrush(empty ? QColor(190, 190, 190) : QColor(90, 140, 210));
        p.drawEllipse(QRectF(5, 1.5, 6, 6));
        p.drawRoundedRect(QRectF(2.5, 8.5, 11, 6.5), 3, 3);
        break;
    case TGlyph::Project:
        p.setBrush(empty ? QColor(210, 200, 170) : QColor(238, 190, 80));
        p.drawRoundedRect(QRectF(1.5, 3.5, 6, 3), 1, 1);
        p.drawRoundedRect(QRectF(1.5, 5, 13, 9.5), 1.2, 1.2);
        break;
    case TGlyph::Profile:
        p.setBrush(QColor(120, 130, 150));
        p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(5.5, 5.5, 5, 5));
        break;
    case TGlyph::Waiting:
        Envelope(p, QRectF(1.5, 5.5, 10, 7), QColor(255, 240, 200));
        Arrow(p, QPointF(9, 4), QPointF(15, 4), QColor(220, 110, 20));
        break;
    case TGlyph::Address:
        p.setBrush(QColor(250, 250, 250));
        p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1, 1);
        p.drawLine(QPointF(5, 5.5), QPointF(11, 5.5));
        p.drawLine(QPointF(5, 8.5), QPointF(11, 8.5));
        p.drawLine(QPointF(5, 11.5), QPointF(9, 11.5));
        break;
    case TGlyph::Sent:
        Envelope(p, QRectF(1.5, 4.5, 11, 8), paper);
        Arrow(p, QPointF(9, 13.5), QPointF(15, 13.5), empty ? line : QColor(40, 140, 60));
        break;
    case TGlyph::Inbox:
        Envelope(p, QRectF(4.5, 1.5, 7, 5), paper);
        Tray(p, empty ? QColor(215, 215, 215) : QColor(120, 165, 225));
        break;
    case TGlyph::Outbox:
        Tray(p, empty ? QColor(215, 215, 215) : QColor(240, 170, 90));
        Arrow(p, QPointF(8, 8), QPointF(8, 1.5), empty ? line : QColor(200, 90, 20));
        break;
    case TGlyph::Receipt:
        Envelope(p, QRectF(1.5, 3.5, 12, 9), paper);
        p.setPen(QPen(empty ? line : QColor(30, 150, 50), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(7, 12), QPointF(9.5, 14.5));
        p.drawLine(QPointF(9.5, 14.5), QPointF(15, 8.5));
        break;
    case TGlyph::SentReceipt:
        Envelope(p, QRectF(1.5, 1.5, 12, 9), paper);
        p.setPen(QPen(empty ? line : QColor(30, 150, 50), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(2.5, 11), QPointF(5, 13.5));
        p.drawLine(QPointF(5, 13.5), QPointF(9, 9.5));
        Arrow(p, QPointF(9.5, 13.5), QPointF(15, 13.5), empty ? line : QColor(40, 140, 60));
        break;
    case TGlyph::Trash:
        p.setBrush(empty ? QColor(220, 220, 220) : QColor(170, 180, 190));
        p.drawRect(QRectF(2.5, 3, 11, 1.8));
        p.drawRect(QRectF(6, 1.5, 4, 1.5));
        p.drawRoundedRect(QRectF(3.5, 5, 9, 9.5), 1, 1);
        p.drawLine(QPointF(6, 7), QPointF(6, 12.5));
        p.drawLine(QPointF(10, 7), QPointF(10, 12.5));
        break;
    case TGlyph::Draft:
        p.setBrush(paper);
        p.drawRect(QRectF(1.5, 1.5, 10, 13));
        p.setPen(QPen(empty ? line : QColor(180, 80, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(7, 11), QPointF(14, 4));
        break;
    }
    if (fill == 2) {
        // Unread mail: an orange dot in the lower right corner.
        p.setPen(QPen(Qt::white, 1));
        p.setBrush(QColor(240, 120, 0));
        p.drawEllipse(QRectF(9.5, 9.5, 6, 6));
    }
    return pixmap;
}

QVector<QPixmap> BuildImages() {
    QVector<QPixmap> images(kTreeImageCount);
    for (int i = 0; i < 3; ++i) {
        images[i] = Draw(TGlyph::Account, i);
        images[3 + i] = Draw(TGlyph::Project, i);
    }
    images[6] = Draw(TGlyph::Profile, 1);
    images[7] = Draw(TGlyph::Waiting, 1);
    images[8] = Draw(TGlyph::Address, 1);
    const TGlyph folders[] = {TGlyph::Sent,  TGlyph::Inbox, TGlyph::Outbox,     TGlyph::Receipt,
                              TGlyph::Trash, TGlyph::Draft, TGlyph::SentReceipt};
    int next = 9;
    for (TGlyph glyph : folders) {
        for (int state = 0; state < 3; ++state)
            images[next++] = Draw(glyph, state);
    }
    return images;
}

} // namespace

int SentReceiptImage(int folderCode, int image) {
    constexpr int kSentReceiptsFolder = 114;
    if (folderCode == kSentReceiptsFolder && image >= 5 && image <= 7)
        return kSentReceiptImages + image - 5;
    return image;
}

const QVector<QPixmap>& TreeImages() {
    static const QVector<QPixmap> images = BuildImages();
    return images;
}

} // namespace pelmora
