#pragma once

#include "Bitmap.h"
#include "PictureStreamDecoder.h"

#include <cstdint>
#include <memory>
#include <streambuf>

namespace pravix
{

// What is asked of a picture's decode.
struct DecodeRequest
{
    bool upright = false;       // turned for the orientation its header gives
    uint32_t maxPixelSize = 0;  // the longer side reduced to at most this while decoding (0: as it is)
    bool keepAlpha = false;     // RGBA out when the picture has alpha; otherwise put over black
};

// Where a decode may hand its finished rows instead of holding the whole picture (PictureTarget::RowsOut).
class RowDestination
{
public:
    virtual ~RowDestination() = default;
    // The size of the picture whose rows come; before any of them.
    virtual void begin(uint32_t width, uint32_t height, uint32_t channels) = 0;
    virtual void rows(uint32_t y, const uint8_t* rows, size_t stride, uint32_t count) = 0;
};

// One picture file of a format other than HEIF decoded in this process: its header, then its rows
// drawn into a bitmap (turned and reduced as asked, rows stored bottom up always set the right way up).
// Every failure throws: PictureDecodeError with the codec's reason, or std::bad_alloc.
class PictureDecodeJob
{
public:
    // Reads `file` (which must outlive the job) from its start as a picture of `format`; throws
    // PictureDecodeError for HEIF and Unknown.
    PictureDecodeJob(PictureFormat format, std::streambuf& file);
    ~PictureDecodeJob();

    PictureFormat format() const { return mFormat; }
    // Reads and checks the header; once.
    const PictureHeader& readHeader();
    // After readHeader, once: the picture as asked (without the header's colour profile, which the caller
    // has). Its memory comes from `memory` when that is set. With a `destination`, a picture whose rows
    // are finished one band at a time (not turned a quarter or mirrored) goes there instead and the
    // picture given back has its size but no pixels.
    Bitmap decode(const DecodeRequest& request, const PixelMemory& memory = {}, RowDestination* destination = nullptr);

private:
    PictureFormat mFormat;
    std::unique_ptr<PictureStreamDecoder> mDecoder;
    std::unique_ptr<PictureHeader> mHeader;
};

}  // namespace pravix
