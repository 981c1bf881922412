#pragma once

#include "Bitmap.h"

#include <optional>

namespace pravix
{

struct ImageSize
{
    double width = 0;
    double height = 0;
};

// Draws a picture at a new size with a high-quality filter.
class ZLImage
{
public:
    // The result is round(width) x round(height) pixels (at least one each); nullopt for an empty
    // picture or a size beyond the bitmap bounds.
    static std::optional<Bitmap> resizeImage(const Bitmap& image, ImageSize size);
};

// Mirrors a picture left-right (for right-to-left layouts).
class ImageExpansion
{
public:
    static std::optional<Bitmap> flipImage(const Bitmap* image);
};

}  // namespace pravix
