#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "HeifBuilder.h"
#include "ReaderTestSupport.h"
#include "UniqueId.h"

using namespace readertest;
using Reader = ImageFileReaderInterface;

namespace
{
const Bytes kExif = ByteBuilder().u32(6).str("Exif").u16(0).str("MM").u16(42).u32(8).u16(0).u32(0);

/// ftyp, meta with an hvc1 primary image and an Exif item, mdat.
HeifBuilder stillImage()
{
    HeifBuilder heif;
    heif.primaryItem = 1;
    heif.addItem(1, "hvc1", lengthPrefixed({{0x26, 0x01, 0xAA, 0xBB}}));
    heif.addItem(2, "Exif", kExif);
    heif.addReference("cdsc", 2, {1});
    const auto hvcc = heif.addProperty(makeHvcC({0x40, 0x01, 0x0C}, {0x42, 0x01, 0x01}, {0x44, 0x01, 0xC1}));
    const auto ispe = heif.addProperty(makeIspe(64, 48));
    heif.associate(1, hvcc, true);
    heif.associate(1, ispe);
    return heif;
}

Bytes freeBox()
{
    return makeBox("free", {});
}
}  // namespace

TEST(ReaderException, TextsByCode)
{
    const char* texts[] = {"Unable to open input file.",        "Error while reading file header.",
                           "Error while reading file.",         "Unsupported code type.",
                           "Invalid API method parameter.",     "Invalid context ID parameter.",
                           "Invalid item ID parameter.",        "Invalid item property index.",
                           "Invalid sample description index.", "The item is unaccessible because it is protected.",
                           "The item is not protected.",        "Reader not initialized. Call initialize() first."};
    for (int code = 0; code < 12; ++code)
    {
        EXPECT_STREQ(Reader::FileReaderException(code).what(), texts[code]) << code;
    }
    EXPECT_STREQ(Reader::FileReaderException(12).what(), "Unspecified error.");
    EXPECT_STREQ(Reader::FileReaderException(99).what(), "Unspecified error.");
    EXPECT_STREQ(Reader::FileReaderException(2, "own text").what(), "own text");
}

TEST(ReaderState, FreshReaderRefusesQueries)
{
    HevcImageFileReader reader;
    EXPECT_EQ(reader.getState(), 0);
    const Reader::ContextId ctx = 21000;
    std::vector<std::uint32_t> ids;
    std::vector<std::uint8_t> data;
    Reader::ParameterSetMap sets;
    Reader::TimestampMap times;
    Reader::DecodingOrderVector order;
    EXPECT_READER_ERROR(reader.getMajorBrand(), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getMinorVersion(), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getCompatibleBrands(), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getDisplayWidth(ctx), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getWidth(ctx, 1), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getPlaybackDurationInSecs(ctx), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.setForcedTimedPlayback(ctx, 1), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.setForcedLoopPlayback(ctx, true), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getItemListByType(ctx, "master", ids), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getItemType(ctx, 1), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getReferencedFromItemListByType(ctx, 1, "thmb", ids), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getCoverImageItemId(ctx), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getItemData(ctx, 1, data), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getItemGrid(ctx, 1), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getPropertyIrot(ctx, 0), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getPropertyClap(ctx, 0), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getItemProperties(ctx, 1), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getItemDataWithDecoderParameters(ctx, 1, data), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getItemTimestamps(ctx, times), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getItemsInDecodingOrder(ctx, order), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getItemDecodeDependencies(ctx, 1, ids), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getDecoderCodeType(ctx, 1), Reader::NotInitialized);
    EXPECT_READER_ERROR(reader.getDecoderParameterSets(ctx, 1, sets), Reader::NotInitialized);
    try
    {
        reader.getItemType(ctx, 1);
    }
    catch (const std::exception& e)
    {
        EXPECT_STREQ(e.what(), "Reader not initialized. Call initialize() first.");
    }
    // No state check for these.
    EXPECT_TRUE(reader.getMatrix().empty());
    EXPECT_EQ(reader.getFileInformation().contextId, 0u);
    EXPECT_EQ(reader.copyFileInformation().rootMetaBoxInformation.contextId, 0u);
    EXPECT_READER_ERROR(reader.getItemProtectionScheme(ctx, 1), Reader::InvalidContextId);
}

