// Files written by other tools. Expected values were read with heif-info and exiftool -v when the
// tests were written (see data/README.md).

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "ReaderTestSupport.h"

using namespace readertest;
using Reader = ImageFileReaderInterface;
using testsupport::Bytes;

namespace
{
const Bytes kExifHeaderMM = {0, 0, 0, 6, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 0x2A};

bool startsWith(const std::vector<std::uint8_t>& data, const Bytes& prefix)
{
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

bool contains(const std::vector<std::uint8_t>& data, const std::string& text)
{
    return std::search(data.begin(), data.end(), text.begin(), text.end()) != data.end();
}

/// The way the Exif module finds the Exif item: the first item whose type, lower-cased, is "exif".
std::uint32_t findExifItem(const HevcImageFileReader& reader)
{
    const auto& meta = reader.getFileInformation().rootMetaBoxInformation;
    for (const auto& item : meta.itemFeaturesMap)
    {
        std::string type = reader.getItemType(meta.contextId, item.first);
        std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
        if (type == "exif")
        {
            return item.first;
        }
    }
    return 0;
}

std::string corpusPath(const std::string& name)
{
    return std::string(PRAVIX_CORPUS_DIR) + "/" + name;
}

bool corpusPresent()
{
    struct stat info;
    return stat(PRAVIX_CORPUS_DIR, &info) == 0;
}

void expectGrid(const HevcImageFileReader& reader, std::uint32_t item, unsigned rows, unsigned columns,
                std::uint32_t width, std::uint32_t height)
{
    const auto ctx = reader.getFileInformation().rootMetaBoxInformation.contextId;
    const auto grid = reader.getItemGrid(ctx, item);
    EXPECT_EQ(grid.rowsMinusOne + 1u, rows);
    EXPECT_EQ(grid.columnsMinusOne + 1u, columns);
    EXPECT_EQ(grid.outputWidth, width);
    EXPECT_EQ(grid.outputHeight, height);
    EXPECT_EQ(grid.itemIds.size(), std::size_t(rows * columns));
}
}  // namespace

TEST(HeifEncFiles, SingleImageIsAOneTileGrid)
{
    HevcImageFileReader reader;
    reader.initialize(dataPath("single.heic"));
    const auto ctx = reader.getFileInformation().rootMetaBoxInformation.contextId;
    EXPECT_EQ(reader.getCoverImageItemId(ctx), 2u);
    EXPECT_EQ(reader.getItemType(ctx, 2), "grid");
    EXPECT_EQ(reader.getItemType(ctx, 1), "master");
    expectGrid(reader, 2, 1, 1, 64, 48);
    std::vector<std::uint8_t> data;
    reader.getItemDataWithDecoderParameters(ctx, 1, data);
    // VPS, SPS, PPS then the slice, which continues with a 3-byte start code.
    ASSERT_GT(data.size(), 20u);
    EXPECT_TRUE(startsWith(data, {0, 0, 0, 1, 0x40, 0x01}));
    EXPECT_EQ(findExifItem(reader), 0u);
}

TEST(HeifEncFiles, ExifWrittenByExiftool)
{
    HevcImageFileReader reader;
    reader.initialize(dataPath("exif.heic"));
    const auto ctx = reader.getFileInformation().rootMetaBoxInformation.contextId;
    const std::uint32_t exif = findExifItem(reader);
    EXPECT_EQ(exif, 3u);
    std::vector<std::uint8_t> data;
    reader.getItemData(ctx, exif, data);
    EXPECT_EQ(data.size(), 242u);
    EXPECT_TRUE(startsWith(data, kExifHeaderMM));
    EXPECT_TRUE(contains(data, "PravixTest"));
    EXPECT_TRUE(contains(data, "2024:01:02 03:04:05"));
    EXPECT_TRUE(reader.getFileInformation().rootMetaBoxInformation.itemFeaturesMap.at(3).count(
        Reader::ItemFeature::IsExifItem));
}

TEST(HeifEncFiles, AlphaThumbnailTenBitAndSeveralImages)
{
    HevcImageFileReader alpha;
    alpha.initialize(dataPath("alpha.heic"));
    auto ctx = alpha.getFileInformation().rootMetaBoxInformation.contextId;
    std::vector<std::uint32_t> ids;
    alpha.getReferencedFromItemListByType(ctx, 4, "auxl", ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{2});
    EXPECT_TRUE(alpha.getFileInformation().rootMetaBoxInformation.imageFeaturesMap.at(4).count(
        Reader::ImageFeature::IsAuxiliaryImage));
    alpha.getItemListByType(ctx, "grid", ids);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{2, 4}));

    HevcImageFileReader thumb;
    thumb.initialize(dataPath("thumb.heic"));
    ctx = thumb.getFileInformation().rootMetaBoxInformation.contextId;
    thumb.getReferencedToItemListByType(ctx, 2, "thmb", ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{4});
    expectGrid(thumb, 4, 1, 1, 32, 24);

    HevcImageFileReader tenbit;
    tenbit.initialize(dataPath("tenbit.heic"));
    ctx = tenbit.getFileInformation().rootMetaBoxInformation.contextId;
    Reader::ParameterSetMap sets;
    tenbit.getDecoderParameterSets(ctx, 1, sets);
    EXPECT_FALSE(sets.at("SPS").empty());
    EXPECT_FALSE(sets.at("VPS").empty());

    HevcImageFileReader multi;
    multi.initialize(dataPath("multi.heic"));
    ctx = multi.getFileInformation().rootMetaBoxInformation.contextId;
    EXPECT_EQ(multi.getCoverImageItemId(ctx), 2u);
    multi.getItemListByType(ctx, "grid", ids);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{2, 4}));
    EXPECT_TRUE(multi.getFileInformation().features.count(Reader::FileFeature::IsImageCollection));
}

