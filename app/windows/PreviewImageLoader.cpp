#include "PreviewImageLoader.h"

#include "Bitmap.h"
#include "ImageCodecs.h"

#include <QFile>
#include <QFileInfo>

namespace pravix
{

QImage imageFromBitmap(const Bitmap& bitmap)
{
    if (bitmap.empty() || (bitmap.channels != 3 && bitmap.channels != 4) ||
        bitmap.pixels.size() < bitmap.stride() * bitmap.height) {
        return QImage();
    }
    const QImage::Format format = bitmap.channels == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
    const QImage view(bitmap.pixels.data(), static_cast<int>(bitmap.width), static_cast<int>(bitmap.height),
                      static_cast<qsizetype>(bitmap.stride()), format);
    return view.copy();
}

QImage loadPreviewImage(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() <= 0 || info.size() > kMaxPreviewFileBytes) {
        return QImage();
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QImage();
    }
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty()) {
        return QImage();
    }
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const size_t size = static_cast<size_t>(bytes.size());
    if (sniffImageType(data, size)) {
        if (const std::optional<Bitmap> decoded = decodeImage(data, size)) {
            return imageFromBitmap(*decoded);
        }
        return QImage();
    }
    return QImage::fromData(bytes);
}

}  // namespace pravix