TEST(ReaderState, OpenFailureAndFactory)
{
    HevcImageFileReader reader;
    try
    {
        reader.initialize(std::string("/nonexistent/file.heic"));
        FAIL();
    }
    catch (const Reader::FileReaderException& e)
    {
        EXPECT_EQ(e.getStatusCode(), Reader::FileOpenFailed);
        EXPECT_STREQ(e.what(), "Unable to open input file '/nonexistent/file.heic'");
    }
    EXPECT_EQ(reader.getState(), 0);
    EXPECT_READER_ERROR(createImageFileReader(std::string("/nonexistent/file.heic")), Reader::FileOpenFailed);

    std::istringstream stream(toString(stillImage().build()));
    auto fromFactory = createImageFileReader(&stream);
    ASSERT_TRUE(fromFactory);
    EXPECT_EQ(fromFactory->getMajorBrand(), "heic");
}

TEST(ReaderParse, StillImageTablesAndFeatures)
{
    auto file = openBytes(stillImage().build());
    EXPECT_EQ(file->getState(), 2);
    const auto& info = file->getFileInformation();
    const auto ctx = file.meta();
    EXPECT_GE(ctx, 21000u);
    EXPECT_NE(info.contextId, 0u);
    EXPECT_EQ(file->getContextType(ctx), Reader::ContextType::Meta);
    EXPECT_READER_ERROR(file->getContextType(info.contextId), Reader::InvalidContextId);

    EXPECT_EQ(file->getMajorBrand(), "heic");
    EXPECT_EQ(file->getCompatibleBrands(), (std::vector<std::string>{"mif1", "heic"}));
    EXPECT_EQ(info.features,
              (Reader::FileFeatureSet{Reader::FileFeature::IsSingleImage, Reader::FileFeature::HasCoverImage,
                                      Reader::FileFeature::HasRootLevelMetaBox}));
    const auto& meta = info.rootMetaBoxInformation;
    EXPECT_EQ(meta.imageFeaturesMap.at(1),
              (Reader::ImageFeatureSet{Reader::ImageFeature::IsMasterImage, Reader::ImageFeature::IsPrimaryImage,
                                       Reader::ImageFeature::IsCoverImage, Reader::ImageFeature::HasLinkedMetadata}));
    EXPECT_EQ(meta.itemFeaturesMap.at(2),
              (Reader::ItemFeatureSet{Reader::ItemFeature::IsMetadataItem, Reader::ItemFeature::IsExifItem}));
    EXPECT_EQ(meta.itemFeaturesMap.count(1), 0u);
    EXPECT_TRUE(meta.features.count(Reader::MetaBoxFeature::IsSingleImage));
    EXPECT_TRUE(meta.features.count(Reader::MetaBoxFeature::HasMasterImages));
    EXPECT_TRUE(meta.features.count(Reader::MetaBoxFeature::HasCoverImage));

    EXPECT_EQ(file->getItemType(ctx, 1), "master");
    EXPECT_EQ(file->getItemType(ctx, 2), "Exif");
    EXPECT_READER_ERROR(file->getItemType(ctx, 3), Reader::InvalidItemId);
    EXPECT_EQ(file->getCoverImageItemId(ctx), 1u);
    EXPECT_EQ(file->getWidth(ctx, 1), 64u);
    EXPECT_EQ(file->getHeight(ctx, 1), 48u);
    EXPECT_THROW(file->getWidth(ctx, 2), std::out_of_range);
    std::vector<std::uint32_t> ids;
    file->getItemListByType(ctx, "master", ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{1});
    file->getItemListByType(ctx, "Exif", ids);  // other items are never listed
    EXPECT_TRUE(ids.empty());
    file->getReferencedFromItemListByType(ctx, 2, "cdsc", ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{1});
    file->getReferencedToItemListByType(ctx, 1, "cdsc", ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{2});
    EXPECT_THROW(file->getReferencedFromItemListByType(ctx, 2, "cds", ids), std::runtime_error);

    std::vector<std::uint8_t> exif;
    file->getItemData(ctx, 2, exif);
    EXPECT_EQ(exif, kExif);
    // The file context id is no registered context.
    EXPECT_READER_ERROR(file->getItemData(info.contextId, 2, exif), Reader::InvalidContextId);
    EXPECT_READER_ERROR(file->getCoverImageItemId(info.contextId), Reader::InvalidContextId);

    // close() ends queries but keeps the tables.
    file->close();
    EXPECT_EQ(file->getState(), 0);
    EXPECT_READER_ERROR(file->getItemData(ctx, 2, exif), Reader::NotInitialized);
    EXPECT_READER_ERROR(file->getItemProtectionScheme(ctx, 2), Reader::UnprotectedItem);
}

