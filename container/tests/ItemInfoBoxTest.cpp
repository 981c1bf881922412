#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "BoxBuilder.h"
#include "ExpectRuntimeError.h"
#include "ItemInfoBox.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::concat;
using testsupport::expectRuntimeError;
using testsupport::makeFullBox;

namespace
{
Bytes infe2(std::uint32_t id, const std::string& type, const std::string& name = "")
{
    return makeFullBox("infe", 2, 0, ByteBuilder().u16(id).u16(0).str(type).zstr(name));
}

Bytes iinf(std::uint8_t version, std::uint32_t count, const Bytes& entries)
{
    ByteBuilder payload;
    if (version == 0)
    {
        payload.u16(count);
    }
    else
    {
        payload.u32(count);
    }
    return makeFullBox("iinf", version, 0, payload.raw(entries));
}

const Bytes kFdEntry = makeFullBox("infe", 1, 0,
                                   ByteBuilder()
                                       .u16(9)
                                       .u16(1)
                                       .zstr("clip")
                                       .zstr("video/mp4")
                                       .zstr("gzip")
                                       .str("fdel")
                                       .zstr("http://x/clip")
                                       .zstr("d41d8cd9")
                                       .u32(1)
                                       .u32(2)
                                       .u32(0)
                                       .u32(300)
                                       .u8(2)
                                       .u32(11)
                                       .u32(12));

ItemInfoBox parse(const Bytes& bytes)
{
    ItemInfoBox box;
    testsupport::parseBytes(box, bytes);
    return box;
}
}  // namespace

