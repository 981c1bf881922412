#include "SafeHEICLoader.h"

#include "ImageOps.h"

#include <iostream>

namespace pravix
{

std::optional<Bitmap> SafeHEICLoader::loadHEICWithImageIOFromPath(const std::string& path)
{
    try
    {
        if (path.empty())
        {
            return std::nullopt;
        }
        std::unique_ptr<HeicImageSource> source = HeicImageSource::createWithFile(path);
        if (!source)
        {
            std::cout << "无法创建图片源" << std::endl;
            return std::nullopt;
        }
        return loadHEICWithImageIOFromSource(source.get(), path);
    }
    catch (const std::exception& e)
    {
        std::cout << "ImageIO 加载异常: " << e.what() << std::endl;
        return std::nullopt;
    }
}

std::optional<Bitmap> SafeHEICLoader::loadHEICWithImageIOFromSource(const HeicImageSource* source,
                                                                     const std::string& path)
{
    if (source == nullptr)
    {
        return std::nullopt;
    }
    try
    {
        std::optional<Bitmap> image;
        if (source->count() == 0)
        {
            std::cout << "图片源中没有图片" << std::endl;
        }
        else
        {
            // The source keeps its first verdict: when the picture failed to decode, the fallbacks fail
            // at once rather than decoding it again.
            image = loadHEICWithAutoOrientationCorrection(source);
            if (!image)
            {
                image = loadHEICWithManualOrientationCorrection(source);
            }
        }
        if (!image)
        {
            std::cout << "【日志】解码失败[" << path << "]: " << source->lastError() << std::endl;
        }
        return image;
    }
    catch (const std::exception& e)
    {
        std::cout << "ImageIO 加载异常: " << e.what() << std::endl;
        return std::nullopt;
    }
}

std::optional<Bitmap> SafeHEICLoader::loadHEICWithAutoOrientationCorrection(const HeicImageSource* source)
{
    if (source == nullptr)
    {
        return std::nullopt;
    }
    ThumbnailOptions options;
    options.allowFloat = true;
    options.createWithTransform = true;
    options.createFromImageAlways = true;
    options.maxPixelSize = kMaxPixelSize;
    std::optional<Bitmap> picture = source->thumbnailAtIndex(0, options);
    if (!picture)
    {
        std::cout << "创建缩略图失败，尝试使用原图" << std::endl;
        // The untransformed picture: no orientation is applied on this path.
        picture = source->imageAtIndex(0);
    }
    return picture;
}

std::optional<Bitmap> SafeHEICLoader::loadHEICWithManualOrientationCorrection(const HeicImageSource* source)
{
    if (source == nullptr)
    {
        return std::nullopt;
    }
    std::optional<Bitmap> picture = source->imageAtIndex(0);
    if (!picture)
    {
        return std::nullopt;
    }
    const uint32_t orientation = getImageOrientationFromSource(source);
    if (orientation == 1)
    {
        return picture;
    }
    return applyManualOrientationCorrection(&*picture, orientation);
}

std::optional<Bitmap> SafeHEICLoader::applyManualOrientationCorrection(const Bitmap* image, uint32_t orientation)
{
    if (image == nullptr || image->empty())
    {
        return std::nullopt;
    }
    return applyOrientation(*image, orientation);
}

uint32_t SafeHEICLoader::getImageOrientationFromSource(const HeicImageSource* source)
{
    if (source == nullptr)
    {
        return 1;
    }
    try
    {
        const std::optional<ImageProperties> properties = source->propertiesAtIndex(0);
        if (!properties || properties->orientation < 1 || properties->orientation > 8)
        {
            return 1;
        }
        return properties->orientation;
    }
    catch (const std::exception& e)
    {
        std::cout << "获取方向信息时发生异常: " << e.what() << std::endl;
        return 1;
    }
}

}  // namespace pravix
