#include "ui/markup_renderer.h"

#include "ui/text_convert.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace pelmora {

namespace {

constexpr int kBulletIndent = 12;

QPalette::ColorRole SystemRole(int index) {
    switch (index) {
    case 1:
        return QPalette::Dark; // desktop
    case 2:
        return QPalette::Highlight; // active caption
    case 3:
        return QPalette::Mid; // inactive caption
    case 4:
        return QPalette::Window; // menu
    case 5:
        return QPalette::Base; // window
    case 6:
        return QPalette::WindowText; // window frame
    case 7:
        return QPalette::WindowText; // menu text
    case 8:
        return QPalette::Text; // window text
    case 9:
        return QPalette::HighlightedText; // caption text
    case 10:
        return QPalette::Mid; // active border
    case 11:
        return QPalette::Midlight; // inactive border
    case 12:
        return QPalette::Dark; // application workspace
    case 13:
        return QPalette::Highlight;
    case 14:
        return QPalette::HighlightedText;
    case 15:
        return QPalette::Button;
    case 16:
        return QPalette::Dark; // button shadow
    case 17:
        return QPalette::PlaceholderText; // grey text
    case 18:
        return QPalette::ButtonText;
    case 19:
        return QPalette::Mid; // inactive caption text
    case 20:
        return QPalette::Light; // button highlight
    case 21:
        return QPalette::Shadow;
    case 22:
        return QPalette::Midlight;
    case 23:
        return QPalette::ToolTipText;
    case 24:
        return QPalette::ToolTipBase;
    default:
        return QPalette::Text;
    }
}

QPixmap SystemIcon(const QString& location, bool large) {
    const int size = large ? 32 : 16;
    bool isNumber = false;
    const int number = location.toInt(&isNumber);
    if (isNumber) {
        const auto pixmap = static_cast<QStyle::StandardPixmap>(number);
        if (number >= 0 && number <= static_cast<int>(QStyle::SP_LineEditClearButton))
            return QApplication::style()->standardIcon(pixmap).pixmap(size, size);
        return {};
    }
    QFileIconProvider provider;
    const QFileInfo info(location);
    if (info.exists())
        return provider.icon(info).pixmap(size, size);
    // A bare file name: the icon of its type.
    return provider.icon(QFileIconProvider::File).pixmap(size, size);
}

QPixmap ImageOf(const TMarkupImage& image, const TMarkupPaintOptions& options) {
    switch (image.Source) {
    case TMarkupImageSource::Index:
        if (options.Images && image.Index >= 0 && image.Index < options.Images->size())
            return (*options.Images)[image.Index];
        return {};
    case TMarkupImageSource::SmallSystem:
        return SystemIcon(ToQt(image.Location), false);
    case TMarkupImageSource::LargeSystem:
        return SystemIcon(ToQt(image.Location), true);
    case TMarkupImageSource::Resource:
        return QPixmap(QStringLiteral(":/") + ToQt(image.Location));
    case TMarkupImageSource::File: {
        QPixmap picture(ToQt(image.Location));
        if (!picture.isNull() && image.Width >= 1 && image.Height >= 1)
            picture = picture.scaled(image.Width, image.Height);
        return picture;
    }
    }
    return {};
}

QFont FontOf(const TMarkupStyle& style, const QFont& base) {
    QFont font = base;
    if (!style.FontFace.empty())
        font.setFamily(ToQt(style.FontFace));
    if (style.PointSize > 0)
        font.setPointSize(style.PointSize);
    font.setBold(style.Bold);
    font.setItalic(style.Italic);
    font.setUnderline(style.Underline);
    font.setStrikeOut(style.StrikeOut);
    if (style.Subscript || style.Superscript) {
        const qreal size = font.pointSizeF() > 0 ? font.pointSizeF() : 8;
        font.setPointSizeF(std::max<qreal>(1.0, size * 0.7));
    }
    return font;
}

struct TLine {
    int First = 0; // first box of the line
    TMarkupAlign Align = TMarkupAlign::Left;
    std::optional<TMarkupColour> Background;
};

} // namespace

QColor ResolveMarkupColour(const TMarkupColour& colour, const QPalette& palette) {
    if (colour.System)
        return palette.color(QPalette::Active, SystemRole(colour.SystemIndex));
    return QColor::fromRgb(static_cast<QRgb>(0xFF000000u | colour.Rgb));
}

