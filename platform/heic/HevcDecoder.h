#pragma once

#include "Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct SwsContext;

namespace pravix
{

struct FrameDeleter
{
    void operator()(AVFrame* f) const;
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

struct CodecContextDeleter
{
    void operator()(AVCodecContext* context) const;
};

// How YCbCr samples turn into RGB: the matrix coefficients code (as in ISO/IEC 23091-2) and the range.
struct ColourInfo
{
    int matrixCoefficients = 6;
    bool fullRange = false;
};

// Most slice threads one picture is decoded with. libavcodec's wavefront rows wait for the row above
// on a condition variable that rows r and r + n share (n threads) and wake one waiter per report. A
// damaged row ends its wavefront early, the rows below it exit, and rows further apart than n run at
// once: two rows then wait on one condition, the wake-up meant for one reaches the other, and the
// picture stalls for ever. That needs four rows in flight; with three threads it cannot happen.
constexpr int kMaxSliceThreads = 3;

// One libavcodec HEVC decoder, used picture after picture. Nothing of one picture may shape the next:
// a picture in one slice whose parameter sets are those of the picture before is decoded by the same
// decoder context (what it keeps from that picture is either set again or not read, and its buffers are
// marked as unwritten again); any other gets a context of its own. Not thread-safe: one per worker.
class HevcDecoder
{
public:
    // threads: worker threads inside libavcodec for one picture (1 when the caller parallelises), at
    // most kMaxSliceThreads.
    explicit HevcDecoder(int threads = 1);
    ~HevcDecoder();
    HevcDecoder(const HevcDecoder&) = delete;
    HevcDecoder& operator=(const HevcDecoder&) = delete;

    // Decodes the first picture of an Annex B byte stream (parameter sets then slices). maxPixels bounds
    // what the stream may make the decoder allocate. Null with `error` set on any damage the decoder
    // notices: an error, a picture it did not finish (some of it never written), or one that is not
    // decodable on its own. The verdict depends on the bytes alone, not on how the slice threads ran or
    // on what was decoded before.
    FramePtr decode(const uint8_t* data, size_t size, uint64_t maxPixels, std::string& error);

private:
    std::unique_ptr<AVCodecContext, CodecContextDeleter> mContext;
    std::vector<uint8_t> mParameterSets;  // those mContext has seen, end to end
    int mThreads = 1;
};

// Colour of a decoded picture: the container's nclx when it has one, else the stream's VUI, else BT.601
// limited range.
ColourInfo colourOfFrame(const AVFrame* frame);

// Converts the top-left width x height of a decoded picture into RGB (channels 3) or RGBA (4, alpha
// opaque) at dst. `cache` keeps one conversion context between calls of one worker; free it with
// sws_freeContext. False when the picture's format cannot be converted.
bool convertFrameToRgb(const AVFrame* frame, const ColourInfo& colour, uint32_t width, uint32_t height, uint8_t* dst,
                       size_t dstStride, uint32_t channels, SwsContext** cache);
// True when a width x height rectangle of the frame covers whole chroma samples (even sides for 4:2:0,
// an even width for 4:2:2): converted on its own it comes out as it would within the whole frame.
bool coversWholeChroma(const AVFrame* frame, uint32_t width, uint32_t height);
// The same for the width x height rectangle whose top row is firstRow, a multiple of the chroma rows'
// spacing (false otherwise). The rows are converted as a picture of their own: a picture converted in
// bands comes out as it would whole.
bool convertFrameRowsToRgb(const AVFrame* frame, const ColourInfo& colour, uint32_t firstRow, uint32_t width,
                           uint32_t height, uint8_t* dst, size_t dstStride, uint32_t channels, SwsContext** cache);

}  // namespace pravix
