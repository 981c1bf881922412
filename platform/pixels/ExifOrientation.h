#pragma once

#include <cstddef>
#include <cstdint>

namespace pravix
{

// The Orientation (tag 274) of IFD0 of an Exif block ("Exif", 0, 0, then a TIFF structure in either byte
// order): 1 to 8; 1 when the block has none, or a damaged or out-of-range one.
uint32_t exifOrientation(const uint8_t* block, size_t size);

}  // namespace pravix
