#include <gtest/gtest.h>

#include <stdexcept>

#include "BoxBuilder.h"
#include "ExpectRuntimeError.h"
#include "ItemDataBox.h"
#include "ItemLocationBox.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::expectRuntimeError;
using testsupport::makeBox;
using testsupport::makeFullBox;

namespace
{
// Version 0, sizes 4/4/4: items 1 (base 0x100, extents [0x10,5]) and 2 (base 0, two extents).
const Bytes kIlocV0 = makeFullBox("iloc", 0, 0,
                                  ByteBuilder()
                                      .u8(0x44)
                                      .u8(0x40)
                                      .u16(2)
                                      .u16(1)
                                      .u16(0)
                                      .u32(0x100)
                                      .u16(1)
                                      .u32(0x10)
                                      .u32(5)
                                      .u16(2)
                                      .u16(0)
                                      .u32(0)
                                      .u16(2)
                                      .u32(0x20)
                                      .u32(3)
                                      .u32(0x30)
                                      .u32(4));

// Version 1, sizes 4/4/0 and index size 4; item 7 in 'idat' with an indexed extent.
const Bytes kIlocV1Index = makeFullBox(
    "iloc", 1, 0, ByteBuilder().u8(0x44).u8(0x04).u16(1).u16(7).u16(0x0001).u16(0).u16(1).u32(2).u32(0).u32(10));

// Version 2, every size 8, a 32-bit item id.
const Bytes kIlocV2Wide = makeFullBox(
    "iloc", 2, 0,
    ByteBuilder().u8(0x88).u8(0x88).u32(1).u32(70000).u16(0x0002).u16(1).u64(0x2000).u16(1).u64(9).u64(0x1000).u64(
        0x20));

// Version 1, every size 0: one extent meaning "the whole data".
const Bytes kIlocV1Zero = makeFullBox("iloc", 1, 0, ByteBuilder().u8(0x00).u8(0x00).u16(1).u16(3).u16(0).u16(0).u16(1));

ItemLocationBox parse(const Bytes& bytes)
{
    ItemLocationBox box;
    testsupport::parseBytes(box, bytes);
    return box;
}
}  // namespace

TEST(ItemLocationBox, VersionZeroFields)
{
    const auto box = parse(kIlocV0);
    EXPECT_EQ(box.getOffsetSize(), 4u);
    EXPECT_EQ(box.getLengthSize(), 4u);
    EXPECT_EQ(box.getBaseOffsetSize(), 4u);
    ASSERT_EQ(box.getItemCount(), 2u);
    const auto& first = box.getItemLocationForID(1);
    EXPECT_EQ(first.getBaseOffset(), 0x100u);
    EXPECT_EQ(first.getConstructionMethod(), ItemLocation::kFileOffset);
    ASSERT_EQ(first.getExtentCount(), 1u);
    EXPECT_EQ(first.getExtent(0).mExtentOffset, 0x10u);
    EXPECT_EQ(first.getExtent(0).mExtentLength, 5u);
    const auto& second = box.getItemLocationForID(2);
    ASSERT_EQ(second.getExtentCount(), 2u);
    EXPECT_EQ(second.getExtentList()[1].mExtentOffset, 0x30u);
    EXPECT_EQ(second.getExtentList()[1].mExtentLength, 4u);
}

TEST(ItemLocationBox, RoundTripsEveryVersionAndSize)
{
    testsupport::expectRoundTrip<ItemLocationBox>(kIlocV0);
    testsupport::expectRoundTrip<ItemLocationBox>(kIlocV1Index);
    testsupport::expectRoundTrip<ItemLocationBox>(kIlocV2Wide);
    testsupport::expectRoundTrip<ItemLocationBox>(kIlocV1Zero);
    // Odd sizes are read and written the same way.
    testsupport::expectRoundTrip<ItemLocationBox>(
        makeFullBox("iloc", 1, 0,
                    ByteBuilder().u8(0x23).u8(0x10).u16(1).u16(1).u16(0).u16(0).u8(0x7F).u16(1).u24(0xABCDEF).u16(9)));
}

