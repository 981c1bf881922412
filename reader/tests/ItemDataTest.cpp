#include <gtest/gtest.h>

#include "HeifBuilder.h"
#include "ReaderTestSupport.h"

using namespace readertest;
using Reader = ImageFileReaderInterface;

namespace
{
const Bytes kVps = {0x40, 0x01, 0x0C, 0x01};
const Bytes kSps = {0x42, 0x01, 0x01, 0x02};
const Bytes kPps = {0x44, 0x01, 0xC1, 0x03};
const Bytes kIdr = {0x26, 0x01, 0xAF, 0x10, 0x20};
const Bytes kSlice = {0x02, 0x01, 0xD0, 0x30};

std::vector<std::uint8_t> itemData(const OpenedFile& file, std::uint32_t item)
{
    std::vector<std::uint8_t> data;
    file->getItemData(file.meta(), item, data);
    return data;
}

/// One hvc1 item (id 1) holding the units with lengths of the given size.
HeifBuilder hevcItem(const std::vector<Bytes>& units, unsigned lengthSize = 4)
{
    HeifBuilder heif;
    heif.primaryItem = 1;
    heif.addItem(1, "hvc1", lengthPrefixed(units, lengthSize));
    heif.associate(1, heif.addProperty(makeHvcC(kVps, kSps, kPps, lengthSize)), true);
    heif.associate(1, heif.addProperty(makeIspe(16, 16)));
    return heif;
}

Bytes startCoded(std::initializer_list<std::pair<bool, Bytes>> units)
{
    Bytes out;
    for (const auto& unit : units)
    {
        const Bytes code = unit.first ? Bytes{0, 0, 0, 1} : Bytes{0, 0, 1};
        out = concat({out, code, unit.second});
    }
    return out;
}
}  // namespace

TEST(ItemData, HevcUnitsGetStartCodes)
{
    auto file = openBytes(hevcItem({kVps, kSps, kPps, kIdr, kSlice}).build());
    EXPECT_EQ(itemData(file, 1),
              startCoded({{true, kVps}, {true, kSps}, {true, kPps}, {false, kIdr}, {false, kSlice}}));
    EXPECT_EQ(file->getDecoderCodeType(file.meta(), 1), "hvc1");

    Reader::ParameterSetMap sets;
    file->getDecoderParameterSets(file.meta(), 1, sets);
    EXPECT_EQ(sets.at("VPS"), concat({{0, 0, 0, 1}, kVps}));
    EXPECT_EQ(sets.at("SPS"), concat({{0, 0, 0, 1}, kSps}));
    EXPECT_EQ(sets.at("PPS"), concat({{0, 0, 0, 1}, kPps}));
}

// The NAL length size comes from the configuration record (it was read as 4 bytes always).
TEST(ItemDataRegression, LengthSizeOfTheConfigurationRecord)
{
    for (unsigned lengthSize : {1u, 2u, 4u})
    {
        auto file = openBytes(hevcItem({kIdr, kSlice, kSlice}, lengthSize).build());
        EXPECT_EQ(itemData(file, 1), startCoded({{true, kIdr}, {false, kSlice}, {false, kSlice}})) << lengthSize;
    }
}

TEST(ItemData, BadLengthsFail)
{
    // A length of 0, and one running past the end of the item.
    HeifBuilder zero = hevcItem({});
    zero.addItem(2, "hvc1", ByteBuilder().u32(0).raw(kIdr));
    zero.associate(2, 1, true);
    HeifBuilder pastEnd = hevcItem({});
    pastEnd.addItem(2, "hvc1", ByteBuilder().u32(100).raw(kIdr));
    pastEnd.associate(2, 1, true);
    HeifBuilder shortLength = hevcItem({});
    shortLength.addItem(2, "hvc1", ByteBuilder().u32(5).raw(kIdr).u16(0));
    shortLength.associate(2, 1, true);
    for (const auto* heif : {&zero, &pastEnd, &shortLength})
    {
        auto file = openBytes(heif->build());
        std::vector<std::uint8_t> data;
        EXPECT_THROW(file->getItemData(file.meta(), 2, data), std::out_of_range);
    }
}

