#pragma once

#include "ImageSource.h"
#include "PictureDecoderProcess.h"
#include "PictureStreamDecoder.h"

#include <memory>
#include <optional>
#include <streambuf>

namespace pravix
{

// The image source over a JPEG, PNG, TIFF, BMP or JPEG 2000 file, whose header and picture are read by
// the picture decoder helper process (PictureDecoderProcess) under the kernel's limits, never in this
// process; no side above kMaxDecodeSide, no more than the bitmap bound of pixels, and, when a smaller
// picture is asked for, reduced while the rows arrive so the full picture is never held. Turned upright
// for the orientation its header gives (a JPEG's Exif, a TIFF tag) when the picture is asked for with
// its transform.
class CodecImageSource : public ImageSource
{
public:
    // Reads the header of the file's picture; a source with count 0 (its reason in lastError) when the
    // format is Unknown or the header cannot be read. A file that is not a regular file open for reading
    // (bytes in memory) is first copied into a shared-memory file for the helper to read.
    static std::unique_ptr<CodecImageSource> create(std::unique_ptr<std::streambuf> file, PictureFormat format);
    ~CodecImageSource() override;

    PictureFormat format() const override { return mFormat; }
    size_t count() const override { return mHeader ? 1 : 0; }
    std::optional<ImageProperties> propertiesAtIndex(size_t index) const override;
    std::optional<Bitmap> imageAtIndex(size_t index) const override;
    std::optional<Bitmap> thumbnailAtIndex(size_t index, const ThumbnailOptions& options) const override;
    std::vector<uint8_t> exifBlock() const override;

private:
    CodecImageSource(std::unique_ptr<std::streambuf> file, PictureFormat format);
    // The picture, turned upright when asked, reduced to at most maxPixelSize on its longer side (0: as
    // it is), RGBA when asked and it has alpha; nullopt with mError set on failure.
    std::optional<Bitmap> decode(bool upright, uint32_t maxPixelSize, bool keepAlpha) const;

    std::unique_ptr<std::streambuf> mFile;
    int mDescriptor = -1;  // the file as the helper reads it: mFile's own, or a shared copy of its bytes
    bool mOwnsDescriptor = false;
    PictureFormat mFormat;
    // The header, without its colour profile, which the picture carries when decoded.
    std::optional<PictureHeader> mHeader;
    bool mHasIccProfile = false;
    // The helper that read the header, waiting to decode the picture.
    mutable std::unique_ptr<PictureDecoderProcess> mHelper;
    mutable bool mDecodeFailed = false;  // the first verdict on the picture: decoding it again is not tried
};

}  // namespace pravix
