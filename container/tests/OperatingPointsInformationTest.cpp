#include <gtest/gtest.h>

#include <stdexcept>

#include "BoxBuilder.h"
#include "OperatingPointsInformation.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::makeFullBox;

namespace
{
// Two layers with a scalability mask of 0x0006 (two dimension identifiers per layer), one PTL
// record and two operating points, the second repeating output layer set 1.
Bytes layeredPayload(std::uint8_t maxTemporalId = 0, std::uint8_t rateFlags = 0)
{
    ByteBuilder b;
    b.u16(0x0006);
    b.u8(0x01);                                                    // reserved 0, one PTL record
    b.u8(0x01).u32(0x60000000).raw({0x90, 0, 0, 0, 0, 0}).u8(93);  // Main profile, level 3.1
    b.u16(2);
    // Operating point for output layer set 1: layers 0 and 1, 64x48 .. 128x96, 4:2:0, 8 bits.
    b.u16(1).u8(maxTemporalId).u8(2);
    b.u8(0).u8(0x02);             // layer 0, output layer
    b.u8(0).u8((1 << 2) | 0x03);  // layer 1, output and alternate output layer
    b.u16(64).u16(48).u16(128).u16(96);
    b.u8((1 << 6) | (0 << 3) | rateFlags);
    if (rateFlags & 0x02)
    {
        b.u16(30 * 256).u8(0);
    }
    if (rateFlags & 0x01)
    {
        b.u32(5000000).u32(4000000);
    }
    b.u16(1).u8(0).u8(1).u8(0).u8(0x02).u16(16).u16(16).u16(32).u16(32).u8(0x40);
    b.u8(2);
    b.u8(0).u8(0).u8(7).u8(8);         // layer 0: no references, dimension ids 7 and 8
    b.u8(1).u8(1).u8(0).u8(9).u8(10);  // layer 1: refers to layer 0
    return b;
}
}  // namespace

TEST(OperatingPointsInformation, EmptyPayloadRoundTrips)
{
    const Bytes oinf = makeFullBox("oinf", 0, 0, ByteBuilder().u16(0).u8(0).u16(0).u8(0));
    OperatingPointsInformation info;
    testsupport::parseBytes(info, oinf);
    EXPECT_TRUE(info.getProfileTierLevels().empty());
    EXPECT_TRUE(info.getOperatingPoints().empty());
    EXPECT_TRUE(info.getLayers().empty());
    EXPECT_EQ(testsupport::writeBytes(info), oinf);
}

TEST(OperatingPointsInformation, LayersCarryOneIdentifierPerMaskBit)
{
    const Bytes oinf = makeFullBox("oinf", 0, 0, layeredPayload());
    OperatingPointsInformation info;
    testsupport::parseBytes(info, oinf);
    ASSERT_EQ(info.getProfileTierLevels().size(), 1u);
    EXPECT_EQ(info.getProfileTierLevels()[0].generalProfileIdc, 1);
    EXPECT_EQ(info.getProfileTierLevels()[0].generalLevelIdc, 93);
    EXPECT_EQ(info.getProfileTierLevels()[0].generalConstraintIndicatorFlags[0], 0x90);
    ASSERT_EQ(info.getLayers().size(), 2u);
    EXPECT_EQ(info.getLayers()[0].dimensionIdentifiers, (std::vector<std::uint8_t>{7, 8}));
    EXPECT_EQ(info.getLayers()[1].dimensionIdentifiers, (std::vector<std::uint8_t>{9, 10}));
    EXPECT_EQ(info.getLayers()[1].directRefLayerIds, (std::vector<std::uint8_t>{0}));
    const auto& layer1 = info.getOperatingPoints()[0].layers[1];
    EXPECT_EQ(layer1.layerId, 1);
    EXPECT_TRUE(layer1.isOutputLayer);
    EXPECT_TRUE(layer1.isAlternateOutputLayer);
    EXPECT_EQ(info.getOperatingPoints()[0].maxChromaFormat, 1);

    // The first operating point with the index answers.
    EXPECT_EQ(info.getExtents(1).width, 128);
    EXPECT_EQ(info.getExtents(1).height, 96);
    EXPECT_EQ(info.getLayerIds(1), (std::vector<std::uint8_t>{0, 1}));
    EXPECT_THROW(info.getExtents(2), std::runtime_error);
    EXPECT_THROW(info.getLayerIds(2), std::runtime_error);

    EXPECT_EQ(testsupport::writeBytes(info), oinf);
    testsupport::expectTruncationSafe<OperatingPointsInformation>(oinf);
}

TEST(OperatingPointsInformation, MaxTemporalIdWrittenAsZero)
{
    OperatingPointsInformation info;
    testsupport::parseBytes(info, makeFullBox("oinf", 0, 0, layeredPayload(5)));
    EXPECT_EQ(testsupport::writeBytes(info), makeFullBox("oinf", 0, 0, layeredPayload(0)));
}

TEST(OperatingPointsInformation, RateFieldsAreSteppedOver)
{
    // Frame-rate and bit-rate fields must not shift what follows; they are dropped on write.
    for (std::uint8_t flags : {1, 2, 3})
    {
        OperatingPointsInformation info;
        testsupport::parseBytes(info, makeFullBox("oinf", 0, 0, layeredPayload(0, flags)));
        ASSERT_EQ(info.getOperatingPoints().size(), 2u);
        EXPECT_EQ(info.getOperatingPoints()[1].maxPicWidth, 32);
        ASSERT_EQ(info.getLayers().size(), 2u);
        EXPECT_EQ(info.getLayers()[1].dimensionIdentifiers, (std::vector<std::uint8_t>{9, 10}));
        EXPECT_EQ(testsupport::writeBytes(info), makeFullBox("oinf", 0, 0, layeredPayload()));
    }
}

TEST(OperatingPointsInformation, WriterRefusesWhatItCannotStore)
{
    OperatingPointsInformation info;
    info.setScalabilityMask(0x0003);
    OperatingPointsInformation::Layer layer;
    layer.dimensionIdentifiers = {1};
    info.addLayer(layer);
    BitStream out;
    EXPECT_THROW(info.writeBox(out), std::runtime_error);
    EXPECT_EQ(out.getSize(), 0u);

    OperatingPointsInformation many;
    for (int i = 0; i < 64; ++i)
    {
        many.addProfileTierLevel({});
    }
    EXPECT_THROW(many.writeBox(out), std::runtime_error);

    OperatingPointsInformation wide;
    OperatingPointsInformation::OperatingPoint point;
    point.layers.resize(256);
    wide.addOperatingPoint(point);
    EXPECT_THROW(wide.writeBox(out), std::runtime_error);
    EXPECT_EQ(out.getSize(), 0u);
}

TEST(OperatingPointsInformation, HostileCountsEndAtTheData)
{
    OperatingPointsInformation info;
    EXPECT_THROW(testsupport::parseBytes(info, makeFullBox("oinf", 0, 0, ByteBuilder().u16(0xFFFF).u8(0x3F))),
                 std::out_of_range);
    EXPECT_THROW(testsupport::parseBytes(info, makeFullBox("oinf", 0, 0, ByteBuilder().u16(0).u8(0).u16(0xFFFF))),
                 std::out_of_range);
}
