#include <gtest/gtest.h>

#include <stdexcept>

#include "BoxBuilder.h"
#include "ColourInformationBox.h"
#include "ExpectRuntimeError.h"
#include "ImageRotation.h"
#include "ImageSpatialExtentsProperty.h"
#include "ItemPropertiesBox.h"
#include "UnknownProperty.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::concat;
using testsupport::expectRuntimeError;
using testsupport::makeBox;
using testsupport::makeFullBox;
using Type = ItemPropertiesBox::PropertyType;

namespace
{
const Bytes kIspe = makeFullBox("ispe", 0, 0, ByteBuilder().u32(64).u32(48));
const Bytes kIrot = makeBox("irot", Bytes{0x01});
const Bytes kUnknown = makeFullBox("pixi", 0, 0, ByteBuilder().u8(3).u8(8).u8(8).u8(8));

// ipco: ispe, pixi (unknown), irot; item 1 has ispe and essential irot, item 2 has pixi and a
// dangling index 9, item 1 is listed a second time (dropped).
Bytes iprpBytes()
{
    const Bytes ipco = makeBox("ipco", concat({kIspe, kUnknown, kIrot}));
    const Bytes ipma = makeFullBox(
        "ipma", 0, 0,
        ByteBuilder().u32(3).u16(1).u8(2).u8(0x01).u8(0x83).u16(2).u8(2).u8(0x02).u8(0x09).u16(1).u8(1).u8(0x02));
    return makeBox("iprp", concat({ipco, ipma}));
}
}  // namespace

TEST(ItemPropertiesBox, UnknownPropertyKeepsIndicesAligned)
{
    testing::internal::CaptureStdout();
    ItemPropertiesBox box;
    testsupport::parseBytes(box, iprpBytes());
    EXPECT_NE(
        testing::internal::GetCapturedStdout().find("Skipping an unknown box of type 'pixi' in ItemPropertyContainer."),
        std::string::npos);

    EXPECT_EQ(box.getItemPropertyContainer().getPropertyCount(), 3u);
    EXPECT_NE(box.getPropertyByIndex<ImageRotation>(2), nullptr);
    EXPECT_EQ(box.getPropertyByIndex<ImageRotation>(2)->getAngle(), 90u);
    EXPECT_EQ(box.getPropertyByIndex<ImageRotation>(0), nullptr);
    EXPECT_EQ(box.getPropertyByIndex<ImageRotation>(3), nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<UnknownProperty>(box.getItemPropertyContainer().getProperty(1)), nullptr);

    EXPECT_EQ(box.findPropertyIndex(Type::IROT, 1), 3u);
    EXPECT_EQ(box.findPropertyIndex(Type::ISPE, 1), 1u);
    EXPECT_EQ(box.findPropertyIndex(Type::HVCC, 1), 0u);
    EXPECT_EQ(box.findPropertyIndex(Type::ISPE, 7), 0u);

    // The first list of item 1 wins.
    const auto item1 = box.getItemProperties(1);
    ASSERT_EQ(item1.size(), 2u);
    EXPECT_EQ(item1[0].type, Type::ISPE);
    EXPECT_EQ(item1[0].index, 0u);
    EXPECT_FALSE(item1[0].essential);
    EXPECT_EQ(item1[1].type, Type::IROT);
    EXPECT_EQ(item1[1].index, 2u);
    EXPECT_TRUE(item1[1].essential);

    // An unknown property and a dangling index both report type 0.
    const auto item2 = box.getItemProperties(2);
    ASSERT_EQ(item2.size(), 2u);
    EXPECT_EQ(item2[0].type, Type::UNKNOWN);
    EXPECT_EQ(item2[1].type, Type::UNKNOWN);
    EXPECT_EQ(item2[1].index, 8u);
    EXPECT_EQ(box.findPropertyIndex(Type::UNKNOWN, 2), 2u);
    EXPECT_TRUE(box.getItemProperties(99).empty());
}

