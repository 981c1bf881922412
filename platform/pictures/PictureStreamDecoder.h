#pragma once

#include "PictureDecodeError.h"
#include "PictureFormat.h"
#include "StreamAccess.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <streambuf>
#include <utility>
#include <vector>

namespace pravix
{

// Memory a codec may take for its own work besides the picture it hands out: a progressive JPEG's
// coefficients, a JPEG 2000 codestream's wavelet planes, a TIFF strip. A file that would need more is
// refused (or, for JPEG 2000, decoded at a lower resolution level) rather than allowed to take the
// machine's memory.
constexpr uint64_t kDecoderMemoryBudget = uint64_t(512) << 20;

// What a picture file's header tells.
struct PictureHeader
{
    uint32_t width = 0;  // as stored
    uint32_t height = 0;
    // Exif orientation value 1 to 8 the file gives its picture (a JPEG's Exif, a TIFF tag); applied only
    // when the picture is shown upright.
    uint32_t orientation = 1;
    // Rows stored bottom row first (a BMP's usual layout): always turned the right way up.
    bool bottomUp = false;
    std::vector<uint8_t> iccProfile;  // at most kMaxColourProfileBytes: a larger one is dropped
    std::vector<uint8_t> exifBlock;   // a JPEG's APP1 Exif segment from its "Exif", 0, 0 on
};

constexpr size_t kMaxColourProfileBytes = size_t(8) << 20;

// Where a decoder delivers a picture's rows.
class PictureRowSink
{
public:
    virtual ~PictureRowSink() = default;
    // The size of the picture the rows will make up: the stored size, or less when the decoder reduced it
    // while decoding; 3 channels (RGB), or 4 (RGBA, alpha not premultiplied) when the decoder was asked to
    // keep alpha and the picture has it.
    virtual void begin(uint32_t width, uint32_t height, uint32_t channels) = 0;
    // The next `count` rows of 8-bit RGB (transparent parts put over black) or RGBA, in stored order.
    virtual void rows(const uint8_t* pixels, size_t stride, uint32_t count) = 0;
    // Where the next `count` rows may be written in place, so that handing them on (rows() at that
    // address) copies nothing; null when they must come from the decoder's own buffer.
    virtual uint8_t* placeForRows(uint32_t count, size_t& stride)
    {
        (void)count;
        (void)stride;
        return nullptr;
    }
};

// Decodes one picture file format from a stream of the whole file: first its header, then its rows.
// Every failure is a PictureDecodeError with the codec's reason; none of the codec libraries' error
// exits passes through C++ frames, and none of them writes to the standard streams.
class PictureStreamDecoder
{
public:
    // The decoder of a format (not HEIF, not Unknown: nullptr) reading `file` from its start; the file
    // must outlive it.
    static std::unique_ptr<PictureStreamDecoder> create(PictureFormat format, std::streambuf& file);
    virtual ~PictureStreamDecoder() = default;

    // Reads the header. Refuses a size beyond the decode limits, and one the file's bytes cannot hold
    // where the format bounds how small its data can be, before anything is sized from it.
    virtual PictureHeader readHeader() = 0;
    // After readHeader: decodes the picture into the sink. The decoder may hand out the picture reduced
    // (a JPEG through its scaled transform, a JPEG 2000 codestream at a lower resolution level) when it
    // can do so without going below minWidth x minHeight.
    virtual void decodeRows(uint32_t minWidth, uint32_t minHeight, PictureRowSink& sink) = 0;

    // Before decodeRows: hand out the rows of a picture with alpha as RGBA instead of putting them over
    // black.
    void keepAlpha(bool keep) { mKeepAlpha = keep; }

protected:
    bool mKeepAlpha = false;
};

// The codecs, one per format.
std::unique_ptr<PictureStreamDecoder> makeJpegStreamDecoder(std::streambuf& file);
std::unique_ptr<PictureStreamDecoder> makePngStreamDecoder(std::streambuf& file);
std::unique_ptr<PictureStreamDecoder> makeTiffStreamDecoder(std::streambuf& file);
std::unique_ptr<PictureStreamDecoder> makeBmpStreamDecoder(std::streambuf& file);
std::unique_ptr<PictureStreamDecoder> makeJp2StreamDecoder(std::streambuf& file);

// Width and height from a JPEG's frame header, without decoding it; nullopt when the JPEG decoder cannot
// read the header.
std::optional<std::pair<uint32_t, uint32_t>> readJpegSize(const uint8_t* data, size_t size);

// Puts 8-bit colour with alpha over black: each of the RGB samples of `pixels` (`channels` per pixel,
// alpha the last) scaled by its alpha, written as RGB into `rgb`.
void flattenOverBlack(const uint8_t* pixels, uint32_t channels, uint32_t width, uint8_t* rgb);
// Widens 8-bit grey and alpha (two samples a pixel) to RGBA.
void widenGreyAlpha(const uint8_t* pixels, uint32_t width, uint8_t* rgba);

}  // namespace pravix
