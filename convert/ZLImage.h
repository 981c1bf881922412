#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pravix
{

struct ImageSize
{
    double width = 0;
    double height = 0;
};

// A colour as 8-bit straight RGBA.
struct RgbaColor
{
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;
};

// Draws a picture at a new size with a high-quality filter.
class ZLImage
{
public:
    // The result is round(width) x round(height) pixels (at least one each); nullopt for an empty
    // picture or a size beyond the bitmap bounds.
    static std::optional<Bitmap> resizeImage(const Bitmap& image, ImageSize size);

    // Kept for callers to come; each answers nothing (or false) rather than throwing.
    // Writes the picture, JPEG (compression factor 1.0) when the extension is "jpg" in any case,
    // else PNG; whole or not at all.
    static bool saveImage(const Bitmap& image, const std::string& fileName);
    // JPEG bytes at a compression factor of 0.0 to 1.0.
    static std::vector<uint8_t> compressedImageDataWithImg(const Bitmap& image, float rate);
    // Re-encodes image bytes as JPEG with compression factor = aimKB x 1000 / their length, logging
    // the result; bytes already within aimKB come back as they are.
    static std::vector<uint8_t> compressImgData(const std::vector<uint8_t>& data, int64_t aimKB);
    // resizeImage drawn at round(width) x round(height); resizeImage2 into a bitmap of the size's
    // whole pixels (the fractions dropped).
    static std::optional<Bitmap> resizeImage1(const Bitmap& image, ImageSize size);
    static std::optional<Bitmap> resizeImage2(const Bitmap& image, ImageSize size);
    // The pictures side by side, left to right, standing on the bottom edge: the sum of the widths by
    // the largest height, RGBA, transparent where no picture is. Empty pictures take no room.
    static std::optional<Bitmap> jointedImageWithImages(const std::vector<Bitmap>& images);
};

// Mirrors a picture left-right (for right-to-left layouts).
class ImageExpansion
{
public:
    static std::optional<Bitmap> flipImage(const Bitmap* image);
    // ZLImage::compressImgData without the log line.
    static std::vector<uint8_t> CompressImgData(const std::vector<uint8_t>& data, int64_t aimKB);
    // An RGBA picture of one colour, round(width) x round(height) pixels (at least one each); nothing
    // for a size that is not positive or beyond the bitmap bounds.
    static std::optional<Bitmap> WithColor(RgbaColor color, ImageSize size);
};

}  // namespace pravix