TEST(ItemPropertiesBox, IndexZeroAndRoundTrip)
{
    ItemPropertiesBox box;
    box.associateProperty(0, {5}, false);
    const auto infos = box.getItemProperties(5);
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_EQ(infos[0].index, 0xFFFFFFFFu);
    EXPECT_EQ(infos[0].type, Type::UNKNOWN);
    EXPECT_EQ(box.findPropertyIndex(Type::ISPE, 5), 0u);

    // The unknown property is written back as it was read, so the indices after it still name
    // the same properties; the duplicate item list is dropped.
    ItemPropertiesBox parsed;
    testing::internal::CaptureStdout();
    testsupport::parseBytes(parsed, iprpBytes());
    testing::internal::GetCapturedStdout();
    const Bytes expected = makeBox(
        "iprp",
        concat({makeBox("ipco", concat({kIspe, kUnknown, kIrot})),
                makeFullBox("ipma", 0, 0,
                            ByteBuilder().u32(2).u16(1).u8(2).u8(0x01).u8(0x83).u16(2).u8(2).u8(0x02).u8(0x09))}));
    EXPECT_EQ(testsupport::writeBytes(parsed), expected);
}

// Writing a meta box back dropped the properties the container did not model ('colr', 'pixi'),
// while ipma kept the old indices: index 2 then named the property after the dropped one.
TEST(ItemPropertiesBoxRegression, EveryPropertySurvivesAWrite)
{
    const Bytes nclx = makeBox("colr", ByteBuilder().str("nclx").u16(1).u16(13).u16(6).u8(0x80));
    const Bytes prof = makeBox("colr", ByteBuilder().str("prof").u32(0x11223344).u8(0x55));
    const Bytes damaged = makeBox("colr", ByteBuilder().str("nclx").u16(1));
    const Bytes vendor = makeBox("abcd", ByteBuilder().u32(0xDEADBEEF).u8(7));
    const Bytes ipco = makeBox("ipco", concat({kIspe, nclx, kUnknown, damaged, prof, vendor, kIrot}));
    const Bytes ipma = makeFullBox("ipma", 0, 0,
                                   ByteBuilder()
                                       .u32(2)
                                       .u16(1)
                                       .u8(5)
                                       .u8(0x01)
                                       .u8(0x02)
                                       .u8(0x83)
                                       .u8(0x04)
                                       .u8(0x87)
                                       .u16(2)
                                       .u8(3)
                                       .u8(0x05)
                                       .u8(0x06)
                                       .u8(0x02));
    const Bytes bytes = makeBox("iprp", concat({ipco, ipma}));

    testing::internal::CaptureStdout();
    ItemPropertiesBox first;
    testsupport::parseBytes(first, bytes);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("Keeping a damaged 'colr' property in ItemPropertyContainer as bytes."), std::string::npos);
    EXPECT_EQ(log.find("unknown box of type 'colr'"), std::string::npos);

    // The colour boxes are read as such; the damaged one and the unknown ones are kept as bytes.
    const auto colour = first.getPropertyByIndex<ColourInformationBox>(1);
    ASSERT_NE(colour, nullptr);
    EXPECT_TRUE(colour->isNclx());
    EXPECT_EQ(colour->getMatrixCoefficients(), 6u);
    EXPECT_TRUE(colour->getFullRangeFlag());
    EXPECT_EQ(first.getPropertyByIndex<ColourInformationBox>(4)->getPayload(), (Bytes{0x11, 0x22, 0x33, 0x44, 0x55}));
    EXPECT_EQ(first.getPropertyByIndex<ColourInformationBox>(3), nullptr);
    ASSERT_NE(first.getPropertyByIndex<UnknownProperty>(3), nullptr);
    EXPECT_EQ(first.getPropertyByIndex<UnknownProperty>(3)->getBoxBytes(), damaged);
    EXPECT_EQ(first.getPropertyByIndex<UnknownProperty>(2)->getBoxBytes(), kUnknown);
    EXPECT_EQ(first.getItemProperties(1)[1].type, Type::COLR);
    EXPECT_EQ(first.getItemProperties(1)[2].type, Type::UNKNOWN);
    EXPECT_EQ(first.getItemProperties(1)[3].type, Type::COLR);  // by its box type, though damaged
    EXPECT_EQ(first.findPropertyIndex(Type::COLR, 2), 5u);

    // Written and read again: the same properties at the same indices, byte for byte; the
    // unknown and damaged ones exactly as the file held them.
    const Bytes written = testsupport::writeBytes(first);
    EXPECT_EQ(written, bytes);
    testing::internal::CaptureStdout();
    ItemPropertiesBox second;
    testsupport::parseBytes(second, written);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(second.getItemPropertyContainer().getPropertyCount(), 7u);
    for (std::uint32_t item : {1u, 2u})
    {
        const auto before = first.getItemProperties(item);
        const auto after = second.getItemProperties(item);
        ASSERT_EQ(before.size(), after.size());
        for (std::size_t i = 0; i < before.size(); ++i)
        {
            EXPECT_EQ(after[i].type, before[i].type);
            EXPECT_EQ(after[i].index, before[i].index);
            EXPECT_EQ(after[i].essential, before[i].essential);
            EXPECT_EQ(testsupport::writeBytes(*second.getItemPropertyContainer().getProperty(after[i].index)),
                      testsupport::writeBytes(*first.getItemPropertyContainer().getProperty(before[i].index)));
        }
    }
    EXPECT_EQ(second.getPropertyByIndex<ImageRotation>(6)->getAngle(), 90u);

    // A placeholder built in code still takes its place when written.
    UnknownProperty built(FourCCInt("pixi"));
    EXPECT_EQ(testsupport::writeBytes(built), makeBox("pixi", {}));
}