TEST(ReaderParse, ContextIdsAreDrawnPerProcess)
{
    auto first = openBytes(stillImage().build());
    auto second = openBytes(stillImage().build());
    EXPECT_NE(first.meta(), second.meta());
    EXPECT_GT(second.meta(), first.meta());
}

TEST(ReaderParse, BrandCheckStopsWithoutKeepingAnything)
{
    HeifBuilder heif = stillImage();
    heif.brands = {"mif1", "miaf"};
    OpenedFile file;
    EXPECT_EQ(tryOpen(heif.build(), file), -1);
    EXPECT_EQ(file->getState(), 1);
    EXPECT_EQ(file->getFileInformation().rootMetaBoxInformation.contextId, 0u);
    EXPECT_EQ(file->getFileInformation().contextId, 0u);
    EXPECT_EQ(file->getMajorBrand(), "");
    EXPECT_READER_ERROR(file->getItemType(21000, 1), Reader::InvalidContextId);

    // The sequence brands need msf1, the image brands mif1; the major brand plays no part.
    heif.brands = {"msf1", "hevc"};
    heif.majorBrand = "xxxx";
    auto sequence = openBytes(heif.build());
    EXPECT_EQ(sequence->getState(), 2);
    EXPECT_EQ(sequence->getMajorBrand(), "xxxx");
}

TEST(ReaderParse, SecondRootBoxStopsTheParse)
{
    HeifBuilder heif = stillImage();
    heif.extraRootBoxes.push_back(heif.makeMeta(0));
    OpenedFile file;
    // The first meta box takes the next id of the process-wide counter, offset by 1000.
    const auto metaContext = static_cast<Reader::ContextId>(getNextUniqueId(0) + 1 + 1000);
    EXPECT_EQ(tryOpen(heif.build(), file), -1);
    EXPECT_EQ(file->getState(), 1);
    EXPECT_EQ(file->getFileInformation().rootMetaBoxInformation.contextId, 0u);
    // What was built before the stop stays usable.
    std::vector<std::uint32_t> ids;
    file->getItemListByType(metaContext, "master", ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{1});
}

TEST(ReaderParse, RootBoxLimitAndSizeZero)
{
    Bytes many = HeifBuilder().makeFtyp();
    for (int i = 0; i < 1024; ++i)
    {
        many = concat({many, freeBox()});
    }
    // Box 1026 is never read, so its broken header does no harm.
    many = concat({many, Bytes{0, 0, 0}});
    testing::internal::CaptureStdout();
    auto file = openBytes(many);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(file->getState(), 2);
    std::size_t lines = 0;
    for (std::size_t at = out.find("Exif free \n"); at != std::string::npos; at = out.find("Exif free \n", at + 1))
    {
        ++lines;
    }
    EXPECT_EQ(lines, 1024u);

    testing::internal::CaptureStdout();
    auto zero = openBytes(ByteBuilder().u32(0).str("free"));
    const std::string zeroOut = testing::internal::GetCapturedStdout();
    EXPECT_EQ(zero->getState(), 2);
    EXPECT_EQ(std::count(zeroOut.begin(), zeroOut.end(), '\n'), 1025);
}

