#include "ZLImage.h"

#include "ConvertEntry.h"
#include "ImageEncoders.h"
#include "BitmapResize.h"
#include "ImageOps.h"
#include "PictureLoading.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

std::optional<Bitmap> ImageExpansion::WithColor(RgbaColor color, ImageSize size)
{
    if (!(size.width > 0) || !(size.height > 0) || size.width > kMaxBitmapSide || size.height > kMaxBitmapSide)
    {
        return std::nullopt;
    }
    Bitmap image;
    if (!image.allocate(scaledSide(1, size.width), scaledSide(1, size.height), 4))
    {
        return std::nullopt;
    }
    const uint8_t pixel[4] = {color.red, color.green, color.blue, color.alpha};
    for (size_t i = 0; i < image.pixels.size(); i += 4)
    {
        std::memcpy(&image.pixels[i], pixel, 4);
    }
    return image;
}

namespace
{

// The shared body of the two compressImgData twins.
std::vector<uint8_t> recompress(const std::vector<uint8_t>& data, int64_t aimKB, bool log)
{
    if (data.empty() || aimKB <= 0)
    {
        return {};
    }
    const double rate = static_cast<double>(aimKB) * 1000.0 / static_cast<double>(data.size());
    std::vector<uint8_t> result;
    if (rate >= 1.0)
    {
        // Already within the aim: a re-encode at full quality would only make it larger.
        result = data;
    }
    else
    {
        const std::optional<Bitmap> image = decodeImage(data.data(), data.size());
        if (!image)
        {
            return {};
        }
        result = ZLImage::compressedImageDataWithImg(*image, static_cast<float>(rate));
    }
    if (log && !result.empty())
    {
        std::printf("数据最终大小：%g， 压缩比率：%g\n", static_cast<double>(result.size()) / 1000.0, rate);
    }
    return result;
}

}  // namespace

bool ZLImage::saveImage(const Bitmap& image, const std::string& fileName)
{
    if (image.empty() || fileName.empty())
    {
        return false;
    }
    std::string extension = std::filesystem::path(fileName).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    EncodeProperties properties;
    properties.compressionFactor = 1.0f;
    const std::vector<uint8_t> bytes =
        extension == ".jpg" ? encodeImage(image, ImageFileType::Jpeg, properties) : encodeImage(image, ImageFileType::Png);
    std::string error;
    return writeFileAtomically(fileName, bytes, error);
}

std::vector<uint8_t> ZLImage::compressedImageDataWithImg(const Bitmap& image, float rate)
{
    if (image.empty())
    {
        return {};
    }
    EncodeProperties properties;
    properties.compressionFactor = rate;
    return encodeImage(image, ImageFileType::Jpeg, properties);
}

std::vector<uint8_t> ZLImage::compressImgData(const std::vector<uint8_t>& data, int64_t aimKB)
{
    return recompress(data, aimKB, true);
}

std::vector<uint8_t> ImageExpansion::CompressImgData(const std::vector<uint8_t>& data, int64_t aimKB)
{
    return recompress(data, aimKB, false);
}

std::optional<Bitmap> ZLImage::resizeImage1(const Bitmap& image, ImageSize size)
{
    return resizeImage(image, size);
}

std::optional<Bitmap> ZLImage::resizeImage2(const Bitmap& image, ImageSize size)
{
    if (!(size.width >= 1) || !(size.height >= 1))
    {
        return std::nullopt;
    }
    return resizeImage(image, ImageSize{std::floor(size.width), std::floor(size.height)});
}

std::optional<Bitmap> ZLImage::jointedImageWithImages(const std::vector<Bitmap>& images)
{
    uint64_t width = 0;
    uint32_t height = 0;
    for (const Bitmap& image : images)
    {
        if ((image.channels != 3 && image.channels != 4) ||
            image.pixels.size() < image.stride() * static_cast<size_t>(image.height))
        {
            return std::nullopt;
        }
        if (!image.empty())
        {
            width += image.width;
            height = std::max(height, image.height);
        }
    }
    Bitmap joined;
    if (width == 0 || width > kMaxBitmapSide || !joined.allocate(static_cast<uint32_t>(width), height, 4))
    {
        return std::nullopt;
    }
    std::fill(joined.pixels.begin(), joined.pixels.end(), uint8_t(0));
    uint32_t left = 0;
    for (const Bitmap& image : images)
    {
        if (image.empty())
        {
            continue;
        }
        const uint32_t top = height - image.height;
        for (uint32_t y = 0; y < image.height; ++y)
        {
            const uint8_t* from = image.row(y);
            uint8_t* to = joined.row(top + y) + static_cast<size_t>(left) * 4;
            for (uint32_t x = 0; x < image.width; ++x, from += image.channels, to += 4)
            {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                to[3] = image.channels == 4 ? from[3] : 255;
            }
        }
        left += image.width;
    }
    return joined;
}

}  // namespace pravix
