#include "LLButton.h"

#include "ButtonDrawing.h"

#include <QStyleOptionButton>
#include <QPen>
#include <QStylePainter>

namespace pravix
{

LLButton::LLButton(QWidget* parent)
    : QPushButton(parent)
{
}

void LLButton::setDefaultTitle(const QString& title)
{
    defaultTitle_ = title;
    // Screen readers and mnemonics read the button's text; the style does not draw it (paintEvent).
    setText(title);
    update();
}

void LLButton::setDefaultTitleColor(const QColor& color)
{
    defaultTitleColor_ = color;
    update();
}

QColor LLButton::defaultTitleColor() const
{
    return defaultTitleColor_.value_or(QColor(Qt::black));
}

void LLButton::setTextUnderLineStyle(int style)
{
    textUnderLineStyle_ = style;
    update();
}

void LLButton::setTitleAlignment(Qt::Alignment alignment)
{
    titleAlignment_ = alignment;
    update();
}

void LLButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    if (!defaultTitle_.isEmpty()) {
        option.text.clear();
    }
    painter.drawControl(QStyle::CE_PushButton, option);
    if (defaultTitle_.isEmpty()) {
        return;
    }
    const QRectF bounds = rect();
    const QSizeF text = titleSize(defaultTitle_, font(), bounds.width());
    const int alignment = (titleAlignment_ & Qt::AlignLeft) ? 0 : (titleAlignment_ & Qt::AlignHCenter) ? 1 : 2;
    const qreal x = titleX(alignment, bounds.width(), text.width());
    const qreal y = (bounds.height() - text.height()) / 2;
    QColor color = defaultTitleColor();
    if (!isEnabled()) {
        color.setAlphaF(0.45f);
    }
    drawDecoratedTitle(&painter, QRectF(x, y, text.width(), text.height()), defaultTitle_, font(), color,
                       textUnderLineStyle_, titleAlignment_ & Qt::AlignHorizontal_Mask);
    // A flat button draws no focus of its own: keyboard users see a dotted frame in the title's
    // colour.
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        painter.setPen(QPen(color, 1, Qt::DotLine));
        painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

}  // namespace pravix
