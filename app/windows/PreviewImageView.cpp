#include "PreviewImageView.h"

#include <QPainter>

namespace pravix
{

QSize previewDisplaySize(const QSize& image, const QSize& area)
{
    if (image.isEmpty() || area.isEmpty()) {
        return QSize();
    }
    if (image.width() <= area.width() && image.height() <= area.height()) {
        return image;
    }
    return image.scaled(area, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

PreviewImageView::PreviewImageView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PreviewImageView::setImage(const QImage& image)
{
    image_ = image;
    scaled_ = QPixmap();
    update();
}

QRect PreviewImageView::pictureRect() const
{
    const QSize shown = previewDisplaySize(image_.size(), size());
    if (shown.isEmpty()) {
        return QRect();
    }
    return QRect(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
}

void PreviewImageView::paintEvent(QPaintEvent*)
{
    const QRect target = pictureRect();
    if (target.isEmpty()) {
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = target.size() * ratio;
    if (scaled_.isNull() || scaled_.size() != pixels) {
        scaled_ = QPixmap::fromImage(image_.size() == pixels ? image_
                                                             : image_.scaled(pixels, Qt::IgnoreAspectRatio,
                                                                             Qt::SmoothTransformation));
        scaled_.setDevicePixelRatio(ratio);
    }
    QPainter painter(this);
    painter.drawPixmap(target.topLeft(), scaled_);
}

}  // namespace pravix