TMarkupPlacement PlaceMarkup(const TMarkupLayout& layout, const TMarkupPaintOptions& options,
                             QPoint origin, int width) {
    TMarkupPlacement placement;
    std::vector<TLine> lines{TLine{}};
    int x = origin.x();
    int maxRight = origin.x();
    auto newLine = [&](const TMarkupRun* next) {
        lines.push_back(TLine{static_cast<int>(placement.Boxes.size()),
                              next ? next->Align : TMarkupAlign::Left,
                              next ? next->ParagraphBackground : std::nullopt});
        x = origin.x();
    };
    bool lineStarted = false;
    for (size_t i = 0; i < layout.Runs.size(); ++i) {
        const TMarkupRun& run = layout.Runs[i];
        if (!lineStarted) {
            lines.back().Align = run.Align;
            lines.back().Background = run.ParagraphBackground;
            lineStarted = true;
        }
        const bool inParam = run.ParamIndex >= 0;
        TMarkupBox box;
        box.Kind = run.Kind;
        box.ParamIndex = run.ParamIndex;
        box.Font = FontOf(run.Style, options.Font);
        if (inParam)
            box.Font.setUnderline(true);
        if (options.Selected && options.SelectionFontColour.isValid())
            box.Colour = options.SelectionFontColour;
        else if (inParam)
            box.Colour = options.ParamColour;
        else if (run.Style.Colour)
            box.Colour = ResolveMarkupColour(*run.Style.Colour, options.Palette);
        else
            box.Colour = options.TextColour;
        if (run.Style.Background)
            box.Background = ResolveMarkupColour(*run.Style.Background, options.Palette);
        box.Shadow = run.Style.Shadow;
        const QFontMetrics metrics(box.Font);
        switch (run.Kind) {
        case TMarkupRunKind::Text: {
            box.Text = ToQt(run.Text);
            const int w = metrics.horizontalAdvance(box.Text);
            int shift = 0;
            if (run.Style.Subscript)
                shift = metrics.ascent() / 2;
            else if (run.Style.Superscript)
                shift = -metrics.ascent() / 2;
            box.Rect = QRect(x, 0, w, metrics.height());
            box.Baseline = metrics.ascent();
            box.Shift = shift;
            x += w;
            break;
        }
        case TMarkupRunKind::Image: {
            box.Image = ImageOf(run.Image, options);
            if (box.Image.isNull())
                continue; // draws nothing, takes no room
            const QSize size = box.Image.deviceIndependentSize().toSize();
            box.Rect = QRect(x, 0, size.width(), size.height());
            // Baseline records how the image sits: bottom on the baseline, or top/middle.
            box.Baseline = run.Image.Align == TMarkupImageAlign::Top      ? -1
                           : run.Image.Align == TMarkupImageAlign::Middle ? -2
                                                                          : size.height();
            x += size.width() + 1;
            break;
        }
        case TMarkupRunKind::LineBreak:
            newLine(i + 1 < layout.Runs.size() ? &layout.Runs[i + 1] : nullptr);
            lineStarted = false;
            continue;
        case TMarkupRunKind::HorizontalLine:
            box.Rect = QRect(origin.x(), 0, std::max(width, 8), 5);
            box.Baseline = 5;
            placement.Boxes.push_back(box);
            maxRight = std::max(maxRight, box.Rect.right() + 1);
            newLine(i + 1 < layout.Runs.size() ? &layout.Runs[i + 1] : nullptr);
            lineStarted = false;
            continue;
        case TMarkupRunKind::Indent:
            x = std::max(x, origin.x() + run.IndentX);
            continue;
        case TMarkupRunKind::Bullet: {
            x = std::max(x, origin.x() + run.ListLevel * kBulletIndent);
            box.Text = QString(QChar(0x2022)) + QLatin1Char(' ');
            const int w = metrics.horizontalAdvance(box.Text);
            box.Rect = QRect(x, 0, w, metrics.height());
            box.Baseline = metrics.ascent();
            x += w;
            break;
        }
        }
        placement.Boxes.push_back(box);
        maxRight = std::max(maxRight, x);
    }

    // Vertical placement line by line: text on a common baseline, images by their alignment.
    int y = origin.y();
    for (size_t l = 0; l < lines.size(); ++l) {
        const int first = lines[l].First;
        const int end =
            l + 1 < lines.size() ? lines[l + 1].First : static_cast<int>(placement.Boxes.size());
        int ascent = QFontMetrics(options.Font).ascent();
        int descent = QFontMetrics(options.Font).descent();
        int imageHeight = 0;
        for (int b = first; b < end; ++b) {
            const TMarkupBox& box = placement.Boxes[b];
            if (box.Kind == TMarkupRunKind::Image) {
                imageHeight = std::max(imageHeight, box.Rect.height());
                continue;
            }
            if (box.Kind == TMarkupRunKind::HorizontalLine)
                continue;
            ascent = std::max(ascent, box.Baseline - box.Shift);
            descent = std::max(descent, box.Rect.height() - box.Baseline + box.Shift);
        }
        // Text sits in the middle of lines that images make taller.
        const int textHeight = ascent + descent;
        const int lineHeight = std::max(textHeight, imageHeight);
        const int textTop = y + (lineHeight - textHeight) / 2;
        int lineRight = origin.x();
        for (int b = first; b < end; ++b) {
            TMarkupBox& box = placement.Boxes[b];
            if (box.Kind == TMarkupRunKind::Image) {
                const int h = box.Rect.height();
                const int top = box.Baseline == -1   ? y
                                : box.Baseline == -2 ? y + (lineHeight - h) / 2
                                                     : std::max(y, textTop + textHeight - h);
                box.Rect.moveTop(top);
            } else if (box.Kind == TMarkupRunKind::HorizontalLine) {
                box.Rect.moveTop(y + (lineHeight - box.Rect.height()) / 2);
            } else {
                const int baseline = textTop + ascent + box.Shift;
                box.Rect.moveTop(baseline - box.Baseline);
                box.Baseline = baseline;
            }
            lineRight = std::max(lineRight, box.Rect.right() + 1);
        }
        // Right and centred paragraphs move as a whole within the width.
        const int spare = origin.x() + width - lineRight;
        if (spare > 0 && lines[l].Align != TMarkupAlign::Left) {
            const int dx = lines[l].Align == TMarkupAlign::Right ? spare : spare / 2;
            for (int b = first; b < end; ++b)
                placement.Boxes[b].Rect.translate(dx, 0);
        }
        if (lines[l].Background)
            placement.LineBackgrounds.emplace_back(
                QRect(origin.x(), y, std::max(width, lineRight - origin.x()), lineHeight),
                ResolveMarkupColour(*lines[l].Background, options.Palette));
        y += lineHeight;
    }
    if (layout.BodyBackground)
        placement.BodyBackground = ResolveMarkupColour(*layout.BodyBackground, options.Palette);
    if (!layout.BodyBackgroundFile.empty())
        placement.BodyTile = QPixmap(ToQt(layout.BodyBackgroundFile));
    placement.Size = QSize(maxRight - origin.x(), y - origin.y());
    return placement;
}

