#include "ImageOps.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

extern "C"
{
#include <libswscale/swscale.h>
}

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

std::optional<Bitmap> resizeBitmap(const Bitmap& source, uint32_t width, uint32_t height)
{
    if (source.empty() || !bitmapSizeAllowed(width, height))
    {
        return std::nullopt;
    }
    Bitmap out;
    if (!out.allocate(width, height, source.channels))
    {
        return std::nullopt;
    }
    out.iccProfile = source.iccProfile;
    if (width == source.width && height == source.height)
    {
        out.pixels = source.pixels;
        return out;
    }
    const AVPixelFormat fmt = source.channels == 4 ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
    const bool shrinking = static_cast<uint64_t>(width) * height < static_cast<uint64_t>(source.width) * source.height;
    const int flags = (shrinking ? SWS_AREA : SWS_LANCZOS) | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;
    SwsContext* sws =
        sws_getContext(static_cast<int>(source.width), static_cast<int>(source.height), fmt, static_cast<int>(width),
                       static_cast<int>(height), fmt, flags, nullptr, nullptr, nullptr);
    if (sws == nullptr)
    {
        return std::nullopt;
    }
    const uint8_t* srcPlanes[4] = {source.pixels.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {static_cast<int>(source.stride()), 0, 0, 0};
    uint8_t* dstPlanes[4] = {out.pixels.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {static_cast<int>(out.stride()), 0, 0, 0};
    const int rows = sws_scale(sws, srcPlanes, srcStride, 0, static_cast<int>(source.height), dstPlanes, dstStride);
    sws_freeContext(sws);
    if (rows != static_cast<int>(height))
    {
        return std::nullopt;
    }
    return out;
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
void redrawRows(const uint8_t* src, Bitmap& out, ptrdiff_t base, ptrdiff_t rowStep, ptrdiff_t colStep,
                uint32_t rowBegin, uint32_t rowEnd)
{
    constexpr uint32_t kBlockW = 64;
    constexpr uint32_t kBlockH = 32;
    for (uint32_t by = rowBegin; by < rowEnd; by += kBlockH)
    {
        const uint32_t yEnd = std::min(rowEnd, by + kBlockH);
        for (uint32_t bx = 0; bx < out.width; bx += kBlockW)
        {
            const uint32_t xEnd = std::min(out.width, bx + kBlockW);
            for (uint32_t y = by; y < yEnd; ++y)
            {
                const uint8_t* s =
                    src + base + static_cast<ptrdiff_t>(y) * rowStep + static_cast<ptrdiff_t>(bx) * colStep;
                uint8_t* d = out.row(y) + static_cast<size_t>(bx) * Ch;
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

}  // namespace

Bitmap applyOrientation(const Bitmap& source, uint32_t orientation)
{
    if (orientation < 2 || orientation > 8 || source.empty())
    {
        return source;
    }
    const bool swap = orientation >= 5;
    const ptrdiff_t ch = source.channels;
    const ptrdiff_t stride = static_cast<ptrdiff_t>(source.stride());
    const ptrdiff_t lastRow = static_cast<ptrdiff_t>(source.height - 1) * stride;
    const ptrdiff_t lastCol = static_cast<ptrdiff_t>(source.width - 1) * ch;
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
    }
    Bitmap out;
    out.width = swap ? source.height : source.width;
    out.height = swap ? source.width : source.height;
    out.channels = source.channels;
    out.iccProfile = source.iccProfile;
    out.pixels.resize(source.pixels.size());
    auto rows = [&](uint32_t begin, uint32_t end)
    {
        if (source.channels == 4)
        {
            redrawRows<4>(source.pixels.data(), out, base, rowStep, colStep, begin, end);
        }
        else
        {
            redrawRows<3>(source.pixels.data(), out, base, rowStep, colStep, begin, end);
        }
    };
    // Large pictures are redrawn in bands on all cores.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const uint32_t bands =
        static_cast<uint32_t>(std::min<uint64_t>(cores, std::max<uint64_t>(1, out.pixels.size() >> 20)));
    const uint32_t bandRows = (out.height + bands - 1) / bands;
    std::vector<std::thread> workers;
    for (uint32_t b = 1; b < bands; ++b)
    {
        const uint32_t begin = std::min(out.height, b * bandRows);
        const uint32_t end = std::min(out.height, begin + bandRows);
        if (begin < end)
        {
            workers.emplace_back(rows, begin, end);
        }
    }
    rows(0, std::min(out.height, bandRows));
    for (std::thread& t : workers)
    {
        t.join();
    }
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
    for (uint8_t i = 0; i < 18; ++i)
    {
        b.pixels.push_back(i);
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