TEST(ItemPropertiesBox, ChildrenChecks)
{
    const Bytes ipco = makeBox("ipco", kIspe);
    ItemPropertiesBox missing;
    EXPECT_THROW(testsupport::parseBytes(missing, makeBox("iprp", ipco)), std::out_of_range);

    ItemPropertiesBox wrong;
    expectRuntimeError(
        [&] {
            testsupport::parseBytes(wrong, makeBox("iprp", concat({ipco, makeBox("free", {})})));
        },
        "ItemPropertiesBox includes a box which is not ipma");

    // A first child of another type is still read as the container, with an error line.
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    ItemPropertiesBox renamed;
    testsupport::parseBytes(
        renamed, makeBox("iprp", concat({makeBox("ipcx", kIspe), makeFullBox("ipma", 0, 0, Bytes{0, 0, 0, 0}),
                                         makeFullBox("ipma", 0, 0, Bytes{0, 0, 0, 0})})));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Reading ipco, found 'ipcx' instead.\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ItemPropertiesBox::parseBox() supports currently only one ipma box, but there seems to  be more.\n");
    EXPECT_EQ(renamed.getItemPropertyContainer().getPropertyCount(), 1u);

    testing::internal::CaptureStdout();
    testsupport::expectTruncationSafe<ItemPropertiesBox>(iprpBytes());
    testing::internal::GetCapturedStdout();
}

TEST(ItemPropertiesBox, AddPropertyReusesEqualIspe)
{
    ItemPropertiesBox box;
    EXPECT_EQ(box.addProperty(std::make_shared<ImageSpatialExtentsProperty>(64, 48), {1}, false), 0u);
    EXPECT_EQ(box.addProperty(std::make_shared<ImageRotation>(), {1}, true), 1u);
    EXPECT_EQ(box.addProperty(std::make_shared<ImageSpatialExtentsProperty>(64, 48), {2, 3}, false), 0u);
    EXPECT_EQ(box.addProperty(std::make_shared<ImageSpatialExtentsProperty>(64, 49), {4}, false), 2u);
    EXPECT_EQ(box.getItemPropertyContainer().getPropertyCount(), 3u);
    EXPECT_EQ(box.findPropertyIndex(Type::ISPE, 3), 1u);
    EXPECT_EQ(box.findPropertyIndex(Type::ISPE, 4), 3u);
    EXPECT_TRUE(box.getItemProperties(1)[1].essential);
}

