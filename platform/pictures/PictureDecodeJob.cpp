#include "PictureDecodeJob.h"

#include "ImageOps.h"
#include "PictureTarget.h"

#include <algorithm>
#include <string>

namespace pravix
{
namespace
{

// Draws the decoder's rows into a PictureTarget: turned for an orientation value and reduced to at most
// outWidth x outHeight (the turned size) when the decoder hands out more.
class TargetSink : public PictureRowSink
{
public:
    TargetSink(uint32_t orientation, uint32_t outWidth, uint32_t outHeight, const PixelMemory& memory,
               RowDestination* destination)
        : mOrientation(orientation), mOutWidth(outWidth), mOutHeight(outHeight), mMemory(memory),
          mDestination(destination != nullptr && PictureTarget::handsOutRows(orientation) ? destination : nullptr)
    {
    }

    void begin(uint32_t width, uint32_t height, uint32_t channels) override
    {
        if (mTarget)
        {
            throw PictureDecodeError("the picture's size given twice");
        }
        const bool swap = mOrientation >= 5 && mOrientation <= 8;
        const uint32_t turnedWidth = swap ? height : width;
        const uint32_t turnedHeight = swap ? width : height;
        mWidth = width;
        mHeight = height;
        const uint32_t outWidth = std::min(mOutWidth, turnedWidth);
        const uint32_t outHeight = std::min(mOutHeight, turnedHeight);
        PictureTarget::RowsOut rowsOut;
        if (mDestination != nullptr)
        {
            mDestination->begin(outWidth, outHeight, channels);
            rowsOut = [this](uint32_t y, const uint8_t* rows, size_t stride, uint32_t count)
            { mDestination->rows(y, rows, stride, count); };
        }
        mTarget = std::make_unique<PictureTarget>(width, height, PictureWindow{0, 0, width, height}, mOrientation,
                                                  outWidth, outHeight, channels, mMemory, std::move(rowsOut));
    }

    void rows(const uint8_t* pixels, size_t stride, uint32_t count) override
    {
        if (!mTarget || count > mHeight - mRowsPushed)
        {
            throw PictureDecodeError("rows outside the picture");
        }
        mTarget->pushRows(count, pixels, stride);
        mRowsPushed += count;
    }

    uint8_t* placeForRows(uint32_t count, size_t& stride) override
    {
        return mTarget && count <= mHeight - mRowsPushed ? mTarget->directRect(0, mRowsPushed, mWidth, count, stride)
                                                         : nullptr;
    }

    Bitmap take()
    {
        if (!mTarget || mRowsPushed != mHeight)
        {
            throw PictureDecodeError("picture rows missing");
        }
        return mTarget->take();
    }

private:
    uint32_t mOrientation;
    uint32_t mOutWidth;
    uint32_t mOutHeight;
    const PixelMemory& mMemory;
    RowDestination* mDestination;
    uint32_t mWidth = 0;
    uint32_t mHeight = 0;
    uint32_t mRowsPushed = 0;
    std::unique_ptr<PictureTarget> mTarget;
};

}  // namespace

PictureDecodeJob::PictureDecodeJob(PictureFormat format, std::streambuf& file)
    : mFormat(format), mDecoder(PictureStreamDecoder::create(format, file))
{
    if (!mDecoder)
    {
        throw PictureDecodeError("neither HEIF nor JPEG, PNG, TIFF, BMP or JPEG 2000");
    }
}

PictureDecodeJob::~PictureDecodeJob() = default;

const PictureHeader& PictureDecodeJob::readHeader()
{
    if (!mHeader)
    {
        mHeader = std::make_unique<PictureHeader>(mDecoder->readHeader());
    }
    return *mHeader;
}

Bitmap PictureDecodeJob::decode(const DecodeRequest& request, const PixelMemory& memory,
                                RowDestination* destination)
{
    const PictureHeader& header = readHeader();
    mDecoder->keepAlpha(request.keepAlpha);
    // Rows stored bottom up are turned over whatever is asked; the file's orientation only upright.
    uint32_t orientation = header.bottomUp ? 4 : 1;
    if (request.upright)
    {
        orientation = composeOrientations(orientation, header.orientation);
    }
    const bool swap = orientation >= 5 && orientation <= 8;
    const auto [width, height] = reducedToLongerSide(swap ? header.height : header.width,
                                                     swap ? header.width : header.height, request.maxPixelSize);
    TargetSink sink(orientation, width, height, memory, destination);
    mDecoder->decodeRows(swap ? height : width, swap ? width : height, sink);
    return sink.take();
}

}  // namespace pravix
