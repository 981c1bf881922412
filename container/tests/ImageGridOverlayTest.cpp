#include <gtest/gtest.h>

#include <stdexcept>

#include "BoxBuilder.h"
#include "ImageGrid.h"
#include "ImageOverlay.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;

namespace
{
Bytes written(const ImageGrid& grid)
{
    BitStream stream;
    writeImageGrid(grid, stream);
    return stream.getStorage();
}

Bytes written(const ImageOverlay& overlay)
{
    BitStream stream;
    writeImageOverlay(overlay, stream);
    return stream.getStorage();
}

template <typename Parse>
auto parsed(const Bytes& bytes, Parse parse)
{
    BitStream stream(bytes);
    return parse(stream);
}
}  // namespace

TEST(ImageGrid, BothFieldWidths)
{
    const Bytes small{0x00, 0x00, 0x01, 0x02, 0x0F, 0x00, 0x0B, 0x40};
    const auto grid = parsed(small, parseImageGrid);
    EXPECT_EQ(grid.rowsMinusOne + 1, 2);
    EXPECT_EQ(grid.columnsMinusOne + 1, 3);
    EXPECT_EQ(grid.outputWidth, 3840u);
    EXPECT_EQ(grid.outputHeight, 2880u);
    EXPECT_EQ(written(grid), small);

    const Bytes large{0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00};
    const auto wide = parsed(large, parseImageGrid);
    EXPECT_EQ(wide.rowsMinusOne, 0u);
    EXPECT_EQ(wide.outputWidth, 65536u);
    EXPECT_EQ(wide.outputHeight, 32768u);
    // Too wide for 16 bits: written in the 32-bit form instead of being cut to 0.
    EXPECT_EQ(written(wide), large);

    for (std::size_t length = 0; length < large.size(); ++length)
    {
        EXPECT_THROW(parsed(Bytes(large.begin(), large.begin() + std::ptrdiff_t(length)), parseImageGrid),
                     std::out_of_range);
    }
}

TEST(ImageOverlay, SixteenBitForm)
{
    const Bytes bytes = ByteBuilder()
                            .u8(0)
                            .u8(0)
                            .u16(1)
                            .u16(2)
                            .u16(3)
                            .u16(0xFFFF)
                            .u16(640)
                            .u16(480)
                            .u16(0xFFFF)
                            .u16(0x0010)
                            .u16(100)
                            .u16(0x8000);
    const auto overlay = parsed(bytes, parseImageOverlay);
    EXPECT_EQ(overlay.fillRed, 1u);
    EXPECT_EQ(overlay.fillAlpha, 0xFFFFu);
    EXPECT_EQ(overlay.outputWidth, 640u);
    ASSERT_EQ(overlay.offsets.size(), 2u);
    EXPECT_EQ(overlay.offsets[0], std::make_pair(-1, 16));
    EXPECT_EQ(overlay.offsets[1], std::make_pair(100, -32768));
    EXPECT_EQ(written(overlay), bytes);

    // No bytes after the output size: no offsets.
    const Bytes bare(bytes.begin(), bytes.begin() + 14);
    EXPECT_TRUE(parsed(bare, parseImageOverlay).offsets.empty());
    // Data that ends inside a pair or inside the fixed fields fails.
    EXPECT_THROW(parsed(Bytes(bytes.begin(), bytes.end() - 2), parseImageOverlay), std::out_of_range);
    EXPECT_THROW(parsed(Bytes(bytes.begin(), bytes.begin() + 13), parseImageOverlay), std::out_of_range);
}

TEST(ImageOverlay, ThirtyTwoBitFormWhenAValueNeedsIt)
{
    ImageOverlay farOffset;
    farOffset.outputWidth = 100;
    farOffset.outputHeight = 100;
    farOffset.offsets = {{-40000, 5}, {1, 2}};
    const Bytes bytes = written(farOffset);
    EXPECT_EQ(bytes[1], 1u);
    EXPECT_EQ(bytes.size(), 2u + 8 + 8 + 16);
    const auto back = parsed(bytes, parseImageOverlay);
    EXPECT_EQ(back.offsets, farOffset.offsets);
    EXPECT_EQ(back.outputWidth, 100u);

    ImageOverlay wide;
    wide.outputWidth = 70000;
    wide.outputHeight = 100;
    const Bytes wideBytes = written(wide);
    EXPECT_EQ(wideBytes, (ByteBuilder().u8(0).u8(1).u16(0).u16(0).u16(0).u16(0).u32(70000).u32(100).bytes()));
    EXPECT_EQ(parsed(wideBytes, parseImageOverlay).outputWidth, 70000u);
}
