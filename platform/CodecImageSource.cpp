#include "CodecImageSource.h"

#include "ImageOps.h"
#include "PictureTarget.h"

#include <algorithm>
#include <new>

namespace pravix
{
namespace
{

// Draws the decoder's rows into a PictureTarget: turned for an orientation value and reduced to at most
// outWidth x outHeight (the turned size) when the decoder hands out more.
class TargetSink : public PictureRowSink
{
public:
    TargetSink(uint32_t orientation, uint32_t outWidth, uint32_t outHeight)
        : mOrientation(orientation), mOutWidth(outWidth), mOutHeight(outHeight)
    {
    }

    void begin(uint32_t width, uint32_t height, uint32_t channels) override
    {
        const bool swap = mOrientation >= 5 && mOrientation <= 8;
        const uint32_t turnedWidth = swap ? height : width;
        const uint32_t turnedHeight = swap ? width : height;
        mWidth = width;
        mTarget = std::make_unique<PictureTarget>(width, height, PictureWindow{0, 0, width, height}, mOrientation,
                                                  std::min(mOutWidth, turnedWidth), std::min(mOutHeight, turnedHeight),
                                                  channels);
    }

    void rows(const uint8_t* pixels, size_t stride, uint32_t count) override
    {
        if (!mTarget)
        {
            throw PictureDecodeError("rows before the picture's size");
        }
        mTarget->pushRows(count, pixels, stride);
        mRowsPushed += count;
    }

    uint8_t* placeForRows(uint32_t count, size_t& stride) override
    {
        return mTarget ? mTarget->directRect(0, mRowsPushed, mWidth, count, stride) : nullptr;
    }

    Bitmap take()
    {
        if (!mTarget)
        {
            throw PictureDecodeError("no picture decoded");
        }
        return mTarget->take();
    }

private:
    uint32_t mOrientation;
    uint32_t mOutWidth;
    uint32_t mOutHeight;
    uint32_t mWidth = 0;
    uint32_t mRowsPushed = 0;
    std::unique_ptr<PictureTarget> mTarget;
};

}  // namespace

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
        source->mDecoder = PictureStreamDecoder::create(format, *source->mFile);
        if (!source->mDecoder)
        {
            source->mError = "neither HEIF nor JPEG, PNG, TIFF, BMP or JPEG 2000";
            return source;
        }
        source->mHeader = source->mDecoder->readHeader();
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
        source->mDecoder.reset();
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
        std::unique_ptr<PictureStreamDecoder> decoder = std::move(mDecoder);
        if (!decoder)
        {
            decoder = PictureStreamDecoder::create(mFormat, *mFile);
            decoder->readHeader();
        }
        decoder->keepAlpha(keepAlpha);
        // Rows stored bottom up are turned over whatever is asked; the file's orientation only upright.
        uint32_t orientation = mHeader->bottomUp ? 4 : 1;
        if (upright)
        {
            orientation = composeOrientations(orientation, mHeader->orientation);
        }
        const bool swap = orientation >= 5 && orientation <= 8;
        const auto [width, height] = reducedToLongerSide(swap ? mHeader->height : mHeader->width,
                                                         swap ? mHeader->width : mHeader->height, maxPixelSize);
        TargetSink sink(orientation, width, height);
        decoder->decodeRows(swap ? height : width, swap ? width : height, sink);
        Bitmap image = sink.take();
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
