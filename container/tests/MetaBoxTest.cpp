#include <gtest/gtest.h>

#include <stdexcept>

#include "BoxBuilder.h"
#include "HevcConfigurationBox.h"
#include "ImageRotation.h"
#include "ImageSpatialExtentsProperty.h"
#include "MetaBox.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::concat;
using testsupport::makeBox;
using testsupport::makeFullBox;
using Type = ItemPropertiesBox::PropertyType;

namespace
{
const Bytes kHdlr = makeFullBox("hdlr", 0, 0, ByteBuilder().u32(0).str("pict").u32(0).u32(0).u32(0).u8(0));
const Bytes kPitm = makeFullBox("pitm", 0, 0, ByteBuilder().u16(1));
// Items 1 (hvc1, 10 bytes), 2 (Exif, 6 bytes) and 3 (grid, 8 bytes), all in idat.
const Bytes kIloc = makeFullBox("iloc", 1, 0,
                                ByteBuilder()
                                    .u8(0x44)
                                    .u8(0x00)
                                    .u16(3)
                                    .u16(1)
                                    .u16(1)
                                    .u16(0)
                                    .u16(1)
                                    .u32(0)
                                    .u32(10)
                                    .u16(2)
                                    .u16(1)
                                    .u16(0)
                                    .u16(1)
                                    .u32(10)
                                    .u32(6)
                                    .u16(3)
                                    .u16(1)
                                    .u16(0)
                                    .u16(1)
                                    .u32(16)
                                    .u32(8));
const Bytes kIinf =
    makeFullBox("iinf", 0, 0,
                concat({ByteBuilder().u16(3), makeFullBox("infe", 2, 0, ByteBuilder().u16(1).u16(0).str("hvc1").u8(0)),
                        makeFullBox("infe", 2, 1, ByteBuilder().u16(2).u16(0).str("Exif").u8(0)),
                        makeFullBox("infe", 2, 0, ByteBuilder().u16(3).u16(0).str("grid").u8(0))}));
const Bytes kIdat = makeBox("idat", ByteBuilder()
                                        .raw({0, 0, 0, 6, 0x26, 0x01, 0xAF, 0x00, 0x11, 0x22})
                                        .raw({0, 0, 0, 0, 'M', 'M'})
                                        .raw({0, 0, 0, 0, 0, 64, 0, 48}));
const Bytes kIref = makeFullBox(
    "iref", 0, 0,
    concat({makeBox("dimg", ByteBuilder().u16(3).u16(1).u16(1)), makeBox("cdsc", ByteBuilder().u16(2).u16(1).u16(1))}));
const Bytes kIspe = makeFullBox("ispe", 0, 0, ByteBuilder().u32(64).u32(48));
const Bytes kIrot = makeBox("irot", Bytes{0x01});
const Bytes kPixi = makeFullBox("pixi", 0, 0, ByteBuilder().u8(3).u8(8).u8(8).u8(8));
const Bytes kDinf =
    makeBox("dinf", makeFullBox("dref", 0, 0, concat({ByteBuilder().u32(1), makeFullBox("url ", 0, 1, {})})));

Bytes hvcc()
{
    HevcConfigurationBox box;
    box.getConfiguration().addNalUnit({0x40, 0x01, 0x0C}, 32, 1);
    box.getConfiguration().addNalUnit({0x42, 0x01, 0x01}, 33, 1);
    box.getConfiguration().addNalUnit({0x44, 0x01, 0xC1}, 34, 1);
    return testsupport::writeBytes(box);
}

Bytes iprp(bool withUnknown)
{
    const Bytes ipco =
        makeBox("ipco", withUnknown ? concat({kIspe, hvcc(), kIrot, kPixi}) : concat({kIspe, hvcc(), kIrot}));
    // Item 1: ispe, essential hvcC, essential irot (and pixi when present); item 3: ispe.
    ByteBuilder ipma;
    ipma.u32(2).u16(1).u8(withUnknown ? 4 : 3).u8(0x01).u8(0x82).u8(0x83);
    if (withUnknown)
    {
        ipma.u8(0x04);
    }
    ipma.u16(3).u8(1).u8(0x01);
    return makeBox("iprp", concat({ipco, makeFullBox("ipma", 0, 0, ipma)}));
}

/// The meta box with its children in an order other than the write order, a dinf and an
/// unknown property.
Bytes shuffledMeta()
{
    return makeFullBox("meta", 0, 0, concat({kIinf, kIloc, kDinf, kHdlr, iprp(true), kIdat, kPitm, kIref}));
}

Bytes canonicalMeta()
{
    return makeFullBox("meta", 0, 0, concat({kHdlr, kPitm, kIloc, kIinf, kIref, kIdat, iprp(false)}));
}

MetaBox parseQuietly(const Bytes& bytes)
{
    MetaBox meta;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try
    {
        testsupport::parseBytes(meta, bytes);
    }
    catch (...)
    {
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        throw;
    }
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return meta;
}
}  // namespace

