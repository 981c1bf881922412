#include "PictureTarget.h"

#include "ImageOps.h"
#include "PictureDecodeError.h"

#include <algorithm>

namespace pravix
{
namespace
{

bool turns(uint32_t orientation)
{
    return orientation >= 2 && orientation <= 8;
}

bool swapsSides(uint32_t orientation)
{
    return orientation >= 5 && orientation <= 8;
}

}  // namespace

PictureTarget::PictureTarget(uint32_t canvasWidth, uint32_t canvasHeight, PictureWindow window, uint32_t orientation,
                             uint32_t outWidth, uint32_t outHeight, uint32_t channels, const PixelMemory& memory,
                             RowsOut rowsOut)
    : mCanvasWidth(canvasWidth), mWindow(window), mOrientation(turns(orientation) ? orientation : 1),
      mChannels(channels), mRowsOut(std::move(rowsOut))
{
    if (mRowsOut && !handsOutRows(mOrientation))
    {
        throw PictureDecodeError("a turned picture cannot be handed out by rows");
    }
    if (channels != 3 && channels != 4)
    {
        throw PictureDecodeError("pictures are RGB or RGBA");
    }
    if (window.width == 0 || window.height == 0 || window.x > canvasWidth || window.y > canvasHeight ||
        window.width > canvasWidth - window.x || window.height > canvasHeight - window.y)
    {
        throw PictureDecodeError("picture window outside the picture");
    }
    const bool swap = swapsSides(mOrientation);
    mPlainWidth = swap ? outHeight : outWidth;
    mPlainHeight = swap ? outWidth : outHeight;
    if (mRowsOut)
    {
        if (!bitmapSizeAllowed(outWidth, outHeight))
        {
            throw PictureDecodeError("picture too large");
        }
        mOut.width = outWidth;
        mOut.height = outHeight;
        mOut.channels = channels;
    }
    else if (!mOut.allocate(outWidth, outHeight, channels, memory))
    {
        throw PictureDecodeError("picture too large");
    }
    if (mPlainWidth != window.width || mPlainHeight != window.height)
    {
        if (mPlainWidth > window.width || mPlainHeight > window.height)
        {
            throw PictureDecodeError("picture cannot be enlarged while decoded");
        }
        mScaler = std::make_unique<AreaScaler>(window.width, window.height, mPlainWidth, mPlainHeight, channels,
                                               [this](uint32_t y, uint32_t count, const uint8_t* rows, size_t stride)
                                               { placeOutput(0, y, mPlainWidth, count, rows, stride); });
    }
}

PictureTarget::~PictureTarget() = default;

bool PictureTarget::handsOutRows(uint32_t orientation)
{
    return !turns(orientation) || orientation == 4;
}

void PictureTarget::placeOutput(uint32_t x, uint32_t y, uint32_t w, uint32_t h, const uint8_t* pixels, size_t stride)
{
    if (mRowsOut)
    {
        if (x != 0 || w != mPlainWidth)
        {
            throw PictureDecodeError("rows handed out whole only");
        }
        if (mOrientation == 1)
        {
            mRowsOut(y, pixels, stride, h);
            return;
        }
        const size_t rowBytes = static_cast<size_t>(w) * mChannels;
        mFlipped.resize(rowBytes * h);
        for (uint32_t r = 0; r < h; ++r)
        {
            std::copy(pixels + r * stride, pixels + r * stride + rowBytes, mFlipped.data() + (h - 1 - r) * rowBytes);
        }
        mRowsOut(mPlainHeight - y - h, mFlipped.data(), rowBytes, h);
        return;
    }
    const auto [ox, oy] = orientedOrigin(mOrientation, x, y, w, h, mPlainWidth, mPlainHeight);
    uint8_t* into = mOut.row(oy) + static_cast<size_t>(ox) * mChannels;
    // Rows a decoder wrote in place, where directRect told it, are there already.
    if (pixels == into && stride == mOut.stride() && mOrientation == 1)
    {
        return;
    }
    drawOriented(pixels, stride, w, h, mChannels, mOrientation, into, mOut.stride());
}

void PictureTarget::place(uint32_t x, uint32_t y, uint32_t w, uint32_t h, const uint8_t* pixels, size_t stride)
{
    // The part of the rectangle inside the window.
    const uint32_t left = std::max(x, mWindow.x);
    const uint32_t top = std::max(y, mWindow.y);
    const uint64_t right = std::min<uint64_t>(static_cast<uint64_t>(x) + w, mWindow.x + mWindow.width);
    const uint64_t bottom = std::min<uint64_t>(static_cast<uint64_t>(y) + h, mWindow.y + mWindow.height);
    if (mScaler || right <= left || bottom <= top)
    {
        return;
    }
    const uint8_t* first = pixels + static_cast<size_t>(top - y) * stride + static_cast<size_t>(left - x) * mChannels;
    placeOutput(left - mWindow.x, top - mWindow.y, static_cast<uint32_t>(right - left),
                static_cast<uint32_t>(bottom - top), first, stride);
}

uint8_t* PictureTarget::directRect(uint32_t x, uint32_t y, uint32_t w, uint32_t h, size_t& stride)
{
    if (mScaler || mRowsOut || mOrientation != 1 || x < mWindow.x || y < mWindow.y ||
        static_cast<uint64_t>(x) + w > mWindow.x + mWindow.width ||
        static_cast<uint64_t>(y) + h > mWindow.y + mWindow.height)
    {
        return nullptr;
    }
    stride = mOut.stride();
    return mOut.row(y - mWindow.y) + static_cast<size_t>(x - mWindow.x) * mChannels;
}

void PictureTarget::pushRows(uint32_t count, const uint8_t* rows, size_t stride)
{
    const uint32_t y = mRowsPushed;
    mRowsPushed += count;
    if (!mScaler)
    {
        place(0, y, mCanvasWidth, count, rows, stride);
        return;
    }
    // Only the window's rows and columns go to the scaler.
    const uint32_t top = std::max(y, mWindow.y);
    const uint32_t bottom = std::min(y + count, mWindow.y + mWindow.height);
    if (bottom > top)
    {
        mScaler->push(rows + static_cast<size_t>(top - y) * stride + static_cast<size_t>(mWindow.x) * mChannels, stride,
                      bottom - top);
    }
}

Bitmap PictureTarget::take()
{
    if (mScaler && !mScaler->finished())
    {
        throw PictureDecodeError("picture rows missing");
    }
    return std::move(mOut);
}

}  // namespace pravix
