#include "CodedPicture.h"

#include "PictureDecodeError.h"

extern "C"
{
#include <libavutil/frame.h>
}

#include <string>

namespace pravix
{

FramePtr decodeCodedPicture(HevcDecoder& decoder, const std::vector<uint8_t>& stream, const PictureSize& expected)
{
    // Coded pictures are padded to whole coding blocks beyond their visible size.
    const uint64_t pixelLimit = (static_cast<uint64_t>(expected.width) + 64) * (expected.height + 64);
    std::string error;
    FramePtr frame = decoder.decode(stream.data(), stream.size(), pixelLimit, error);
    if (!frame)
    {
        throw PictureDecodeError(error);
    }
    // The frame must be the size the container promised; anything else is a damaged or mismatched stream.
    if (static_cast<uint32_t>(frame->width) != expected.width ||
        static_cast<uint32_t>(frame->height) != expected.height)
    {
        throw PictureDecodeError("decoded picture is " + std::to_string(frame->width) + "x" +
                              std::to_string(frame->height) + ", expected " + std::to_string(expected.width) + "x" +
                              std::to_string(expected.height));
    }
    return frame;
}

}  // namespace pravix
