// Whole 'meta' boxes of HEIC files written by tools outside the project: the two heif-enc files
// of data/ and, when present, every sample file of the shared corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "AuxiliaryTypeProperty.h"
#include "BoxBuilder.h"
#include "HevcConfigurationBox.h"
#include "ImageSpatialExtentsProperty.h"
#include "MetaBox.h"

using testsupport::Bytes;
using Type = ItemPropertiesBox::PropertyType;

namespace
{
namespace fs = std::filesystem;

Bytes readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

/// The root boxes of a file up to the first damaged one; damaged tells whether there was one.
std::vector<std::pair<FourCCInt, BitStream>> rootBoxes(const Bytes& file, bool* damaged = nullptr)
{
    std::vector<std::pair<FourCCInt, BitStream>> boxes;
    BitStream stream(file);
    try
    {
        while (stream.numBytesLeft() > 0)
        {
            FourCCInt type;
            BitStream box = stream.readChildBox(type);
            boxes.emplace_back(type, std::move(box));
        }
    }
    catch (const std::out_of_range&)
    {
        if (damaged == nullptr)
        {
            throw;
        }
        *damaged = true;
    }
    return boxes;
}

struct ParsedMeta
{
    MetaBox meta;
    Bytes written;
};

/// Parses the meta box, writes it, parses that again and expects the same bytes once more.
void parseAndRewrite(BitStream& box, ParsedMeta& out)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try
    {
        out.meta.parseBox(box);
    }
    catch (...)
    {
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        throw;
    }
    out.written = testsupport::writeBytes(out.meta);
    MetaBox again;
    testsupport::parseBytes(again, out.written);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(testsupport::writeBytes(again), out.written);
}

/// The bytes of an item stored in the file or in idat.
Bytes itemBytes(const MetaBox& meta, const Bytes& file, std::uint32_t itemId)
{
    const ItemLocation& location = meta.getItemLocationBox().getItemLocationForID(itemId);
    Bytes data;
    for (const auto& extent : location.getExtentList())
    {
        const std::uint64_t start = location.getBaseOffset() + extent.mExtentOffset;
        if (location.getConstructionMethod() == ItemLocation::kIdatOffset)
        {
            meta.getItemDataBox().read(data, start, extent.mExtentLength);
        }
        else if (start + extent.mExtentLength <= file.size())
        {
            data.insert(data.end(), file.begin() + std::ptrdiff_t(start),
                        file.begin() + std::ptrdiff_t(start + extent.mExtentLength));
        }
        else
        {
            throw std::out_of_range("vector");
        }
    }
    return data;
}

/// An Exif item starts with the offset of its TIFF header, counted after those four bytes.
bool hasTiffHeader(const Bytes& exif)
{
    if (exif.size() < 8)
    {
        return false;
    }
    const std::uint64_t offset = (std::uint64_t(exif[0]) << 24) | (exif[1] << 16) | (exif[2] << 8) | exif[3];
    if (offset + 8 > exif.size())
    {
        return false;
    }
    const std::string header(exif.begin() + 4 + std::ptrdiff_t(offset), exif.begin() + 8 + std::ptrdiff_t(offset));
    return header == std::string("MM\0*", 4) || header == std::string("II*\0", 4);
}

ParsedMeta parseDataFile(const std::string& name, Bytes& file)
{
    file = readFile(fs::path(PRAVIX_SOURCE_DIR) / "container/tests/data" / name);
    ParsedMeta parsed;
    for (auto& [type, box] : rootBoxes(file))
    {
        if (type == FourCCInt("meta"))
        {
            parseAndRewrite(box, parsed);
            return parsed;
        }
    }
    ADD_FAILURE() << "no meta box in " << name;
    return parsed;
}
}  // namespace

