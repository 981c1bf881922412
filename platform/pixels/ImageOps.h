#pragma once

#include "Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace pravix
{

// Target size of a scale: round(side x zoom), at least one pixel.
uint32_t scaledSide(uint32_t side, double zoom);

// The size a width x height picture is reduced to so that its longer side is at most maxSide (0: no
// limit), the shorter side scaled alike.
std::pair<uint32_t, uint32_t> reducedToLongerSide(uint32_t width, uint32_t height, uint32_t maxSide);

// Mirrors left-right.
Bitmap flipHorizontal(const Bitmap& source);

// Redraws upright for an Exif orientation value: 2 mirror left-right, 3 rotate 180, 4 mirror
// top-bottom, 5 transpose, 6 rotate 90 clockwise, 7 transverse, 8 rotate 90 anticlockwise. Values 5 to 8
// swap width and height; 1 and anything else keep the picture as it is.
Bitmap applyOrientation(const Bitmap& source, uint32_t orientation);

// Draws the width x height rectangle at src, turned for an orientation value as applyOrientation does,
// into dst: a width x height rectangle, or height x width for values 5 to 8.
void drawOriented(const uint8_t* src, size_t srcStride, uint32_t width, uint32_t height, uint32_t channels,
                  uint32_t orientation, uint8_t* dst, size_t dstStride);

// Where the top-left corner of the w x h rectangle at (x, y) of a W x H picture lands once the picture
// is turned for an orientation value.
std::pair<uint32_t, uint32_t> orientedOrigin(uint32_t orientation, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                                             uint32_t W, uint32_t H);

// The Exif orientation value that equals rotating anticlockwise by quarterTurns x 90 degrees.
uint32_t orientationForRotation(uint32_t quarterTurns);
// The orientation that equals applying `first`, then `second`.
uint32_t composeOrientations(uint32_t first, uint32_t second);

// Cuts out a rectangle; nullopt when it does not lie inside the picture.
std::optional<Bitmap> cropBitmap(const Bitmap& source, uint32_t left, uint32_t top, uint32_t width, uint32_t height);

}  // namespace pravix
