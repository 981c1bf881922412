#pragma once

#include "HevcDecoder.h"
#include "HeifImageItems.h"

#include <cstdint>
#include <vector>

namespace pravix
{

// Throws HeifFormatError for a picture size this layer does not decode (a zero side, a side beyond
// kMaxDecodeSide, more pixels than a bitmap may hold or than limitDecodedPixels allows).
void checkDecodableSize(uint64_t width, uint64_t height);
// Lowers the pixel count of the largest picture (and tile) decoded from now on, for callers with little
// memory or time to spare, such as a fuzzer; 0 restores the bitmap bound.
void limitDecodedPixels(uint64_t pixels);

// Decodes one coded picture that the container says is `expected` in size; HeifFormatError with the
// decoder's reason when it cannot, or when the picture is another size.
FramePtr decodeCodedPicture(HevcDecoder& decoder, const std::vector<uint8_t>& stream, const PictureSize& expected);

}  // namespace pravix
