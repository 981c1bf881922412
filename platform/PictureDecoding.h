#pragma once

#include "HevcDecoder.h"
#include "HeifImageItems.h"

#include <cstdint>
#include <vector>

namespace pravix
{

// Throws HeifFormatError for a picture size this layer does not decode (a zero side, a side beyond
// kMaxDecodeSide, more pixels than a bitmap may hold).
void checkDecodableSize(uint64_t width, uint64_t height);

// Decodes one coded picture that the container says is `expected` in size; HeifFormatError with the
// decoder's reason when it cannot, or when the picture is another size.
FramePtr decodeCodedPicture(HevcDecoder& decoder, const std::vector<uint8_t>& stream, const PictureSize& expected);

}  // namespace pravix
