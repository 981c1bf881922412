#include "CodecImageSource.h"

#include <new>

namespace pravix
{
CodecImageSource::CodecImageSource(std::unique_ptr<std::streambuf> file, PictureFormat format)
    : mFile(std::move(file)), mFormat(format)
{
}

CodecImageSource::~CodecImageSource() = default;

std::unique_ptr<CodecImageSource> CodecImageSource::create(std::unique_ptr<std::streambuf> file, PictureFormat format)
{
    if (!file)
    {
        return nullptr;
    }
    std::unique_ptr<CodecImageSource> source(new CodecImageSource(std::move(file), format));
    try
    {
        source->mJob = std::make_unique<PictureDecodeJob>(format, *source->mFile);
        source->mHeader = source->mJob->readHeader();
    }
    catch (const std::bad_alloc&)
    {
        source->mError = std::string(pictureFormatName(format)) + ": out of memory";
    }
    catch (const std::exception& e)
    {
        source->mError = e.what();
    }
    if (!source->mHeader)
    {
        source->mJob.reset();
    }
    return source;
}

std::optional<ImageProperties> CodecImageSource::propertiesAtIndex(size_t index) const
{
    if (index != 0 || !mHeader)
    {
        return std::nullopt;
    }
    ImageProperties properties;
    const bool swap = mHeader->orientation >= 5;
    properties.pixelWidth = swap ? mHeader->height : mHeader->width;
    properties.pixelHeight = swap ? mHeader->width : mHeader->height;
    properties.orientation = mHeader->orientation;
    properties.hasIccProfile = !mHeader->iccProfile.empty();
    return properties;
}

std::optional<Bitmap> CodecImageSource::imageAtIndex(size_t index) const
{
    if (index != 0)
    {
        return std::nullopt;
    }
    return decode(false, 0, false);
}

std::optional<Bitmap> CodecImageSource::thumbnailAtIndex(size_t index, const ThumbnailOptions& options) const
{
    if (index != 0)
    {
        return std::nullopt;
    }
    return decode(options.createWithTransform, options.maxPixelSize, options.keepAlpha);
}

std::vector<uint8_t> CodecImageSource::exifBlock() const
{
    return mHeader ? mHeader->exifBlock : std::vector<uint8_t>();
}

std::optional<Bitmap> CodecImageSource::decode(bool upright, uint32_t maxPixelSize, bool keepAlpha) const
{
    if (!mHeader || mDecodeFailed)
    {
        return std::nullopt;
    }
    try
    {
        ++mDecodeCount;
        std::unique_ptr<PictureDecodeJob> job = std::move(mJob);
        if (!job)
        {
            job = std::make_unique<PictureDecodeJob>(mFormat, *mFile);
            job->readHeader();
        }
        Bitmap image = job->decode(DecodeRequest{upright, maxPixelSize, keepAlpha});
        image.iccProfile = mHeader->iccProfile;
        return image;
    }
    catch (const std::bad_alloc&)
    {
        mError = std::string(pictureFormatName(mFormat)) + ": out of memory";
    }
    catch (const std::exception& e)
    {
        mError = e.what();
    }
    mDecodeFailed = true;
    return std::nullopt;
}

}  // namespace pravix
