#pragma once

#include "Bitmap.h"
#include "ImageSource.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

class ImageFileReaderInterface;

namespace pravix
{

class HeifImageItems;

// The image source over a HEIF file: the primary image of the file is image 0. The project's HEIF reader
// hands out each picture's coded data with its parameter sets, which libavcodec decodes. The pixels go
// straight into their place in the upright picture (GridDecoder, PictureTarget): cut to the clean
// aperture, turned, and, when the picture is larger than asked for, reduced while the rows arrive. The first verdict on the picture stands: once it failed to decode, every
// later call fails at once with the same reason.
class HeicImageSource : public ImageSource
{
public:
    // nullptr when the file cannot be opened (`whyNot` then says why: not a regular file, permission
    // denied, ...); a source with count 0 when it is not a decodable HEIF. The file is read as its items
    // are asked for.
    static std::unique_ptr<HeicImageSource> createWithFile(const std::string& path, std::string* whyNot = nullptr);
    // The same over a file already open (read from its start).
    static std::unique_ptr<HeicImageSource> createWithStream(std::unique_ptr<std::streambuf> file);
    ~HeicImageSource() override;

    PictureFormat format() const override { return PictureFormat::Heif; }
    size_t count() const override;
    std::optional<ImageProperties> propertiesAtIndex(size_t index) const override;
    // The picture as coded (clean aperture applied, not rotated or mirrored).
    std::optional<Bitmap> imageAtIndex(size_t index) const override;
    std::optional<Bitmap> thumbnailAtIndex(size_t index, const ThumbnailOptions& options) const override;

    // Not to be used while a picture is being decoded.
    const ImageFileReaderInterface* reader() const override;

private:
    // `open` reads the file's items (and may throw).
    explicit HeicImageSource(const std::function<std::unique_ptr<HeifImageItems>()>& open);
    // The primary image, its transforms applied (the clean aperture always), reduced to at most
    // maxPixelSize on its longer side (0: as it is); nullopt with mError set on failure.
    std::optional<Bitmap> decodePrimary(bool applyTransforms, uint32_t maxPixelSize) const;
    Bitmap decodeUpright(bool applyTransforms, uint32_t maxPixelSize) const;

    std::unique_ptr<HeifImageItems> mItems;
    mutable bool mDecodeFailed = false;  // the first verdict on the picture: decoding it again is not tried
};

}  // namespace pravix
