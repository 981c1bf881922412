#include "ImageEncoders.h"

#include <algorithm>
#include <cmath>

namespace pravix
{

std::vector<uint8_t> encodeImage(const Bitmap& image, ImageFileType type, const EncodeProperties& properties)
{
    if (image.empty() || image.pixels.size() < image.stride() * image.height)
    {
        return {};
    }
    switch (type)
    {
    case ImageFileType::Jpeg:
    {
        float factor = properties.compressionFactor.value_or(kDefaultJpegCompressionFactor);
        if (!(factor >= 0.0f))
        {
            factor = 0.0f;
        }
        factor = std::fmin(factor, 1.0f);
        const int quality = std::max(1, static_cast<int>(std::lround(factor * 100.0f)));
        return encodeJpegParallel(image, quality);
    }
    case ImageFileType::Png:
        return encodePngParallel(image);
    case ImageFileType::Tiff:
        return encodeTiff(image);
    case ImageFileType::Jpeg2000:
        return encodeJp2(image);
    case ImageFileType::Bmp:
        return encodeBmp(image);
    }
    return {};
}

std::vector<uint8_t> transcodeJpeg(const uint8_t* data, size_t size, ImageFileType type,
                                   const EncodeProperties& properties)
{
    if (type == ImageFileType::Png)
    {
        return encodePngFromJpeg(data, size);
    }
    const std::optional<Bitmap> picture = decodeJpegParallel(data, size);
    return picture ? encodeImage(*picture, type, properties) : std::vector<uint8_t>();
}

PictureFormat pictureFormatOf(ImageFileType type)
{
    switch (type)
    {
    case ImageFileType::Jpeg:
        return PictureFormat::Jpeg;
    case ImageFileType::Png:
        return PictureFormat::Png;
    case ImageFileType::Tiff:
        return PictureFormat::Tiff;
    case ImageFileType::Bmp:
        return PictureFormat::Bmp;
    case ImageFileType::Jpeg2000:
        return PictureFormat::Jpeg2000;
    }
    return PictureFormat::Unknown;
}

}  // namespace pravix
