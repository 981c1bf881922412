#pragma once

#include "Bitmap.h"
#include "HeicImageSource.h"
#include "ImageSource.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

namespace pravix
{

// What the loader tells of image 0 of a picture file (HEIF, JPEG, PNG, TIFF, BMP, JPEG 2000) without
// decoding it.
struct HeicMetadata
{
    uint32_t pixelWidth = 0;  // as shown: after the clean aperture and any quarter turn
    uint32_t pixelHeight = 0;
    uint32_t orientation = 1;  // Exif orientation value 1 to 8 of the item's rotation and mirroring
    bool hasIccProfile = false;
    bool hasExif = false;  // a HEIF Exif item or a JPEG's Exif APP1 segment
};

// Decodes a HEIC file (or any other picture file the image source reads, whatever its name) into an
// upright picture through the image source: first with the source's own orientation transform (a
// thumbnail from the full image, at most 8192 pixels on its longer side), then, when that fails, by
// redrawing the untransformed picture for its orientation value.
class SafeHEICLoader
{
public:
    static constexpr uint32_t kMaxPixelSize = 8192;
    // The most bytes of a picture fetched from a web address: more than any photo, and what the picture
    // decoders take in memory without a file of their own.
    static constexpr uint64_t kMaxPictureBytes = uint64_t(256) << 20;

    // Fetches the bytes at an http or https address, at most maxBytes of them, into a file where they
    // arrive (in memory) and hands that file over to be read from its start; null on any failure (after
    // saying why on standard output). The engine has no network of its own: the application installs
    // one at start-up.
    using UrlDataReader = std::function<std::unique_ptr<std::streambuf>(const std::string& url, uint64_t maxBytes)>;
    // Installs (or, with an empty function, removes) the reader of web addresses; safe from any thread.
    static void setUrlDataReader(UrlDataReader reader);
    // The byte limit handed to the reader; kMaxPictureBytes unless a test lowers it.
    static void setUrlByteLimit(uint64_t maxBytes);

    static std::optional<Bitmap> loadHEICWithImageIOFromPath(const std::string& path);
    // The same over a source already made for the file at path (whose parse the Exif module shares);
    // when no picture comes out, logs the source's reason once with the path.
    static std::optional<Bitmap> loadHEICWithImageIOFromSource(const ImageSource* source, const std::string& path);
    static std::optional<Bitmap> loadHEICWithAutoOrientationCorrection(const ImageSource* source);
    static std::optional<Bitmap> loadHEICWithManualOrientationCorrection(const ImageSource* source);
    static std::optional<Bitmap> applyManualOrientationCorrection(const Bitmap* image, uint32_t orientation);
    static uint32_t getImageOrientationFromSource(const ImageSource* source);

    // Kept for callers to come; each answers nothing rather than throwing.
    // A JPEG, PNG, TIFF, BMP or JPEG 2000 file as stored with its alpha, at most kMaxPixelSize on its
    // longer side; a HEIC file, or a picture that does not load so, through the ImageIO path (upright).
    static std::optional<Bitmap> loadHEICImageFromPath(const std::string& path);
    // A local file URL ("file:///path", "file://localhost/path", "file:/path", percent-encoded)
    // by its path; an http or https URL from its bytes, fetched by the installed reader and decoded
    // as a file's bytes are. Nothing, with a line on standard output, for a broken file URL, another
    // scheme, no reader, a failed fetch, or bytes that are no picture.
    static std::optional<Bitmap> loadHEICImageFromURL(const std::string& url);
    static std::optional<HeicMetadata> getHEICMetadataFromPath(const std::string& path);
};

}  // namespace pravix
