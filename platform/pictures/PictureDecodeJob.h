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
    // has). Its memory comes from `memory` when that is set.
    Bitmap decode(const DecodeRequest& request, const PixelMemory& memory = {});

private:
    PictureFormat mFormat;
    std::unique_ptr<PictureStreamDecoder> mDecoder;
    std::unique_ptr<PictureHeader> mHeader;
};

}  // namespace pravix