TEST(ItemLocationBox, IndexAndConstructionMethod)
{
    const auto box = parse(kIlocV1Index);
    EXPECT_EQ(box.getIndexSize(), 4u);
    const auto& location = box.getItemLocationForID(7);
    EXPECT_EQ(location.getConstructionMethod(), ItemLocation::kIdatOffset);
    EXPECT_EQ(location.getBaseOffset(), 0u);  // base offset size 0
    EXPECT_EQ(location.getExtent(0).mExtentIndex, 2u);

    // The item addresses the first ten bytes of 'idat'.
    ItemDataBox idat;
    idat.addData(Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    Bytes item;
    idat.read(item, location.getExtent(0).mExtentOffset, location.getExtent(0).mExtentLength);
    EXPECT_EQ(item, (Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));

    // In version 0 the fourth field is reserved: no index is read even when it is set.
    const auto v0 =
        parse(makeFullBox("iloc", 0, 0, ByteBuilder().u8(0x44).u8(0x04).u16(1).u16(1).u16(0).u16(1).u32(6).u32(7)));
    EXPECT_EQ(v0.getIndexSize(), 0u);
    EXPECT_EQ(v0.getItemLocationForID(1).getExtent(0).mExtentOffset, 6u);
}

TEST(ItemLocationBox, WideFieldsAndIds)
{
    const auto box = parse(kIlocV2Wide);
    const auto& location = box.getItemLocationForID(70000);
    EXPECT_EQ(location.getConstructionMethod(), ItemLocation::kItemOffset);
    EXPECT_EQ(location.getDataReferenceIndex(), 1u);
    EXPECT_EQ(location.getBaseOffset(), 0x2000u);
    EXPECT_EQ(location.getExtent(0).mExtentIndex, 9u);
    EXPECT_EQ(location.getExtent(0).mExtentOffset, 0x1000u);

    // Version 2 keeps 32-bit ids for every item, whatever the first one's method.
    const auto two = parse(makeFullBox(
        "iloc", 2, 0,
        ByteBuilder().u8(0x44).u8(0x00).u32(2).u32(1).u16(1).u16(0).u16(0).u32(0x12345).u16(0).u16(0).u16(0)));
    EXPECT_TRUE(two.hasItemIdEntry(0x12345));
}

TEST(ItemLocationBox, VersionAboveTwoHoldsNoLocations)
{
    const Bytes v3 = makeFullBox("iloc", 3, 0, ByteBuilder().u8(0x44).u8(0x40).u16(1).u16(1));
    const auto box = parse(v3);
    EXPECT_EQ(box.getItemCount(), 0u);
    testsupport::expectRoundTrip<ItemLocationBox>(makeFullBox("iloc", 3, 0, ByteBuilder().u8(0x44).u8(0x40)));

    ItemLocationBox holding = parse(v3);
    ItemLocation location;
    location.setItemID(1);
    holding.addLocation(location);
    EXPECT_THROW(testsupport::writeBytes(holding), std::runtime_error);
}

TEST(ItemLocationBox, LookupsTakeTheFirstAndNameTheirFailures)
{
    ItemLocationBox box;
    ItemLocation a;
    a.setItemID(5);
    a.setBaseOffset(1);
    ItemLocation b;
    b.setItemID(5);
    b.setBaseOffset(2);
    box.addLocation(a);
    box.addLocation(b);
    EXPECT_EQ(box.getItemLocationForID(5).getBaseOffset(), 1u);
    box.addExtent(5, {0, 3, 4});
    EXPECT_EQ(box.getItemLocations()[0].getExtentCount(), 1u);
    EXPECT_EQ(box.getItemLocations()[1].getExtentCount(), 0u);
    EXPECT_TRUE(box.setItemDataReferenceIndex(5, 1));
    EXPECT_EQ(box.getItemLocationForID(5).getDataReferenceIndex(), 1u);
    EXPECT_FALSE(box.setItemDataReferenceIndex(6, 1));
    EXPECT_FALSE(box.hasItemIdEntry(6));

    expectRuntimeError([&] { box.getItemLocationForID(6); }, "ItemLocationBox::getItemLocationForID: invalid item ID");
    expectRuntimeError([&] { box.addExtent(6, {}); }, "ItemLocationBox::addExtent() invalid item id");
    expectRuntimeError([&] { box.getItemLocationForID(5).getExtent(1); },
                       "ItemLocationBox::getExtent: invalid extent ID");
}

TEST(ItemLocationBox, WriterPicksAVersionThatHoldsItsData)
{
    ItemLocationBox box;
    ItemLocation idat;
    idat.setItemID(1);
    idat.setConstructionMethod(ItemLocation::kIdatOffset);
    box.addLocation(idat);
    EXPECT_EQ(box.getVersion(), 1u);  // version 0 has no construction method

    ItemLocation wide;
    wide.setItemID(0x10000);
    wide.addExtent({0, 1, 2});
    box.addLocation(wide);
    const Bytes written = testsupport::writeBytes(box);
    EXPECT_EQ(box.getVersion(), 2u);
    const auto back = parse(written);
    EXPECT_EQ(back.getVersion(), 2u);
    EXPECT_EQ(back.getItemLocationForID(0x10000).getExtent(0).mExtentLength, 2u);
    EXPECT_EQ(back.getItemLocationForID(1).getConstructionMethod(), ItemLocation::kIdatOffset);

    // An index size asks for version 1, where the index exists.
    ItemLocationBox indexed;
    indexed.setIndexSize(2);
    ItemLocation item;
    item.setItemID(3);
    item.addExtent({7, 1, 1});
    indexed.addLocation(item);
    const auto indexedBack = parse(testsupport::writeBytes(indexed));
    EXPECT_EQ(indexedBack.getVersion(), 1u);
    EXPECT_EQ(indexedBack.getItemLocationForID(3).getExtent(0).mExtentIndex, 7u);
}

TEST(ItemLocationBox, WriterRefusesWhatItsFieldsCannotHold)
{
    auto boxWith = [](const ItemLocation& location)
    {
        ItemLocationBox box;
        box.addLocation(location);
        return box;
    };
    ItemLocation bigOffset;
    bigOffset.addExtent({0, 0x100000000ull, 1});
    auto a = boxWith(bigOffset);
    EXPECT_THROW(testsupport::writeBytes(a), std::runtime_error);

    ItemLocation baseWithoutField;
    baseWithoutField.setBaseOffset(1);
    auto b = boxWith(baseWithoutField);
    b.setBaseOffsetSize(0);
    EXPECT_THROW(testsupport::writeBytes(b), std::runtime_error);

    ItemLocation method;
    method.setConstructionMethod(16);
    auto c = boxWith(method);
    EXPECT_THROW(testsupport::writeBytes(c), std::runtime_error);

    ItemLocation manyExtents;
    for (int i = 0; i < 0x10000; ++i)
    {
        manyExtents.addExtent({});
    }
    auto d = boxWith(manyExtents);
    EXPECT_THROW(testsupport::writeBytes(d), std::runtime_error);

    ItemLocationBox sizes;
    EXPECT_THROW(sizes.setOffsetSize(9), std::runtime_error);
    EXPECT_THROW(sizes.setIndexSize(15), std::runtime_error);
    sizes.setLengthSize(8);
    EXPECT_EQ(sizes.getLengthSize(), 8u);
}

TEST(ItemLocationBox, RefusesSizesAboveEightBytes)
{
    // Each of the four size fields in turn set to 9 to 15.
    for (std::uint32_t size = 9; size <= 15; ++size)
    {
        for (int field = 0; field < 4; ++field)
        {
            std::uint32_t sizes[4] = {4, 4, 4, 4};
            sizes[field] = size;
            const Bytes bytes = makeFullBox("iloc", 1, 0,
                                            ByteBuilder()
                                                .u8(sizes[0] << 4 | sizes[1])
                                                .u8(sizes[2] << 4 | sizes[3])
                                                .u16(1)
                                                .u16(1)
                                                .u16(0)
                                                .u16(0)
                                                .raw(Bytes(64, 0)));
            ItemLocationBox box;
            EXPECT_THROW(testsupport::parseBytes(box, bytes), std::runtime_error) << size << " in field " << field;
        }
    }
}

TEST(ItemLocationBox, RefusesValuesAbove32BitsInsteadOfCuttingThem)
{
    auto withBase = [](std::uint64_t base, std::uint64_t offset, std::uint64_t length)
    {
        return makeFullBox(
            "iloc", 0, 0,
            ByteBuilder().u8(0x88).u8(0x80).u16(1).u16(1).u16(0).u64(base).u16(1).u64(offset).u64(length));
    };
    EXPECT_NO_THROW(parse(withBase(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)));
    ItemLocationBox base;
    EXPECT_THROW(testsupport::parseBytes(base, withBase(0x100000000ull, 0, 1)), std::runtime_error);
    ItemLocationBox offset;
    EXPECT_THROW(testsupport::parseBytes(offset, withBase(0, 0x100001000ull, 1)), std::runtime_error);
    ItemLocationBox length;
    EXPECT_THROW(testsupport::parseBytes(length, withBase(0, 0, 0x8000000000000001ull)), std::runtime_error);
}

TEST(ItemLocationBox, HostileCountsFailFast)
{
    // 2^32 - 1 items in a few bytes: ends at the data's end, nothing sized from the count.
    ItemLocationBox items;
    EXPECT_THROW(testsupport::parseBytes(
                     items, makeFullBox("iloc", 2, 0, ByteBuilder().u8(0x44).u8(0x40).u32(0xFFFFFFFF).u32(1))),
                 std::out_of_range);

    // 65535 extents of 8 bytes promised by 8 bytes of data.
    ItemLocationBox extents;
    EXPECT_THROW(
        testsupport::parseBytes(
            extents,
            makeFullBox("iloc", 0, 0, ByteBuilder().u8(0x44).u8(0x00).u16(1).u16(1).u16(0).u16(0xFFFF).u32(0).u32(1))),
        std::out_of_range);
    EXPECT_EQ(extents.getItemCount(), 0u);

    // Extents without fields take no bytes, so nothing in the data bounds them; over many items
    // they would add up to billions of extents. Refused; a single one stays valid.
    ItemLocationBox fieldless;
    EXPECT_THROW(testsupport::parseBytes(
                     fieldless, makeFullBox("iloc", 0, 0, ByteBuilder().u8(0).u8(0).u16(1).u16(1).u16(0).u16(0xFFFF))),
                 std::runtime_error);
    EXPECT_EQ(parse(kIlocV1Zero).getItemLocationForID(3).getExtentCount(), 1u);
}

TEST(ItemLocationBox, TruncationKeepsCompletedLocations)
{
    const Bytes cut(kIlocV0.begin(), kIlocV0.end() - 3);
    ItemLocationBox box;
    EXPECT_THROW(testsupport::parseBytes(box, cut), std::out_of_range);
    EXPECT_EQ(box.getItemCount(), 1u);
    EXPECT_TRUE(box.hasItemIdEntry(1));

    testsupport::expectTruncationSafe<ItemLocationBox>(kIlocV0);
    testsupport::expectTruncationSafe<ItemLocationBox>(kIlocV1Index);
    testsupport::expectTruncationSafe<ItemLocationBox>(kIlocV2Wide);
}

TEST(ItemLocationBox, SecondBoxAddsToTheFirst)
{
    ItemLocationBox box;
    testsupport::parseBytes(box, kIlocV0);
    testsupport::parseBytes(box, kIlocV1Index);
    EXPECT_EQ(box.getItemCount(), 3u);
}

TEST(ItemDataBox, AddDataReturnsOffsets)
{
    ItemDataBox box;
    EXPECT_EQ(testsupport::writeBytes(box), Bytes{});
    EXPECT_EQ(box.addData(Bytes{1, 2, 3}), 0u);
    EXPECT_EQ(box.addData(Bytes{4}), 3u);
    EXPECT_EQ(box.addData(Bytes{5, 6}), 4u);
    const Bytes expected = makeBox("idat", Bytes{1, 2, 3, 4, 5, 6});
    EXPECT_EQ(testsupport::writeBytes(box), expected);
    testsupport::expectRoundTrip<ItemDataBox>(expected);
    testsupport::expectTruncationSafe<ItemDataBox>(expected);
}

TEST(ItemDataBox, ReadStaysInsideTheData)
{
    ItemDataBox box;
    testsupport::parseBytes(box, makeBox("idat", Bytes{1, 2, 3, 4, 5}));
    Bytes dest{9};
    box.read(dest, 1, 3);
    EXPECT_EQ(dest, (Bytes{9, 2, 3, 4}));
    box.read(dest, 5, 0);
    EXPECT_EQ(dest.size(), 4u);

    Bytes untouched;
    EXPECT_THROW(box.read(untouched, 3, 3), std::out_of_range);
    EXPECT_THROW(box.read(untouched, 6, 0), std::out_of_range);
    // Offset plus length wraps to 2 in 64 bits; must still be refused.
    EXPECT_THROW(box.read(untouched, 3, 0xFFFFFFFFFFFFFFFFull), std::out_of_range);
    EXPECT_THROW(box.read(untouched, 0xFFFFFFFFFFFFFFFFull, 3), std::out_of_range);
    EXPECT_TRUE(untouched.empty());
}