TEST(ItemData, AvcRules)
{
    const Bytes sps = {0x67, 0x42, 0xC0, 0x1E};
    const Bytes pps = {0x68, 0xCE, 0x3C, 0x80};
    const Bytes slice = {0x41, 0x9A, 0x02};
    HeifBuilder heif;
    heif.primaryItem = 1;
    heif.addItem(1, "avc1", lengthPrefixed({slice, slice, sps, pps, slice}, 2));
    heif.associate(1, heif.addProperty(makeAvcC(sps, pps, 2)), true);
    auto file = openBytes(heif.build());
    EXPECT_EQ(file->getDecoderCodeType(file.meta(), 1), "avc1");
    EXPECT_EQ(itemData(file, 1), startCoded({{true, slice}, {false, slice}, {true, sps}, {true, pps}, {false, slice}}));

    std::vector<std::uint8_t> withSets;
    file->getItemDataWithDecoderParameters(file.meta(), 1, withSets);
    const Bytes expected = concat({startCoded({{true, sps}, {true, pps}}), Bytes{0, 0, 1},
                                   slice,  // the first start code loses its first byte
                                   startCoded({{false, slice}, {true, sps}, {true, pps}, {false, slice}})});
    EXPECT_EQ(withSets, expected);
}

TEST(ItemData, DecoderParametersInFront)
{
    auto file = openBytes(hevcItem({kIdr, kSlice}).build());
    std::vector<std::uint8_t> data;
    file->getItemDataWithDecoderParameters(file.meta(), 1, data);
    EXPECT_EQ(data, concat({startCoded({{true, kVps}, {true, kSps}, {true, kPps}, {false, kIdr}, {false, kSlice}})}));
}

TEST(ItemData, EmptyItemGivesOnlyParameterSets)
{
    HeifBuilder heif = hevcItem({});
    auto file = openBytes(heif.build());
    EXPECT_TRUE(itemData(file, 1).empty());
    std::vector<std::uint8_t> data;
    file->getItemDataWithDecoderParameters(file.meta(), 1, data);
    EXPECT_EQ(data, startCoded({{true, kVps}, {true, kSps}, {true, kPps}}));
}

TEST(ItemData, ProtectedItemsPassThroughRaw)
{
    HeifBuilder heif = hevcItem({kIdr});
    heif.addItem(2, "hvc1", lengthPrefixed({kIdr, kSlice})).protectionIndex = 1;
    heif.associate(2, 1, true);
    const Bytes sinf = makeBox("sinf", makeBox("frma", ByteBuilder().str("hvc1")));
    heif.addProtectionScheme(sinf);
    auto file = openBytes(heif.build());
    const auto ctx = file.meta();
    EXPECT_EQ(itemData(file, 2), lengthPrefixed({kIdr, kSlice}));
    std::vector<std::uint8_t> data;
    EXPECT_READER_ERROR(file->getItemDataWithDecoderParameters(ctx, 2, data), Reader::ProtectedItem);
    EXPECT_READER_ERROR(file->getItemDataWithDecoderParameters(ctx, 9, data), Reader::InvalidItemId);
    EXPECT_EQ(file->getItemProtectionScheme(ctx, 2), sinf);
    EXPECT_READER_ERROR(file->getItemProtectionScheme(ctx, 1), Reader::UnprotectedItem);
    EXPECT_READER_ERROR(file->getItemProtectionScheme(ctx, 9), Reader::InvalidItemId);
    EXPECT_TRUE(file->getFileInformation().rootMetaBoxInformation.imageFeaturesMap.at(2).count(
        Reader::ImageFeature::IsProtected));
}

