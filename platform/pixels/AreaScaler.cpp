#include "AreaScaler.h"

#include "ParallelFor.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace pravix
{
namespace
{

constexpr uint32_t kOne = 1u << 14;  // weight 1.0

// One output row from the source rows under it: first their weighted sum down each column (over the
// whole source width, which vectorises), then across, `Ch` channels at a time so the sums stay in
// registers. `column` holds srcWidth x Ch values of scratch.
template <uint32_t Ch>
void reduceRow(const uint8_t* const* rows, const uint16_t* rowWeights, uint32_t taps, size_t srcValues,
               uint32_t dstWidth, const uint32_t* first, const uint32_t* offset, const uint16_t* weights,
               uint16_t* column, uint8_t* out)
{
    // Down: Q14 weights times 8-bit samples, kept as Q8.
    for (size_t i = 0; i < srcValues; ++i)
    {
        uint32_t acc = static_cast<uint32_t>(rowWeights[0]) * rows[0][i];
        for (uint32_t k = 1; k < taps; ++k)
        {
            acc += static_cast<uint32_t>(rowWeights[k]) * rows[k][i];
        }
        column[i] = static_cast<uint16_t>((acc + 32) >> 6);
    }
    // Across: Q14 weights times Q8 values, rounded from Q22.
    for (uint32_t x = 0; x < dstWidth; ++x)
    {
        const uint16_t* s = column + static_cast<size_t>(first[x]) * Ch;
        const uint16_t* w = weights + offset[x];
        const uint32_t n = offset[x + 1] - offset[x];
        uint32_t acc[Ch] = {};
        for (uint32_t k = 0; k < n; ++k, s += Ch)
        {
            for (uint32_t c = 0; c < Ch; ++c)
            {
                acc[c] += static_cast<uint32_t>(w[k]) * s[c];
            }
        }
        for (uint32_t c = 0; c < Ch; ++c)
        {
            const uint32_t v = (acc[c] + (1u << 21)) >> 22;
            *out++ = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    }
}

}  // namespace

AreaScaler::Taps AreaScaler::makeTaps(uint32_t srcSize, uint32_t dstSize)
{
    // Output i covers [i * src, (i + 1) * src) and source j covers [j * dst, (j + 1) * dst), both in
    // units of 1 / dst of a source pixel: the overlap over src is j's weight in i.
    Taps taps;
    taps.first.resize(dstSize);
    taps.offset.resize(dstSize + 1);
    for (uint32_t i = 0; i < dstSize; ++i)
    {
        const uint64_t begin = static_cast<uint64_t>(i) * srcSize;
        const uint64_t end = begin + srcSize;
        const uint32_t first = static_cast<uint32_t>(begin / dstSize);
        const uint32_t last = static_cast<uint32_t>((end + dstSize - 1) / dstSize);  // one past
        taps.first[i] = first;
        taps.offset[i] = static_cast<uint32_t>(taps.weights.size());
        uint32_t sum = 0;
        size_t largest = taps.weights.size();
        for (uint32_t j = first; j < last; ++j)
        {
            const uint64_t lo = std::max(begin, static_cast<uint64_t>(j) * dstSize);
            const uint64_t hi = std::min(end, static_cast<uint64_t>(j + 1) * dstSize);
            const auto w = static_cast<uint16_t>((((hi - lo) << 14) + srcSize / 2) / srcSize);
            if (taps.weights.size() == largest || w > taps.weights[largest])
            {
                largest = taps.weights.size();
            }
            taps.weights.push_back(w);
            sum += w;
        }
        // Rounding must not brighten or darken: the weights of every output add up to exactly one.
        taps.weights[largest] = static_cast<uint16_t>(taps.weights[largest] + kOne - sum);
    }
    taps.offset[dstSize] = static_cast<uint32_t>(taps.weights.size());
    return taps;
}

AreaScaler::AreaScaler(uint32_t srcWidth, uint32_t srcHeight, uint32_t dstWidth, uint32_t dstHeight,
                       uint32_t channels, Sink sink)
    : mSrcWidth(srcWidth), mSrcHeight(srcHeight), mDstWidth(dstWidth), mDstHeight(dstHeight), mChannels(channels),
      mSink(std::move(sink))
{
    if (dstWidth == 0 || dstHeight == 0 || dstWidth > srcWidth || dstHeight > srcHeight ||
        (channels != 3 && channels != 4))
    {
        throw std::invalid_argument("area scaling only reduces");
    }
    mColumns = makeTaps(srcWidth, dstWidth);
    mRows = makeTaps(srcHeight, dstHeight);
}

void AreaScaler::writeRows(uint32_t begin, uint32_t end, const uint8_t* rows, size_t stride, uint32_t firstPushed)
{
    constexpr uint32_t kBlockRows = 16;
    const size_t srcValues = static_cast<size_t>(mSrcWidth) * mChannels;
    const size_t dstValues = static_cast<size_t>(mDstWidth) * mChannels;
    std::vector<uint16_t> column(srcValues);
    std::vector<uint8_t> block(dstValues * std::min(kBlockRows, end - begin));
    std::vector<const uint8_t*> under;
    for (uint32_t y0 = begin; y0 < end; y0 += kBlockRows)
    {
        const uint32_t count = std::min(kBlockRows, end - y0);
        for (uint32_t y = y0; y < y0 + count; ++y)
        {
            under.clear();
            for (uint32_t j = mRows.first[y]; j < mRows.first[y] + mRows.count(y); ++j)
            {
                // Rows of earlier pushes were kept; the others are still where the caller has them.
                under.push_back(j < firstPushed ? mKept.data() + (j - mKeptFrom) * srcValues
                                                : rows + (j - firstPushed) * stride);
            }
            uint8_t* out = block.data() + (y - y0) * dstValues;
            const uint16_t* rowWeights = mRows.weights.data() + mRows.offset[y];
            if (mChannels == 4)
            {
                reduceRow<4>(under.data(), rowWeights, mRows.count(y), srcValues, mDstWidth, mColumns.first.data(),
                             mColumns.offset.data(), mColumns.weights.data(), column.data(), out);
            }
            else
            {
                reduceRow<3>(under.data(), rowWeights, mRows.count(y), srcValues, mDstWidth, mColumns.first.data(),
                             mColumns.offset.data(), mColumns.weights.data(), column.data(), out);
            }
        }
        mSink(y0, count, block.data(), dstValues);
    }
}

void AreaScaler::push(const uint8_t* rows, size_t stride, uint32_t count)
{
    count = std::min(count, mSrcHeight - mReceived);
    if (count == 0)
    {
        return;
    }
    const uint32_t firstPushed = mReceived;
    mReceived += count;
    uint32_t ready = mNextOutput;
    while (ready < mDstHeight && mRows.first[ready] + mRows.count(ready) <= mReceived)
    {
        ++ready;
    }
    const uint32_t from = mNextOutput;
    parallelFor(ready - from, 8,
                [&](size_t begin, size_t end)
                {
                    writeRows(from + static_cast<uint32_t>(begin), from + static_cast<uint32_t>(end), rows, stride,
                              firstPushed);
                });
    mNextOutput = ready;

    // Keep the source rows that outputs still to come will read: from the first row under the next
    // output on (a few rows at most).
    const size_t srcValues = static_cast<size_t>(mSrcWidth) * mChannels;
    const uint32_t keepFrom = mNextOutput < mDstHeight ? mRows.first[mNextOutput] : mReceived;
    std::vector<uint8_t> kept(static_cast<size_t>(mReceived - keepFrom) * srcValues);
    for (uint32_t j = keepFrom; j < mReceived; ++j)
    {
        const uint8_t* row = j < firstPushed ? mKept.data() + (j - mKeptFrom) * srcValues
                                             : rows + (j - firstPushed) * stride;
        std::memcpy(kept.data() + (j - keepFrom) * srcValues, row, srcValues);
    }
    mKept = std::move(kept);
    mKeptFrom = keepFrom;
}

}  // namespace pravix
