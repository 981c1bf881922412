#include "ImageOps.h"

#include "AreaScaler.h"
#include "ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace pravix
{

uint32_t scaledSide(uint32_t side, double zoom)
{
    const double v = std::round(static_cast<double>(side) * zoom);
    if (!(v >= 1.0))
    {
        return 1;
    }
    return v > 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

std::pair<uint32_t, uint32_t> reducedToLongerSide(uint32_t width, uint32_t height, uint32_t maxSide)
{
    const uint32_t longer = std::max(width, height);
    if (maxSide == 0 || longer <= maxSide)
    {
        return {width, height};
    }
    const double zoom = static_cast<double>(maxSide) / longer;
    return {width >= height ? maxSide : scaledSide(width, zoom), height > width ? maxSide : scaledSide(height, zoom)};
}

Bitmap flipHorizontal(const Bitmap& source)
{
    return applyOrientation(source, 2);
}

namespace
{

// Copies output rows [rowBegin, rowEnd) of a redraw in which output pixel (x, y) comes from source byte
// offset base + y * rowStep + x * colStep. Blocks of 64 x 32 keep the column-wise reads of the quarter
// turns within the cache.
template <uint32_t Ch>
void redrawRows(const uint8_t* src, uint8_t* dst, size_t dstStride, uint32_t outWidth, ptrdiff_t base,
                ptrdiff_t rowStep, ptrdiff_t colStep, uint32_t rowBegin, uint32_t rowEnd)
{
    constexpr uint32_t kBlockW = 64;
    constexpr uint32_t kBlockH = 32;
    for (uint32_t by = rowBegin; by < rowEnd; by += kBlockH)
    {
        const uint32_t yEnd = std::min(rowEnd, by + kBlockH);
        for (uint32_t bx = 0; bx < outWidth; bx += kBlockW)
        {
            const uint32_t xEnd = std::min(outWidth, bx + kBlockW);
            for (uint32_t y = by; y < yEnd; ++y)
            {
                const uint8_t* s =
                    src + base + static_cast<ptrdiff_t>(y) * rowStep + static_cast<ptrdiff_t>(bx) * colStep;
                uint8_t* d = dst + y * dstStride + static_cast<size_t>(bx) * Ch;
                for (uint32_t x = bx; x < xEnd; ++x)
                {
                    std::memcpy(d, s, Ch);
                    d += Ch;
                    s += colStep;
                }
            }
        }
    }
}

// Rows [rowBegin, rowEnd) of drawOriented's output.
void drawOrientedRows(const uint8_t* src, size_t srcStride, uint32_t w, uint32_t h, uint32_t channels,
                      uint32_t orientation, uint8_t* dst, size_t dstStride, uint32_t rowBegin, uint32_t rowEnd)
{
    const ptrdiff_t ch = channels;
    const ptrdiff_t stride = static_cast<ptrdiff_t>(srcStride);
    const ptrdiff_t lastRow = static_cast<ptrdiff_t>(h - 1) * stride;
    const ptrdiff_t lastCol = static_cast<ptrdiff_t>(w - 1) * ch;
    ptrdiff_t base = 0;
    ptrdiff_t rowStep = stride;
    ptrdiff_t colStep = ch;
    switch (orientation)
    {
    case 2:  // mirror left-right
        base = lastCol;
        colStep = -ch;
        break;
    case 3:  // half turn
        base = lastRow + lastCol;
        colStep = -ch;
        rowStep = -stride;
        break;
    case 4:  // mirror top-bottom
        base = lastRow;
        rowStep = -stride;
        break;
    case 5:  // transpose
        colStep = stride;
        rowStep = ch;
        break;
    case 6:  // quarter turn clockwise
        base = lastRow;
        colStep = -stride;
        rowStep = ch;
        break;
    case 7:  // transverse
        base = lastRow + lastCol;
        colStep = -stride;
        rowStep = -ch;
        break;
    case 8:  // quarter turn anticlockwise
        base = lastCol;
        colStep = stride;
        rowStep = -ch;
        break;
    default:
        break;
    }
    const uint32_t outWidth = orientation >= 5 && orientation <= 8 ? h : w;
    if (channels == 4)
    {
        redrawRows<4>(src, dst, dstStride, outWidth, base, rowStep, colStep, rowBegin, rowEnd);
    }
    else
    {
        redrawRows<3>(src, dst, dstStride, outWidth, base, rowStep, colStep, rowBegin, rowEnd);
    }
}

}  // namespace

void drawOriented(const uint8_t* src, size_t srcStride, uint32_t width, uint32_t height, uint32_t channels,
                  uint32_t orientation, uint8_t* dst, size_t dstStride)
{
    if (width == 0 || height == 0)
    {
        return;
    }
    const uint32_t outHeight = orientation >= 5 && orientation <= 8 ? width : height;
    drawOrientedRows(src, srcStride, width, height, channels, orientation, dst, dstStride, 0, outHeight);
}

std::pair<uint32_t, uint32_t> orientedOrigin(uint32_t orientation, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                                             uint32_t W, uint32_t H)
{
    switch (orientation)
    {
    case 2:
        return {W - x - w, y};
    case 3:
        return {W - x - w, H - y - h};
    case 4:
        return {x, H - y - h};
    case 5:
        return {y, x};
    case 6:
        return {H - y - h, x};
    case 7:
        return {H - y - h, W - x - w};
    case 8:
        return {y, W - x - w};
    default:
        return {x, y};
    }
}

Bitmap applyOrientation(const Bitmap& source, uint32_t orientation)
{
    if (orientation < 2 || orientation > 8 || source.empty())
    {
        return source;
    }
    const bool swap = orientation >= 5;
    Bitmap out;
    out.width = swap ? source.height : source.width;
    out.height = swap ? source.width : source.height;
    out.channels = source.channels;
    out.iccProfile = source.iccProfile;
    out.pixels.resize(source.pixels.size());
    // Large pictures are redrawn in bands on all cores.
    const size_t rowsPerMegabyte = std::max<size_t>(1, (size_t(1) << 20) / std::max<size_t>(1, out.stride()));
    parallelFor(out.height, rowsPerMegabyte,
                [&](size_t begin, size_t end)
                {
                    drawOrientedRows(source.pixels.data(), source.stride(), source.width, source.height,
                                     source.channels, orientation, out.pixels.data(), out.stride(),
                                     static_cast<uint32_t>(begin), static_cast<uint32_t>(end));
                });
    return out;
}

namespace
{

// Where a transform sends the corners of a 2x3 picture of distinct values; two transforms are equal
// exactly when they send it the same way, so composition is found by comparing probes.
Bitmap probe()
{
    Bitmap b;
    b.width = 2;
    b.height = 3;
    b.channels = 3;
    b.pixels = PixelBuffer(18);
    for (uint8_t i = 0; i < 18; ++i)
    {
        b.pixels[i] = i;
    }
    return b;
}

}  // namespace

uint32_t composeOrientations(uint32_t first, uint32_t second)
{
    const Bitmap target = applyOrientation(applyOrientation(probe(), first), second);
    for (uint32_t o = 1; o <= 8; ++o)
    {
        const Bitmap candidate = applyOrientation(probe(), o);
        if (candidate.width == target.width && candidate.pixels == target.pixels)
        {
            return o;
        }
    }
    return 1;
}

uint32_t orientationForRotation(uint32_t quarterTurns)
{
    static const uint32_t kAnticlockwise[4] = {1, 8, 3, 6};
    return kAnticlockwise[quarterTurns % 4];
}

std::optional<Bitmap> cropBitmap(const Bitmap& source, uint32_t left, uint32_t top, uint32_t width, uint32_t height)
{
    if (width == 0 || height == 0 || left > source.width || top > source.height || width > source.width - left ||
        height > source.height - top)
    {
        return std::nullopt;
    }
    if (left == 0 && top == 0 && width == source.width && height == source.height)
    {
        return source;
    }
    Bitmap out;
    out.width = width;
    out.height = height;
    out.channels = source.channels;
    out.iccProfile = source.iccProfile;
    out.pixels.resize(static_cast<size_t>(width) * height * source.channels);
    for (uint32_t y = 0; y < height; ++y)
    {
        std::memcpy(out.row(y), source.row(top + y) + static_cast<size_t>(left) * source.channels, out.stride());
    }
    return out;
}

}  // namespace pravix
