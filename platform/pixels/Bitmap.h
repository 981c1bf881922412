#pragma once

#include "PixelBuffer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pravix
{

// Largest side and pixel count any decoder or resize of this layer will allocate for. A file may claim
// anything in its headers; these bounds keep a hostile size from turning into a huge allocation.
constexpr uint32_t kMaxBitmapSide = 32768;
constexpr uint64_t kMaxBitmapPixels = 1ULL << 28;

// An 8-bit interleaved picture, rows top to bottom, tightly packed: RGB (3 channels) or
// straight (not premultiplied) RGBA (4 channels). The ICC profile travels with the pixels so every
// encoder can embed it.
struct Bitmap
{
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 3;
    PixelBuffer pixels;
    std::vector<uint8_t> iccProfile;

    size_t stride() const { return static_cast<size_t>(width) * channels; }
    bool empty() const { return width == 0 || height == 0 || pixels.empty(); }
    uint8_t* row(uint32_t y) { return pixels.data() + y * stride(); }
    const uint8_t* row(uint32_t y) const { return pixels.data() + y * stride(); }

    // A new zero-filled pixel buffer; false (and nothing allocated) when the size is zero or beyond the
    // bounds.
    bool allocate(uint32_t w, uint32_t h, uint32_t ch);
    // The same with the memory from `memory` (when set).
    bool allocate(uint32_t w, uint32_t h, uint32_t ch, const PixelMemory& memory);
};

bool bitmapSizeAllowed(uint64_t w, uint64_t h);

}  // namespace pravix
