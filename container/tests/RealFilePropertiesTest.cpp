// Item properties of HEIC files written by heif-enc (see data/README.md).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "AuxiliaryTypeProperty.h"
#include "BoxBuilder.h"
#include "HevcConfigurationBox.h"
#include "ImageSpatialExtentsProperty.h"
#include "ItemPropertiesBox.h"

using testsupport::Bytes;
using Type = ItemPropertiesBox::PropertyType;

namespace
{
Bytes readFile(const std::string& name)
{
    std::ifstream in(std::string(PRAVIX_SOURCE_DIR) + "/container/tests/data/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

/// The first child of that type of the file's root 'meta' box.
BitStream metaChild(const Bytes& file, FourCCInt wanted)
{
    BitStream stream(file);
    while (stream.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream box = stream.readChildBox(type);
        if (type == FourCCInt("meta"))
        {
            box.setPosition(12);
            while (box.numBytesLeft() > 0)
            {
                BitStream child = box.readChildBox(type);
                if (type == wanted)
                {
                    return child;
                }
            }
        }
    }
    ADD_FAILURE() << "no " << wanted << " in the meta box";
    return BitStream();
}

/// Parses, writes, parses the written bytes again and expects the same bytes a second time.
Bytes expectStableRewrite(ItemPropertiesBox& box)
{
    const Bytes written = testsupport::writeBytes(box);
    ItemPropertiesBox again;
    testsupport::parseBytes(again, written);
    EXPECT_EQ(testsupport::writeBytes(again), written);
    return written;
}
}  // namespace

TEST(RealFileProperties, ExifFile)
{
    const Bytes file = readFile("exif-128x96.heic");
    ASSERT_FALSE(file.empty());
    BitStream iprp = metaChild(file, FourCCInt("iprp"));
    ItemPropertiesBox box;
    testing::internal::CaptureStdout();
    box.parseBox(iprp);
    testing::internal::GetCapturedStdout();

    const std::uint32_t ispeIndex = box.findPropertyIndex(Type::ISPE, 1);
    ASSERT_NE(ispeIndex, 0u);
    const auto ispe = box.getPropertyByIndex<ImageSpatialExtentsProperty>(ispeIndex - 1);
    ASSERT_NE(ispe, nullptr);
    EXPECT_EQ(ispe->getDisplayWidth(), 128u);
    EXPECT_EQ(ispe->getDisplayHeight(), 96u);

    const std::uint32_t hvccIndex = box.findPropertyIndex(Type::HVCC, 1);
    ASSERT_NE(hvccIndex, 0u);
    const auto hvcc = box.getPropertyByIndex<HevcConfigurationBox>(hvccIndex - 1);
    ASSERT_NE(hvcc, nullptr);
    const auto& config = hvcc->getConfiguration();
    EXPECT_EQ(config.getNumOfArrays(), 3);
    for (std::uint8_t type : {32, 33, 34})
    {
        Bytes sets;
        config.appendParameterSets(sets, type);
        EXPECT_GT(sets.size(), 6u) << int(type);
        EXPECT_EQ((sets[4] >> 1) & 0x3F, type);
    }

    // The record's own SPS reader agrees with what the encoder wrote into hvcC.
    Bytes sps;
    config.appendParameterSets(sps, 33);
    HevcDecoderConfigRecord fromSps;
    fromSps.configureFromSps(sps, 0.0f);
    EXPECT_EQ(fromSps.getGeneralProfileIdc(), config.getGeneralProfileIdc());
    EXPECT_EQ(fromSps.getGeneralProfileCompatibilityFlags(), config.getGeneralProfileCompatibilityFlags());
    // (The encoder leaves the constraint flags of its hvcC at 0 although the SPS sets some.)
    EXPECT_EQ(fromSps.getGeneralConstraintIndicatorFlags()[0], 0x90);
    EXPECT_EQ(fromSps.getGeneralLevelIdc(), config.getGeneralLevelIdc());
    EXPECT_EQ(fromSps.getChromaFormat(), config.getChromaFormat());
    EXPECT_EQ(fromSps.getBitDepthLumaMinus8(), config.getBitDepthLumaMinus8());
    EXPECT_EQ(fromSps.getNumTemporalLayers(), config.getNumTemporalLayers());
    EXPECT_EQ(fromSps.getCroppedPicWidth(), 128u);
    EXPECT_EQ(fromSps.getCroppedPicHeight(), 96u);

    // The hvcC writes back byte for byte.
    HevcConfigurationBox rewritten;
    rewritten.setConfiguration(config);
    BitStream original = metaChild(file, FourCCInt("iprp"));
    const Bytes& iprpBytes = original.getStorage();
    const Bytes hvccBytes = testsupport::writeBytes(rewritten);
    EXPECT_NE(std::search(iprpBytes.begin(), iprpBytes.end(), hvccBytes.begin(), hvccBytes.end()), iprpBytes.end());

    expectStableRewrite(box);
}

TEST(RealFileProperties, AlphaAndThumbnailFile)
{
    const Bytes file = readFile("alpha-thumb-96x64.heic");
    ASSERT_FALSE(file.empty());
    BitStream iprp = metaChild(file, FourCCInt("iprp"));
    ItemPropertiesBox box;
    testing::internal::CaptureStdout();
    box.parseBox(iprp);
    testing::internal::GetCapturedStdout();

    // Item 2 is the alpha plane of item 1: its auxC names the alpha auxiliary type.
    const std::uint32_t auxIndex = box.findPropertyIndex(Type::AUXC, 2);
    ASSERT_NE(auxIndex, 0u);
    const auto aux = box.getPropertyByIndex<AuxiliaryTypeProperty>(auxIndex - 1);
    ASSERT_NE(aux, nullptr);
    EXPECT_EQ(aux->getAuxType(), "urn:mpeg:hevc:2015:auxid:1");
    EXPECT_TRUE(aux->getAuxSubType().empty());

    // The thumbnail grid (item 4) is 32x20; its tile (item 3) is 64x64.
    const auto thumb = box.getPropertyByIndex<ImageSpatialExtentsProperty>(box.findPropertyIndex(Type::ISPE, 4) - 1);
    ASSERT_NE(thumb, nullptr);
    EXPECT_EQ(thumb->getDisplayWidth(), 32u);
    EXPECT_EQ(thumb->getDisplayHeight(), 20u);
    const auto tile = box.getPropertyByIndex<ImageSpatialExtentsProperty>(box.findPropertyIndex(Type::ISPE, 3) - 1);
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(tile->getDisplayWidth(), 64u);

    // Every item's properties resolve; the unknown pixi boxes report type 0 in their places.
    for (std::uint32_t item = 1; item <= 6; ++item)
    {
        const auto infos = box.getItemProperties(item);
        ASSERT_FALSE(infos.empty()) << item;
        for (const auto& info : infos)
        {
            EXPECT_LT(info.index, box.getItemPropertyContainer().getPropertyCount());
        }
    }
    expectStableRewrite(box);
}
