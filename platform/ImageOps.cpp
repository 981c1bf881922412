#include "ImageOps.h"

#include <cmath>
#include <cstring>

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

Bitmap applyOrientation(const Bitmap& source, uint32_t orientation)
{
    if (orientation < 2 || orientation > 8 || source.empty())
    {
        return source;
    }
    const bool swap = orientation >= 5;
    const uint32_t w = source.width;
    const uint32_t h = source.height;
    Bitmap out;
    out.width = swap ? h : w;
    out.height = swap ? w : h;
    out.channels = source.channels;
    out.iccProfile = source.iccProfile;
    out.pixels.resize(source.pixels.size());
    const uint32_t ch = source.channels;
    for (uint32_t y = 0; y < out.height; ++y)
    {
        uint8_t* dst = out.row(y);
        for (uint32_t x = 0; x < out.width; ++x)
        {
            uint32_t sx = x;
            uint32_t sy = y;
            switch (orientation)
            {
            case 2:
                sx = w - 1 - x;
                break;
            case 3:
                sx = w - 1 - x;
                sy = h - 1 - y;
                break;
            case 4:
                sy = h - 1 - y;
                break;
            case 5:
                sx = y;
                sy = x;
                break;
            case 6:
                sx = y;
                sy = h - 1 - x;
                break;
            case 7:
                sx = w - 1 - y;
                sy = h - 1 - x;
                break;
            case 8:
                sx = w - 1 - y;
                sy = x;
                break;
            }
            std::memcpy(dst + x * ch, source.row(sy) + static_cast<size_t>(sx) * ch, ch);
        }
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
