#pragma once

// Writes the reader's HEIF fixtures with the container library's own box writers, around coded
// pictures that ffmpeg's x265 and x264 encoders made (data/fixtures/*.hevc, *.h264; see
// data/README.md). The files it writes are shipped in data/fixtures/ and checked byte for byte.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AuxiliaryTypeProperty.h"
#include "AvcConfigurationBox.h"
#include "BitStream.h"
#include "CleanAperture.h"
#include "FileTypeBox.h"
#include "HevcConfigurationBox.h"
#include "ImageGrid.h"
#include "ImageMirror.h"
#include "ImageRotation.h"
#include "ImageSpatialExtentsProperty.h"
#include "MediaDataBox.h"
#include "MetaBox.h"
#include "ReaderTestSupport.h"

namespace fixtures
{
using Bytes = std::vector<std::uint8_t>;

/// One coded picture: its parameter sets and its other units with 4-byte lengths in front.
struct CodedPicture
{
    std::vector<Bytes> parameterSets;  // in stream order, start codes removed
    Bytes data;                        // length-prefixed units, SEI left out
    bool avc = false;
};

inline CodedPicture loadPicture(const std::string& name)
{
    const Bytes stream = readertest::readFile(readertest::dataPath("fixtures/" + name));
    CodedPicture picture;
    picture.avc = name.size() > 5 && name.substr(name.size() - 5) == ".h264";
    auto code = findStartCode(stream, 0);
    while (code.second != 0)
    {
        const std::size_t begin = code.first + code.second;
        const auto next = findStartCode(stream, begin);
        const Bytes unit(stream.begin() + std::ptrdiff_t(begin), stream.begin() + std::ptrdiff_t(next.first));
        code = next;
        if (unit.empty())
        {
            continue;
        }
        const unsigned type = picture.avc ? (unit[0] & 0x1F) : ((unit[0] >> 1) & 0x3F);
        const bool parameterSet = picture.avc ? (type == 7 || type == 8) : (type >= 32 && type <= 34);
        const bool sei = picture.avc ? type == 6 : (type == 39 || type == 40);
        if (parameterSet)
        {
            picture.parameterSets.push_back(unit);
        }
        else if (!sei)
        {
            for (int shift = 24; shift >= 0; shift -= 8)
            {
                picture.data.push_back(static_cast<std::uint8_t>(unit.size() >> shift));
            }
            picture.data.insert(picture.data.end(), unit.begin(), unit.end());
        }
    }
    return picture;
}

inline Bytes withStartCode(const Bytes& unit)
{
    Bytes out = {0, 0, 0, 1};
    out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

inline std::shared_ptr<Box> configurationBox(const CodedPicture& picture)
{
    if (picture.avc)
    {
        AvcDecoderConfigRecord record;
        for (const auto& unit : picture.parameterSets)
        {
            if ((unit[0] & 0x1F) == 7)
            {
                record.configureFromSps(withStartCode(unit));
                record.setAvcProfileIndication(unit[1]);
                record.setProfileCompatibility(unit[2]);
                record.setAvcLevelIndication(unit[3]);
            }
        }
        for (const auto& unit : picture.parameterSets)
        {
            record.addNalUnit(unit, unit[0] & 0x1F, 1);
        }
        auto box = std::make_shared<AvcConfigurationBox>();
        box->setConfiguration(record);
        return box;
    }
    HevcDecoderConfigRecord record;
    for (const auto& unit : picture.parameterSets)
    {
        if (((unit[0] >> 1) & 0x3F) == 33)
        {
            record.configureFromSps(withStartCode(unit), 0);
        }
    }
    for (const auto& unit : picture.parameterSets)
    {
        record.addNalUnit(unit, (unit[0] >> 1) & 0x3F, 1);
    }
    auto box = std::make_shared<HevcConfigurationBox>();
    box->setConfiguration(record);
    return box;
}

/// A file under construction: the meta box is built by a function of the mdat position, so that
/// item offsets can be final before the meta box is written (its size does not depend on them).
class FileWriter
{
public:
    /// Appends data to the media data; returns its offset from the start of the payload.
    std::uint32_t addMedia(const Bytes& data)
    {
        const std::uint32_t offset = static_cast<std::uint32_t>(mMedia.size());
        mMedia.insert(mMedia.end(), data.begin(), data.end());
        return offset;
    }

    template <typename BuildMeta>
    Bytes write(const std::vector<std::string>& brands, BuildMeta buildMeta) const
    {
        FileTypeBox ftyp;
        ftyp.setMajorBrand(brands.front());
        for (const auto& brand : brands)
        {
            ftyp.addCompatibleBrand(brand);
        }
        BitStream head;
        ftyp.writeBox(head);
        const std::uint32_t ftypSize = head.getSize();

        BitStream draft;
        buildMeta(0u)->writeBox(draft);
        const std::uint32_t mediaStart = ftypSize + draft.getSize() + 8;
        buildMeta(mediaStart)->writeBox(head);

        head.writeU32(static_cast<std::uint32_t>(mMedia.size() + 8));
        head.writeString("mdat");
        head.writeBytes(mMedia, static_cast<std::uint32_t>(mMedia.size()));
        return head.getStorage();
    }

private:
    Bytes mMedia;
};

inline Bytes exifBlock()
{
    // A big-endian TIFF header with one IFD entry: Make = "Pravix".
    return {0, 0, 0, 6, 'E', 'x', 'i', 'f', 0, 0,  'M', 'M', 0, 42, 0,   0,   0,   8,   0,   1,   0x01, 0x0F,
            0, 2, 0, 0, 0,   7,   0,   0,   0, 26, 0,   0,   0, 0,  'P', 'r', 'a', 'v', 'i', 'x', 0};
}

/// Adds grid item id to meta: rows x columns tiles over a width x height picture, its description
/// in idat and its spatial extents (the tiles and their dimg references are the caller's).
inline void addGridItem(MetaBox& meta, std::uint32_t id, std::uint8_t rows, std::uint8_t columns, std::uint32_t width,
                        std::uint32_t height)
{
    ImageGrid grid;
    grid.rowsMinusOne = std::uint8_t(rows - 1);
    grid.columnsMinusOne = std::uint8_t(columns - 1);
    grid.outputWidth = width;
    grid.outputHeight = height;
    BitStream gridBytes;
    writeImageGrid(grid, gridBytes);
    meta.addIdatItem(id, "grid", "", gridBytes.getStorage());
    meta.addProperty(std::make_shared<ImageSpatialExtentsProperty>(width, height), {id}, false);
}

/// 3x2 grid (item 7, primary) of 64x64 tiles 1-6 over a 160x100 picture (the right column and
/// the bottom row overhang), rotated, mirrored and cropped; a thumbnail (8), an alpha plane (9),
/// an Exif item split over two extents (10) and an XMP item in idat (11).
inline Bytes writeGrid3x2()
{
    std::vector<CodedPicture> tiles;
    for (int row = 0; row < 2; ++row)
    {
        for (int column = 0; column < 3; ++column)
        {
            tiles.push_back(loadPicture("tile_r" + std::to_string(row) + "_c" + std::to_string(column) + ".hevc"));
        }
    }
    const CodedPicture thumbnail = loadPicture("thumb.hevc");
    const CodedPicture alpha = loadPicture("alpha.hevc");
    const Bytes exif = exifBlock();
    const Bytes xmp = {'<', 'x', ':', 'x', 'm', 'p', 'm', 'e', 't', 'a', '/', '>'};

    FileWriter file;
    std::vector<std::uint32_t> tileOffsets;
    for (const auto& tile : tiles)
    {
        tileOffsets.push_back(file.addMedia(tile.data));
    }
    const std::uint32_t thumbnailOffset = file.addMedia(thumbnail.data);
    const std::uint32_t alphaOffset = file.addMedia(alpha.data);
    const std::uint32_t exifFirst = file.addMedia(Bytes(exif.begin(), exif.begin() + 20));
    file.addMedia({0xDE, 0xAD});  // not part of any item
    const std::uint32_t exifSecond = file.addMedia(Bytes(exif.begin() + 20, exif.end()));

    return file.write({"heic", "mif1"},
                      [&](std::uint32_t mediaStart)
                      {
                          auto meta = std::make_shared<MetaBox>();
                          meta->setHandlerType("pict");
                          meta->setPrimaryItemId(7);
                          const auto tileSize = std::make_shared<ImageSpatialExtentsProperty>(64, 64);
                          for (std::uint32_t i = 0; i < tiles.size(); ++i)
                          {
                              const std::uint32_t id = i + 1;
                              meta->addItem(id, "hvc1", "", true);
                              meta->addIloc(id, tileOffsets[i], tiles[i].data.size(), mediaStart);
                              meta->addProperty(configurationBox(tiles[i]), {id}, true);
                              meta->addProperty(tileSize, {id}, false);
                              meta->addItemReference(FourCCInt("dimg"), 7, id);
                          }
                          addGridItem(*meta, 7, 2, 3, 160, 100);
                          auto clap = std::make_shared<CleanAperture>();
                          clap->setWidth({150, 1});
                          clap->setHeight({90, 1});
                          clap->setHorizOffset({0, 1});
                          clap->setVertOffset({0, 1});
                          meta->addProperty(clap, {7}, true);
                          auto irot = std::make_shared<ImageRotation>();
                          irot->setAngle(90);
                          meta->addProperty(irot, {7}, true);
                          auto imir = std::make_shared<ImageMirror>();
                          imir->setHorizontalAxis(false);
                          meta->addProperty(imir, {7}, true);

                          meta->addItem(8, "hvc1", "");
                          meta->addIloc(8, thumbnailOffset, thumbnail.data.size(), mediaStart);
                          meta->addProperty(configurationBox(thumbnail), {8}, true);
                          meta->addProperty(std::make_shared<ImageSpatialExtentsProperty>(40, 24), {8}, false);
                          meta->addItemReference(FourCCInt("thmb"), 8, 7);

                          meta->addItem(9, "hvc1", "", true);
                          meta->addIloc(9, alphaOffset, alpha.data.size(), mediaStart);
                          meta->addProperty(configurationBox(alpha), {9}, true);
                          meta->addProperty(std::make_shared<ImageSpatialExtentsProperty>(160, 100), {9}, false);
                          auto auxc = std::make_shared<AuxiliaryTypeProperty>();
                          auxc->setAuxType("urn:mpeg:hevc:2015:auxid:1");
                          meta->addProperty(auxc, {9}, true);
                          meta->addItemReference(FourCCInt("auxl"), 9, 7);

                          meta->addItem(10, "Exif", "");
                          meta->addIloc(10, mediaStart + exifFirst, 20, 0);
                          meta->addMdatExtent(10, mediaStart + exifSecond, exif.size() - 20);
                          meta->addItemReference(FourCCInt("cdsc"), 10, 7);

                          meta->addIdatItem(11, "mime", "", xmp);
                          meta->addItemReference(FourCCInt("cdsc"), 11, 7);
                          return meta;
                      });
}

/// 2x2 grid (item 5, primary) of four 64x64 tiles over 120x100.
inline Bytes writeGrid2x2()
{
    const char* names[] = {"tile_r0_c0.hevc", "tile_r0_c1.hevc", "tile_r1_c0.hevc", "tile_r1_c1.hevc"};
    std::vector<CodedPicture> tiles;
    FileWriter file;
    std::vector<std::uint32_t> offsets;
    for (const char* name : names)
    {
        tiles.push_back(loadPicture(name));
        offsets.push_back(file.addMedia(tiles.back().data));
    }
    return file.write({"heic", "mif1"},
                      [&](std::uint32_t mediaStart)
                      {
                          auto meta = std::make_shared<MetaBox>();
                          meta->setHandlerType("pict");
                          meta->setPrimaryItemId(5);
                          for (std::uint32_t i = 0; i < 4; ++i)
                          {
                              meta->addItem(i + 1, "hvc1", "", true);
                              meta->addIloc(i + 1, mediaStart + offsets[i], tiles[i].data.size(), 0);
                              meta->addProperty(configurationBox(tiles[i]), {i + 1}, true);
                              meta->addProperty(std::make_shared<ImageSpatialExtentsProperty>(64, 64), {i + 1}, false);
                              meta->addItemReference(FourCCInt("dimg"), 5, i + 1);
                          }
                          addGridItem(*meta, 5, 2, 2, 120, 100);
                          return meta;
                      });
}

/// One avc1 image (item 1, primary), 64x48.
inline Bytes writeAvc()
{
    const CodedPicture picture = loadPicture("picture.h264");
    FileWriter file;
    const std::uint32_t offset = file.addMedia(picture.data);
    return file.write({"avic", "mif1"},
                      [&](std::uint32_t mediaStart)
                      {
                          auto meta = std::make_shared<MetaBox>();
                          meta->setHandlerType("pict");
                          meta->setPrimaryItemId(1);
                          meta->addItem(1, "avc1", "");
                          meta->addIloc(1, offset, picture.data.size(), mediaStart);
                          meta->addProperty(configurationBox(picture), {1}, true);
                          meta->addProperty(std::make_shared<ImageSpatialExtentsProperty>(64, 48), {1}, false);
                          return meta;
                      });
}
}  // namespace fixtures
