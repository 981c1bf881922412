#pragma once

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QRectF>
#include <QString>

class QPainter;

namespace pravix
{

// Drawing rules shared by the custom buttons (LLCustomBtn, LLButton, NSButtonBackgroundColor).

// Which corners are rounded: 0 none, -1 all, else a bit set as the window sees them: 1 top-left,
// 2 top-right, 4 bottom-left, 8 bottom-right.
enum RectCorner
{
    RectCornerTopLeft = 1,
    RectCornerTopRight = 2,
    RectCornerBottomLeft = 4,
    RectCornerBottomRight = 8,
    RectCornerAll = -1,
};
QPainterPath roundedCornersPath(const QRectF& rect, qreal radius, int rectCorners);

// textUnderLineStyle: 0 none, 1 single underline, 2 double underline, 3 single strike-through,
// 4 double strike-through; the lines take the title's colour.
enum TextLineStyle
{
    TextLineNone = 0,
    TextLineUnderline = 1,
    TextLineDoubleUnderline = 2,
    TextLineStrikeThrough = 3,
    TextLineDoubleStrikeThrough = 4,
};

// Size of a title wrapped by words at `maxWidth` (lines 1 pixel apart); zero for no text.
QSizeF titleSize(const QString& title, const QFont& font, qreal maxWidth);

// x of a title of `textWidth` in a width: `alignment` 0 left, 1 centred, any other right.
qreal titleX(int alignment, qreal width, qreal textWidth);

// Draws the wrapped title in `box` (its lines centred on each other as the box's alignment
// says) with the lines of `textLineStyle`.
void drawDecoratedTitle(QPainter* painter, const QRectF& box, const QString& title, const QFont& font,
                        const QColor& color, int textLineStyle, Qt::Alignment lineAlignment);

}  // namespace pravix
