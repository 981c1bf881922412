#include "TitleBarButton.h"

#include "WidgetExtensions.h"

#include <QPainter>
#include <QPainterPath>

namespace pravix
{
namespace
{

struct ButtonColours
{
    const char* fill;
    const char* rim;
    const char* symbol;
};

ButtonColours coloursOf(TitleBarButton::Kind kind)
{
    switch (kind) {
    case TitleBarButton::Kind::Close:
        return {"FF5F57", "E2463F", "7A0E06"};
    case TitleBarButton::Kind::Miniaturize:
        return {"FEBC2E", "DFA023", "8A5A00"};
    case TitleBarButton::Kind::Zoom:
        break;
    }
    return {"28C840", "1BAA2C", "0B5E17"};
}

}  // namespace

TitleBarButton::TitleBarButton(Kind kind, QWidget* parent)
    : QAbstractButton(parent), kind_(kind)
{
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(kSize, kSize);
    setCursor(Qt::ArrowCursor);
}

void TitleBarButton::setGroupHovered(bool hovered)
{
    if (groupHovered_ != hovered) {
        groupHovered_ = hovered;
        update();
    }
}

QSize TitleBarButton::sizeHint() const
{
    return QSize(kSize, kSize);
}

void TitleBarButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const ButtonColours colours = coloursOf(kind_);
    const bool active = window()->isActiveWindow() || groupHovered_;
    QColor fill = active ? ColorHex(colours.fill) : ColorHex("DCDCDC");
    QColor rim = active ? ColorHex(colours.rim) : ColorHex("C6C6C6");
    if (isDown()) {
        fill = fill.darker(118);
    }
    if (!isEnabled()) {
        fill = ColorHex("E6E6E6");
        rim = ColorHex("D0D0D0");
    }
    const QRectF circle(1.5, 1.5, kSize - 3.0, kSize - 3.0);
    painter.setPen(QPen(rim, 1.0));
    painter.setBrush(fill);
    painter.drawEllipse(circle);
    if (!groupHovered_ || !isEnabled()) {
        return;
    }
    painter.setPen(QPen(ColorHex(colours.symbol), 1.3, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = circle.center();
    const qreal r = 2.6;
    switch (kind_) {
    case Kind::Close:
        painter.drawLine(c + QPointF(-r, -r), c + QPointF(r, r));
        painter.drawLine(c + QPointF(-r, r), c + QPointF(r, -r));
        break;
    case Kind::Miniaturize:
        painter.drawLine(c + QPointF(-r - 0.5, 0), c + QPointF(r + 0.5, 0));
        break;
    case Kind::Zoom: {
        // Two small corner triangles pointing apart, the usual "make larger" symbol.
        painter.setPen(Qt::NoPen);
        painter.setBrush(ColorHex(colours.symbol));
        QPainterPath arrows;
        arrows.moveTo(c + QPointF(-3.2, -3.2));
        arrows.lineTo(c + QPointF(1.2, -3.2));
        arrows.lineTo(c + QPointF(-3.2, 1.2));
        arrows.closeSubpath();
        arrows.moveTo(c + QPointF(3.2, 3.2));
        arrows.lineTo(c + QPointF(-1.2, 3.2));
        arrows.lineTo(c + QPointF(3.2, -1.2));
        arrows.closeSubpath();
        painter.drawPath(arrows);
        break;
    }
    }
}

}  // namespace pravix