TEST(ReaderParse, EmptyStreamCompletes)
{
    auto file = openBytes({});
    EXPECT_EQ(file->getState(), 2);
    EXPECT_NE(file->getFileInformation().contextId, 0u);
    EXPECT_TRUE(file->getFileInformation().features.empty());
}

TEST(ReaderParse, MediaDataIsSteppedOver)
{
    HeifBuilder heif = stillImage();
    heif.mdatFirst = true;
    auto file = openBytes(heif.build());
    EXPECT_EQ(file->getState(), 2);
    std::vector<std::uint8_t> exif;
    file->getItemData(file.meta(), 2, exif);
    EXPECT_EQ(exif, kExif);

    // Header-only mdat, and an mdat running past the end of the file.
    const Bytes headerOnly = concat({stillImage().build(), ByteBuilder().u32(8).str("mdat")});
    EXPECT_EQ(openBytes(headerOnly)->getState(), 2);
    const Bytes pastEnd = concat({stillImage().build(), ByteBuilder().u32(4000).str("mdat").u64(0).u64(0)});
    EXPECT_EQ(openBytes(pastEnd)->getState(), 2);
    // Unknown boxes are stepped over too, whatever their size claims.
    const Bytes unknown = concat({stillImage().build(), ByteBuilder().u32(1).str("junk").u64(1ull << 40)});
    EXPECT_EQ(openBytes(unknown)->getState(), 2);
}

// Root boxes were read into buffers sized from their headers and zero-filled when short.
TEST(ReaderRegression, RootBoxSizesAreCheckedAgainstTheFile)
{
    OpenedFile file;
    // 16 bytes asking for 4 GiB.
    EXPECT_EQ(tryOpen(ByteBuilder().u32(0xFFFFFFF0).str("ftyp").u64(0), file), Reader::StreamReadFailed);
    EXPECT_EQ(tryOpen(ByteBuilder().u32(1).str("moov").u64(1ull << 40), file), Reader::StreamReadFailed);
    // A cut-short meta box is not parsed from zeros.
    const Bytes whole = stillImage().build();
    const Bytes ftyp = HeifBuilder().makeFtyp();
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(ftyp.size() + 40));
    EXPECT_EQ(tryOpen(cut, file), Reader::StreamReadFailed);
    EXPECT_EQ(file->getState(), 1);
    // Every cut of a valid file ends with an exception or a complete parse, never a crash.
    for (std::size_t length = 0; length < whole.size(); ++length)
    {
        OpenedFile partial;
        try
        {
            tryOpen(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)), partial);
        }
        catch (const std::exception&)
        {
        }
    }
}