void ShiftPlacement(TMarkupPlacement& placement, QPoint offset) {
    for (TMarkupBox& box : placement.Boxes) {
        box.Rect.translate(offset);
        box.Baseline += offset.y();
    }
    for (auto& [rect, colour] : placement.LineBackgrounds)
        rect.translate(offset);
}

void PaintMarkup(QPainter& painter, const TMarkupPlacement& placement, const QRect& itemRect,
                 const TMarkupPaintOptions& options) {
    painter.save();
    if (placement.BodyBackground.isValid())
        painter.fillRect(itemRect, placement.BodyBackground);
    if (!placement.BodyTile.isNull())
        painter.drawTiledPixmap(itemRect, placement.BodyTile);
    for (const auto& [rect, colour] : placement.LineBackgrounds)
        painter.fillRect(rect, colour);
    for (const TMarkupBox& box : placement.Boxes) {
        if (box.Background.isValid())
            painter.fillRect(box.Rect, box.Background);
        switch (box.Kind) {
        case TMarkupRunKind::Image:
            painter.drawPixmap(box.Rect.topLeft(), box.Image);
            break;
        case TMarkupRunKind::HorizontalLine:
            painter.setPen(QPen(options.Palette.color(QPalette::Mid), 1));
            painter.drawLine(box.Rect.left(), box.Rect.center().y(), box.Rect.right(),
                             box.Rect.center().y());
            break;
        default:
            painter.setFont(box.Font);
            if (box.Shadow) {
                painter.setPen(options.ShadowColour);
                painter.drawText(QPoint(box.Rect.left() + options.ShadowOffset,
                                        box.Baseline + options.ShadowOffset),
                                 box.Text);
            }
            painter.setPen(box.Colour);
            painter.drawText(QPoint(box.Rect.left(), box.Baseline), box.Text);
            break;
        }
    }
    painter.restore();
}

int HitTestMarkup(const TMarkupPlacement& placement, QPoint point) {
    for (const TMarkupBox& box : placement.Boxes) {
        if (box.ParamIndex >= 0 && box.Rect.contains(point))
            return box.ParamIndex;
    }
    return -1;
}

QRect ParamArea(const TMarkupPlacement& placement, int paramIndex) {
    QRect area;
    for (const TMarkupBox& box : placement.Boxes) {
        if (box.ParamIndex == paramIndex)
            area = area.united(box.Rect);
    }
    return area;
}

} // namespace pelmora
