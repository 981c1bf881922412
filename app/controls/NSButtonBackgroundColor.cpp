#include "NSButtonBackgroundColor.h"

#include "ButtonDrawing.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

namespace pravix
{

QSizeF configureTextSizeWithString(const QString& text, const QFont& font, const QSizeF& maxSize)
{
    if (text.isEmpty()) {
        return QSizeF(0, 0);
    }
    const QSizeF size = titleSize(text, font, maxSize.width());
    return QSizeF(std::min(size.width(), maxSize.width()), std::min(size.height(), maxSize.height()));
}

NSButtonBackgroundColor::NSButtonBackgroundColor(QWidget* parent)
    : QPushButton(parent)
{
    setFlat(true);
}

void NSButtonBackgroundColor::setBackgroundColor(const QColor& color)
{
    backgroundColor_ = color;
    update();
}

void NSButtonBackgroundColor::setTextColor(const QColor& color)
{
    textColor_ = color;
    update();
}

void NSButtonBackgroundColor::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.setClipPath(shape);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    if (backgroundColor_) {
        QColor fill = *backgroundColor_;
        if (isDown()) {
            fill = fill.darker(115);
        }
        painter.fillRect(rect(), fill);
    }
    const QSizeF frame = size();
    const QSizeF textSize = configureTextSizeWithString(text(), font(), frame);
    QColor color = textColor();
    if (!isEnabled()) {
        color.setAlphaF(0.5f);
    }
    drawDecoratedTitle(&painter, QRectF(0, (frame.height() - textSize.height()) / 2, frame.width(), frame.height()),
                       text(), font(), color, 0, Qt::AlignHCenter);
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        painter.setClipping(false);
        painter.setPen(QPen(QColor(255, 255, 255, 200), 1.5, Qt::DotLine));
        painter.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), kCornerRadius - 1, kCornerRadius - 1);
    }
}

}  // namespace pravix
