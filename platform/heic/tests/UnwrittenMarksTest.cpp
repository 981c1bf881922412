#include "UnwrittenMarks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace pravix;

namespace
{

struct Plane
{
    uint32_t width;
    uint32_t height;
    uint32_t bytesPerSample;
    ptrdiff_t stride;
    std::vector<uint8_t> bytes;

    Plane(uint32_t w, uint32_t h, uint32_t bps, uint8_t fill = 0x80)
        : width(w), height(h), bytesPerSample(bps), stride(static_cast<ptrdiff_t>(w * bps + 32)),
          bytes(static_cast<size_t>(stride) * h, fill)
    {
    }
    uint8_t* at(uint32_t x, uint32_t y) { return bytes.data() + y * stride + x * bytesPerSample; }
    void mark() { markUnwritten(bytes.data(), stride, width, height, bytesPerSample); }
    bool written() const { return everyCellWritten(bytes.data(), stride, width, height, bytesPerSample); }
    // Writes the rectangle as a decoder would: every sample of it.
    void write(uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint8_t value)
    {
        for (uint32_t r = y; r < y + h; ++r)
        {
            std::fill_n(at(x, r), static_cast<size_t>(w) * bytesPerSample, value);
        }
    }
};

}  // namespace

// A freshly marked picture is unwritten; written whole it is written, whatever the values; left
// unwritten in one coding block of the smallest size (16x16, or the 8-sample remainder at the right or
// bottom edge of a picture whose sides are multiples of 8), it is not, even where the deblocking of the
// blocks around it reached into its edges.
TEST(UnwrittenMarksTest, EveryCodingBlockLeftOutIsSeen)
{
    for (const uint32_t bps : {1u, 2u})
    {
        for (const auto& [w, h] : {std::pair<uint32_t, uint32_t>{64, 48}, {72, 40}, {8, 8}, {136, 24}})
        {
            Plane plane(w, h, bps);
            plane.mark();
            EXPECT_FALSE(plane.written()) << w << "x" << h << " " << bps;
            for (const uint8_t value : {uint8_t(0), uint8_t(0x10), uint8_t(0xFF)})
            {
                plane.write(0, 0, w, h, value);
                EXPECT_TRUE(plane.written()) << w << "x" << h << " " << bps << " value " << int(value);
            }
            for (uint32_t by = 0; by < h; by += 16)
            {
                for (uint32_t bx = 0; bx < w; bx += 16)
                {
                    plane.mark();
                    const uint32_t bw = std::min(16u, w - bx);
                    const uint32_t bh = std::min(16u, h - by);
                    // Everything but this block written.
                    plane.write(0, 0, w, by, 0x40);
                    plane.write(0, by, bx, bh, 0x40);
                    plane.write(bx + bw, by, w - bx - bw, bh, 0x40);
                    plane.write(0, by + bh, w, h - by - bh, 0x40);
                    EXPECT_FALSE(plane.written()) << w << "x" << h << " " << bps << " block " << bx << "," << by;
                    // A finished neighbour's deblocking changes up to 3 samples of the block's right
                    // columns and bottom rows; the block still counts as unwritten.
                    if (bw == 16)
                    {
                        plane.write(bx + 13, by, 3, bh, 0x41);
                    }
                    if (bh == 16)
                    {
                        plane.write(bx, by + 13, bw, 3, 0x41);
                    }
                    EXPECT_FALSE(plane.written()) << "filtered block " << bx << "," << by;
                }
            }
        }
    }
}

// The marks stay inside the picture: the bytes beyond each row's samples and below the last row are
// left alone, and a picture smaller than a block is marked whole.
TEST(UnwrittenMarksTest, MarksStayInsideThePicture)
{
    Plane plane(40, 24, 2, 0x5A);
    plane.bytes.resize(plane.bytes.size() + 64, 0x5A);
    plane.mark();
    for (uint32_t y = 0; y < plane.height; ++y)
    {
        for (ptrdiff_t x = plane.width * plane.bytesPerSample; x < plane.stride; ++x)
        {
            ASSERT_EQ(plane.bytes[y * plane.stride + x], 0x5A) << x << "," << y;
        }
    }
    for (size_t i = plane.height * plane.stride; i < plane.bytes.size(); ++i)
    {
        ASSERT_EQ(plane.bytes[i], 0x5A);
    }

    Plane tiny(4, 2, 1);
    tiny.mark();
    EXPECT_FALSE(tiny.written());
    tiny.write(0, 0, 4, 2, 0x80);
    EXPECT_TRUE(tiny.written());
    // Nothing to mark, nothing to trust.
    EXPECT_FALSE(everyCellWritten(tiny.bytes.data(), tiny.stride, 0, 2, 1));
    EXPECT_FALSE(everyCellWritten(tiny.bytes.data(), tiny.stride, 4, 2, 3));
}
