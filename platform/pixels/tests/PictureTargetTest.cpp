#include "AreaScaler.h"
#include "HeifImageItems.h"
#include "BitmapResize.h"
#include "ImageOps.h"
#include "PictureTarget.h"
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace pravix;
using namespace pravix::test;

namespace
{

// Every pixel different: noise in one channel, gradients in the others.
Bitmap noisy(uint32_t w, uint32_t h, uint32_t seed = 1)
{
    std::mt19937 random(seed);
    Bitmap b = patternBitmap(w, h);
    for (uint32_t y = 0; y < h; ++y)
    {
        for (uint32_t x = 0; x < w; ++x)
        {
            b.row(y)[x * 3 + 2] = static_cast<uint8_t>(random());
        }
    }
    return b;
}

Bitmap reduceInBands(const Bitmap& source, uint32_t w, uint32_t h, uint32_t bandRows)
{
    Bitmap out;
    out.allocate(w, h, source.channels);
    AreaScaler scaler(source.width, source.height, w, h, source.channels,
                      [&](uint32_t y, uint32_t count, const uint8_t* rows, size_t stride)
                      {
                          for (uint32_t r = 0; r < count; ++r)
                          {
                              std::copy_n(rows + r * stride, out.stride(), out.row(y + r));
                          }
                      });
    for (uint32_t y = 0; y < source.height; y += bandRows)
    {
        EXPECT_FALSE(scaler.finished());
        scaler.push(source.row(y), source.stride(), std::min(bandRows, source.height - y));
    }
    EXPECT_TRUE(scaler.finished());
    return out;
}

}  // namespace

// The reduction does not depend on how the rows arrive: any split into bands gives the picture reduced
// whole, bit for bit, so bands never show a seam.
TEST(AreaScalerTest, BandsOfAnyHeightGiveTheWholeResult)
{
    const Bitmap source = noisy(301, 203);
    for (const auto& [w, h] : {std::pair<uint32_t, uint32_t>{97, 61}, {300, 202}, {1, 1}, {150, 203}})
    {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const Bitmap whole = reduceInBands(source, w, h, source.height);
        for (uint32_t band : {1u, 2u, 7u, 64u, 202u})
        {
            EXPECT_EQ(reduceInBands(source, w, h, band).pixels, whole.pixels) << band;
        }
    }
}

// Each output pixel is the mean of the area it covers: a flat picture stays flat, two by two pixels
// average exactly, and a partly covered pixel counts by its share.
TEST(AreaScalerTest, AveragesTheCoveredArea)
{
    Bitmap flat;
    flat.allocate(37, 29, 3);
    std::fill(flat.pixels.begin(), flat.pixels.end(), 173);
    const Bitmap reduced = reduceInBands(flat, 11, 7, 5);
    EXPECT_TRUE(std::all_of(reduced.pixels.begin(), reduced.pixels.end(), [](uint8_t v) { return v == 173; }));

    Bitmap four;
    four.allocate(4, 2, 3);
    const uint8_t values[8] = {0, 100, 10, 20, 200, 50, 30, 40};  // row 0: 0 100 10 20, row 1: 200 50 30 40
    for (int i = 0; i < 8; ++i)
    {
        std::fill_n(four.pixels.begin() + i * 3, 3, values[i]);
    }
    const Bitmap half = reduceInBands(four, 2, 1, 1);
    EXPECT_EQ(half.pixels[0], 88);  // (0 + 100 + 200 + 50) / 4 = 87.5
    EXPECT_EQ(half.pixels[3], 25);  // (10 + 20 + 30 + 40) / 4

    // Three columns into two: the middle column counts half for each.
    Bitmap three;
    three.allocate(3, 1, 3);
    const uint8_t row[3] = {90, 30, 210};
    for (int i = 0; i < 3; ++i)
    {
        std::fill_n(three.pixels.begin() + i * 3, 3, row[i]);
    }
    const Bitmap two = reduceInBands(three, 2, 1, 1);
    EXPECT_EQ(two.pixels[0], 70);   // (90 + 30 / 2) / 1.5
    EXPECT_EQ(two.pixels[3], 150);  // (30 / 2 + 210) / 1.5
}

TEST(AreaScalerTest, OnlyReduces)
{
    const auto sink = [](uint32_t, uint32_t, const uint8_t*, size_t) {};
    EXPECT_THROW(AreaScaler(10, 10, 11, 10, 3, sink), std::invalid_argument);
    EXPECT_THROW(AreaScaler(10, 10, 0, 5, 3, sink), std::invalid_argument);
    EXPECT_THROW(AreaScaler(10, 10, 5, 5, 2, sink), std::invalid_argument);
}

// Pieces drawn into the target in any order, cut to its window and turned, make the picture that
// cropping the whole and turning it makes.
TEST(PictureTargetTest, PiecesInAnyOrderMakeTheCroppedTurnedPicture)
{
    const Bitmap canvas = noisy(37, 23, 5);
    const PictureWindow window{3, 4, 30, 15};
    const Bitmap cropped = *cropBitmap(canvas, window.x, window.y, window.width, window.height);
    for (uint32_t orientation = 1; orientation <= 8; ++orientation)
    {
        SCOPED_TRACE(orientation);
        const Bitmap expected = applyOrientation(cropped, orientation);
        PictureTarget target(canvas.width, canvas.height, window, orientation, expected.width, expected.height);
        EXPECT_FALSE(target.reduces());
        // 8x8 pieces, last row and column first.
        for (int y = 16; y >= 0; y -= 8)
        {
            for (int x = 32; x >= 0; x -= 8)
            {
                const uint32_t w = std::min(8u, canvas.width - x);
                const uint32_t h = std::min(8u, canvas.height - y);
                target.place(x, y, w, h, canvas.row(y) + x * 3, canvas.stride());
            }
        }
        EXPECT_EQ(target.take().pixels, expected.pixels);

        // The same window reduced to 15x7 while the canvas rows arrive, then turned.
        const Bitmap smaller = applyOrientation(*resizeBitmap(cropped, 15, 7), orientation);
        PictureTarget reducing(canvas.width, canvas.height, window, orientation, smaller.width, smaller.height);
        EXPECT_TRUE(reducing.reduces());
        for (uint32_t y = 0; y < canvas.height; y += 5)
        {
            reducing.pushRows(std::min(5u, canvas.height - y), canvas.row(y), canvas.stride());
        }
        EXPECT_EQ(reducing.take().pixels, smaller.pixels);
    }
}

TEST(PictureTargetTest, RefusesWindowsOutsideTheCanvasAndMissingRows)
{
    EXPECT_THROW(PictureTarget(10, 10, PictureWindow{5, 0, 6, 10}, 1, 6, 10), PictureDecodeError);
    EXPECT_THROW(PictureTarget(10, 10, PictureWindow{0, 0, 0, 10}, 1, 1, 10), PictureDecodeError);
    EXPECT_THROW(PictureTarget(10, 10, PictureWindow{0, 0, 10, 10}, 1, 20, 10), PictureDecodeError);
    PictureTarget reducing(10, 10, PictureWindow{0, 0, 10, 10}, 1, 5, 5);
    const Bitmap rows = noisy(10, 4);
    reducing.pushRows(4, rows.pixels.data(), rows.stride());
    EXPECT_THROW(reducing.take(), PictureDecodeError);
}
