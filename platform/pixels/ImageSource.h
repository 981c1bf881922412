#pragma once

#include "Bitmap.h"
#include "DecodeSizeLimits.h"
#include "PictureFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ImageFileReaderInterface;

namespace pravix
{

struct ThumbnailOptions
{
    bool createWithTransform = false;    // apply the picture's orientation (and a HEIF item's clean aperture)
    bool createFromImageAlways = false;  // always from the full image (the only source this layer has)
    bool allowFloat = false;             // accepted; pictures come out 8-bit
    uint32_t maxPixelSize = 0;           // 0: no limit; else the longer side is reduced to at most this
    // RGBA out for a picture with alpha (a JPEG, PNG, TIFF or JPEG 2000 file's); otherwise, and for HEIF,
    // transparent parts are put over black.
    bool keepAlpha = false;
};

struct ImageProperties
{
    uint32_t pixelWidth = 0;  // as shown, after a clean aperture and any quarter turn
    uint32_t pixelHeight = 0;
    uint32_t orientation = 1;  // Exif orientation value 1 to 8
    bool hasIccProfile = false;
};

// Our stand-in for the platform's image source: a picture file, whatever its name says, read as what
// its bytes are (createImageSourceWithFile). Image 0 is the picture (a HEIF file's primary image).
// Decoding failures are told by lastError; the first verdict on a picture stands, so a picture that
// failed to decode fails again at once.
class ImageSource
{
public:
    virtual ~ImageSource();

    virtual PictureFormat format() const = 0;
    virtual size_t count() const = 0;
    virtual std::optional<ImageProperties> propertiesAtIndex(size_t index) const = 0;
    // The picture as stored (not rotated or mirrored; a HEIF item's clean aperture applied).
    virtual std::optional<Bitmap> imageAtIndex(size_t index) const = 0;
    virtual std::optional<Bitmap> thumbnailAtIndex(size_t index, const ThumbnailOptions& options) const = 0;

    // The HEIF reader's parse of the file, so its other items (Exif) are read without parsing it again;
    // null for other formats and for a file that could not be parsed.
    virtual const ImageFileReaderInterface* reader() const { return nullptr; }
    // The Exif block ("Exif", 0, 0, then its TIFF structure) that a file carries outside HEIF items: a
    // JPEG's APP1 segment. Empty when there is none.
    virtual std::vector<uint8_t> exifBlock() const { return {}; }

    // Why the last call failed, for the log.
    const std::string& lastError() const { return mError; }
    // How many times the picture has been decoded.
    size_t decodeCount() const { return mDecodeCount; }

protected:
    ImageSource() = default;

    mutable std::string mError;
    mutable size_t mDecodeCount = 0;
};

}  // namespace pravix
