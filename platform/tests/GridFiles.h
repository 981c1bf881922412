#pragma once

// Builds HEIF grids in the test from the coded picture of a fixture file: the picture's parameter sets
// and slices become a tile item, which the grid names in any pattern, at any output size.

#include "HeifBuilder.h"
#include "HeifImageItems.h"
#include "PlatformTestSupport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pravix::test
{

using readertest::Bytes;

struct CodedPicture
{
    Bytes vps, sps, pps;
    std::vector<Bytes> slices;
    uint32_t width = 0;
    uint32_t height = 0;
};

// The NAL units of an HEVC byte stream sorted into the picture: parameter sets to their places, slices
// (types 0 to 31) in order; anything else (an encoder's SEI) is left out. Units start after each 00 00 01
// and run to the next start code (its leading zeros excluded).
inline void sortUnits(const std::vector<uint8_t>& stream, CodedPicture& picture)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= stream.size(); ++i)
    {
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1)
        {
            starts.push_back(i + 3);
            i += 2;
        }
    }
    for (size_t k = 0; k < starts.size(); ++k)
    {
        size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : stream.size();
        while (end > starts[k] && stream[end - 1] == 0)
        {
            --end;
        }
        const Bytes unit(stream.begin() + static_cast<long>(starts[k]), stream.begin() + static_cast<long>(end));
        const int type = unit.empty() ? -1 : (unit[0] >> 1) & 0x3F;
        if (type == 32)
        {
            picture.vps = unit;
        }
        else if (type == 33)
        {
            picture.sps = unit;
        }
        else if (type == 34)
        {
            picture.pps = unit;
        }
        else if (type >= 0 && type < 32)
        {
            picture.slices.push_back(unit);
        }
    }
}

// A coded picture of a fixture file (its primary image unless an item is named), split into its NAL units.
inline CodedPicture codedPictureOf(const std::string& fixture, uint32_t itemId = 0)
{
    const std::vector<uint8_t> file = readBytes(dataPath(fixture));
    HeifImageItems items(file);
    const uint32_t id = itemId != 0 ? itemId : items.primaryItemId();
    const std::vector<uint8_t> stream = items.byteStream(id);
    CodedPicture picture;
    const auto size = items.spatialExtent(id);
    picture.width = size->width;
    picture.height = size->height;
    sortUnits(stream, picture);
    return picture;
}

struct GridSpec
{
    uint32_t rows = 1;
    uint32_t columns = 1;
    uint32_t width = 0;  // output size
    uint32_t height = 0;
    // The tile item each place names, row by row: an index into the distinct tiles (one per picture).
    std::vector<uint32_t> pattern;
    std::vector<Bytes> gridProperties;  // e.g. irot, imir, clap boxes, in association order
};

// A grid file whose distinct tiles are the given pictures (all of one size), named as the pattern says;
// an empty pattern names tile 0 at every place. The grid is item 1, the tiles items 2, 3, ...
inline std::vector<uint8_t> gridFile(const std::vector<CodedPicture>& tiles, const GridSpec& spec)
{
    readertest::HeifBuilder builder;
    builder.primaryItem = 1;
    testsupport::ByteBuilder grid;
    const bool wide = spec.width > 0xFFFF || spec.height > 0xFFFF;
    grid.u8(0).u8(wide ? 1 : 0).u8(spec.rows - 1).u8(spec.columns - 1);
    if (wide)
    {
        grid.u32(spec.width).u32(spec.height);
    }
    else
    {
        grid.u16(spec.width).u16(spec.height);
    }
    readertest::Item& gridItem = builder.addItem(1, "grid", grid);
    gridItem.method = 1;
    builder.associate(1, builder.addProperty(readertest::makeIspe(spec.width, spec.height)));
    for (const Bytes& property : spec.gridProperties)
    {
        builder.associate(1, builder.addProperty(property), true);
    }
    std::vector<uint32_t> ids;
    for (size_t i = 0; i < tiles.size(); ++i)
    {
        const CodedPicture& tile = tiles[i];
        const uint32_t id = static_cast<uint32_t>(2 + i);
        builder.addItem(id, "hvc1", readertest::lengthPrefixed(tile.slices)).hidden = true;
        builder.associate(id, builder.addProperty(readertest::makeHvcC(tile.vps, tile.sps, tile.pps)), true);
        builder.associate(id, builder.addProperty(readertest::makeIspe(tile.width, tile.height)));
        ids.push_back(id);
    }
    std::vector<uint32_t> named;
    for (uint32_t place = 0; place < spec.rows * spec.columns; ++place)
    {
        named.push_back(ids.at(spec.pattern.empty() ? 0 : spec.pattern.at(place)));
    }
    builder.addReference("dimg", 1, named);
    return builder.build();
}

// What a grid of the given pictures must look like: each place's picture (as a reference decoder
// decoded it) at its place, cut to the output size.
inline Bitmap expectedGrid(const std::vector<Bitmap>& decoded, const GridSpec& spec)
{
    Bitmap out;
    out.allocate(spec.width, spec.height, 3);
    const uint32_t tw = decoded.front().width;
    const uint32_t th = decoded.front().height;
    for (uint32_t y = 0; y < spec.height; ++y)
    {
        for (uint32_t x = 0; x < spec.width; ++x)
        {
            const uint32_t place = (y / th) * spec.columns + x / tw;
            const Bitmap& tile = decoded.at(spec.pattern.empty() ? 0 : spec.pattern.at(place));
            const uint8_t* s = tile.row(y % th) + (x % tw) * tile.channels;
            std::copy_n(s, 3, out.row(y) + x * 3);
        }
    }
    return out;
}

// PSNR of the RGB channels of the rectangle (x, y, w, h) of two pictures; 99 where they are equal.
inline double regionPsnr(const Bitmap& a, const Bitmap& b, uint32_t x, uint32_t y, uint32_t w, uint32_t h)
{
    double sum = 0;
    for (uint32_t r = y; r < y + h; ++r)
    {
        for (uint32_t c = x; c < x + w; ++c)
        {
            for (uint32_t k = 0; k < 3; ++k)
            {
                const double d = double(a.row(r)[c * a.channels + k]) - b.row(r)[c * b.channels + k];
                sum += d * d;
            }
        }
    }
    return sum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * 3.0 * w * h / sum);
}

}  // namespace pravix::test
