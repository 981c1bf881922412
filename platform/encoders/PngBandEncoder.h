#pragma once

#include "PictureStreamDecoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace pravix
{

// One band of a PNG picture's rows, filtered and compressed on its own.
struct PngBand
{
    std::vector<uint8_t> deflated;  // raw deflate data, ending on a byte boundary
    uint32_t adler = 1;             // Adler-32 of the band's filtered rows
    uint64_t length = 0;            // bytes of filtered rows
};

// Filters and compresses the rows of one band of a PNG picture, so that the bands of a picture are
// compressed in parallel and joined into one zlib stream (as parallel gzip does). Each row gets the
// filter whose output has the smallest sum of magnitudes, as libpng chooses. A band whose row above is
// not known (it is being decoded elsewhere) filters its first row without it.
class PngBandEncoder : public PictureRowSink
{
public:
    // previous: the row above the band's first row, or null; previousKnown: whether that null means the
    // picture's top (a row of zeros to the filters) rather than a row not at hand.
    PngBandEncoder(uint32_t width, uint32_t channels, const uint8_t* previous, bool previousKnown);
    ~PngBandEncoder() override;
    PngBandEncoder(const PngBandEncoder&) = delete;
    PngBandEncoder& operator=(const PngBandEncoder&) = delete;

    void addRow(const uint8_t* row);
    // Ends the band: flushed to a byte boundary, and the zlib stream closed when it is the last band.
    PngBand finish(bool last);

    // As the sink of a decoder of 8-bit RGB rows (the encoder must have 3 channels).
    void begin(uint32_t width, uint32_t height, uint32_t channels) override;
    void rows(const uint8_t* pixels, size_t stride, uint32_t count) override;

private:
    void deflateOut(const uint8_t* data, size_t size, int flush);

    struct Stream;
    uint32_t mWidth;
    uint32_t mChannels;
    size_t mRowBytes;
    std::vector<uint8_t> mPrevious;
    bool mPreviousKnown;
    std::vector<uint8_t> mCandidates;  // the five filtered forms of a row, each with its filter byte
    std::unique_ptr<Stream> mStream;
    PngBand mBand;
};

// A PNG file of 8-bit RGB (3 channels) or RGBA (4) rows from bands compressed in order, top first; each
// band's data is released as soon as it is copied. The ICC profile goes into an iCCP chunk when it looks
// like one. Empty when the bands are none or of no use.
std::vector<uint8_t> joinPngBands(uint32_t width, uint32_t height, uint32_t channels,
                                  const std::vector<uint8_t>& iccProfile, std::vector<PngBand>& bands);

}  // namespace pravix