TEST(MetaBox, SyntheticMetaFieldByField)
{
    const MetaBox meta = parseQuietly(shuffledMeta());
    EXPECT_EQ(meta.getHandlerType(), "pict");
    EXPECT_EQ(meta.getPrimaryItemBox().getItemId(), 1u);
    EXPECT_EQ(meta.getItemInfoBox().getItemIds(), (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_EQ(meta.getItemInfoBox().getItemById(2).getItemType(), "Exif");
    EXPECT_TRUE(meta.getItemInfoBox().getItemById(2).isHidden());

    const ItemLocation& exif = meta.getItemLocationBox().getItemLocationForID(2);
    EXPECT_EQ(exif.getConstructionMethod(), ItemLocation::kIdatOffset);
    ASSERT_EQ(exif.getExtentCount(), 1u);
    Bytes exifBytes;
    meta.getItemDataBox().read(exifBytes, exif.getExtent(0).mExtentOffset, exif.getExtent(0).mExtentLength);
    EXPECT_EQ(exifBytes, (Bytes{0, 0, 0, 0, 'M', 'M'}));

    const auto& props = meta.getItemPropertiesBox();
    EXPECT_EQ(props.findPropertyIndex(Type::HVCC, 1), 2u);
    EXPECT_EQ(props.getPropertyByIndex<ImageRotation>(2)->getAngle(), 90u);
    EXPECT_EQ(props.getPropertyByIndex<ImageSpatialExtentsProperty>(props.findPropertyIndex(Type::ISPE, 3) - 1)
                  ->getDisplayWidth(),
              64u);
    const auto infos = props.getItemProperties(1);
    ASSERT_EQ(infos.size(), 4u);
    EXPECT_TRUE(infos[1].essential);
    EXPECT_EQ(infos[3].type, Type::UNKNOWN);
    Bytes vps;
    props.getPropertyByIndex<HevcConfigurationBox>(1)->getConfiguration().appendParameterSets(vps, 32);
    EXPECT_EQ(vps, (Bytes{0, 0, 0, 1, 0x40, 0x01, 0x0C}));

    const auto dimg = meta.getItemReferenceBox().getReferencesOfType(FourCCInt("dimg"));
    ASSERT_EQ(dimg.size(), 1u);
    EXPECT_EQ(dimg[0].getToItemIds(), (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(meta.getDataInformationBox().getDataReferenceBox().getEntries().size(), 1u);
}

TEST(MetaBox, WritesInFixedOrderWithoutDinf)
{
    MetaBox meta = parseQuietly(shuffledMeta());
    const Bytes written = testsupport::writeBytes(meta);
    // The order hdlr, pitm, iloc, (ipro), iinf, iref, idat, iprp; no dinf; the unknown pixi is
    // written back as read, so its index in ipma still names it.
    const Bytes expected = makeFullBox(
        "meta", 0, 0,
        concat(
            {kHdlr, kPitm, kIloc, kIinf, kIref, kIdat,
             makeBox("iprp",
                     concat({makeBox("ipco", concat({kIspe, hvcc(), kIrot, kPixi})),
                             makeFullBox(
                                 "ipma", 0, 0,
                                 ByteBuilder().u32(2).u16(1).u8(4).u8(0x01).u8(0x82).u8(0x83).u8(0x04).u16(3).u8(1).u8(
                                     0x01))}))}));
    EXPECT_EQ(written, expected);

    // Written children already in order, without unknowns, round-trip exactly.
    testsupport::expectRoundTrip<MetaBox>(canonicalMeta());
}

TEST(MetaBox, ChildOrderAndRepeatedChildren)
{
    // iloc before iinf parses the same as the reverse.
    const Bytes a = makeFullBox("meta", 0, 0, concat({kHdlr, kIloc, kIinf}));
    const Bytes b = makeFullBox("meta", 0, 0, concat({kHdlr, kIinf, kIloc}));
    MetaBox first = parseQuietly(a);
    MetaBox second = parseQuietly(b);
    EXPECT_EQ(testsupport::writeBytes(first), testsupport::writeBytes(second));

    // Two iinf children end up in one box; an id present in both keeps its first entry.
    const Bytes extra = makeFullBox(
        "iinf", 0, 0,
        concat({ByteBuilder().u16(2), makeFullBox("infe", 2, 0, ByteBuilder().u16(2).u16(0).str("mime").u8(0).u8(0)),
                makeFullBox("infe", 2, 0, ByteBuilder().u16(9).u16(0).str("uri ").u8(0).u8(0))}));
    const MetaBox twice = parseQuietly(makeFullBox("meta", 0, 0, concat({kIinf, extra})));
    EXPECT_EQ(twice.getItemInfoBox().getItemIds(), (std::vector<std::uint32_t>{1, 2, 3, 9}));
    EXPECT_EQ(twice.getItemInfoBox().getItemById(2).getItemType(), "Exif");
}

TEST(MetaBox, OnlyUnknownChildLeavesMembersEmpty)
{
    const MetaBox meta = parseQuietly(makeFullBox("meta", 0, 0, makeBox("xyzw", Bytes{1, 2, 3})));
    EXPECT_EQ(meta.getHandlerType(), "");
    EXPECT_TRUE(meta.getItemInfoBox().getItemIds().empty());
    EXPECT_EQ(meta.getItemLocationBox().getItemCount(), 0u);
    EXPECT_EQ(meta.getItemPropertiesBox().getItemPropertyContainer().getPropertyCount(), 0u);
    EXPECT_TRUE(meta.getItemDataBox().getData().empty());
    EXPECT_TRUE(meta.getGroupsListBox().getEntityToGroupBoxes().empty());
    EXPECT_THROW(meta.getProtectionSchemeInfoBox(0), std::out_of_range);
}

TEST(MetaBox, FailuresPassOutAndEarlierMembersStay)
{
    Bytes badIprp = makeBox("iprp", concat({makeBox("ipco", {}), makeBox("free", {})}));
    EXPECT_THROW(parseQuietly(makeFullBox("meta", 0, 0, concat({kHdlr, badIprp}))), std::runtime_error);

    MetaBox meta;
    Bytes truncatedIspe = makeBox("iprp", concat({makeBox("ipco", makeFullBox("ispe", 0, 0, Bytes{0, 0})),
                                                  makeFullBox("ipma", 0, 0, ByteBuilder().u32(0))}));
    EXPECT_THROW(testsupport::parseBytes(meta, makeFullBox("meta", 0, 0, concat({kHdlr, truncatedIspe}))),
                 std::out_of_range);
    EXPECT_EQ(meta.getHandlerType(), "pict");

    // A child running past its parent is the stream's failure; nothing is sized from it.
    MetaBox hostile;
    EXPECT_THROW(testsupport::parseBytes(hostile, makeFullBox("meta", 0, 0, ByteBuilder().u32(0xFFFFFFF0).str("iinf"))),
                 std::out_of_range);

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    testsupport::expectTruncationSafe<MetaBox>(shuffledMeta());
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
}

TEST(MetaBox, BuildingHelpers)
{
    MetaBox meta;
    meta.setHandlerType("pict");
    meta.setPrimaryItemId(1);
    meta.addFileItem(1, "hvc1", "", 1000);
    meta.addMdatExtent(1, 0, 500);
    meta.addMdatExtent(1, 500, 20);
    meta.addIdatItem(2, "Exif", "", {0, 0, 0, 0, 'I', 'I'});
    meta.addIdatExtent(2, {42, 0});
    meta.addItem(70000, "mime", "big", true);
    meta.addIloc(70000, 4, 8, 2000);
    meta.addItemReference(FourCCInt("cdsc"), 2, 1);
    const std::uint32_t ispe = meta.addProperty(std::make_shared<ImageSpatialExtentsProperty>(64, 48), {1}, false);
    EXPECT_EQ(meta.addProperty(std::make_shared<ImageSpatialExtentsProperty>(64, 48), {70000}, false), ispe);
    meta.addProperty(ispe + 1, {2}, true);
    meta.addEntityGroup(FourCCInt("altr"), {1, 70000});

    // An extent for an unknown item is refused before idat changes.
    EXPECT_THROW(meta.addIdatExtent(5, {1, 2, 3}), std::runtime_error);
    EXPECT_EQ(meta.getItemDataBox().getData().size(), 8u);

    MetaBox parsed = parseQuietly(testsupport::writeBytes(meta));
    EXPECT_EQ(parsed.getHandlerType(), "pict");
    EXPECT_EQ(parsed.getItemInfoBox().getItemIds(), (std::vector<std::uint32_t>{1, 2, 70000}));
    const ItemInfoEntry big = parsed.getItemInfoBox().getItemById(70000);
    EXPECT_EQ(big.getVersion(), 3);
    EXPECT_TRUE(big.isHidden());
    EXPECT_EQ(big.getItemName(), "big");
    const ItemLocation& file = parsed.getItemLocationBox().getItemLocationForID(1);
    EXPECT_EQ(file.getBaseOffset(), 1000u);
    EXPECT_EQ(file.getExtentCount(), 2u);
    const ItemLocation& exif = parsed.getItemLocationBox().getItemLocationForID(2);
    EXPECT_EQ(exif.getConstructionMethod(), ItemLocation::kIdatOffset);
    ASSERT_EQ(exif.getExtentCount(), 2u);
    EXPECT_EQ(exif.getExtent(1).mExtentOffset, 6u);
    EXPECT_EQ(parsed.getItemLocationBox().getItemLocationForID(70000).getBaseOffset(), 2000u);
    EXPECT_EQ(parsed.getItemReferenceBox().getReferencesOfType(FourCCInt("cdsc")).size(), 1u);
    EXPECT_EQ(parsed.getItemPropertiesBox().findPropertyIndex(Type::ISPE, 70000), 1u);
    EXPECT_TRUE(parsed.getItemPropertiesBox().getItemProperties(2)[0].essential);
    ASSERT_EQ(parsed.getGroupsListBox().getEntityToGroupBoxes().size(), 1u);
    EXPECT_EQ(parsed.getGroupsListBox().getEntityToGroupBoxes()[0].getType(), FourCCInt("altr"));
    EXPECT_EQ(testsupport::writeBytes(parsed), testsupport::writeBytes(meta));
}

TEST(MetaBox, RefusedMemberLeavesNothingWritten)
{
    MetaBox meta;
    meta.setHandlerType("pict");
    meta.getItemPropertiesBox().getItemPropertyAssociation().addEntry(1, 0x8000, false);
    BitStream out;
    out.writeU8(0xAB);
    EXPECT_THROW(meta.writeBox(out), std::runtime_error);
    EXPECT_EQ(out.getStorage(), (Bytes{0xAB}));
}
