#include "ItemColours.h"
#include "HeicImageSource.h"
#include "PlatformTestSupport.h"

#include "BoxBuilder.h"
#include "ColourInformationBox.h"
#include "ImageSpatialExtentsProperty.h"
#include "MetaBox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace pravix;
using testsupport::Bytes;

namespace
{

std::shared_ptr<Box> nclx(uint16_t matrix, bool fullRange)
{
    auto box = std::make_shared<ColourInformationBox>();
    box->setMatrixCoefficients(matrix);
    box->setFullRangeFlag(fullRange);
    return box;
}

std::shared_ptr<Box> profile(const Bytes& icc)
{
    auto box = std::make_shared<ColourInformationBox>();
    box->setColourType(FourCCInt("prof"));
    box->setPayload(icc);
    return box;
}

// A property written as it is, such as a damaged colour box.
class RawProperty : public Box
{
public:
    RawProperty(const char* type, Bytes payload) : Box(FourCCInt(type)), mPayload(std::move(payload)) {}
    void writeBox(BitStream& bitstr) override
    {
        writeBoxHeader(bitstr);
        bitstr.writeBytes(mPayload, uint32_t(mPayload.size()));
        updateSize(bitstr);
    }
    void parseBox(BitStream&) override {}

private:
    Bytes mPayload;
};

MetaBox pictureMeta()
{
    MetaBox meta;
    meta.setHandlerType("pict");
    for (uint32_t id : {1u, 2u, 3u})
    {
        meta.addItem(id, "hvc1", "");
    }
    meta.setPrimaryItemId(1);
    return meta;
}

ItemColour colourOf(MetaBox& meta, uint32_t itemId)
{
    BitStream bytes;
    meta.writeBox(bytes);
    ItemColours colours(bytes);
    ItemColour colour;
    colours.addTo(itemId, colour);
    return colour;
}

}  // namespace

// The first profile and the first nclx box of an item win, in association order; other properties and
// other items' boxes do not count.
TEST(ItemColoursTest, FirstProfileAndFirstNclxOfTheItem)
{
    const Bytes iccA{1, 2, 3, 4}, iccB{9, 9};
    MetaBox meta = pictureMeta();
    meta.addProperty(std::make_shared<ImageSpatialExtentsProperty>(64, 48), {1, 2, 3}, false);
    meta.addProperty(nclx(5, true), {3}, false);
    meta.addProperty(nclx(1, false), {1}, false);
    meta.addProperty(profile(iccA), {1, 2}, false);
    meta.addProperty(nclx(6, true), {1, 2}, false);
    meta.addProperty(profile(iccB), {1}, false);

    const ItemColour first = colourOf(meta, 1);
    EXPECT_EQ(first.icc, iccA);
    ASSERT_TRUE(first.hasNclx);
    EXPECT_EQ(first.nclx.matrixCoefficients, 1);
    EXPECT_FALSE(first.nclx.fullRange);

    const ItemColour second = colourOf(meta, 2);
    EXPECT_EQ(second.icc, iccA);
    EXPECT_EQ(second.nclx.matrixCoefficients, 6);
    EXPECT_TRUE(second.nclx.fullRange);

    // What the caller already holds is kept (a grid's own colour before its first tile's).
    BitStream bytes;
    meta.writeBox(bytes);
    ItemColour held;
    held.icc = iccB;
    ItemColours(bytes).addTo(2, held);
    EXPECT_EQ(held.icc, iccB);
    EXPECT_TRUE(held.hasNclx);

    EXPECT_FALSE(colourOf(meta, 4).hasNclx);
    EXPECT_TRUE(colourOf(meta, 4).icc.empty());
}

// Damage means no colour information, never an exception: a short colour box is passed over, an
// association past the end of the properties drops the item's colour, a damaged meta box drops all.
TEST(ItemColoursTest, DamageMeansNoColour)
{
    MetaBox meta = pictureMeta();
    meta.addProperty(std::make_shared<RawProperty>("colr", Bytes{'n', 'c', 'l', 'x', 0, 1}), {1, 2}, false);
    meta.addProperty(nclx(9, true), {1, 2}, false);
    meta.addProperty(40, {2}, false);
    const ItemColour first = colourOf(meta, 1);
    EXPECT_TRUE(first.hasNclx);
    EXPECT_EQ(first.nclx.matrixCoefficients, 9);
    EXPECT_FALSE(colourOf(meta, 2).hasNclx);

    BitStream whole;
    meta.writeBox(whole);
    const Bytes bytes = whole.getStorage();
    for (size_t keep : {size_t(0), size_t(12), bytes.size() - 1})
    {
        ItemColour colour;
        ItemColours(BitStream(Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(keep)))).addTo(1, colour);
        EXPECT_FALSE(colour.hasNclx) << keep;
    }
}

// Real files: the nclx fixture decodes by its colour box (HeicDecodeTest checks the pixels); the phone
// photo carries an ICC profile, which comes out with the picture.
TEST(ItemColoursTest, ProfilesOfRealFiles)
{
    auto fixture = HeicImageSource::createWithFile(test::dataPath("nclx709_limited.heic"));
    ASSERT_TRUE(fixture);
    const auto props = fixture->propertiesAtIndex(0);
    ASSERT_TRUE(props);
    EXPECT_FALSE(props->hasIccProfile);

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