TEST(CorpusFiles, PhotosAgreeWithOtherTools)
{
    if (!corpusPresent())
    {
        GTEST_SKIP() << "no corpus at " << PRAVIX_CORPUS_DIR;
    }
    struct Expected
    {
        const char* file;
        std::uint32_t primary;
        const char* primaryType;
        std::uint32_t exifItem;
        std::size_t exifSize;
    };
    const Expected photos[] = {
        {"photoprism_iphone_7.heic", 49, "grid", 50, 1842}, {"oiio_IMG_7702_small.heic", 1, "master", 2, 1820},
        {"pillowheif_arrow.heic", 49, "grid", 51, 1730},    {"pillowheif_cat.hif", 5, "grid", 9, 40960},
        {"gen_exif_orient6.heic", 1, "master", 2, 392},     {"libheif_rainbow-451x461.heic", 1, "master", 0, 0},
    };
    for (const auto& photo : photos)
    {
        SCOPED_TRACE(photo.file);
        HevcImageFileReader reader;
        reader.initialize(corpusPath(photo.file));
        EXPECT_EQ(reader.getState(), 2);
        const auto ctx = reader.getFileInformation().rootMetaBoxInformation.contextId;
        EXPECT_EQ(reader.getCoverImageItemId(ctx), photo.primary);
        EXPECT_EQ(reader.getItemType(ctx, photo.primary), photo.primaryType);
        EXPECT_EQ(findExifItem(reader), photo.exifItem);
        if (photo.exifItem != 0)
        {
            std::vector<std::uint8_t> exif;
            reader.getItemData(ctx, photo.exifItem, exif);
            EXPECT_EQ(exif.size(), photo.exifSize);
        }
    }

    HevcImageFileReader iphone;
    iphone.initialize(corpusPath("photoprism_iphone_7.heic"));
    expectGrid(iphone, 49, 6, 8, 4032, 3024);
    const auto ctx = iphone.getFileInformation().rootMetaBoxInformation.contextId;
    std::vector<std::uint8_t> exif;
    iphone.getItemData(ctx, 50, exif);
    EXPECT_TRUE(startsWith(exif, kExifHeaderMM));
    EXPECT_TRUE(contains(exif, "Apple"));
    const auto tiles = iphone.getItemGrid(ctx, 49).itemIds;
    for (std::uint32_t i = 0; i < tiles.size(); ++i)
    {
        EXPECT_EQ(tiles[i], i + 1);
        EXPECT_EQ(iphone.getWidth(ctx, tiles[i]), 512u);
    }

    // The colours of the tiles: an ICC profile of 548 bytes after the colour type.
    for (const std::uint32_t item : {1u, 48u})  // tiles carry it, the grid does not
    {
        const auto colours = iphone.getItemColourProperties(ctx, item);
        ASSERT_EQ(colours.size(), 1u) << item;
        EXPECT_TRUE(colours[0]->hasIccProfile());
        EXPECT_EQ(colours[0]->getPayload().size(), 548u);
        EXPECT_TRUE(contains(colours[0]->getPayload(), "Display P3"));
    }

    HevcImageFileReader arrow;
    arrow.initialize(corpusPath("pillowheif_arrow.heic"));
    expectGrid(arrow, 49, 6, 8, 4032, 3024);
    const auto arrowCtx = arrow.getFileInformation().rootMetaBoxInformation.contextId;
    std::uint32_t rotation = 0;
    for (const auto& property : arrow.getItemProperties(arrowCtx, 49))
    {
        if (property.type == Reader::ItemPropertyType::IROT)
        {
            rotation = arrow.getPropertyIrot(arrowCtx, property.index).rotation;
        }
    }
    EXPECT_EQ(rotation, 270u);
    EXPECT_EQ(arrow.getWidth(arrowCtx, 50), 320u);  // the thumbnail
    EXPECT_EQ(arrow.getItemType(arrowCtx, 50), "hvc1");

    HevcImageFileReader sony;
    sony.initialize(corpusPath("pillowheif_cat.hif"));
    expectGrid(sony, 5, 2, 2, 4240, 2832);
    EXPECT_EQ(sony.getMajorBrand(), "heix");
    const auto sonyCtx = sony.getFileInformation().rootMetaBoxInformation.contextId;
    const auto sonyColours = sony.getItemColourProperties(sonyCtx, 1);
    ASSERT_EQ(sonyColours.size(), 1u);
    EXPECT_TRUE(sonyColours[0]->isNclx());
    EXPECT_EQ(sony.getWidth(sonyCtx, 1), 2176u);
    EXPECT_EQ(sony.getHeight(sonyCtx, 1), 1472u);

    HevcImageFileReader crabby;
    crabby.initialize(corpusPath("crabby_blue_grid_alpha.heic"));
    expectGrid(crabby, 1, 2, 2, 320, 240);

    HevcImageFileReader oneTile;
    oneTile.initialize(corpusPath("pillowheif_RGB_12__29x100.heif"));
    expectGrid(oneTile, 2, 1, 1, 29, 100);
}