TEST(ItemData, ItemsWithoutDecoderConfiguration)
{
    HeifBuilder heif = hevcItem({kIdr});
    heif.addItem(2, "hvc1", lengthPrefixed({kIdr}));  // no hvcC
    heif.addItem(3, "mime", ByteBuilder().str("<xmp/>"));
    auto file = openBytes(heif.build());
    const auto ctx = file.meta();
    EXPECT_EQ(file->getDecoderCodeType(ctx, 2), "not supported");
    std::vector<std::uint8_t> data;
    EXPECT_READER_ERROR(file->getItemData(ctx, 2, data), Reader::UnsupportedCodeType);
    EXPECT_THROW(file->getItemDataWithDecoderParameters(ctx, 2, data), std::out_of_range);
    EXPECT_READER_ERROR(file->getDecoderCodeType(ctx, 3), Reader::InvalidItemId);
    EXPECT_EQ(itemData(file, 3), ByteBuilder().str("<xmp/>").bytes());
    EXPECT_READER_ERROR(file->getDecoderCodeType(4242, 1), Reader::InvalidContextId);
}

TEST(ItemData, LocationVersionsAndMethods)
{
    const Bytes exif = ByteBuilder().u32(6).str("Exif").u16(0).str("II").u16(42).u32(8).u16(0);
    for (std::uint8_t version : {0, 1, 2})
    {
        HeifBuilder heif;
        heif.ilocVersion = version;
        heif.addItem(1, "Exif", exif).extentCount = 2;  // split over two extents
        if (version != 0)
        {
            heif.addItem(2, "Exif", exif).method = 1;  // in idat
            heif.addItem(3, "Exif", exif).extentCount = 3;
        }
        auto file = openBytes(heif.build());
        EXPECT_EQ(itemData(file, 1), exif) << int(version);
        if (version != 0)
        {
            EXPECT_EQ(itemData(file, 2), exif) << int(version);
            EXPECT_EQ(itemData(file, 3), exif) << int(version);
        }
    }

    // Unknown versions and methods.
    for (const auto& shape : {std::pair<std::uint8_t, std::uint32_t>{1, 3}, {2, 7}})
    {
        HeifBuilder heif;
        heif.ilocVersion = shape.first;
        heif.addItem(1, "Exif", exif).method = shape.second;
        auto file = openBytes(heif.build());
        std::vector<std::uint8_t> data;
        try
        {
            file->getItemData(file.meta(), 1, data);
            FAIL();
        }
        catch (const Reader::FileReaderException& e)
        {
            EXPECT_EQ(e.getStatusCode(), Reader::StreamReadFailed);
            EXPECT_STREQ(e.what(), "Unknown ItemLocationBox version and/or construction method.");
        }
    }
}

TEST(ItemData, ItemsBuiltFromItems)
{
    const Bytes a = ByteBuilder().str("abcdef");
    const Bytes b = ByteBuilder().str("0123456789");
    for (std::uint8_t version : {1, 2})
    {
        HeifBuilder heif;
        heif.ilocVersion = version;
        heif.ilocIndexSize = 4;
        heif.addItem(1, "mime", a);
        heif.addItem(2, "mime", b).method = 1;
        Item& joined = heif.addItem(3, "Exif");
        joined.method = 2;
        joined.explicitExtents = true;
        joined.extents = {{2, 3, 4}, {1, 4, 0}, {1, 0, 1}};  // "3456", "ef" (to the end), "a"
        heif.addReference("iloc", 3, {1, 2});
        auto file = openBytes(heif.build());
        EXPECT_EQ(itemData(file, 3), ByteBuilder().str("3456efa").bytes()) << int(version);
    }
}

