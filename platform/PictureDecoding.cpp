#include "PictureDecoding.h"

#include "HeicImageSource.h"

extern "C"
{
#include <libavutil/frame.h>
}

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
        throw HeifFormatError("picture size " + std::to_string(width) + "x" + std::to_string(height) +
                              " outside the limits");
    }
}

FramePtr decodeCodedPicture(HevcDecoder& decoder, const std::vector<uint8_t>& stream, const PictureSize& expected)
{
    // Coded pictures are padded to whole coding blocks beyond their visible size.
    const uint64_t pixelLimit = (static_cast<uint64_t>(expected.width) + 64) * (expected.height + 64);
    std::string error;
    FramePtr frame = decoder.decode(stream.data(), stream.size(), pixelLimit, error);
    if (!frame)
    {
        throw HeifFormatError(error);
    }
    // The frame must be the size the container promised; anything else is a damaged or mismatched stream.
    if (static_cast<uint32_t>(frame->width) != expected.width ||
        static_cast<uint32_t>(frame->height) != expected.height)
    {
        throw HeifFormatError("decoded picture is " + std::to_string(frame->width) + "x" +
                              std::to_string(frame->height) + ", expected " + std::to_string(expected.width) + "x" +
                              std::to_string(expected.height));
    }
    return frame;
}

}  // namespace pravix
