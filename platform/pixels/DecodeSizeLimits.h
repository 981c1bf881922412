#pragma once

#include <cstdint>

namespace pravix
{

// Largest side of a picture any decoder of this layer decodes; larger claims fail before any decoding.
// Decoded pictures above the thumbnail limit are reduced while they are decoded.
constexpr uint32_t kMaxDecodeSide = 16384;

// Throws PictureDecodeError for a picture size no decoder of this layer decodes (a zero side, a side
// beyond kMaxDecodeSide, more pixels than a bitmap may hold or than limitDecodedPixels allows).
void checkDecodableSize(uint64_t width, uint64_t height);
// Lowers the pixel count of the largest picture (and tile) decoded from now on, for callers with little
// memory or time to spare, such as a fuzzer; 0 restores the bitmap bound.
void limitDecodedPixels(uint64_t pixels);

}  // namespace pravix
