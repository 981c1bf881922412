#include "ZLImage.h"

#include "ImageOps.h"

#include <cmath>

namespace pravix
{

std::optional<Bitmap> ZLImage::resizeImage(const Bitmap& image, ImageSize size)
{
    if (!(size.width > 0) || !(size.height > 0) || size.width > kMaxBitmapSide || size.height > kMaxBitmapSide)
    {
        return std::nullopt;
    }
    return resizeBitmap(image, scaledSide(1, size.width), scaledSide(1, size.height));
}

std::optional<Bitmap> ImageExpansion::flipImage(const Bitmap* image)
{
    if (image == nullptr)
    {
        return std::nullopt;
    }
    return flipHorizontal(*image);
}

}  // namespace pravix
