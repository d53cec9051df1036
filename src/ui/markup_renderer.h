#pragma once
// Lays out, draws and hit-tests one node text of the mark-up. Drawing and hit-testing run the
// same layout, so a click lands on exactly the parameter that was drawn there. Images come
// from the tree's image list ("idx:N"), from files ("file://") and from the desktop's icons
// ("ssys:", "lsys:"); one that cannot be found draws nothing and takes no room.

#include "paramtree/markup_layout.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPixmap>
#include <QRect>
#include <QVector>

#include <vector>

class QPainter;

namespace pelmora {

struct TMarkupPaintOptions {
    QFont Font;
    QPalette Palette;
    QColor TextColour;
    QColor ParamColour = QColor(0x00, 0x80, 0x00);
    QColor ShadowColour = QColor(0x80, 0x80, 0x80);
    int ShadowOffset = 1;
    bool Selected = false; // draw with the selection colours
    QColor SelectionFontColour;
    const QVector<QPixmap>* Images = nullptr; // Not owned; nullptr: no image list
};

// One placed piece of a node text.
struct TMarkupBox {
    TMarkupRunKind Kind = TMarkupRunKind::Text;
    QRect Rect;
    int Baseline = 0; // after placement: the y of the text's baseline
    int Shift = 0;    // subscript (down) or superscript (up) offset of the baseline
    QString Text;
    QFont Font;
    QColor Colour;
    QColor Background; // invalid: none
    bool Shadow = false;
    QPixmap Image;
    int ParamIndex = -1;
};

struct TMarkupPlacement {
    std::vector<TMarkupBox> Boxes;
    std::vector<std::pair<QRect, QColor>> LineBackgrounds; // paragraph backgrounds
    QColor BodyBackground;                                 // invalid: none
    QPixmap BodyTile;
    QSize Size; // the space the text needs
};

QColor ResolveMarkupColour(const TMarkupColour& colour, const QPalette& palette);

// Places the runs from `origin`, lines no wider than `width` for aligned paragraphs and rules.
TMarkupPlacement PlaceMarkup(const TMarkupLayout& layout, const TMarkupPaintOptions& options,
                             QPoint origin, int width);
// Moves every box by offset (to centre the text vertically in its item).
void ShiftPlacement(TMarkupPlacement& placement, QPoint offset);
void PaintMarkup(QPainter& painter, const TMarkupPlacement& placement, const QRect& itemRect,
                 const TMarkupPaintOptions& options);
// The parameter under `point`, -1 when none.
int HitTestMarkup(const TMarkupPlacement& placement, QPoint point);
// The area a parameter covers (the union of its boxes); empty when it has none.
QRect ParamArea(const TMarkupPlacement& placement, int paramIndex);

} // namespace pelmora
