#include "NSSelectTableHeaderCell.h"

#include "AppImages.h"

#include <QPainter>

namespace pravix
{

NSSelectTableHeaderCell::NSSelectTableHeaderCell()
{
    setSelect(0);
}

void NSSelectTableHeaderCell::DefaultSelect()
{
    selectHidden_ = true;
    setSelect(0);
}

void NSSelectTableHeaderCell::setSelect(int select)
{
    select_ = select;
    selectImage_ = select == 0 ? QStringLiteral("Check_NO") : select == 1 ? QStringLiteral("Check_YES")
                                                                            : QStringLiteral("Check");
}

QRect NSSelectTableHeaderCell::boxRect(const QRect& frame, const QSize& imageSize)
{
    return QRect(frame.x() + (frame.width() - imageSize.width()) / 2, frame.y() + (frame.height() - imageSize.height()) / 2,
                 imageSize.width(), imageSize.height());
}

void NSSelectTableHeaderCell::drawWithFrame(QPainter* painter, const QRect& frame, bool highlighted,
                                           const QString& title)
{
    const QPixmap box = appPixmap(selectImage_, QSize(), painter->device() ? painter->device()->devicePixelRatioF() : 1.0);
    if (!selectHidden_ && box.isNull()) {
        selectHidden_ = true;
    }
    drawBackground(painter, frame, highlighted);
    if (!selectHidden_) {
        painter->drawPixmap(boxRect(frame, appImageSize(selectImage_)).topLeft(), box);
    }
    drawTitle(painter, frame, title);
}

}  // namespace pravix
