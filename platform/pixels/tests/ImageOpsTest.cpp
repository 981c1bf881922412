#include "BitmapResize.h"
#include "ImageOps.h"
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace pravix;
using namespace pravix::test;

namespace
{

Bitmap numbered(uint32_t w, uint32_t h)
{
    Bitmap b;
    b.allocate(w, h, 3);
    for (uint32_t i = 0; i < w * h; ++i)
    {
        b.pixels[i * 3] = static_cast<uint8_t>(i);
    }
    return b;
}

uint8_t at(const Bitmap& b, uint32_t x, uint32_t y)
{
    return b.row(y)[x * 3];
}

}  // namespace

// A 3x2 picture numbered 0 1 2 / 3 4 5, redrawn upright for every Exif orientation value.
TEST(ImageOpsTest, OrientationValues)
{
    const Bitmap b = numbered(3, 2);
    struct Case
    {
        uint32_t orientation;
        uint32_t w, h;
        std::vector<uint8_t> rows;
    };
    const Case cases[] = {
        {1, 3, 2, {0, 1, 2, 3, 4, 5}}, {2, 3, 2, {2, 1, 0, 5, 4, 3}}, {3, 3, 2, {5, 4, 3, 2, 1, 0}},
        {4, 3, 2, {3, 4, 5, 0, 1, 2}}, {5, 2, 3, {0, 3, 1, 4, 2, 5}}, {6, 2, 3, {3, 0, 4, 1, 5, 2}},
        {7, 2, 3, {5, 2, 4, 1, 3, 0}}, {8, 2, 3, {2, 5, 1, 4, 0, 3}}, {9, 3, 2, {0, 1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.orientation);
        const Bitmap r = applyOrientation(b, c.orientation);
        ASSERT_EQ(r.width, c.w);
        ASSERT_EQ(r.height, c.h);
        std::vector<uint8_t> got;
        for (uint32_t y = 0; y < r.height; ++y)
        {
            for (uint32_t x = 0; x < r.width; ++x)
            {
                got.push_back(at(r, x, y));
            }
        }
        EXPECT_EQ(got, c.rows);
    }
}

TEST(ImageOpsTest, ComposedTransforms)
{
    EXPECT_EQ(orientationForRotation(1), 8u);  // a quarter turn anticlockwise
    EXPECT_EQ(orientationForRotation(3), 6u);
    EXPECT_EQ(composeOrientations(6, 6), 3u);
    EXPECT_EQ(composeOrientations(2, 2), 1u);
    EXPECT_EQ(composeOrientations(2, 4), 3u);
    EXPECT_EQ(composeOrientations(8, 4), 5u);
    EXPECT_EQ(composeOrientations(6, 4), 7u);
    const Bitmap b = numbered(3, 2);
    EXPECT_EQ(flipHorizontal(b).pixels, applyOrientation(b, 2).pixels);
}

TEST(ImageOpsTest, ResizeToExactRoundedSize)
{
    const Bitmap source = patternBitmap(101, 57);
    EXPECT_EQ(scaledSide(101, 0.5), 51u);  // 50.5 rounds away from zero
    EXPECT_EQ(scaledSide(57, 0.1), 6u);
    EXPECT_EQ(scaledSide(3, 0.1), 1u);
    const auto half = resizeBitmap(source, scaledSide(101, 0.5), scaledSide(57, 0.5));
    ASSERT_TRUE(half);
    EXPECT_EQ(half->width, 51u);
    EXPECT_EQ(half->height, 29u);
    // Smooth content survives a shrink and an enlargement back.
    const auto back = resizeBitmap(*half, 101, 57);
    ASSERT_TRUE(back);
    EXPECT_GT(psnr(*back, source), 18.0);
    const auto same = resizeBitmap(source, 101, 57);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->pixels, source.pixels);
    EXPECT_FALSE(resizeBitmap(source, 0, 10));
    EXPECT_FALSE(resizeBitmap(source, 100000, 100000));
    EXPECT_FALSE(resizeBitmap(Bitmap{}, 10, 10));
}

TEST(ImageOpsTest, CropChecksTheRectangle)
{
    const Bitmap b = numbered(4, 3);
    const auto c = cropBitmap(b, 1, 1, 2, 2);
    ASSERT_TRUE(c);
    EXPECT_EQ(at(*c, 0, 0), 5);
    EXPECT_EQ(at(*c, 1, 1), 10);
    EXPECT_FALSE(cropBitmap(b, 3, 0, 2, 1));
    EXPECT_FALSE(cropBitmap(b, 0, 0, 0, 1));
    EXPECT_FALSE(cropBitmap(b, 0xFFFFFFFFu, 0, 2, 1));
}

// Small and large pixel buffers (the large ones mapped on their own) come zero-filled, take writes to
// their last byte, and copy and move like any vector.
TEST(ImageOpsTest, PixelBuffersComeZeroFilled)
{
    for (const auto& [w, h] : {std::pair<uint32_t, uint32_t>{7, 5}, {1500, 1000}, {4032, 3024}})
    {
        SCOPED_TRACE(w);
        Bitmap b;
        ASSERT_TRUE(b.allocate(w, h, 3));
        ASSERT_EQ(b.pixels.size(), size_t(w) * h * 3);
        EXPECT_TRUE(std::all_of(b.pixels.begin(), b.pixels.end(), [](uint8_t v) { return v == 0; }));
        b.pixels.back() = 9;
        const Bitmap copy = b;
        EXPECT_EQ(copy.pixels.back(), 9);
        ASSERT_TRUE(b.allocate(w, h, 4));
        EXPECT_EQ(b.pixels.back(), 0);
    }
}
