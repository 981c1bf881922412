#include "DecodeSizeLimits.h"

#include "Bitmap.h"
#include "PictureDecodeError.h"

#include <algorithm>
#include <atomic>
#include <string>

namespace pravix
{
namespace
{

std::atomic<uint64_t> gPixelLimit{0};

}  // namespace

void limitDecodedPixels(uint64_t pixels)
{
    gPixelLimit = pixels;
}

void checkDecodableSize(uint64_t width, uint64_t height)
{
    const uint64_t limit = gPixelLimit;
    const uint64_t maxPixels = limit == 0 ? kMaxBitmapPixels : std::min<uint64_t>(limit, kMaxBitmapPixels);
    if (width == 0 || height == 0 || width > kMaxDecodeSide || height > kMaxDecodeSide || width * height > maxPixels)
    {
        throw PictureDecodeError("picture size " + std::to_string(width) + "x" + std::to_string(height) +
                                 " outside the limits");
    }
}

}  // namespace pravix
