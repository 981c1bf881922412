#include "ZLViewImage.h"

#include <QColorSpace>
#include <QTransform>
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

std::optional<Bitmap> ZLViewImage::getCGImageRefFromNSImage(const QImage& image)
{
    std::optional<Bitmap> bitmap = bitmapFromImage(image);
    if (bitmap && image.colorSpace().isValid()) {
        const QByteArray profile = image.colorSpace().iccProfile();
        bitmap->iccProfile.assign(profile.begin(), profile.end());
    }
    return bitmap;
}

QImage ZLViewImage::getNSImageWithCGImageRef(Bitmap image)
{
    if (image.empty() || (image.channels != 3 && image.channels != 4) ||
        image.pixels.size() < image.stride() * image.height) {
        return QImage();
    }
    // The bitmap moves to the heap (its buffer stays where it is) and lives as long as the image.
    auto* owner = new Bitmap(std::move(image));
    QImage wrapped(owner->pixels.data(), static_cast<int>(owner->width), static_cast<int>(owner->height),
                   static_cast<qsizetype>(owner->stride()),
                   owner->channels == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888,
                   [](void* bitmap) { delete static_cast<Bitmap*>(bitmap); }, owner);
    if (wrapped.isNull()) {
        delete owner;
        return QImage();
    }
    if (!owner->iccProfile.empty()) {
        const QColorSpace space = QColorSpace::fromIccProfile(QByteArray(
            reinterpret_cast<const char*>(owner->iccProfile.data()), static_cast<qsizetype>(owner->iccProfile.size())));
        if (space.isValid()) {
            wrapped.setColorSpace(space);
        }
    }
    return wrapped;
}

QImage ZLViewImage::getCIImageWithNSImage(const QImage& image)
{
    return image.transformed(QTransform());
}

}  // namespace pravix
