#include "ListCells.h"

#include "AppImages.h"
#include "StateTextFit.h"
#include "WidgetExtensions.h"

#include <QCache>
#include <QFontMetricsF>
#include <QtMath>

#include <algorithm>
#include <QPainter>
#include <QStyle>

namespace pravix
{
namespace
{

constexpr qreal kCellFontSize = 12.0;

QRect centred(const QRect& cell, int w, int h)
{
    return QRect(cell.x() + (cell.width() - w) / 2, cell.y() + (cell.height() - h) / 2, w, h);
}

qreal ratioOf(const QPainter* painter)
{
    return painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
}

void drawImage(QPainter* painter, const QRect& target, const QString& name, qreal opacity = 1.0)
{
    const QPixmap pixmap = appPixmap(name, target.size(), ratioOf(painter));
    if (pixmap.isNull()) {
        return;
    }
    painter->save();
    painter->setOpacity(opacity);
    painter->drawPixmap(target.topLeft(), pixmap);
    painter->restore();
}

QColor textColour(const QStyleOptionViewItem& option)
{
    return option.palette.color(QPalette::Active, QPalette::Text);
}

void drawLine(QPainter* painter, const QStyleOptionViewItem& option, const QRect& box, const QString& text,
              Qt::TextElideMode elide)
{
    const QFont font = SystemFont(kCellFontSize);
    const QString shown = QFontMetricsF(font).elidedText(text, elide, box.width());
    painter->save();
    painter->setFont(font);
    painter->setPen(textColour(option));
    painter->drawText(box, Qt::AlignCenter | Qt::TextSingleLine, shown);
    painter->restore();
}

int lineHeightOf()
{
    return qCeil(QFontMetricsF(SystemFont(kCellFontSize)).height());
}

}  // namespace

QColor BDTableRowView::selectionColor()
{
    return ColorHex(QStringLiteral("c3d2dd"));
}

void BDTableRowView::drawBackground(QPainter* painter, const QStyleOptionViewItem& option)
{
    if (option.state & QStyle::State_Selected) {
        painter->fillRect(option.rect, selectionColor());
    } else if (option.features & QStyleOptionViewItem::Alternate) {
        painter->fillRect(option.rect, option.palette.brush(QPalette::AlternateBase));
    }
}

QRect NSTableCellFileSelect::SelectBtRect(const QRect& cell, Qt::LayoutDirection direction)
{
    const QRect frame(cell.x() + 8, cell.y(), std::max(0, cell.width() - 12), cell.height());
    return QStyle::visualRect(direction, cell, frame);
}

QRect NSTableCellFileSelect::boxRect(const QRect& cell, Qt::LayoutDirection direction)
{
    const QRect box(cell.x() + 8, cell.y() + (cell.height() - kBoxSize) / 2, kBoxSize, kBoxSize);
    return QStyle::visualRect(direction, cell, box);
}

void NSTableCellFileSelect::paint(QPainter* painter, const QStyleOptionViewItem& option, bool selected)
{
    drawImage(painter, boxRect(option.rect, option.direction),
              selected ? QStringLiteral("Check_YES") : QStringLiteral("Check_NO"));
}

QRect NSTableCellFileName::FileNameRect(const QRect& cell, int lineHeight)
{
    return QRect(cell.x() + 5, cell.y() + (cell.height() - lineHeight) / 2, std::max(0, cell.width() - 10),
                 lineHeight);
}

void NSTableCellFileName::paint(QPainter* painter, const QStyleOptionViewItem& option, const QString& name)
{
    drawLine(painter, option, FileNameRect(option.rect, lineHeightOf()), name, Qt::ElideMiddle);
}

QRect NSTableCellFileSize::FileSizeRect(const QRect& cell, int lineHeight)
{
    return NSTableCellFileName::FileNameRect(cell, lineHeight);
}

void NSTableCellFileSize::paint(QPainter* painter, const QStyleOptionViewItem& option, const QString& size)
{
    drawLine(painter, option, FileSizeRect(option.rect, lineHeightOf()), size, Qt::ElideRight);
}

QRect NSTableCellStateView::StateIcoRect(const QRect& cell)
{
    return centred(cell, kIconSize, kIconSize);
}

QRect NSTableCellStateView::StateTextRect(const QRect& cell)
{
    return QRect(cell.x() + 5, cell.y(), std::max(0, cell.width() - 10), cell.height());
}

void NSTableCellStateView::paint(QPainter* painter, const QStyleOptionViewItem& option, const QString& text,
                                 const QString& iconName)
{
    if (text.isEmpty()) {
        if (!iconName.isEmpty()) {
            drawImage(painter, StateIcoRect(option.rect), iconName);
        }
        return;
    }
    const QRect box = StateTextRect(option.rect);
    // The list redraws every second during a batch; a text keeps its fit while its cell's size does.
    static QCache<QString, StateTextFit> fits(1024);
    const QString key = QStringLiteral("%1x%2|").arg(box.width()).arg(box.height()) + text;
    StateTextFit* cached = fits.object(key);
    if (!cached) {
        cached = new StateTextFit(fitStateText(text, box.size()));
        fits.insert(key, cached);
    }
    const StateTextFit fit = *cached;
    painter->save();
    painter->setFont(SystemFont(fit.fontSize));
    painter->setPen(textColour(option));
    const qreal total = fit.lineHeight * fit.lines.size();
    qreal y = box.y() + (box.height() - total) / 2;
    for (const QString& line : fit.lines) {
        painter->drawText(QRectF(box.x(), y, box.width(), fit.lineHeight), Qt::AlignCenter | Qt::TextSingleLine, line);
        y += fit.lineHeight;
    }
    painter->restore();
}

QRect NSTableCellPreview::PreButtonRect(const QRect& cell)
{
    return centred(cell, kButtonSize, kButtonSize);
}

void NSTableCellPreview::paint(QPainter* painter, const QStyleOptionViewItem& option, bool pressed)
{
    drawImage(painter, PreButtonRect(option.rect), QStringLiteral("PreBt"), pressed ? 0.55 : 1.0);
}

QRect NSTableCellDeleteView::DeleteButtonRect(const QRect& cell)
{
    return centred(cell, kButtonSize, kButtonSize);
}

void NSTableCellDeleteView::paint(QPainter* painter, const QStyleOptionViewItem& option, bool pressed)
{
    drawImage(painter, DeleteButtonRect(option.rect), QStringLiteral("DeleteBt"), pressed ? 0.55 : 1.0);
}

}  // namespace pravix
