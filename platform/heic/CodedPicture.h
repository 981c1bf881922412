#pragma once

#include "HeifImageItems.h"
#include "HevcDecoder.h"

#include <cstdint>
#include <vector>

namespace pravix
{

// Decodes one coded picture that the container says is `expected` in size; PictureDecodeError with the
// decoder's reason when it cannot, or when the picture is another size.
FramePtr decodeCodedPicture(HevcDecoder& decoder, const std::vector<uint8_t>& stream, const PictureSize& expected);

}  // namespace pravix
