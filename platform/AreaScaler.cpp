#include "AreaScaler.h"

#include "ParallelFor.h"

#include <algorithm>
#include <stdexcept>

namespace pravix
{
namespace
{

constexpr uint32_t kOne = 1u << 14;  // weight 1.0

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

void AreaScaler::reduceRow(const uint8_t* src, uint16_t* dst) const
{
    const uint32_t ch = mChannels;
    for (uint32_t x = 0; x < mDstWidth; ++x)
    {
        const uint8_t* s = src + static_cast<size_t>(mColumns.first[x]) * ch;
        const uint16_t* w = mColumns.weights.data() + mColumns.offset[x];
        const uint32_t n = mColumns.count(x);
        uint32_t acc[4] = {0, 0, 0, 0};
        for (uint32_t k = 0; k < n; ++k, s += ch)
        {
            for (uint32_t c = 0; c < ch; ++c)
            {
                acc[c] += w[k] * s[c];
            }
        }
        for (uint32_t c = 0; c < ch; ++c)
        {
            *dst++ = static_cast<uint16_t>((acc[c] + 32) >> 6);  // Q14 to Q8
        }
    }
}

void AreaScaler::writeRows(uint32_t begin, uint32_t end) const
{
    constexpr uint32_t kBlockRows = 16;
    const size_t rowValues = static_cast<size_t>(mDstWidth) * mChannels;
    std::vector<uint8_t> block(rowValues * std::min(kBlockRows, end - begin));
    std::vector<uint32_t> acc(rowValues);
    for (uint32_t y0 = begin; y0 < end; y0 += kBlockRows)
    {
        const uint32_t rows = std::min(kBlockRows, end - y0);
        for (uint32_t y = y0; y < y0 + rows; ++y)
        {
            std::fill(acc.begin(), acc.end(), 0u);
            const uint16_t* w = mRows.weights.data() + mRows.offset[y];
            for (uint32_t k = 0; k < mRows.count(y); ++k)
            {
                const uint16_t* r = mReduced.data() + (mRows.first[y] + k - mKeptFrom) * rowValues;
                const uint32_t weight = w[k];
                for (size_t i = 0; i < rowValues; ++i)
                {
                    acc[i] += weight * r[i];
                }
            }
            uint8_t* out = block.data() + (y - y0) * rowValues;
            for (size_t i = 0; i < rowValues; ++i)
            {
                out[i] = static_cast<uint8_t>(std::min<uint32_t>(255, (acc[i] + (1u << 21)) >> 22));  // Q22
            }
        }
        mSink(y0, rows, block.data(), rowValues);
    }
}

void AreaScaler::push(const uint8_t* rows, size_t stride, uint32_t count)
{
    count = std::min(count, mSrcHeight - mReceived);
    if (count == 0)
    {
        return;
    }
    const size_t rowValues = static_cast<size_t>(mDstWidth) * mChannels;
    // Keep only the reduced rows that outputs still to come will read.
    const uint32_t needed = mNextOutput < mDstHeight ? mRows.first[mNextOutput] : mReceived;
    if (needed > mKeptFrom)
    {
        const size_t drop = std::min<size_t>(needed - mKeptFrom, mReceived - mKeptFrom) * rowValues;
        mReduced.erase(mReduced.begin(), mReduced.begin() + static_cast<std::ptrdiff_t>(drop));
        mKeptFrom = needed;
    }
    const size_t kept = mReduced.size();
    mReduced.resize(kept + count * rowValues);
    parallelFor(count, 16,
                [&](size_t begin, size_t end)
                {
                    for (size_t r = begin; r < end; ++r)
                    {
                        reduceRow(rows + r * stride, mReduced.data() + kept + r * rowValues);
                    }
                });
    mReceived += count;

    uint32_t ready = mNextOutput;
    while (ready < mDstHeight && mRows.first[ready] + mRows.count(ready) <= mReceived)
    {
        ++ready;
    }
    const uint32_t from = mNextOutput;
    parallelFor(ready - from, 16,
                [&](size_t begin, size_t end)
                {
                    writeRows(from + static_cast<uint32_t>(begin), from + static_cast<uint32_t>(end));
                });
    mNextOutput = ready;
}

}  // namespace pravix
