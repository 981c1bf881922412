#pragma once

#include "Bitmap.h"
#include "ImageSource.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace pravix
{

// Largest side of a picture loaded whole for the image helpers and the preview. Larger pictures are
// reduced while they are decoded, as the conversion reduces them, so that no load holds more than
// 8192 x 8192 pixels (256 MB with alpha) whatever the file claims.
constexpr uint32_t kMaxLoadedSide = 8192;

// How a picture is loaded unless asked otherwise: as stored (not turned), alpha kept, at most
// kMaxLoadedSide on its longer side.
ThumbnailOptions defaultLoadOptions();

// Decodes a picture file in memory (HEIF, JPEG, PNG, TIFF, BMP or JPEG 2000, told by its bytes) through
// the same bounded decoders the conversion uses. nullopt when it is none of these, is damaged or is
// refused by their limits; `whyNot` then says why.
std::optional<Bitmap> decodeImage(const uint8_t* data, size_t size, const ThumbnailOptions& options,
                                  std::string* whyNot = nullptr);
std::optional<Bitmap> decodeImage(const uint8_t* data, size_t size);
// The same, read from a file as it decodes (only a regular file is opened).
std::optional<Bitmap> decodeImageFile(const std::string& path, const ThumbnailOptions& options,
                                      std::string* whyNot = nullptr);

// The properties of a picture in memory (image 0), without decoding its pixels; nullopt as above.
std::optional<ImageProperties> readImageProperties(const uint8_t* data, size_t size);

}  // namespace pravix
