#include "ImageCodecs.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

std::optional<ImageFileType> sniffImageType(const uint8_t* data, size_t size)
{
    auto starts = [&](const char* sig, size_t n) { return size >= n && std::memcmp(data, sig, n) == 0; };
    if (starts("\xFF\xD8\xFF", 3))
    {
        return ImageFileType::Jpeg;
    }
    if (starts("\x89PNG\r\n\x1A\n", 8))
    {
        return ImageFileType::Png;
    }
    if (starts("II*\0", 4) || starts("MM\0*", 4))
    {
        return ImageFileType::Tiff;
    }
    if (starts("BM", 2))
    {
        return ImageFileType::Bmp;
    }
    if (starts("\0\0\0\x0CjP  \r\n\x87\n", 12) || starts("\xFF\x4F\xFF\x51", 4))
    {
        return ImageFileType::Jpeg2000;
    }
    return std::nullopt;
}

}  // namespace pravix