TEST(RealFileMeta, ExifFileReachesItsExifBlock)
{
    Bytes file;
    const ParsedMeta parsed = parseDataFile("exif-128x96.heic", file);
    const MetaBox& meta = parsed.meta;
    EXPECT_EQ(meta.getHandlerType(), "pict");
    EXPECT_EQ(meta.getPrimaryItemBox().getItemId(), 1u);
    EXPECT_EQ(meta.getItemInfoBox().getItemIds(), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(meta.getItemInfoBox().getItemById(1).getItemType(), "hvc1");
    EXPECT_EQ(meta.getItemInfoBox().getItemById(2).getItemType(), "Exif");
    const auto cdsc = meta.getItemReferenceBox().getReferencesOfType(FourCCInt("cdsc"));
    ASSERT_EQ(cdsc.size(), 1u);
    EXPECT_EQ(cdsc[0].getFromItemID(), 2u);

    // The Exif item: a 4-byte offset to the TIFF header (heif-enc writes 0 and no "Exif"
    // signature), then the TIFF data carrying the Make written by exiftool.
    const Bytes exif = itemBytes(meta, file, 2);
    ASSERT_GT(exif.size(), 10u);
    EXPECT_TRUE(hasTiffHeader(exif));
    const std::string text(exif.begin(), exif.end());
    EXPECT_NE(text.find("Pravix Test"), std::string::npos);

    // The rewritten meta still addresses the same bytes.
    MetaBox rewritten;
    testsupport::parseBytes(rewritten, parsed.written);
    EXPECT_EQ(itemBytes(rewritten, file, 2), exif);

    const auto& props = meta.getItemPropertiesBox();
    const auto ispe = props.getPropertyByIndex<ImageSpatialExtentsProperty>(props.findPropertyIndex(Type::ISPE, 1) - 1);
    ASSERT_NE(ispe, nullptr);
    EXPECT_EQ(ispe->getDisplayWidth(), 128u);
    EXPECT_EQ(ispe->getDisplayHeight(), 96u);
    const auto hvcc = props.getPropertyByIndex<HevcConfigurationBox>(props.findPropertyIndex(Type::HVCC, 1) - 1);
    ASSERT_NE(hvcc, nullptr);
    const auto& config = hvcc->getConfiguration();
    EXPECT_EQ(config.getNumOfArrays(), 3);

    // The hvcC writes back byte for byte.
    const Bytes hvccBytes = testsupport::writeBytes(*hvcc);
    EXPECT_NE(std::search(file.begin(), file.end(), hvccBytes.begin(), hvccBytes.end()), file.end());

    // The record's own SPS reader agrees with what the encoder wrote into hvcC (which leaves
    // its constraint flags at 0 although the SPS sets some).
    Bytes sps;
    config.appendParameterSets(sps, 33);
    HevcDecoderConfigRecord fromSps;
    fromSps.configureFromSps(sps, 0.0f);
    EXPECT_EQ(fromSps.getGeneralProfileIdc(), config.getGeneralProfileIdc());
    EXPECT_EQ(fromSps.getGeneralProfileCompatibilityFlags(), config.getGeneralProfileCompatibilityFlags());
    EXPECT_EQ(fromSps.getGeneralConstraintIndicatorFlags()[0], 0x90);
    EXPECT_EQ(fromSps.getGeneralLevelIdc(), config.getGeneralLevelIdc());
    EXPECT_EQ(fromSps.getChromaFormat(), config.getChromaFormat());
    EXPECT_EQ(fromSps.getBitDepthLumaMinus8(), config.getBitDepthLumaMinus8());
    EXPECT_EQ(fromSps.getNumTemporalLayers(), config.getNumTemporalLayers());
    EXPECT_EQ(fromSps.getCroppedPicWidth(), 128u);
    EXPECT_EQ(fromSps.getCroppedPicHeight(), 96u);
}

TEST(RealFileMeta, AlphaAndThumbnailFile)
{
    Bytes file;
    const ParsedMeta parsed = parseDataFile("alpha-thumb-96x64.heic", file);
    const MetaBox& meta = parsed.meta;
    EXPECT_EQ(meta.getItemInfoBox().getItemIds().size(), 6u);
    EXPECT_EQ(meta.getItemInfoBox().countItemsOfType("grid"), 2u);
    EXPECT_EQ(meta.getItemReferenceBox().getReferencesOfType(FourCCInt("auxl")).size(), 2u);
    const auto thmb = meta.getItemReferenceBox().getReferencesOfType(FourCCInt("thmb"));
    ASSERT_EQ(thmb.size(), 1u);
    EXPECT_EQ(thmb[0].getToItemIds(), (std::vector<std::uint32_t>{1}));
    // The thumbnail grid's descriptor lives in idat.
    EXPECT_EQ(meta.getItemLocationBox().getItemLocationForID(4).getConstructionMethod(), ItemLocation::kIdatOffset);
    EXPECT_EQ(itemBytes(meta, file, 4).size(), 8u);
    const auto& props = meta.getItemPropertiesBox();
    const auto ispe = props.getPropertyByIndex<ImageSpatialExtentsProperty>(props.findPropertyIndex(Type::ISPE, 4) - 1);
    ASSERT_NE(ispe, nullptr);
    EXPECT_EQ(ispe->getDisplayHeight(), 20u);

    // Item 2 is the alpha plane of item 1.
    const auto aux = props.getPropertyByIndex<AuxiliaryTypeProperty>(props.findPropertyIndex(Type::AUXC, 2) - 1);
    ASSERT_NE(aux, nullptr);
    EXPECT_EQ(aux->getAuxType(), "urn:mpeg:hevc:2015:auxid:1");
    EXPECT_TRUE(aux->getAuxSubType().empty());

    // Every association resolves inside ipco; the unknown pixi boxes keep their places.
    for (std::uint32_t item = 1; item <= 6; ++item)
    {
        const auto infos = props.getItemProperties(item);
        ASSERT_FALSE(infos.empty()) << item;
        for (const auto& info : infos)
        {
            EXPECT_LT(info.index, props.getItemPropertyContainer().getPropertyCount());
        }
    }
}

TEST(RealFileMeta, CorpusMetaBoxesParseOrFailCleanly)
{
    const char* env = std::getenv("PRAVIX_CORPUS_DIR");
    const fs::path dir = env != nullptr ? fs::path(env) : fs::path(PRAVIX_CORPUS_DIR);
    if (!fs::is_directory(dir))
    {
        GTEST_SKIP() << "no sample files at " << dir;
    }
    int parsedCount = 0;
    int exifCount = 0;
    for (const auto& entry : fs::directory_iterator(dir))
    {
        SCOPED_TRACE(entry.path().filename().string());
        const Bytes file = readFile(entry.path());
        bool damaged = false;
        auto boxes = rootBoxes(file, &damaged);
        if (damaged)
        {
            std::cout << entry.path().filename().string() << ": damaged root box after " << boxes.size() << " boxes"
                      << std::endl;
        }
        for (auto& [type, box] : boxes)
        {
            if (type != FourCCInt("meta"))
            {
                continue;
            }
            ParsedMeta parsed;
            try
            {
                parseAndRewrite(box, parsed);
            }
            catch (const std::out_of_range& e)
            {
                std::cout << entry.path().filename().string() << ": out_of_range " << e.what() << std::endl;
                continue;
            }
            catch (const std::runtime_error& e)
            {
                std::cout << entry.path().filename().string() << ": runtime_error " << e.what() << std::endl;
                continue;
            }
            ++parsedCount;
            for (const auto& item : parsed.meta.getItemInfoBox().getItemsByType("Exif"))
            {
                try
                {
                    const Bytes exif = itemBytes(parsed.meta, file, item.getItemID());
                    EXPECT_TRUE(hasTiffHeader(exif));
                    ++exifCount;
                }
                catch (const std::exception&)
                {
                    // A truncated sample may cut its Exif item.
                }
            }
        }
    }
    std::cout << parsedCount << " meta boxes parsed, " << exifCount << " Exif items reached" << std::endl;
    EXPECT_GE(parsedCount, 15);
    EXPECT_GE(exifCount, 5);
}
