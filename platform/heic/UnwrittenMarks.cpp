#include "UnwrittenMarks.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pravix
{
namespace
{

constexpr uint32_t kCell = 16;
constexpr uint32_t kBlock = 8;
constexpr uint32_t kInset = (kCell - kBlock) / 2;  // clear of the 3 samples a filter may change at an edge

// Eight rows of 16 bytes of noise: eight one-byte or eight two-byte samples a row. Each two-byte sample
// has its high byte at or above 0x10 in either byte order, above the 12 bits HEVC pictures use here.
constexpr std::array<uint8_t, kBlock * 16> makeNoise()
{
    std::array<uint8_t, kBlock * 16> noise{};
    uint32_t state = 0x9E3779B9u;
    for (size_t i = 0; i < noise.size(); ++i)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        noise[i] = static_cast<uint8_t>(0x10 | (state >> 24));
    }
    return noise;
}

constexpr std::array<uint8_t, kBlock* 16> kNoise = makeNoise();

// Calls visit(position of the block's first byte, bytes per block row, block rows) for each cell's block:
// the middle 8x8 samples of the cell; in a cell cut to 8 samples by the picture's edge, all of them; in
// a picture smaller than that, all of it.
template <typename Visit>
bool forEachBlock(uint32_t width, uint32_t height, uint32_t bytesPerSample, ptrdiff_t stride, Visit visit)
{
    if (width == 0 || height == 0 || (bytesPerSample != 1 && bytesPerSample != 2))
    {
        return false;
    }
    const uint32_t blockWidth = std::min(kBlock, width);
    const uint32_t blockHeight = std::min(kBlock, height);
    const size_t rowBytes = static_cast<size_t>(blockWidth) * bytesPerSample;
    for (uint32_t cy = 0; cy < height; cy += kCell)
    {
        const uint32_t by = std::min(cy + kInset, height - blockHeight);
        for (uint32_t cx = 0; cx < width; cx += kCell)
        {
            const uint32_t bx = std::min(cx + kInset, width - blockWidth);
            const ptrdiff_t at = static_cast<ptrdiff_t>(by) * stride + static_cast<ptrdiff_t>(bx) * bytesPerSample;
            if (!visit(at, rowBytes, blockHeight))
            {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

void markUnwritten(uint8_t* plane, ptrdiff_t stride, uint32_t width, uint32_t height, uint32_t bytesPerSample)
{
    forEachBlock(width, height, bytesPerSample, stride,
                 [&](ptrdiff_t at, size_t rowBytes, uint32_t rows)
                 {
                     for (uint32_t r = 0; r < rows; ++r)
                     {
                         std::memcpy(plane + at + r * stride, kNoise.data() + r * 16, rowBytes);
                     }
                     return true;
                 });
}

bool everyCellWritten(const uint8_t* plane, ptrdiff_t stride, uint32_t width, uint32_t height, uint32_t bytesPerSample)
{
    return forEachBlock(width, height, bytesPerSample, stride,
                        [&](ptrdiff_t at, size_t rowBytes, uint32_t rows)
                        {
                            for (uint32_t r = 0; r < rows; ++r)
                            {
                                if (std::memcmp(plane + at + r * stride, kNoise.data() + r * 16, rowBytes) != 0)
                                {
                                    return true;  // written over
                                }
                            }
                            return false;  // the mark is still there
                        });
}

}  // namespace pravix
