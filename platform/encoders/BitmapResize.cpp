#include "BitmapResize.h"

#include "AreaScaler.h"

#include <cstring>

extern "C"
{
#include <libswscale/swscale.h>
}

namespace pravix
{

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
    if (width <= source.width && height <= source.height)
    {
        const size_t stride = out.stride();
        AreaScaler scaler(source.width, source.height, width, height, source.channels,
                          [&](uint32_t y, uint32_t count, const uint8_t* rows, size_t rowStride)
                          {
                              for (uint32_t r = 0; r < count; ++r)
                              {
                                  std::memcpy(out.row(y + r), rows + r * rowStride, stride);
                              }
                          });
        scaler.push(source.pixels.data(), source.stride(), source.height);
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

}  // namespace pravix
