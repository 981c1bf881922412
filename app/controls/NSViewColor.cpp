#include "NSViewColor.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace pravix
{

NSViewColor::NSViewColor(QWidget* parent)
    : QWidget(parent)
{
}

void NSViewColor::setBackgroundColor(const QColor& color)
{
    backgroundColor_ = color;
    update();
}

void NSViewColor::setCornerRadius(qreal radius)
{
    cornerRadius_ = radius;
    update();
}

void NSViewColor::setMiaobianW(qreal width)
{
    miaobianW_ = width;
    update();
}

void NSViewColor::setMiaobianColor(const QColor& color)
{
    miaobianColor_ = color;
    update();
}

void NSViewColor::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    QPainterPath shape;
    if (cornerRadius_ > 0) {
        shape.addRoundedRect(bounds, cornerRadius_, cornerRadius_);
        painter.setClipPath(shape);
    } else {
        shape.addRect(bounds);
    }
    if (backgroundColor_) {
        painter.fillRect(bounds, *backgroundColor_);
    }
    if (miaobianW_ > 0) {
        // Drawn inside the bounds, following the rounded corners.
        const qreal half = miaobianW_ / 2;
        painter.setPen(QPen(miaobianColor(), miaobianW_));
        painter.setBrush(Qt::NoBrush);
        const qreal radius = std::max<qreal>(0, cornerRadius_ - half);
        painter.drawRoundedRect(bounds.adjusted(half, half, -half, -half), radius, radius);
    }
}

void NSViewColor::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (handlerMouseDown_) {
        handlerMouseDown_(event);
    }
    event->ignore();
}

}  // namespace pravix
