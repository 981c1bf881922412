#include "SafeHEICLoader.h"

#include "HeicExif.h"
#include "ImageCodecs.h"
#include "ImageOps.h"
#include "MemoryReadBuffer.h"
#include "PictureLoading.h"

#include <atomic>
#include <cctype>
#include <mutex>

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
        // The platform's image source reads whatever picture the file holds, whatever its name says.
        std::unique_ptr<ImageSource> source = ImageSource::createWithFile(path);
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

std::optional<Bitmap> SafeHEICLoader::loadHEICWithImageIOFromSource(const ImageSource* source,
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

std::optional<Bitmap> SafeHEICLoader::loadHEICWithAutoOrientationCorrection(const ImageSource* source)
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

std::optional<Bitmap> SafeHEICLoader::loadHEICWithManualOrientationCorrection(const ImageSource* source)
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

uint32_t SafeHEICLoader::getImageOrientationFromSource(const ImageSource* source)
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

namespace
{

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
    {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string lowerCasePrefix(const std::string& text, size_t length)
{
    std::string prefix = text.substr(0, length);
    for (char& c : prefix)
    {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return prefix;
}

bool isWebUrl(const std::string& url)
{
    return lowerCasePrefix(url, 7) == "http://" || lowerCasePrefix(url, 8) == "https://";
}

// The reader of web addresses, installed at start-up and called from the batch's thread.
std::mutex urlReaderMutex;
SafeHEICLoader::UrlDataReader urlReader;
std::atomic<uint64_t> urlByteLimit{SafeHEICLoader::kMaxPictureBytes};

SafeHEICLoader::UrlDataReader installedUrlReader()
{
    std::lock_guard<std::mutex> lock(urlReaderMutex);
    return urlReader;
}

// The local path of a file URL; none for any other URL, a remote host, or a broken or NUL escape.
std::optional<std::string> localPathOfFileUrl(const std::string& url)
{
    if (lowerCasePrefix(url, 5) != "file:")
    {
        return std::nullopt;
    }
    std::string rest = url.substr(5);
    if (rest.compare(0, 2, "//") == 0)
    {
        const size_t slash = rest.find('/', 2);
        const std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        if (slash == std::string::npos || !(host.empty() || host == "localhost"))
        {
            return std::nullopt;
        }
        rest = rest.substr(slash);
    }
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.empty() || rest[0] != '/')
    {
        return std::nullopt;
    }
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i)
    {
        if (rest[i] != '%')
        {
            path += rest[i];
            continue;
        }
        const int high = i + 2 < rest.size() ? hexValue(rest[i + 1]) : -1;
        const int low = i + 2 < rest.size() ? hexValue(rest[i + 2]) : -1;
        if (high < 0 || low < 0 || (high == 0 && low == 0))
        {
            return std::nullopt;
        }
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return path;
}

// A JPEG, PNG, TIFF, BMP or JPEG 2000 picture as stored with its alpha, at most kMaxPixelSize on its
// longer side; a HEIC, or a picture that does not load so, through the ImageIO path (upright). The source
// keeps its verdict, so the fallback does not decode a refused picture again.
std::optional<Bitmap> loadPictureFromSource(const ImageSource* source, const std::string& name)
{
    if (source->format() != PictureFormat::Heif && source->count() > 0)
    {
        ThumbnailOptions options = defaultLoadOptions();
        options.maxPixelSize = SafeHEICLoader::kMaxPixelSize;
        if (std::optional<Bitmap> image = source->thumbnailAtIndex(0, options))
        {
            return image;
        }
    }
    return SafeHEICLoader::loadHEICWithImageIOFromSource(source, name);
}

}  // namespace

std::optional<Bitmap> SafeHEICLoader::loadHEICImageFromPath(const std::string& path)
{
    try
    {
        std::unique_ptr<ImageSource> source = path.empty() ? nullptr : ImageSource::createWithFile(path);
        if (!source)
        {
            return loadHEICWithImageIOFromPath(path);
        }
        return loadPictureFromSource(source.get(), path);
    }
    catch (const std::exception& e)
    {
        std::cout << "加载 HEIC 图片时发生异常: " << e.what() << std::endl;
        return std::nullopt;
    }
}

void SafeHEICLoader::setUrlDataReader(UrlDataReader reader)
{
    std::lock_guard<std::mutex> lock(urlReaderMutex);
    urlReader = std::move(reader);
}

void SafeHEICLoader::setUrlByteLimit(uint64_t maxBytes)
{
    urlByteLimit = maxBytes;
}

std::optional<Bitmap> SafeHEICLoader::loadHEICImageFromURL(const std::string& url)
{
    try
    {
        if (!isWebUrl(url))
        {
            const std::optional<std::string> path = localPathOfFileUrl(url);
            if (!path)
            {
                std::cout << "不是本地文件 URL，不加载: " << url << std::endl;
                return std::nullopt;
            }
            return loadHEICImageFromPath(*path);
        }
        const UrlDataReader reader = installedUrlReader();
        if (!reader)
        {
            std::cout << "无法从 URL 加载图片[" << url << "]: 没有网络读取器" << std::endl;
            return std::nullopt;
        }
        const uint64_t limit = urlByteLimit;
        std::optional<std::vector<uint8_t>> data = reader(url, limit);
        if (!data)
        {
            std::cout << "无法从 URL 加载图片[" << url << "]: 下载失败" << std::endl;
            return std::nullopt;
        }
        // A reader that ignored the limit is not trusted with it.
        if (data->size() > limit)
        {
            std::cout << "无法从 URL 加载图片[" << url << "]: 超过 " << limit << " 字节" << std::endl;
            return std::nullopt;
        }
        // As a file's bytes, read in place.
        const std::unique_ptr<ImageSource> source =
            ImageSource::createWithStream(std::make_unique<MemoryReadBuffer>(data->data(), data->size()));
        std::optional<Bitmap> image = loadPictureFromSource(source.get(), url);
        if (!image)
        {
            std::cout << "无法从 URL 加载图片[" << url << "]: 不是图片" << std::endl;
        }
        return image;
    }
    catch (const std::exception& e)
    {
        std::cout << "加载 HEIC 图片时发生异常: " << e.what() << std::endl;
        return std::nullopt;
    }
}

std::optional<HeicMetadata> SafeHEICLoader::getHEICMetadataFromPath(const std::string& path)
{
    try
    {
        // Whatever picture the file holds, as the batch reads it: the header only, nothing decoded.
        const std::unique_ptr<ImageSource> source = ImageSource::createWithFile(path);
        if (!source || source->count() == 0)
        {
            return std::nullopt;
        }
        const std::optional<ImageProperties> properties = source->propertiesAtIndex(0);
        if (!properties)
        {
            return std::nullopt;
        }
        HeicMetadata metadata;
        metadata.pixelWidth = properties->pixelWidth;
        metadata.pixelHeight = properties->pixelHeight;
        metadata.orientation = properties->orientation;
        metadata.hasIccProfile = properties->hasIccProfile;
        if (const ImageFileReaderInterface* reader = source->reader())
        {
            const auto contextId = reader->getFileInformation().rootMetaBoxInformation.contextId;
            metadata.hasExif = contextId != 0 && !GetHeicExifBlock(*reader, contextId).empty();
        }
        else
        {
            metadata.hasExif = !source->exifBlock().empty();
        }
        return metadata;
    }
    catch (const std::exception& e)
    {
        std::cout << "获取元数据时发生异常: " << e.what() << std::endl;
        return std::nullopt;
    }
}

}  // namespace pravix
