#include "ButtonDrawing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <vector>

namespace pravix
{
namespace
{

constexpr qreal kLineSpacing = 1.0;

struct TitleLine
{
    QTextLine line;
    qreal y = 0;
};

// Lays the title out at `maxWidth`; the caller keeps `layout` alive while it uses the lines.
std::vector<TitleLine> layoutTitle(QTextLayout& layout, qreal maxWidth, QSizeF* size)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    std::vector<TitleLine> lines;
    qreal y = 0;
    qreal width = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max<qreal>(maxWidth, 1.0));
        if (!lines.empty()) {
            y += kLineSpacing;
        }
        line.setPosition(QPointF(0, y));
        lines.push_back({line, y});
        y += line.height();
        width = std::max(width, line.naturalTextWidth());
    }
    layout.endLayout();
    if (size) {
        *size = QSizeF(width, y);
    }
    return lines;
}

}  // namespace

QPainterPath roundedCornersPath(const QRectF& rect, qreal radius, int rectCorners)
{
    QPainterPath path;
    if (rectCorners == 0 || radius <= 0) {
        path.addRect(rect);
        return path;
    }
    if (rectCorners == RectCornerAll) {
        path.addRoundedRect(rect, radius, radius);
        return path;
    }
    const qreal r = std::min(radius, std::min(rect.width(), rect.height()) / 2);
    auto radiusOf = [&](int bit) { return (rectCorners & bit) ? r : 0.0; };
    const qreal tl = radiusOf(RectCornerTopLeft);
    const qreal tr = radiusOf(RectCornerTopRight);
    const qreal bl = radiusOf(RectCornerBottomLeft);
    const qreal br = radiusOf(RectCornerBottomRight);
    path.moveTo(rect.left() + tl, rect.top());
    path.lineTo(rect.right() - tr, rect.top());
    if (tr > 0) {
        path.arcTo(QRectF(rect.right() - 2 * tr, rect.top(), 2 * tr, 2 * tr), 90, -90);
    }
    path.lineTo(rect.right(), rect.bottom() - br);
    if (br > 0) {
        path.arcTo(QRectF(rect.right() - 2 * br, rect.bottom() - 2 * br, 2 * br, 2 * br), 0, -90);
    }
    path.lineTo(rect.left() + bl, rect.bottom());
    if (bl > 0) {
        path.arcTo(QRectF(rect.left(), rect.bottom() - 2 * bl, 2 * bl, 2 * bl), 270, -90);
    }
    path.lineTo(rect.left(), rect.top() + tl);
    if (tl > 0) {
        path.arcTo(QRectF(rect.left(), rect.top(), 2 * tl, 2 * tl), 180, -90);
    }
    path.closeSubpath();
    return path;
}

QSizeF titleSize(const QString& title, const QFont& font, qreal maxWidth)
{
    if (title.isEmpty()) {
        return QSizeF(0, 0);
    }
    QTextLayout layout(title, font);
    QSizeF size;
    layoutTitle(layout, maxWidth, &size);
    return size;
}

qreal titleX(int alignment, qreal width, qreal textWidth)
{
    if (alignment == 0) {
        return 0;
    }
    return alignment == 1 ? (width - textWidth) / 2 : width - textWidth;
}

void drawDecoratedTitle(QPainter* painter, const QRectF& box, const QString& title, const QFont& font,
                        const QColor& color, int textLineStyle, Qt::Alignment lineAlignment)
{
    if (title.isEmpty()) {
        return;
    }
    QTextLayout layout(title, font);
    const std::vector<TitleLine> lines = layoutTitle(layout, box.width(), nullptr);
    const QFontMetricsF metrics(font);
    painter->save();
    painter->setPen(color);
    for (const TitleLine& entry : lines) {
        const qreal lineWidth = entry.line.naturalTextWidth();
        qreal dx = 0;
        if (lineAlignment & Qt::AlignHCenter) {
            dx = (box.width() - lineWidth) / 2;
        } else if (lineAlignment & Qt::AlignRight) {
            dx = box.width() - lineWidth;
        }
        const QPointF origin(box.x() + dx - entry.line.x(), box.y());
        entry.line.draw(painter, origin);
        if (textLineStyle < TextLineUnderline || textLineStyle > TextLineDoubleStrikeThrough) {
            continue;
        }
        const qreal baseline = box.y() + entry.y + entry.line.ascent();
        const bool strike = textLineStyle >= TextLineStrikeThrough;
        const bool twice = textLineStyle == TextLineDoubleUnderline || textLineStyle == TextLineDoubleStrikeThrough;
        const qreal width = std::max<qreal>(1.0, metrics.lineWidth());
        const qreal y = strike ? baseline - metrics.strikeOutPos() : baseline + metrics.underlinePos();
        const qreal x0 = box.x() + dx;
        const qreal x1 = x0 + lineWidth;
        painter->setPen(QPen(color, width));
        const qreal gap = width + 1.0;
        const qreal first = twice ? y - gap / 2 : y;
        painter->drawLine(QPointF(x0, first), QPointF(x1, first));
        if (twice) {
            painter->drawLine(QPointF(x0, first + gap), QPointF(x1, first + gap));
        }
        painter->setPen(color);
    }
    painter->restore();
}

}  // namespace pravix
