// Files written by the project's own box writers (FixtureWriter.h), read back by the reader.
// Set PRAVIX_WRITE_FIXTURES=1 to rewrite data/fixtures/*.heic after a deliberate change.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "CurrentTestFolder.h"
#include "FixtureWriter.h"
#include "ReaderTestSupport.h"

using namespace readertest;
using Reader = ImageFileReaderInterface;
using testsupport::Bytes;

namespace
{
const std::pair<const char*, Bytes (*)()> kFixtures[] = {
    {"grid3x2.heic", fixtures::writeGrid3x2},
    {"grid2x2.heic", fixtures::writeGrid2x2},
    {"avc.heic", fixtures::writeAvc},
};

OpenedFile openFixture(const char* name)
{
    return openBytes(readFile(dataPath(std::string("fixtures/") + name)));
}

bool haveFfmpeg()
{
    return std::system("ffmpeg -version > /dev/null 2>&1") == 0;
}

/// Decodes an H.265 byte stream with ffmpeg into raw 8-bit frames.
Bytes decodeWithFfmpeg(const Bytes& stream, const std::string& format)
{
    const std::string input = testsupport::CurrentTestFolder::path("decode_in.bin");
    const std::string output = testsupport::CurrentTestFolder::path("decode_out.yuv");
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    std::remove(output.c_str());
    const std::string command = "ffmpeg -loglevel error -y -f " + format + " -i " + input +
                                " -f rawvideo -pix_fmt yuv420p " + output + " > /dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return readFile(output);
}
}  // namespace

TEST(Fixtures, WriterMakesTheShippedFiles)
{
    const bool rewrite = std::getenv("PRAVIX_WRITE_FIXTURES") != nullptr;
    for (const auto& fixture : kFixtures)
    {
        const Bytes written = fixture.second();
        const std::string path = dataPath(std::string("fixtures/") + fixture.first);
        if (rewrite)
        {
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(written.data()), static_cast<std::streamsize>(written.size()));
        }
        EXPECT_EQ(written, readFile(path)) << fixture.first;
    }
}

TEST(Fixtures, GridWithThumbnailAlphaExifAndTransforms)
{
    auto file = openFixture("grid3x2.heic");
    const auto ctx = file.meta();
    EXPECT_EQ(file->getCoverImageItemId(ctx), 7u);
    const auto grid = file->getItemGrid(ctx, 7);
    EXPECT_EQ(grid.rowsMinusOne, 1);
    EXPECT_EQ(grid.columnsMinusOne, 2);
    EXPECT_EQ(grid.outputWidth, 160u);
    EXPECT_EQ(grid.outputHeight, 100u);
    EXPECT_EQ(grid.itemIds, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6}));
    std::vector<std::uint32_t> ids;
    file->getItemListByType(ctx, "master", ids);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6}));  // hidden tiles

    // Transformations of the grid in association order: ispe, clap, irot, imir.
    std::vector<Reader::ItemPropertyType> types;
    for (const auto& property : file->getItemProperties(ctx, 7))
    {
        types.push_back(property.type);
        if (property.type == Reader::ItemPropertyType::IROT)
        {
            EXPECT_EQ(file->getPropertyIrot(ctx, property.index).rotation, 90u);
        }
        if (property.type == Reader::ItemPropertyType::CLAP)
        {
            EXPECT_EQ(file->getPropertyClap(ctx, property.index).width.numerator, 150u);
        }
        if (property.type == Reader::ItemPropertyType::IMIR)
        {
            EXPECT_FALSE(file->getPropertyImir(ctx, property.index).horizontalAxis);
        }
    }
    EXPECT_EQ(types,
              (std::vector<Reader::ItemPropertyType>{Reader::ItemPropertyType::ISPE, Reader::ItemPropertyType::CLAP,
                                                     Reader::ItemPropertyType::IROT, Reader::ItemPropertyType::IMIR}));

    // Thumbnail and alpha.
    EXPECT_EQ(file->getItemType(ctx, 8), "hvc1");
    EXPECT_EQ(file->getWidth(ctx, 8), 40u);
    file->getReferencedToItemListByType(ctx, 7, "thmb", ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{8});
    EXPECT_EQ(file->getItemType(ctx, 9), "hidden");
    for (const auto& property : file->getItemProperties(ctx, 9))
    {
        if (property.type == Reader::ItemPropertyType::AUXC)
        {
            EXPECT_EQ(file->getPropertyAuxc(ctx, property.index).auxType, "urn:mpeg:hevc:2015:auxid:1");
        }
    }

    // Exif over two extents with other bytes between them, XMP in idat.
    std::vector<std::uint8_t> data;
    file->getItemData(ctx, 10, data);
    EXPECT_EQ(data, fixtures::exifBlock());
    file->getItemData(ctx, 11, data);
    EXPECT_EQ(std::string(data.begin(), data.end()), "<x:xmpmeta/>");
    EXPECT_EQ(file->getItemType(ctx, 11), "mime");
}

TEST(Fixtures, AvcImage)
{
    auto file = openFixture("avc.heic");
    const auto ctx = file.meta();
    EXPECT_EQ(file->getDecoderCodeType(ctx, 1), "avc1");
    Reader::ParameterSetMap sets;
    file->getDecoderParameterSets(ctx, 1, sets);
    EXPECT_EQ(sets.count("VPS"), 0u);
    ASSERT_GT(sets.at("SPS").size(), 4u);
    EXPECT_EQ(sets.at("SPS")[4] & 0x1F, 7);
    EXPECT_EQ(sets.at("PPS")[4] & 0x1F, 8);
    std::vector<std::uint8_t> data;
    file->getItemDataWithDecoderParameters(ctx, 1, data);
    EXPECT_GT(data.size(), sets.at("SPS").size() + sets.at("PPS").size());
}

// Each tile's access unit, as the reader hands it out, decodes to the same picture as the
// stream it was made from.
TEST(Fixtures, TilesDecodeLikeTheirSources)
{
    if (!haveFfmpeg())
    {
        GTEST_SKIP() << "ffmpeg not installed";
    }
    auto file = openFixture("grid2x2.heic");
    const auto ctx = file.meta();
    const char* sources[] = {"tile_r0_c0.hevc", "tile_r0_c1.hevc", "tile_r1_c0.hevc", "tile_r1_c1.hevc"};
    const auto tiles = file->getItemGrid(ctx, 5).itemIds;
    ASSERT_EQ(tiles.size(), 4u);
    for (std::size_t i = 0; i < tiles.size(); ++i)
    {
        std::vector<std::uint8_t> accessUnit;
        file->getItemDataWithDecoderParameters(ctx, tiles[i], accessUnit);
        const Bytes decoded = decodeWithFfmpeg(accessUnit, "hevc");
        const Bytes expected = decodeWithFfmpeg(readFile(dataPath(std::string("fixtures/") + sources[i])), "hevc");
        EXPECT_EQ(decoded.size(), std::size_t(64 * 64 * 3 / 2)) << sources[i];
        EXPECT_TRUE(decoded == expected) << sources[i];
    }
    auto avc = openFixture("avc.heic");
    std::vector<std::uint8_t> accessUnit;
    avc->getItemDataWithDecoderParameters(avc.meta(), 1, accessUnit);
    const Bytes decoded = decodeWithFfmpeg(accessUnit, "h264");
    EXPECT_EQ(decoded.size(), std::size_t(64 * 48 * 3 / 2));
    EXPECT_TRUE(decoded == decodeWithFfmpeg(readFile(dataPath("fixtures/picture.h264")), "h264"));
}