TEST(ItemInfoBox, ItemsByIdAndType)
{
    const Bytes bytes = iinf(0, 2, concat({infe2(1, "hvc1"), infe2(2, "Exif")}));
    const auto box = parse(bytes);
    EXPECT_EQ(box.getItemIds(), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(box.getItemById(1).getItemType(), "hvc1");
    EXPECT_EQ(box.getItemById(2).getItemType(), "Exif");
    testsupport::expectRoundTrip<ItemInfoBox>(bytes);

    expectRuntimeError([&] { box.getItemById(3); }, "Requested ItemInfoEntry not found.");
}

TEST(ItemInfoBox, AscendingIdsFirstEntryWins)
{
    const auto box = parse(iinf(
        1, 4, concat({infe2(5, "hvc1"), infe2(3, "grid", "first"), infe2(3, "Exif", "second"), infe2(4, "hvc1")})));
    EXPECT_EQ(box.getItemIds(), (std::vector<std::uint32_t>{3, 4, 5}));
    EXPECT_EQ(box.getItemById(3).getItemName(), "first");

    EXPECT_EQ(box.countItemsOfType("hvc1"), 2u);
    const auto hvc = box.getItemsByType("hvc1");
    ASSERT_EQ(hvc.size(), 2u);
    EXPECT_EQ(hvc[0].getItemID(), 4u);
    EXPECT_EQ(box.getItemByTypeAndIndex("hvc1", 1)->getItemID(), 5u);
    EXPECT_FALSE(box.getItemByTypeAndIndex("hvc1", 2).has_value());
    const auto indexed = box.getIndexOfItemOfType("hvc1", 5);
    ASSERT_TRUE(indexed.has_value());
    EXPECT_EQ(indexed->second, 1u);
    EXPECT_FALSE(box.getIndexOfItemOfType("grid", 5).has_value());

    ItemInfoBox cleared = box;
    cleared.clear();
    EXPECT_TRUE(cleared.getItemIds().empty());
}

TEST(ItemInfoBox, MimeEncodingIsOptional)
{
    const Bytes withoutEncoding =
        makeFullBox("infe", 2, 0, ByteBuilder().u16(1).u16(0).str("mime").zstr("xmp").zstr("application/rdf+xml"));
    const Bytes emptyEncoding =
        makeFullBox("infe", 2, 0, ByteBuilder().u16(2).u16(0).str("mime").zstr("").zstr("text/plain").u8(0));
    const Bytes withEncoding =
        makeFullBox("infe", 2, 0, ByteBuilder().u16(3).u16(0).str("mime").zstr("").zstr("text/plain").zstr("gzip"));

    const auto box = parse(iinf(0, 4, concat({withoutEncoding, emptyEncoding, withEncoding, infe2(4, "hvc1")})));
    ASSERT_EQ(box.getItemIds().size(), 4u);
    EXPECT_EQ(box.getItemById(1).getContentType(), "application/rdf+xml");
    EXPECT_EQ(box.getItemById(1).getContentEncoding(), "");
    EXPECT_EQ(box.getItemById(2).getContentEncoding(), "");
    EXPECT_EQ(box.getItemById(3).getContentEncoding(), "gzip");
    EXPECT_EQ(box.getItemById(4).getItemType(), "hvc1");

    // As the last entry, without encoding.
    const auto last = parse(iinf(0, 1, withoutEncoding));
    EXPECT_EQ(last.getItemById(1).getContentEncoding(), "");

    // The encoding is always written, so these round-trip byte for byte.
    testsupport::expectRoundTrip<ItemInfoEntry>(emptyEncoding);
    testsupport::expectRoundTrip<ItemInfoEntry>(withEncoding);
}

TEST(ItemInfoEntry, EveryVersionRoundTrips)
{
    const Bytes v0 = makeFullBox("infe", 0, 1, ByteBuilder().u16(1).u16(0).zstr("name").zstr("image/jpeg").zstr(""));
    const Bytes v2Uri = makeFullBox("infe", 2, 0, ByteBuilder().u16(2).u16(3).str("uri ").zstr("n").zstr("urn:x:y"));
    const Bytes v3 = makeFullBox("infe", 3, 0, ByteBuilder().u32(0x12345678).u16(0).str("Exif").zstr(""));
    for (const auto& bytes : {v0, kFdEntry, v2Uri, v3})
    {
        testsupport::expectRoundTrip<ItemInfoEntry>(bytes);
    }

    ItemInfoEntry entry;
    testsupport::parseBytes(entry, v0);
    EXPECT_TRUE(entry.isHidden());
    EXPECT_EQ(entry.getContentType(), "image/jpeg");
    EXPECT_EQ(entry.getItemInfoExtension(), nullptr);
    testsupport::parseBytes(entry, v2Uri);
    EXPECT_EQ(entry.getItemProtectionIndex(), 3u);
    EXPECT_EQ(entry.getItemUriType(), "urn:x:y");
    testsupport::parseBytes(entry, v3);
    EXPECT_EQ(entry.getItemID(), 0x12345678u);

    // From version 4 on there is no id field.
    ItemInfoEntry v4;
    testsupport::parseBytes(v4, makeFullBox("infe", 4, 0, ByteBuilder().u16(0).str("hvc1").zstr("")));
    EXPECT_EQ(v4.getItemID(), 0u);
    EXPECT_EQ(v4.getItemType(), "hvc1");
}

TEST(ItemInfoEntry, VersionOneCarriesItsExtensionAndCopiesAreDeep)
{
    ItemInfoEntry entry;
    testsupport::parseBytes(entry, kFdEntry);
    EXPECT_EQ(entry.getExtensionType(), "fdel");
    const auto* fd = dynamic_cast<const FDItemInfoExtension*>(entry.getItemInfoExtension());
    ASSERT_NE(fd, nullptr);
    EXPECT_EQ(fd->getContentLocation(), "http://x/clip");
    EXPECT_EQ(fd->getContentLength(), 0x100000002ull);
    EXPECT_EQ(fd->getTransferLength(), 300u);
    EXPECT_EQ(fd->getEntryCount(), 2u);
    EXPECT_EQ(fd->getGroupID(1), 12u);

    // Any other extension type is still read as the file-delivery extension.
    Bytes other = kFdEntry;
    const std::string name = "fdel";
    const auto at = std::search(other.begin(), other.end(), name.begin(), name.end());
    std::copy_n("abcd", 4, at);
    ItemInfoEntry odd;
    testsupport::parseBytes(odd, other);
    EXPECT_NE(dynamic_cast<const FDItemInfoExtension*>(odd.getItemInfoExtension()), nullptr);

    ItemInfoBox box;
    box.addItemInfoEntry(entry);
    ItemInfoEntry copy = box.getItemById(9);
    copy = box.getItemById(9);
    static_cast<FDItemInfoExtension*>(copy.getItemInfoExtension())->setContentLocation("elsewhere");
    const auto stored = box.getItemById(9);
    EXPECT_EQ(static_cast<const FDItemInfoExtension*>(stored.getItemInfoExtension())->getContentLocation(),
              "http://x/clip");
    EXPECT_EQ(testsupport::writeBytes(box), iinf(0, 1, kFdEntry));
}

TEST(ItemInfoEntry, WriterRefusesWhatItsFieldsCannotHold)
{
    ItemInfoEntry wide;
    wide.setVersion(2);
    wide.setItemID(70000);
    wide.setItemType("hvc1");
    const Bytes written = testsupport::writeBytes(wide);
    EXPECT_EQ(wide.getVersion(), 3u);
    ItemInfoEntry back;
    testsupport::parseBytes(back, written);
    EXPECT_EQ(back.getItemID(), 70000u);

    ItemInfoEntry v0;
    v0.setItemID(70000);
    EXPECT_THROW(testsupport::writeBytes(v0), std::runtime_error);

    ItemInfoEntry shortType;
    shortType.setVersion(2);
    shortType.setItemType("hv");
    EXPECT_THROW(testsupport::writeBytes(shortType), std::runtime_error);

    ItemInfoEntry noExtension;
    noExtension.setVersion(1);
    noExtension.setExtensionType("fdel");
    EXPECT_THROW(testsupport::writeBytes(noExtension), std::runtime_error);

    ItemInfoEntry v4;
    v4.setVersion(4);
    v4.setItemType("hvc1");
    v4.setItemID(1);
    EXPECT_THROW(testsupport::writeBytes(v4), std::runtime_error);
}

TEST(ItemInfoBox, TruncatedEntriesAreDroppedAndHostileCountsEndAtTheData)
{
    const Bytes full = iinf(1, 3, concat({infe2(1, "hvc1"), infe2(2, "hvc1"), infe2(3, "Exif")}));
    const Bytes cut(full.begin(), full.end() - 2);
    const auto box = parse(cut);
    EXPECT_EQ(box.getItemIds(), (std::vector<std::uint32_t>{1, 2}));

    // 2^32 - 1 entries promised, one present: done as soon as the data ends.
    const auto hostile = parse(iinf(1, 0xFFFFFFFF, infe2(7, "hvc1")));
    EXPECT_EQ(hostile.getItemIds(), (std::vector<std::uint32_t>{7}));

    testsupport::expectTruncationSafe<ItemInfoBox>(full);
    testsupport::expectTruncationSafe<ItemInfoBox>(iinf(0, 1, kFdEntry));
}

TEST(ItemInfoBox, ManyEntriesLiftVersionZero)
{
    ItemInfoBox box;
    for (std::uint32_t id = 1; id <= 0x10000; ++id)
    {
        ItemInfoEntry entry;
        entry.setVersion(2);
        entry.setItemID(id);
        entry.setItemType("hvc1");
        box.addItemInfoEntry(entry);
    }
    const Bytes written = testsupport::writeBytes(box);
    EXPECT_EQ(box.getVersion(), 1u);
    EXPECT_EQ(parse(written).getEntryCount(), 0x10000u);
}
