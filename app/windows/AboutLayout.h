#pragma once

#include <QRectF>
#include <QSizeF>
#include <Qt>

namespace pravix
{

// Where the About window puts its pieces; plain formulas, so they are checked without a window.

// The logo row: the logo and the name form one group, 4 apart, centred both ways in the logo view
// (logoView its size, logo the logo's size). nameTextWidth is the measured name; its frame is 5
// wider and 20 high.
struct AboutLogoRow
{
    QRectF logo;
    QRectF name;
};
AboutLogoRow aboutLogoRow(const QSizeF& logoView, const QSizeF& logo, qreal nameTextWidth);

// The label and value columns of the version and website rows, one block centred in the window's
// width: the label column is the widest label text + 20, the value column the widest value text
// + 5. Left to right the labels stand on the left, right-aligned, the values on the right,
// left-aligned; right to left (direction 1) the same mirrored.
struct AboutColumns
{
    qreal labelX = 0;
    qreal labelWidth = 0;
    Qt::Alignment labelAlignment;
    qreal valueX = 0;
    qreal valueWidth = 0;
    Qt::Alignment valueAlignment;
};
AboutColumns aboutColumns(qreal windowWidth, qreal widestLabelText, qreal widestValueText, int direction);

}  // namespace pravix
