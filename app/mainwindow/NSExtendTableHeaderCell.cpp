#include "NSExtendTableHeaderCell.h"

#include "WidgetExtensions.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>

namespace pravix
{

bool headerCellHighlighted(const QWidget* window)
{
    return !(window && window->isActiveWindow());
}

bool NSExtendTableHeaderCell::isHighlighted() const
{
    return headerCellHighlighted(window_ ? window_.data() : QApplication::activeWindow());
}

QRect NSExtendTableHeaderCell::titleRect(const QRect& frame)
{
    return QRect(frame.x(), frame.y() + (frame.height() - 15) / 2, frame.width(), 15);
}

void NSExtendTableHeaderCell::drawBackground(QPainter* painter, const QRect& frame, bool highlighted)
{
    painter->save();
    painter->fillRect(frame, highlighted ? ColorHex(QStringLiteral("F5F5F5")) : QColor(Qt::white));
    painter->setRenderHint(QPainter::Antialiasing);
    QColor grey = QColor::fromRgbF(200 / 255.0f, 200 / 255.0f, 200 / 255.0f, 0.4f);
    // Half a pixel in, so the one-pixel lines fall on the cell's last column and row.
    const qreal right = frame.x() + frame.width() - 0.5;
    const qreal bottom = frame.y() + frame.height() - 0.5;
    painter->setPen(QPen(grey, 1.0));
    painter->drawLine(QPointF(right, frame.y() + 6), QPointF(right, frame.y() + frame.height() - 6));
    grey.setAlphaF(0.8f);
    painter->setPen(QPen(grey, 1.0));
    painter->drawLine(QPointF(frame.x(), bottom), QPointF(frame.x() + frame.width(), bottom));
    painter->restore();
}

void NSExtendTableHeaderCell::drawTitle(QPainter* painter, const QRect& frame, const QString& title) const
{
    if (title.isEmpty()) {
        return;
    }
    const QRect band = titleRect(frame).adjusted(4, 0, -4, 0);
    const QFont font = SystemFont(kTitleFontSize);
    const QString shown = QFontMetricsF(font).elidedText(title, elideMode_, band.width());
    painter->save();
    painter->setFont(font);
    painter->setPen(textColor_);
    painter->drawText(band, static_cast<int>(alignment_ | Qt::TextSingleLine), shown);
    painter->restore();
}

void NSExtendTableHeaderCell::drawWithFrame(QPainter* painter, const QRect& frame, bool highlighted,
                                           const QString& title)
{
    drawBackground(painter, frame, highlighted);
    drawTitle(painter, frame, title);
}

}  // namespace pravix
