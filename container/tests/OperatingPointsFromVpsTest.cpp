#include <gtest/gtest.h>

#include <stdexcept>

#include "BitStream.h"
#include "BoxBuilder.h"
#include "OperatingPointsInformation.h"

using testsupport::Bytes;

namespace
{
// A two-layer VPS: the base layer and a multiview layer predicting from it (scalability flag 1),
// layer sets {0} and {0, 1}, two profile/tier/level entries (Main, level 3.1), one 64x48 4:2:0
// 8-bit representation format; output layer set 1 outputs both layers with entry 1.
const Bytes kTwoLayerVps = {0x00, 0x00, 0x00, 0x01, 0x40, 0x01, 0x0C, 0x11, 0xFF, 0xFF, 0x01, 0x60, 0x00, 0x00,
                            0x03, 0x00, 0x90, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x5D, 0x97, 0x05, 0x6F,
                            0x5D, 0x20, 0x00, 0x04, 0x21, 0x4E, 0x00, 0x80, 0x00, 0x61, 0x40, 0x04};

// The VPS that x265 writes for a single-layer 64x64 Main stream.
const Bytes kX265Vps = {0x00, 0x00, 0x00, 0x01, 0x40, 0x01, 0x0C, 0x01, 0xFF, 0xFF, 0x01, 0x60, 0x00, 0x00,
                        0x03, 0x00, 0x90, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x1E, 0x92, 0x80, 0x90};
}  // namespace

TEST(OperatingPointsFromVps, LayeredSetFillsEveryList)
{
    OperatingPointsInformation oinf;
    oinf.fillFromVideoParameterSet(kTwoLayerVps);
    EXPECT_EQ(oinf.getScalabilityMask(), 0x4000);
    ASSERT_EQ(oinf.getProfileTierLevels().size(), 2u);
    const auto& ptl = oinf.getProfileTierLevels()[1];
    EXPECT_EQ(ptl.generalProfileIdc, 1);
    EXPECT_EQ(ptl.generalProfileCompatibilityFlags, 0x60000000u);
    EXPECT_EQ(ptl.generalConstraintIndicatorFlags[0], 0x90);
    EXPECT_EQ(ptl.generalLevelIdc, 93);

    ASSERT_EQ(oinf.getOperatingPoints().size(), 2u);
    const auto& point = oinf.getOperatingPoints()[1];
    EXPECT_EQ(point.outputLayerSetIdx, 1);
    ASSERT_EQ(point.layers.size(), 2u);
    EXPECT_EQ(point.layers[1].layerId, 1);
    EXPECT_EQ(point.layers[1].ptlIdx, 1);
    EXPECT_TRUE(point.layers[0].isOutputLayer);
    EXPECT_TRUE(point.layers[1].isOutputLayer);
    EXPECT_EQ(point.minPicWidth, 64);
    EXPECT_EQ(point.maxPicHeight, 48);
    EXPECT_EQ(point.maxChromaFormat, 1);
    EXPECT_EQ(point.maxBitDepthMinus8, 0);
    EXPECT_EQ(oinf.getLayerIds(0), (std::vector<std::uint8_t>{0}));
    EXPECT_EQ(oinf.getLayerIds(1), (std::vector<std::uint8_t>{0, 1}));

    ASSERT_EQ(oinf.getLayers().size(), 2u);
    EXPECT_EQ(oinf.getLayers()[0].dimensionIdentifiers, (std::vector<std::uint8_t>{0}));
    EXPECT_EQ(oinf.getLayers()[1].dimensionIdentifiers, (std::vector<std::uint8_t>{1}));
    EXPECT_EQ(oinf.getLayers()[1].directRefLayerIds, (std::vector<std::uint8_t>{0}));

    // What the filler produces is a property that writes and reads back.
    BitStream written;
    oinf.writeBox(written);
    BitStream input(written.getStorage());
    OperatingPointsInformation parsed;
    parsed.parseBox(input);
    EXPECT_EQ(parsed.getScalabilityMask(), 0x4000);
    EXPECT_EQ(parsed.getLayerIds(1), (std::vector<std::uint8_t>{0, 1}));
    EXPECT_EQ(parsed.getExtents(1).width, 64);
    EXPECT_EQ(parsed.getLayers()[1].directRefLayerIds, (std::vector<std::uint8_t>{0}));
}

TEST(OperatingPointsFromVps, SingleLayerSetOfX265)
{
    OperatingPointsInformation oinf;
    oinf.fillFromVideoParameterSet(kX265Vps);
    EXPECT_EQ(oinf.getScalabilityMask(), 0);
    ASSERT_EQ(oinf.getProfileTierLevels().size(), 1u);
    EXPECT_EQ(oinf.getProfileTierLevels()[0].generalProfileIdc, 1);
    EXPECT_EQ(oinf.getLayerIds(0), (std::vector<std::uint8_t>{0}));
    ASSERT_EQ(oinf.getLayers().size(), 1u);
    EXPECT_TRUE(oinf.getLayers()[0].dimensionIdentifiers.empty());
}

TEST(OperatingPointsFromVps, BadUnitsLeaveThePropertyAlone)
{
    OperatingPointsInformation oinf;
    oinf.fillFromVideoParameterSet(kTwoLayerVps);

    Bytes notVps = kX265Vps;
    notVps[4] = 0x42;  // an SPS header
    EXPECT_THROW(oinf.fillFromVideoParameterSet(notVps), std::runtime_error);
    for (std::size_t size = 6; size < kTwoLayerVps.size(); ++size)
    {
        EXPECT_ANY_THROW(oinf.fillFromVideoParameterSet(Bytes(kTwoLayerVps.begin(), kTwoLayerVps.begin() + size)))
            << size;
    }
    EXPECT_EQ(oinf.getScalabilityMask(), 0x4000);
    EXPECT_EQ(oinf.getOperatingPoints().size(), 2u);
}
