#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace pravix
{

// Reduces a picture by area averaging: each output pixel is the mean of the source area it covers,
// each source pixel weighted by how much of it lies inside. The source arrives top to bottom in bands
// of rows and output rows are written as soon as every source row under them is in, so the source is
// never held whole (only the few rows an output still needs are kept from one band to the next); the
// result does not depend on how the source was split into bands. The output rows of each band are
// spread over all cores.
class AreaScaler
{
public:
    // Receives finished output rows [y, y + count), `stride` bytes apart; called from several threads at
    // once, with rows that never overlap.
    using Sink = std::function<void(uint32_t y, uint32_t count, const uint8_t* rows, size_t stride)>;

    // dstWidth x dstHeight must be at least 1 x 1 and at most the source size; channels 3 or 4.
    AreaScaler(uint32_t srcWidth, uint32_t srcHeight, uint32_t dstWidth, uint32_t dstHeight, uint32_t channels,
               Sink sink);

    // The next `count` source rows (srcWidth pixels each); rows beyond the source height are ignored.
    void push(const uint8_t* rows, size_t stride, uint32_t count);
    // True once every output row has gone to the sink.
    bool finished() const { return mNextOutput == mDstHeight; }

private:
    // For each output coordinate: the first source coordinate it covers and its Q14 weights.
    struct Taps
    {
        std::vector<uint32_t> first;
        std::vector<uint32_t> offset;  // into weights; one more entry than outputs
        std::vector<uint16_t> weights;
        uint32_t count(uint32_t i) const { return offset[i + 1] - offset[i]; }
    };
    static Taps makeTaps(uint32_t srcSize, uint32_t dstSize);
    // Output rows [begin, end) from the kept rows and the pushed ones (source row firstPushed on).
    void writeRows(uint32_t begin, uint32_t end, const uint8_t* rows, size_t stride, uint32_t firstPushed);

    uint32_t mSrcWidth;
    uint32_t mSrcHeight;
    uint32_t mDstWidth;
    uint32_t mDstHeight;
    uint32_t mChannels;
    Sink mSink;
    Taps mColumns;
    Taps mRows;
    // Source rows of earlier pushes that outputs still to come read, from source row mKeptFrom on.
    std::vector<uint8_t> mKept;
    uint32_t mKeptFrom = 0;
    uint32_t mReceived = 0;
    uint32_t mNextOutput = 0;
};

}  // namespace pravix