// Items built from themselves recursed until the stack overflowed; missing references and
// extents past the referenced bytes were left open.
TEST(ItemDataRegression, ItemReferenceFaults)
{
    auto build = [](std::function<void(HeifBuilder&)> setUp)
    {
        HeifBuilder heif;
        heif.addItem(1, "mime", ByteBuilder().str("abcdef"));
        setUp(heif);
        return heif.build();
    };
    auto addJoined = [](HeifBuilder& heif, std::uint32_t id, std::vector<Extent> extents)
    {
        Item& item = heif.addItem(id, "Exif");
        item.method = 2;
        item.explicitExtents = true;
        item.extents = std::move(extents);
    };
    const std::pair<const char*, Bytes> cases[] = {
        {"self", build(
                     [&](HeifBuilder& heif)
                     {
                         addJoined(heif, 2, {{0, 0, 0}});
                         heif.addReference("iloc", 2, {2});
                     })},
        {"cycle", build(
                      [&](HeifBuilder& heif)
                      {
                          addJoined(heif, 2, {{0, 0, 0}});
                          addJoined(heif, 3, {{0, 0, 0}});
                          heif.addReference("iloc", 2, {3});
                          heif.addReference("iloc", 3, {2});
                      })},
        {"no reference", build(
                             [&](HeifBuilder& heif) {
                                 addJoined(heif, 2, {{0, 0, 2}});
                             })},
        {"past the end", build(
                             [&](HeifBuilder& heif)
                             {
                                 addJoined(heif, 2, {{0, 4, 3}});
                                 heif.addReference("iloc", 2, {1});
                             })},
        {"offset past the end", build(
                                    [&](HeifBuilder& heif)
                                    {
                                        addJoined(heif, 2, {{0, 7, 0}});
                                        heif.addReference("iloc", 2, {1});
                                    })},
    };
    for (const auto& entry : cases)
    {
        SCOPED_TRACE(entry.first);
        auto file = openBytes(entry.second);
        std::vector<std::uint8_t> data;
        EXPECT_READER_ERROR(file->getItemData(file.meta(), 2, data), Reader::StreamReadFailed);
    }
}

// Extent lengths were summed in 32 bits: a wrapped total sized a small buffer the reads overran.
TEST(ItemDataRegression, ExtentsAreCheckedAgainstTheStream)
{
    // Item 1 holds 64 bytes at the end of the file; every extent below lies inside the file or
    // claims to, and only the last shape is a valid item.
    const std::vector<Extent> repeated(32, Extent{0, 0, 64});  // each inside, 2048 bytes in all
    const struct
    {
        const char* name;
        std::vector<Extent> extents;
        bool readable;
    } cases[] = {
        {"wraps to 16 in 32 bits", {{0, 0, 0x80000000u}, {0, 0, 0x80000010u}}, false},
        {"offset + length past 32 bits", {{0, 0xFFFFFFF0u, 0x20}}, false},
        {"far past the end of the file", {{0, 0, 0xFFFFFFFFu}}, false},
        {"each inside, more than the file in all", repeated, false},
        {"each inside, less than the file in all", {{0, 0, 8}, {0, 4, 4}, {0, 0, 8}}, true},
    };
    for (const auto& entry : cases)
    {
        SCOPED_TRACE(entry.name);
        HeifBuilder heif;
        Item& item = heif.addItem(1, "Exif", Bytes(64, 0xEE));
        item.explicitExtents = true;
        item.extents = entry.extents;
        const Bytes bytes = heif.build();
        ASSERT_LT(bytes.size(), 2048u);
        auto file = openBytes(bytes);
        std::vector<std::uint8_t> data;
        try
        {
            file->getItemData(file.meta(), 1, data);
            EXPECT_TRUE(entry.readable);
            EXPECT_EQ(data, Bytes(20, 0xEE));
        }
        catch (const Reader::FileReaderException& e)
        {
            EXPECT_FALSE(entry.readable);
            EXPECT_EQ(e.getStatusCode(), Reader::StreamReadFailed);
            EXPECT_STREQ(e.what(), "Error while reading item data. Faulty offset in iloc, or damaged file?");
        }
    }

    // The same in idat.
    HeifBuilder idat;
    Item& item = idat.addItem(1, "Exif", Bytes(8, 0xEE));
    item.method = 1;
    item.explicitExtents = true;
    item.extents = {{0, 4, 8}};
    auto file = openBytes(idat.build());
    std::vector<std::uint8_t> data;
    EXPECT_READER_ERROR(file->getItemData(file.meta(), 1, data), Reader::StreamReadFailed);

    HeifBuilder none;
    Item& empty = none.addItem(1, "Exif");
    empty.explicitExtents = true;
    auto noExtents = openBytes(none.build());
    try
    {
        noExtents->getItemData(noExtents.meta(), 1, data);
        FAIL();
    }
    catch (const Reader::FileReaderException& e)
    {
        EXPECT_STREQ(e.what(), "No extents given for an item.");
    }
}

