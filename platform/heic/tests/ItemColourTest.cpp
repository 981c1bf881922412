#include "HeicImageSource.h"
#include "HeifImageItems.h"
#include "PlatformTestSupport.h"

#include "BoxBuilder.h"
#include "ColourInformationBox.h"
#include "HeifBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace pravix;
using testsupport::Bytes;

namespace
{

Bytes nclx(uint16_t matrix, bool fullRange)
{
    ColourInformationBox box;
    box.setMatrixCoefficients(matrix);
    box.setFullRangeFlag(fullRange);
    return testsupport::writeBytes(box);
}

Bytes profile(const Bytes& icc)
{
    ColourInformationBox box;
    box.setColourType(FourCCInt("prof"));
    box.setPayload(icc);
    return testsupport::writeBytes(box);
}

// Three picture items (1 primary), each with a size, and the given colour boxes associated in order.
std::vector<uint8_t> colouredFile(const std::vector<std::pair<Bytes, std::vector<uint32_t>>>& colours)
{
    readertest::HeifBuilder builder;
    builder.primaryItem = 1;
    const uint16_t size = builder.addProperty(readertest::makeIspe(64, 48));
    for (uint32_t id : {1u, 2u, 3u})
    {
        builder.addItem(id, "hvc1", Bytes{0, 0, 0, 1, 0x26});
        builder.associate(id, size);
    }
    for (const auto& [box, items] : colours)
    {
        const uint16_t index = builder.addProperty(box);
        for (uint32_t id : items)
        {
            builder.associate(id, index);
        }
    }
    return builder.build();
}

ItemColour colourOf(const std::vector<uint8_t>& file, uint32_t id, ItemColour colour = {})
{
    HeifImageItems items(file);
    items.readColour(id, colour);
    return colour;
}

}  // namespace

// The first profile and the first nclx box of an item win, in association order; other items' boxes do
// not count; what the caller already holds is kept (a grid's own colour before its first tile's).
TEST(ItemColourTest, FirstProfileAndFirstNclxOfTheItem)
{
    const Bytes iccA{1, 2, 3, 4}, iccB{9, 9};
    const std::vector<uint8_t> file = colouredFile({{nclx(5, true), {3}},
                                                    {nclx(1, false), {1}},
                                                    {profile(iccA), {1, 2}},
                                                    {nclx(6, true), {1, 2}},
                                                    {profile(iccB), {1}}});
    const ItemColour first = colourOf(file, 1);
    EXPECT_EQ(first.icc, iccA);
    ASSERT_TRUE(first.hasNclx);
    EXPECT_EQ(first.nclx.matrixCoefficients, 1);
    EXPECT_FALSE(first.nclx.fullRange);

    const ItemColour second = colourOf(file, 2);
    EXPECT_EQ(second.icc, iccA);
    EXPECT_EQ(second.nclx.matrixCoefficients, 6);
    EXPECT_TRUE(second.nclx.fullRange);

    ItemColour held;
    held.icc = iccB;
    const ItemColour kept = colourOf(file, 2, held);
    EXPECT_EQ(kept.icc, iccB);
    EXPECT_TRUE(kept.hasNclx);

    // An item the file does not list has no colour, and asking is no error.
    EXPECT_FALSE(colourOf(file, 4).hasNclx);
    EXPECT_TRUE(colourOf(file, 4).icc.empty());
}

// A colour box too short to read is passed over; the item's next one counts.
TEST(ItemColourTest, DamagedBoxesArePassedOver)
{
    const Bytes shortBox = testsupport::makeBox("colr", Bytes{'n', 'c', 'l', 'x', 0, 1});
    const std::vector<uint8_t> file = colouredFile({{shortBox, {1, 2}}, {nclx(9, true), {1}}});
    const ItemColour first = colourOf(file, 1);
    EXPECT_TRUE(first.hasNclx);
    EXPECT_EQ(first.nclx.matrixCoefficients, 9);
    EXPECT_FALSE(colourOf(file, 2).hasNclx);
}

// Real files: the nclx fixture decodes by its colour box (HeicDecodeTest checks the pixels); the phone
// photo carries an ICC profile, which comes out with the picture.
TEST(ItemColourTest, ProfilesOfRealFiles)
{
    auto fixture = HeicImageSource::createWithFile(test::dataPath("nclx709_limited.heic"));
    ASSERT_TRUE(fixture);
    const auto props = fixture->propertiesAtIndex(0);
    ASSERT_TRUE(props);
    EXPECT_FALSE(props->hasIccProfile);
    const std::vector<uint8_t> bytes = test::readBytes(test::dataPath("nclx709_limited.heic"));
    HeifImageItems items(bytes);
    ItemColour colour;
    items.readColour(items.primaryItemId(), colour);
    ASSERT_TRUE(colour.hasNclx);
    EXPECT_EQ(colour.nclx.matrixCoefficients, 1);

    const char* override = std::getenv("PRAVIX_CORPUS");
    const std::filesystem::path corpus(override != nullptr ? override : PRAVIX_CORPUS_DIR);
    if (!std::filesystem::is_directory(corpus))
    {
        GTEST_SKIP() << "corpus folder absent";
    }
    auto phone = HeicImageSource::createWithFile((corpus / "photoprism_iphone_7.heic").string());
    ASSERT_TRUE(phone);
    const auto phoneProps = phone->propertiesAtIndex(0);
    ASSERT_TRUE(phoneProps);
    EXPECT_TRUE(phoneProps->hasIccProfile);
    const auto image = phone->imageAtIndex(0);
    ASSERT_TRUE(image) << phone->lastError();
    ASSERT_GE(image->iccProfile.size(), 40u);
    EXPECT_EQ(std::string(image->iccProfile.begin() + 36, image->iccProfile.begin() + 40), "acsp");
}
