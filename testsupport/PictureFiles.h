#pragma once

// Picture files built in code for the tests of the image source and the conversion: Exif blocks, JPEGs
// carrying them, and TIFF and PNG files in layouts the project's own encoders do not write (an
// orientation tag, 16-bit samples, palettes, interlacing, huge zero-filled pictures).

#include "TemporaryFolder.h"
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testsupport
{

/// An Exif block ("Exif", 0, 0, big-endian TIFF) whose IFD0 holds Make and DateTime when given and
/// the Orientation when not 0.
inline std::vector<std::uint8_t> exifBlock(std::uint16_t orientation, const std::string& make = "",
                                           const std::string& dateTime = "")
{
    struct Entry
    {
        std::uint16_t tag;
        std::uint16_t type;
        std::string text;
        std::uint16_t value;
    };
    std::vector<Entry> entries;
    if (!make.empty())
    {
        entries.push_back({271, 2, make, 0});
    }
    if (orientation != 0)
    {
        entries.push_back({274, 3, "", orientation});
    }
    if (!dateTime.empty())
    {
        entries.push_back({306, 2, dateTime, 0});
    }
    std::vector<std::uint8_t> b = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8};
    auto put16 = [&](std::uint32_t v)
    {
        b.push_back(std::uint8_t(v >> 8));
        b.push_back(std::uint8_t(v));
    };
    auto put32 = [&](std::uint32_t v)
    {
        put16(v >> 16);
        put16(v & 0xFFFF);
    };
    put16(static_cast<std::uint32_t>(entries.size()));
    std::uint32_t data = 8 + 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;  // TIFF offsets
    std::vector<std::uint8_t> texts;
    for (const Entry& e : entries)
    {
        put16(e.tag);
        put16(e.type);
        if (e.type == 3)
        {
            put32(1);
            put16(e.value);
            put16(0);
            continue;
        }
        const std::uint32_t count = static_cast<std::uint32_t>(e.text.size()) + 1;
        put32(count);
        put32(data + static_cast<std::uint32_t>(texts.size()));
        texts.insert(texts.end(), e.text.begin(), e.text.end());
        texts.push_back(0);
    }
    put32(0);
    b.insert(b.end(), texts.begin(), texts.end());
    return b;
}

/// The JPEG with an APP1 segment holding the block put right after its start-of-image marker.
inline std::vector<std::uint8_t> withApp1(const std::vector<std::uint8_t>& jpeg, const std::vector<std::uint8_t>& block)
{
    const std::size_t length = block.size() + 2;
    std::vector<std::uint8_t> out = {jpeg[0], jpeg[1], 0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length)};
    out.insert(out.end(), block.begin(), block.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

/// A TIFF of the RGB rows (width x height x 3 bytes) through libtiff: 8-bit (or 16-bit, each sample
/// widened) samples, the orientation tag, strips of rowsPerStrip rows, uncompressed or LZW.
inline std::vector<std::uint8_t> tiffBytes(const std::vector<std::uint8_t>& rgb, std::uint32_t width,
                                           std::uint32_t height, std::uint16_t orientation, bool sixteenBit = false,
                                           std::uint32_t rowsPerStrip = 8, bool lzw = false)
{
    const TemporaryFolder folder("pravix-test-tiff");
    const std::string file = folder / "picture.tif";
    const char* path = file.c_str();
    TIFF* tif = TIFFOpen(path, "w");
    if (tif == nullptr)
    {
        std::remove(path);
        return {};
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, sixteenBit ? 16 : 8);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, lzw ? COMPRESSION_LZW : COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    std::vector<std::uint8_t> row(width * 3 * (sixteenBit ? 2 : 1));
    for (std::uint32_t y = 0; y < height; ++y)
    {
        const std::uint8_t* src = rgb.data() + std::size_t(y) * width * 3;
        for (std::uint32_t i = 0; i < width * 3; ++i)
        {
            if (sixteenBit)
            {
                const std::uint16_t v = std::uint16_t(src[i] * 257);
                std::memcpy(&row[i * 2], &v, 2);
            }
            else
            {
                row[i] = src[i];
            }
        }
        TIFFWriteScanline(tif, row.data(), y, 0);
    }
    TIFFClose(tif);
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path);
    return bytes;
}

/// A PNG written by libpng: `rowOf(y, row)` fills each row of `rowBytes` bytes in the given colour type
/// and bit depth; `palette` entries (RGB) for a palette picture.
template <typename RowOf>
std::vector<std::uint8_t> pngBytes(std::uint32_t width, std::uint32_t height, int colourType, int bitDepth,
                                   bool interlaced, RowOf rowOf, const std::vector<png_color>& palette = {},
                                   int level = 6)
{
    std::vector<std::uint8_t> out;
    // Writing what the test asked for cannot fail short of a fault in the test itself.
    png_structp png = png_create_write_struct(
        PNG_LIBPNG_VER_STRING, nullptr, [](png_structp, png_const_charp) { std::abort(); }, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n)
        {
            auto* v = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
            v->insert(v->end(), data, data + n);
        },
        nullptr);
    png_set_compression_level(png, level);
    png_set_IHDR(png, info, width, height, bitDepth, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
    {
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    std::vector<std::uint8_t> row(png_get_rowbytes(png, info));
    for (int pass = 0; pass < passes; ++pass)
    {
        for (std::uint32_t y = 0; y < height; ++y)
        {
            rowOf(y, row.data());
            png_write_row(png, row.data());
        }
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace testsupport
