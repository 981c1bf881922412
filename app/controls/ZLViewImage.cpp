#include "ZLViewImage.h"

#include <QWidget>

#include <cstring>

namespace pravix
{

std::optional<Bitmap> bitmapFromImage(const QImage& image)
{
    if (image.isNull()) {
        return std::nullopt;
    }
    const bool alpha = image.hasAlphaChannel();
    const QImage packed = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    Bitmap bitmap;
    if (!bitmap.allocate(static_cast<uint32_t>(packed.width()), static_cast<uint32_t>(packed.height()),
                         alpha ? 4 : 3)) {
        return std::nullopt;
    }
    // QImage rows are padded to four bytes; the bitmap's are packed.
    for (uint32_t y = 0; y < bitmap.height; ++y) {
        std::memcpy(bitmap.row(y), packed.constScanLine(static_cast<int>(y)), bitmap.stride());
    }
    return bitmap;
}

std::optional<Bitmap> ZLViewImage::imageFromView(QWidget* view)
{
    if (view == nullptr || view->size().isEmpty()) {
        return std::nullopt;
    }
    return bitmapFromImage(view->grab().toImage());
}

std::optional<Bitmap> ZLViewImage::imageWithNSView(QWidget* view)
{
    if (view == nullptr || view->size().isEmpty()) {
        return std::nullopt;
    }
    QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(1.0);
    image.fill(Qt::transparent);
    view->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return bitmapFromImage(image);
}

}  // namespace pravix
