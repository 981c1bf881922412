#include "AboutLayout.h"

namespace pravix
{

AboutLogoRow aboutLogoRow(const QSizeF& logoView, const QSizeF& logo, qreal nameTextWidth)
{
    constexpr qreal kNameHeight = 20;
    const qreal nameWidth = nameTextWidth + 5;
    const qreal x0 = (logoView.width() - nameWidth) / 2;
    AboutLogoRow row;
    row.name = QRectF(x0 + logo.width() / 2 + 2, (logoView.height() - kNameHeight) / 2, nameWidth, kNameHeight);
    row.logo = QRectF(QPointF(x0 - logo.width() / 2 - 2, (logoView.height() - logo.height()) / 2), logo);
    return row;
}

AboutColumns aboutColumns(qreal windowWidth, qreal widestLabelText, qreal widestValueText, int direction)
{
    AboutColumns columns;
    columns.labelWidth = widestLabelText + 20;
    columns.valueWidth = widestValueText + 5;
    const qreal start = (windowWidth - (columns.labelWidth + columns.valueWidth)) / 2;
    // Explicit sides: the window's own direction must not flip them a second time.
    if (direction == 1) {
        columns.valueX = start;
        columns.valueAlignment = Qt::AlignAbsolute | Qt::AlignRight | Qt::AlignVCenter;
        columns.labelX = start + columns.valueWidth;
        columns.labelAlignment = Qt::AlignAbsolute | Qt::AlignLeft | Qt::AlignVCenter;
    } else {
        columns.labelX = start;
        columns.labelAlignment = Qt::AlignAbsolute | Qt::AlignRight | Qt::AlignVCenter;
        columns.valueX = start + columns.labelWidth;
        columns.valueAlignment = Qt::AlignAbsolute | Qt::AlignLeft | Qt::AlignVCenter;
    }
    return columns;
}

}  // namespace pravix
