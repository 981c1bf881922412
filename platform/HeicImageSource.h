#pragma once

#include "Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ImageFileReaderInterface;

namespace pravix
{

class HeifImageItems;

// Largest side of a coded picture this layer decodes; larger claims fail before any decoding. Decoded
// pictures above the thumbnail limit are reduced afterwards.
constexpr uint32_t kMaxDecodeSide = 16384;

struct ThumbnailOptions
{
    bool createWithTransform = false;    // apply the item's clean aperture, rotation and mirroring
    bool createFromImageAlways = false;  // always from the full image (the only source this layer has)
    bool allowFloat = false;             // accepted; pictures come out 8-bit
    uint32_t maxPixelSize = 0;           // 0: no limit; else the longer side is reduced to at most this
};

struct ImageProperties
{
    uint32_t pixelWidth = 0;  // as shown, after the clean aperture and any quarter turn
    uint32_t pixelHeight = 0;
    uint32_t orientation = 1;  // Exif orientation value 1 to 8 equal to the item's irot and imir
    bool hasIccProfile = false;
};

// Our stand-in for the platform's image source over a HEIC file: the primary image of the file is image
// 0. The project's HEIF reader hands out each picture's coded data with its parameter sets, which
// libavcodec decodes. The pixels go straight into their place in the upright picture (GridDecoder,
// PictureTarget): cut to the clean aperture, turned, and, when the picture is larger than asked for,
// reduced while the rows arrive. The first verdict on the picture stands: once it failed to decode, every
// later call fails at once with the same reason.
class HeicImageSource
{
public:
    // nullptr when the file cannot be opened (`whyNot` then says why: not a regular file, permission
    // denied, ...); a source with count 0 when it is not a decodable HEIF. The file is read as its items
    // are asked for.
    static std::unique_ptr<HeicImageSource> createWithFile(const std::string& path, std::string* whyNot = nullptr);
    static std::unique_ptr<HeicImageSource> createWithData(std::shared_ptr<const std::vector<uint8_t>> data);
    ~HeicImageSource();

    size_t count() const;
    std::optional<ImageProperties> propertiesAtIndex(size_t index) const;
    // The picture as coded (clean aperture applied, not rotated or mirrored).
    std::optional<Bitmap> imageAtIndex(size_t index) const;
    std::optional<Bitmap> thumbnailAtIndex(size_t index, const ThumbnailOptions& options) const;

    // The HEIF reader's parse of the file, so its other items (Exif) are read without parsing it again;
    // null when the file could not be parsed. Not to be used while a picture is being decoded.
    const ImageFileReaderInterface* reader() const;

    // Why the last call failed, for the log.
    const std::string& lastError() const { return mError; }
    // How many times the picture has been decoded.
    size_t decodeCount() const { return mDecodeCount; }

private:
    // `open` reads the file's items (and may throw); data are the bytes it reads, if it reads from memory.
    HeicImageSource(std::shared_ptr<const std::vector<uint8_t>> data,
                    const std::function<std::unique_ptr<HeifImageItems>()>& open);
    // The primary image, its transforms applied (the clean aperture always), reduced to at most
    // maxPixelSize on its longer side (0: as it is); nullopt with mError set on failure.
    std::optional<Bitmap> decodePrimary(bool applyTransforms, uint32_t maxPixelSize) const;
    Bitmap decodeUpright(bool applyTransforms, uint32_t maxPixelSize) const;

    std::shared_ptr<const std::vector<uint8_t>> mData;
    std::unique_ptr<HeifImageItems> mItems;
    mutable std::string mError;
    mutable bool mDecodeFailed = false;  // the first verdict on the picture: decoding it again is not tried
    mutable size_t mDecodeCount = 0;
};

}  // namespace pravix
