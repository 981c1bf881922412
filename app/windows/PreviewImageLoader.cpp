#include "PreviewImageLoader.h"

#include "Bitmap.h"
#include "ImageCodecs.h"
#include "RegularFile.h"

#include <QFile>

#include <optional>
#include <vector>

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
    // A regular file only: a FIFO or a device put under the output's name would block the read.
    const std::optional<std::vector<uint8_t>> bytes =
        RegularFile::readAll(QFile::encodeName(path).toStdString(), static_cast<uint64_t>(kMaxPreviewFileBytes));
    if (!bytes || bytes->empty()) {
        return QImage();
    }
    const uint8_t* data = bytes->data();
    const size_t size = bytes->size();
    if (sniffImageType(data, size)) {
        if (const std::optional<Bitmap> decoded = decodeImage(data, size)) {
            return imageFromBitmap(*decoded);
        }
        return QImage();
    }
    return QImage::fromData(data, static_cast<int>(size));
}

}  // namespace pravix
