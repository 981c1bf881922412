#include "PreviewImageLoader.h"

#include "Bitmap.h"
#include "PictureLoading.h"

#include <QFile>

#include <memory>
#include <optional>
#include <string>

namespace pravix
{
namespace
{

bool showable(const Bitmap& bitmap)
{
    return !bitmap.empty() && (bitmap.channels == 3 || bitmap.channels == 4) &&
           bitmap.pixels.size() >= bitmap.stride() * bitmap.height;
}

QImage::Format formatOf(const Bitmap& bitmap)
{
    return bitmap.channels == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
}

void releaseBitmap(void* bitmap)
{
    delete static_cast<Bitmap*>(bitmap);
}

}  // namespace

QImage imageFromBitmap(const Bitmap& bitmap)
{
    if (!showable(bitmap)) {
        return QImage();
    }
    const QImage view(bitmap.pixels.data(), static_cast<int>(bitmap.width), static_cast<int>(bitmap.height),
                      static_cast<qsizetype>(bitmap.stride()), formatOf(bitmap));
    return view.copy();
}

QImage imageFromBitmap(Bitmap&& bitmap)
{
    if (!showable(bitmap)) {
        return QImage();
    }
    // A picture of 8192 x 8192 pixels is 256 MB: the image takes the bitmap's buffer rather than a copy.
    auto owned = std::make_unique<Bitmap>(std::move(bitmap));
    const QImage image(owned->pixels.data(), static_cast<int>(owned->width), static_cast<int>(owned->height),
                       static_cast<qsizetype>(owned->stride()), formatOf(*owned), releaseBitmap, owned.get());
    owned.release();
    return image;
}

QImage loadPreviewImage(const QString& path)
{
    // Opened as a regular file only (a FIFO or a device put under the output's name would block the
    // read) and read as it decodes.
    std::optional<Bitmap> bitmap = decodeImageFile(QFile::encodeName(path).toStdString(), defaultLoadOptions());
    return bitmap ? imageFromBitmap(std::move(*bitmap)) : QImage();
}

}  // namespace pravix