// Root boxes of size 1 to 7 were walked into: the next header was read from inside the box.
TEST(ReaderRegression, RootBoxSmallerThanItsHeaderIsDamage)
{
    const Bytes still = stillImage().build();
    // A 'free' box of size 4 whose next four bytes would read as a 'meta' header if walked into.
    for (std::uint32_t size = 2; size < 8; ++size)
    {
        SCOPED_TRACE(size);
        const Bytes bytes = concat({still, ByteBuilder().u32(size).str("free").u32(0x100).str("meta")});
        std::istringstream stream(toString(bytes));
        HevcImageFileReader reader;
        testing::internal::CaptureStdout();
        try
        {
            reader.initialize(&stream);
            ADD_FAILURE() << "opened";
        }
        catch (const Reader::FileReaderException& e)
        {
            EXPECT_EQ(e.getStatusCode(), Reader::StreamReadFailed);
            EXPECT_STREQ(e.what(), "Damaged file: the root box 'free' is smaller than its header.");
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no 'free' box was taken
        EXPECT_EQ(reader.getState(), 1);
    }
    OpenedFile file;
    // Size 1 announces a 64-bit size, which must cover its 16 header bytes; 'uuid' boxes have 24.
    EXPECT_EQ(tryOpen(concat({still, ByteBuilder().u32(1).str("junk").u64(15)}), file), Reader::StreamReadFailed);
    EXPECT_EQ(tryOpen(concat({still, ByteBuilder().u32(1).str("junk").u64(1)}), file), Reader::StreamReadFailed);
    EXPECT_EQ(tryOpen(concat({still, ByteBuilder().u32(23).str("uuid").u64(0).u64(0)}), file),
              Reader::StreamReadFailed);
    EXPECT_EQ(tryOpen(concat({still, ByteBuilder().u32(1).str("junk").u64(16)}), file), -1);
    EXPECT_EQ(tryOpen(concat({still, ByteBuilder().u32(24).str("uuid").u64(0).u64(0)}), file), -1);
    EXPECT_EQ(file->getState(), 2);
}

TEST(ReaderParse, ForcedTimedPlayback)
{
    HeifBuilder heif = stillImage();
    heif.addItem(3, "hvc1", lengthPrefixed({{0x26, 0x01}}));
    heif.addItem(4, "hvc1", lengthPrefixed({{0x26, 0x01}}));
    heif.addReference("thmb", 4, {3});
    auto file = openBytes(heif.build());
    const auto ctx = file.meta();
    Reader::TimestampMap times;
    EXPECT_EQ(file->getPlaybackDurationInSecs(ctx), 0.0f);
    try
    {
        file->getItemTimestamps(ctx, times);
        FAIL();
    }
    catch (const Reader::FileReaderException& e)
    {
        EXPECT_EQ(e.getStatusCode(), Reader::InvalidContextId);
        EXPECT_STREQ(e.what(), "getItemTimestamps: Forced FPS not set for meta context");
    }
    // Rates that would divide by zero or run backwards are refused.
    EXPECT_READER_ERROR(file->setForcedTimedPlayback(ctx, 0), Reader::InvalidArgument);
    EXPECT_READER_ERROR(file->setForcedTimedPlayback(ctx, -5), Reader::InvalidArgument);
    EXPECT_READER_ERROR(file->setForcedTimedPlayback(ctx, std::nanf("")), Reader::InvalidArgument);
    EXPECT_READER_ERROR(file->setForcedTimedPlayback(ctx, std::numeric_limits<float>::infinity()),
                        Reader::InvalidArgument);

    file->setForcedTimedPlayback(ctx, 4);
    EXPECT_FLOAT_EQ(file->getPlaybackDurationInSecs(ctx), 0.5f);  // masters 1, 3; thumbnail 4 is not one
    file->getItemTimestamps(ctx, times);
    EXPECT_EQ(times, (Reader::TimestampMap{{0, 1}, {250, 3}}));
    std::vector<std::uint32_t> itemTimes;
    file->getTimestampsOfItem(ctx, 4, itemTimes);
    EXPECT_EQ(itemTimes, std::vector<std::uint32_t>{250});  // a thumbnail shares its master's time
    EXPECT_THROW(file->getTimestampsOfItem(ctx, 2, itemTimes), std::out_of_range);
    Reader::DecodingOrderVector order;
    file->getItemsInDecodingOrder(ctx, order);
    EXPECT_EQ(order, (Reader::DecodingOrderVector{{1, 0}, {3, 250}, {4, 250}}));
    std::vector<std::uint32_t> dependencies;
    file->getItemDecodeDependencies(ctx, 3, dependencies);
    EXPECT_EQ(dependencies, std::vector<std::uint32_t>{3});

    EXPECT_READER_ERROR(file->setForcedLoopPlayback(12345, true), Reader::InvalidContextId);
    EXPECT_NO_THROW(file->setForcedLoopPlayback(ctx, true));
}
