#pragma once

#include "Bitmap.h"
#include "HeicImageSource.h"

#include <cstdint>
#include <optional>
#include <string>

namespace pravix
{

// Decodes a HEIC file into an upright picture through the image source: first with the source's own
// orientation transform (a thumbnail from the full image, at most 8192 pixels on its longer side), then,
// when that fails, by redrawing the untransformed picture for its orientation value.
class SafeHEICLoader
{
public:
    static constexpr uint32_t kMaxPixelSize = 8192;

    static std::optional<Bitmap> loadHEICWithImageIOFromPath(const std::string& path);
    // The same over a source already made for the file at path (whose parse the Exif module shares);
    // when no picture comes out, logs the source's reason once with the path.
    static std::optional<Bitmap> loadHEICWithImageIOFromSource(const HeicImageSource* source, const std::string& path);
    static std::optional<Bitmap> loadHEICWithAutoOrientationCorrection(const HeicImageSource* source);
    static std::optional<Bitmap> loadHEICWithManualOrientationCorrection(const HeicImageSource* source);
    static std::optional<Bitmap> applyManualOrientationCorrection(const Bitmap* image, uint32_t orientation);
    static uint32_t getImageOrientationFromSource(const HeicImageSource* source);
};

}  // namespace pravix
