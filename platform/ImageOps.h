#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <optional>

namespace pravix
{

// Scales to exactly width x height with a high-quality filter (area averaging when shrinking, Lanczos
// when enlarging). nullopt for an empty source or a target outside the bitmap bounds.
std::optional<Bitmap> resizeBitmap(const Bitmap& source, uint32_t width, uint32_t height);

// Target size of a scale: round(side x zoom), at least one pixel.
uint32_t scaledSide(uint32_t side, double zoom);

// Mirrors left-right.
Bitmap flipHorizontal(const Bitmap& source);

// Redraws upright for an Exif orientation value: 2 mirror left-right, 3 rotate 180, 4 mirror
// top-bottom, 5 transpose, 6 rotate 90 clockwise, 7 transverse, 8 rotate 90 anticlockwise. Values 5 to 8
// swap width and height; 1 and anything else keep the picture as it is.
Bitmap applyOrientation(const Bitmap& source, uint32_t orientation);

// The Exif orientation value that equals rotating anticlockwise by quarterTurns x 90 degrees.
uint32_t orientationForRotation(uint32_t quarterTurns);
// The orientation that equals applying `first`, then `second`.
uint32_t composeOrientations(uint32_t first, uint32_t second);

// Cuts out a rectangle; nullopt when it does not lie inside the picture.
std::optional<Bitmap> cropBitmap(const Bitmap& source, uint32_t left, uint32_t top, uint32_t width, uint32_t height);

}  // namespace pravix