// After one failed read the stream stayed failed and every later read failed too.
TEST(ItemDataRegression, AFailedReadDoesNotPoisonTheStream)
{
    HeifBuilder heif;
    heif.addItem(1, "Exif", ByteBuilder().str("good"));
    Item& bad = heif.addItem(2, "Exif", Bytes(4, 0));
    bad.explicitExtents = true;
    bad.extents = {{0, 0, 4}};
    const Bytes bytes = heif.build();
    auto file = openBytes(bytes);
    // Make the stream itself fail, as a read past its end does.
    file.stream->setstate(std::ios::failbit | std::ios::eofbit);
    EXPECT_EQ(itemData(file, 1), ByteBuilder().str("good").bytes());
    std::vector<std::uint8_t> data;
    EXPECT_NO_THROW(file->getItemData(file.meta(), 2, data));
    EXPECT_EQ(itemData(file, 1), ByteBuilder().str("good").bytes());
}

// An item whose data reference named an external 'url ' entry was read from this file at the
// offsets meant for the other one.
TEST(ItemDataRegression, DataInAnotherFileIsNotRead)
{
    const Bytes exif = ByteBuilder().str("local exif");
    const Bytes external = makeFullBox("url ", 0, 0, ByteBuilder().zstr("http://example.com/other.heic"));
    const Bytes self = makeFullBox("url ", 0, 1, {});
    const Bytes urn = makeFullBox("urn ", 0, 0, ByteBuilder().zstr("urn:x-other").zstr(""));
    HeifBuilder heif;
    heif.dinf = makeBox("dinf", makeFullBox("dref", 0, 0, concat({ByteBuilder().u32(3), external, self, urn})));
    for (std::uint16_t reference = 0; reference <= 4; ++reference)
    {
        heif.addItem(10 + reference, "Exif", exif).dataReferenceIndex = reference;
    }
    for (std::uint8_t version : {0, 1, 2})
    {
        SCOPED_TRACE(int(version));
        heif.ilocVersion = version;
        auto file = openBytes(heif.build());
        // This file: no reference, or a 'url ' entry flagged as self-contained.
        EXPECT_EQ(itemData(file, 10), exif);
        EXPECT_EQ(itemData(file, 12), exif);
        std::vector<std::uint8_t> data;
        const std::pair<std::uint32_t, const char*> elsewhere[] = {
            {11, "Item data lies in another file, which is not read."},
            {13, "Item data lies in another file, which is not read."},
            {14, "The data reference of an item names no entry of 'dref'."}};
        for (const auto& item : elsewhere)
        {
            try
            {
                file->getItemData(file.meta(), item.first, data);
                ADD_FAILURE() << "item " << item.first << " was read";
            }
            catch (const Reader::FileReaderException& e)
            {
                EXPECT_EQ(e.getStatusCode(), Reader::StreamReadFailed);
                EXPECT_STREQ(e.what(), item.second);
            }
        }
    }
}

namespace
{
/// A stream over bytes that counts the bytes handed out by reads of blocks (item and sample reads).
class CountingBuffer : public std::stringbuf
{
public:
    explicit CountingBuffer(const Bytes& bytes) : std::stringbuf(toString(bytes), std::ios::in) {}
    std::uint64_t bytesRead = 0;

protected:
    std::streamsize xsgetn(char* destination, std::streamsize count) override
    {
        const std::streamsize got = std::stringbuf::xsgetn(destination, count);
        bytesRead += static_cast<std::uint64_t>(got);
        return got;
    }
};

/// Item 1: `size` bytes counting up, in the file, in extents of `extentSize`; items 2, 3, ...:
/// each built from the one before, one extent per entry of `extents` (index 1 = that item).
HeifBuilder builtFromItems(std::size_t size, std::size_t extentSize, const std::vector<std::vector<Extent>>& levels,
                           const std::string& lastType = "Exif")
{
    HeifBuilder heif;
    heif.ilocVersion = 1;
    heif.ilocIndexSize = 4;
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i)
    {
        data[i] = static_cast<std::uint8_t>(i * 7);
    }
    Item& source = heif.addItem(1, "mime", data);
    source.extentCount = static_cast<unsigned>(size / extentSize);
    for (std::size_t level = 0; level < levels.size(); ++level)
    {
        const auto id = static_cast<std::uint32_t>(level + 2);
        Item& item = heif.addItem(id, level + 1 == levels.size() ? lastType : "mime");
        item.method = 2;
        item.explicitExtents = true;
        item.extents = levels[level];
        heif.addReference("iloc", id, {id - 1});
    }
    return heif;
}
}  // namespace