TEST(CorpusFiles, HostileFilesFailCleanly)
{
    if (!corpusPresent())
    {
        GTEST_SKIP() << "no corpus at " << PRAVIX_CORPUS_DIR;
    }
    // No recognised brand: the parse stops at the ftyp, no meta context.
    for (const char* name : {"libheif_github_45.heic", "libheif_clap-overflow-divide-zero.heic"})
    {
        HevcImageFileReader reader;
        reader.initialize(corpusPath(name));
        EXPECT_EQ(reader.getState(), 1) << name;
        EXPECT_EQ(reader.getFileInformation().rootMetaBoxInformation.contextId, 0u);
    }

    // Sequences: ffmpeg's has no coding constraints in its sample entry, so its track is left out
    // and the file still opens; the other lists no sequence brand beside msf1.
    HevcImageFileReader sequence;
    sequence.initialize(corpusPath("gen_sequence_msf1.heics"));
    EXPECT_EQ(sequence.getState(), 2);
    EXPECT_TRUE(sequence.getFileInformation().trackInformation.empty());
    HevcImageFileReader seed;
    seed.initialize(corpusPath("libheif_seq_seed.heif"));
    EXPECT_EQ(seed.getState(), 1);

    // An item whose bytes lie past the end of the cut-short file.
    HevcImageFileReader truncated;
    truncated.initialize(corpusPath("pillowheif_truncated.heic"));
    const auto ctx = truncated.getFileInformation().rootMetaBoxInformation.contextId;
    std::vector<std::uint8_t> data;
    EXPECT_READER_ERROR(truncated.getItemData(ctx, 2, data), Reader::StreamReadFailed);
    EXPECT_NO_THROW(truncated.getItemData(ctx, 1, data));

    // A NAL unit length of zero.
    HevcImageFileReader zeroLength;
    zeroLength.initialize(corpusPath("crabby_b_506659035_hvcc_nal_zero_length.heic"));
    const auto zeroCtx = zeroLength.getFileInformation().rootMetaBoxInformation.contextId;
    EXPECT_THROW(zeroLength.getItemData(zeroCtx, 1, data), std::out_of_range);

    // Every corpus file opens and answers every item query with the reader's exceptions only.
    for (const char* name :
         {"crabby_blue_422.heic", "crabby_blue_444.heic", "crabby_blue_hevc_brand_without_moov.heic",
          "gen_10bit_444.heic", "gen_alpha_1920x1280.heic", "libheif_colors-with-alpha-thumbnail.heic",
          "libheif_with-alpha-512x512.heic", "pillowheif_L_10__128x128.heif", "pillowheif_L_exif_xmp_iptc.heic",
          "pillowheif_RGBA_10__128x128.heif", "pillowheif_zPug_3.heic"})
    {
        SCOPED_TRACE(name);
        HevcImageFileReader reader;
        reader.initialize(corpusPath(name));
        EXPECT_EQ(reader.getState(), 2);
        const auto meta = reader.getFileInformation().rootMetaBoxInformation.contextId;
        for (const auto& image : reader.getFileInformation().rootMetaBoxInformation.imageFeaturesMap)
        {
            if (reader.getDecoderCodeType(meta, image.first) == "hvc1")
            {
                EXPECT_NO_THROW(reader.getItemDataWithDecoderParameters(meta, image.first, data));
            }
        }
    }
}
