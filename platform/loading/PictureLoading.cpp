#include "PictureLoading.h"

#include "ImageSources.h"

#include "MemoryReadBuffer.h"

#include <memory>
#include <new>

namespace pravix
{
namespace
{

// The picture of the source `makeSource` opens, image 0 with the options; a failure, an allocation
// failing among them, is nothing with its reason in whyNot.
template <typename MakeSource>
std::optional<Bitmap> decodeFrom(MakeSource makeSource, const ThumbnailOptions& options, std::string* whyNot)
{
    try
    {
        const std::unique_ptr<ImageSource> source = makeSource();
        if (!source)
        {
            return std::nullopt;
        }
        std::optional<Bitmap> image;
        if (source->count() > 0)
        {
            image = source->thumbnailAtIndex(0, options);
        }
        if ((!image || image->empty()) && whyNot != nullptr)
        {
            *whyNot = source->lastError().empty() ? "no picture" : source->lastError();
        }
        return image && !image->empty() ? std::move(image) : std::nullopt;
    }
    catch (const std::bad_alloc&)
    {
        if (whyNot != nullptr)
        {
            *whyNot = "out of memory";
        }
        return std::nullopt;
    }
}

}  // namespace

ThumbnailOptions defaultLoadOptions()
{
    ThumbnailOptions options;
    options.createFromImageAlways = true;
    options.maxPixelSize = kMaxLoadedSide;
    options.keepAlpha = true;
    return options;
}

std::optional<Bitmap> decodeImage(const uint8_t* data, size_t size, const ThumbnailOptions& options,
                                  std::string* whyNot)
{
    if (data == nullptr || size == 0)
    {
        if (whyNot != nullptr)
        {
            *whyNot = "no data";
        }
        return std::nullopt;
    }
    return decodeFrom([&] { return createImageSourceWithStream(std::make_unique<MemoryReadBuffer>(data, size)); },
                      options, whyNot);
}

std::optional<Bitmap> decodeImage(const uint8_t* data, size_t size)
{
    return decodeImage(data, size, defaultLoadOptions());
}

std::optional<Bitmap> decodeImageFile(const std::string& path, const ThumbnailOptions& options, std::string* whyNot)
{
    return decodeFrom([&] { return createImageSourceWithFile(path, whyNot); }, options, whyNot);
}

std::optional<ImageProperties> readImageProperties(const uint8_t* data, size_t size)
{
    if (data == nullptr || size == 0)
    {
        return std::nullopt;
    }
    try
    {
        const std::unique_ptr<ImageSource> source =
            createImageSourceWithStream(std::make_unique<MemoryReadBuffer>(data, size));
        return source ? source->propertiesAtIndex(0) : std::nullopt;
    }
    catch (const std::bad_alloc&)
    {
        return std::nullopt;
    }
}

}  // namespace pravix