// Items built from other items had no bound: a 65 KB file naming one item in thousands of extents
// made a read allocate gigabytes, and an item of 4000 extents each naming an item of 4000 extents
// read the inner item 4000 times over (a hang). Each item is now read once per read and an item
// is at most the file's size; the Exif path (getItemData) and the grid read at open alike.
TEST(ItemDataRegression, ItemsBuiltFromItemsAreBounded)
{
    // 2000 one-byte extents over item 1, then the same over item 2: each item is read once.
    std::vector<Extent> bytewise;
    for (std::uint64_t i = 0; i < 2000; ++i)
    {
        bytewise.push_back({1, i, 1});
    }
    const Bytes nested = builtFromItems(2000, 1, {bytewise, bytewise}).build();
    {
        CountingBuffer buffer(nested);
        std::istream stream(&buffer);
        HevcImageFileReader reader;
        reader.initialize(&stream);
        const auto ctx = reader.getFileInformation().rootMetaBoxInformation.contextId;
        std::vector<std::uint8_t> item1;
        reader.getItemData(ctx, 1, item1);
        buffer.bytesRead = 0;
        std::vector<std::uint8_t> item3;
        reader.getItemData(ctx, 3, item3);
        EXPECT_EQ(item3, item1);
        EXPECT_EQ(buffer.bytesRead, 2000u);  // not 2000 x 2000 x 2000
    }

    // The same source named again and again: allowed while the item stays within the file's size.
    const std::vector<Extent> twice = {{1, 100, 300}, {1, 100, 300}};
    auto small = openBytes(builtFromItems(1000, 1000, {twice}).build());
    std::vector<std::uint8_t> data;
    small->getItemData(small.meta(), 2, data);
    std::vector<std::uint8_t> source;
    small->getItemData(small.meta(), 1, source);
    const Bytes part(source.begin() + 100, source.begin() + 400);
    EXPECT_EQ(data, concat({part, part}));
    const std::vector<Extent> often(4000, Extent{1, 0, 0});  // 4000 copies of 30000 bytes
    const Bytes hostile = builtFromItems(30000, 30000, {often}).build();
    ASSERT_LT(hostile.size(), 100000u);
    CountingBuffer buffer(hostile);
    std::istream stream(&buffer);
    HevcImageFileReader reader;
    reader.initialize(&stream);
    const auto ctx = reader.getFileInformation().rootMetaBoxInformation.contextId;
    buffer.bytesRead = 0;
    try
    {
        reader.getItemData(ctx, 2, data);
        ADD_FAILURE() << "read " << data.size() << " bytes";
    }
    catch (const Reader::FileReaderException& e)
    {
        EXPECT_EQ(e.getStatusCode(), Reader::StreamReadFailed);
        EXPECT_STREQ(e.what(), "Item data larger than the file: damaged file?");
    }
    EXPECT_EQ(buffer.bytesRead, 30000u);
    EXPECT_LE(data.size(), hostile.size());

    // A grid description built that way fails the open with the same error.
    const std::vector<Extent> grids(4000, Extent{1, 0, 0});
    OpenedFile grid;
    EXPECT_EQ(tryOpen(builtFromItems(30000, 30000, {grids}, "grid").build(), grid), Reader::StreamReadFailed);
}
