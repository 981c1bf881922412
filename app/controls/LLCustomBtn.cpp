#include "LLCustomBtn.h"

#include "ButtonDrawing.h"
#include "WidgetExtensions.h"

#include <QPainter>

#include <limits>

namespace pravix
{
namespace
{

bool same(const QPixmap& a, const QPixmap& b)
{
    return a.cacheKey() == b.cacheKey();
}

template <typename T>
bool same(const T& a, const T& b)
{
    return a == b;
}

}  // namespace

LLCustomBtn::LLCustomBtn(QWidget* parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

template <typename T>
void LLCustomBtn::assign(T& field, const T& value)
{
    if (!same(field, value)) {
        field = value;
        update();
    }
}

void LLCustomBtn::setDefaultTitle(const QString& title)
{
    assign(defaultTitle_, title);
    // The accessible name and mnemonic follow the title.
    setText(title);
}

void LLCustomBtn::setSelectedTitle(const QString& title)
{
    assign(selectedTitle_, title);
}

void LLCustomBtn::setDefaultTitleColor(const QColor& color)
{
    assign(defaultTitleColor_, std::optional<QColor>(color));
}

void LLCustomBtn::setSelectedTitleColor(const QColor& color)
{
    assign(selectedTitleColor_, std::optional<QColor>(color));
}

void LLCustomBtn::setDefaultFont(const QFont& font)
{
    assign(defaultFont_, std::optional<QFont>(font));
}

void LLCustomBtn::setSelectedFont(const QFont& font)
{
    assign(selectedFont_, std::optional<QFont>(font));
}

void LLCustomBtn::setDefaultBackgroundImage(const QPixmap& image)
{
    assign(defaultBackgroundImage_, image);
}

void LLCustomBtn::setSelectedBackgroundImage(const QPixmap& image)
{
    assign(selectedBackgroundImage_, image);
}

void LLCustomBtn::setDefaultBackgroundColor(const QColor& color)
{
    assign(defaultBackgroundColor_, std::optional<QColor>(color));
}

void LLCustomBtn::setSelectedBackgroundColor(const QColor& color)
{
    assign(selectedBackgroundColor_, std::optional<QColor>(color));
}

void LLCustomBtn::setRadius(double radius)
{
    assign(radius_, radius);
}

void LLCustomBtn::setRectCorners(int corners)
{
    assign(rectCorners_, corners);
}

void LLCustomBtn::setTextAlignment(int alignment)
{
    assign(textAlignment_, alignment);
}

void LLCustomBtn::setTextUnderLineStyle(int style)
{
    assign(textUnderLineStyle_, style);
}

void LLCustomBtn::setIsHandCursor(bool hand)
{
    isHandCursor_ = hand;
    if (hand) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

LLCustomBtn::Look LLCustomBtn::currentLook() const
{
    const bool pressed = isDown();
    Look look;
    look.title = pressed && !selectedTitle_.isEmpty() ? selectedTitle_ : defaultTitle_;
    if (look.title.isEmpty()) {
        look.title = QStringLiteral("按钮");
    }
    const std::optional<QFont> font = pressed && selectedFont_ ? selectedFont_ : defaultFont_;
    look.font = font ? *font : SystemFont(17);
    const std::optional<QColor> color = pressed && selectedTitleColor_ ? selectedTitleColor_ : defaultTitleColor_;
    look.titleColor = color ? *color : QColor(Qt::black);
    look.backgroundImage =
        pressed && !selectedBackgroundImage_.isNull() ? selectedBackgroundImage_ : defaultBackgroundImage_;
    const std::optional<QColor> background =
        pressed && selectedBackgroundColor_ ? selectedBackgroundColor_ : defaultBackgroundColor_;
    look.backgroundColor = background ? *background : QColor(Qt::transparent);
    return look;
}

QSize LLCustomBtn::sizeHint() const
{
    const Look look = currentLook();
    const QSizeF text = titleSize(look.title, look.font, std::numeric_limits<int>::max() / 4);
    return QSize(qCeil(text.width()) + 24, qCeil(text.height()) + 12);
}

void LLCustomBtn::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Look look = currentLook();
    const QRectF bounds = rect();
    const QPainterPath shape = roundedCornersPath(bounds, radius_, rectCorners_);
    if (!look.backgroundImage.isNull()) {
        painter.fillPath(shape, QBrush(look.backgroundImage));
    } else {
        painter.fillPath(shape, look.backgroundColor);
    }
    const QSizeF text = titleSize(look.title, look.font, bounds.width());
    const qreal x = titleX(textAlignment_, bounds.width(), text.width());
    const qreal y = (bounds.height() - text.height()) / 2;
    const Qt::Alignment lines = textAlignment_ == 0 ? Qt::AlignLeft : textAlignment_ == 1 ? Qt::AlignHCenter : Qt::AlignRight;
    drawDecoratedTitle(&painter, QRectF(x, y, text.width(), text.height()), look.title, look.font, look.titleColor,
                       textUnderLineStyle_, lines);
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        painter.setPen(QPen(ColorHex(QStringLiteral("5F36B3")), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(roundedCornersPath(bounds.adjusted(1, 1, -1, -1), radius_, rectCorners_));
    }
}

}  // namespace pravix