TEST(ItemPropertyAssociation, VersionsAndFlags)
{
    const Bytes v0 = makeFullBox("ipma", 0, 0, ByteBuilder().u32(1).u16(1).u8(2).u8(0x81).u8(0x02));
    const Bytes v0f1 = makeFullBox("ipma", 0, 1, ByteBuilder().u32(1).u16(1).u8(2).u16(0x8001).u16(0x00C8));
    const Bytes v1 = makeFullBox("ipma", 1, 0, ByteBuilder().u32(1).u32(0x10000).u8(1).u8(0x81));
    const Bytes v1f1 =
        makeFullBox("ipma", 1, 1, ByteBuilder().u32(2).u32(1).u8(1).u16(0x0002).u32(0x12345).u8(1).u16(0xFFFF));
    for (const auto& bytes : {v0, v0f1, v1, v1f1})
    {
        testsupport::expectRoundTrip<ItemPropertyAssociation>(bytes);
        testsupport::expectTruncationSafe<ItemPropertyAssociation>(bytes);
    }
    ItemPropertyAssociation parsed;
    testsupport::parseBytes(parsed, v1f1);
    EXPECT_EQ(parsed.getAssociationEntries(0x12345)[0].index, 0x7FFF);
    EXPECT_TRUE(parsed.getAssociationEntries(0x12345)[0].essential);

    // Built boxes pick the wider forms only when their content needs them.
    ItemPropertyAssociation built;
    built.addEntry(1, 1, true);
    built.addEntry(2, 2, false);
    EXPECT_EQ(testsupport::writeBytes(built),
              makeFullBox("ipma", 0, 0, ByteBuilder().u32(2).u16(1).u8(1).u8(0x81).u16(2).u8(1).u8(0x02)));
    built.addEntry(2, 200, false);
    EXPECT_EQ(testsupport::writeBytes(built),
              makeFullBox("ipma", 0, 1, ByteBuilder().u32(2).u16(1).u8(1).u16(0x8001).u16(2).u8(2).u16(2).u16(200)));
    built.addEntry(0x10000, 1, false);
    EXPECT_EQ(
        testsupport::writeBytes(built),
        makeFullBox(
            "ipma", 1, 1,
            ByteBuilder().u32(3).u32(1).u8(1).u16(0x8001).u32(2).u8(2).u16(2).u16(200).u32(0x10000).u8(1).u16(1)));
}

TEST(ItemPropertyAssociation, WriterRefusesWhatNoFormHolds)
{
    ItemPropertyAssociation tooMany;
    for (int i = 0; i < 256; ++i)
    {
        tooMany.addEntry(1, 1, false);
    }
    BitStream out;
    EXPECT_THROW(tooMany.writeBox(out), std::runtime_error);
    EXPECT_EQ(out.getSize(), 0u);

    ItemPropertyAssociation wideIndex;
    wideIndex.addEntry(1, 0x8000, false);
    EXPECT_THROW(wideIndex.writeBox(out), std::runtime_error);

    ItemPropertiesBox box;
    EXPECT_THROW(box.associateProperty(0x8000, {1}, false), std::runtime_error);
    EXPECT_TRUE(box.getItemProperties(1).empty());
    for (std::uint32_t i = 0; i < 0x7FFF; ++i)
    {
        box.getItemPropertyContainer().addProperty(std::make_shared<ImageRotation>());
    }
    EXPECT_THROW(box.addProperty(std::make_shared<ImageRotation>(), {1}, false), std::runtime_error);
    EXPECT_EQ(box.getItemPropertyContainer().getPropertyCount(), 0x7FFFu);
    EXPECT_TRUE(box.getItemProperties(1).empty());

    // Refused inside iprp: nothing of the box is written.
    ItemPropertiesBox refused;
    refused.getItemPropertyAssociation().addEntry(1, 0x8000, false);
    EXPECT_THROW(refused.writeBox(out), std::runtime_error);
    EXPECT_EQ(out.getSize(), 0u);
}

TEST(ItemPropertyAssociation, HostileCountEndsAtTheData)
{
    ItemPropertyAssociation box;
    EXPECT_THROW(testsupport::parseBytes(box, makeFullBox("ipma", 0, 0, ByteBuilder().u32(0xFFFFFFFF).u16(1).u8(0xFF))),
                 std::out_of_range);
    EXPECT_EQ(box.getAssociationEntries(1).size(), 0u);
}
