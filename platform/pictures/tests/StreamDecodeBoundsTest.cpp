// The work bounds of the JPEG, PNG and TIFF stream decoders: files whose scans, chunks, samples a pixel or
// strips ask for far more work than their pixels are refused with the reason, honest files of the same
// kinds still decode to the expected pixels.
#include "TemporaryFolder.h"
#include "DecodeWorkLimits.h"
#include "LibjpegWriter.h"
#include "MemoryReadBuffer.h"
#include "PictureStreamDecoder.h"
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

using namespace pravix;
using namespace pravix::test;

namespace
{

// Keeps the RGB rows a decoder hands out.
class CollectingSink : public PictureRowSink
{
public:
    void begin(uint32_t w, uint32_t h, uint32_t channels) override
    {
        if (channels != 3)
        {
            throw PictureDecodeError("RGB rows asked for");
        }
        width = w;
        height = h;
        rgb.reserve(size_t(w) * h * 3);
    }
    void rows(const uint8_t* pixels, size_t stride, uint32_t count) override
    {
        for (uint32_t r = 0; r < count; ++r)
        {
            rgb.insert(rgb.end(), pixels + r * stride, pixels + r * stride + size_t(width) * 3);
        }
    }

    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;
};

struct Decoded
{
    std::string error;  // empty when decoded
    PictureHeader header;
    CollectingSink picture;
};

// The bytes decoded whole as the format; the first refusal's reason in `error`.
Decoded decode(PictureFormat format, const std::vector<uint8_t>& bytes, bool rows = true)
{
    Decoded out;
    MemoryReadBuffer file(bytes.data(), bytes.size());
    try
    {
        auto decoder = PictureStreamDecoder::create(format, file);
        out.header = decoder->readHeader();
        if (rows)
        {
            decoder->decodeRows(out.header.width, out.header.height, out.picture);
        }
    }
    catch (const PictureDecodeError& e)
    {
        out.error = e.what();
    }
    return out;
}

::testing::AssertionResult refusedFor(const Decoded& d, const std::string& reason)
{
    if (d.error.find(reason) != std::string::npos)
    {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "expected a refusal for \"" << reason << "\", got \"" << d.error << "\"";
}

// Scales the block limit for one test and restores it after.
struct ScanBlockLimit
{
    explicit ScanBlockLimit(uint64_t blocks) { limitJpegScanBlocks(blocks); }
    ~ScanBlockLimit() { limitJpegScanBlocks(0); }
};

// A JPEG of a smooth pattern written by libjpeg: grey or YCbCr 4:2:0, progressive by libjpeg's own
// script or by `scans`, arithmetic-coded when asked.
std::vector<uint8_t> jpegOf(uint32_t w, uint32_t h, int components, bool progressive, bool arithmetic,
                            const std::vector<jpeg_scan_info>& scans = {})
{
    LibjpegLayout layout;
    layout.space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    layout.components = components;
    layout.progressive = progressive;
    layout.arithmetic = arithmetic;
    layout.scans = scans;
    return libjpegBytes(w, h, layout,
                        [&](uint32_t y, uint8_t* row)
                        {
                            for (uint32_t x = 0; x < w; ++x)
                            {
                                for (int c = 0; c < components; ++c)
                                {
                                    row[size_t(x) * components + c] = uint8_t((x * (c + 1) + y * 2) & 0xFF);
                                }
                            }
                        });
}

// A grey progressive script of `count` scans within the rules of progression: the DC, then bands
// 1..63 one at a time at point transform 1, then their refinements.
std::vector<jpeg_scan_info> greyScans(int count)
{
    std::vector<jpeg_scan_info> scans;
    scans.push_back({1, {0}, 0, 0, 0, 0});
    for (int k = 1; k < 64 && int(scans.size()) < count; ++k)
    {
        scans.push_back({1, {0}, k, k, 0, 1});
    }
    for (int k = 1; k < 64 && int(scans.size()) < count; ++k)
    {
        scans.push_back({1, {0}, k, k, 1, 0});
    }
    return scans;
}

void putBe16(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v >> 8);
    b[at + 1] = uint8_t(v);
}

// The JPEG with the size of its frame header (of the given marker) replaced.
std::vector<uint8_t> claiming(std::vector<uint8_t> jpeg, uint8_t sof, uint32_t w, uint32_t h)
{
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
    {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == sof)
        {
            putBe16(jpeg, i + 5, h);
            putBe16(jpeg, i + 7, w);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

void appendBe32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
    {
        b.push_back(uint8_t(v >> s));
    }
}

std::vector<uint8_t> pngChunk(const char* type, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> c;
    appendBe32(c, static_cast<uint32_t>(data.size()));
    c.insert(c.end(), type, type + 4);
    c.insert(c.end(), data.begin(), data.end());
    appendBe32(c, static_cast<uint32_t>(crc32(crc32(0, reinterpret_cast<const Bytef*>(type), 4), data.data(),
                                              static_cast<uInt>(data.size()))));
    return c;
}

std::vector<uint8_t> deflated(const std::vector<uint8_t>& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> out(size);
    EXPECT_EQ(compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9), Z_OK);
    out.resize(size);
    return out;
}

// A PNG of w x h 8-bit RGB where pixel (x, y) is (x, y, x ^ y) (low bytes), with `before` chunks between
// its header and its data; the header may claim another depth and colour type, and a picture of more
// than a megapixel is only claimed (its data empty).
std::vector<uint8_t> pngWith(uint32_t w, uint32_t h, const std::vector<uint8_t>& before, int depth = 8,
                             int colourType = 2)
{
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    appendBe32(ihdr, w);
    appendBe32(ihdr, h);
    ihdr.insert(ihdr.end(), {uint8_t(depth), uint8_t(colourType), 0, 0, 0});
    std::vector<uint8_t> rows;
    const bool claimOnly = depth != 8 || colourType != 2 || uint64_t(w) * h > (1u << 20);
    for (uint32_t y = 0; y < h && !claimOnly; ++y)
    {
        rows.push_back(0);
        for (uint32_t x = 0; x < w; ++x)
        {
            rows.insert(rows.end(), {uint8_t(x), uint8_t(y), uint8_t(x ^ y)});
        }
    }
    for (const auto& part : {pngChunk("IHDR", ihdr), before, pngChunk("IDAT", deflated(rows)), pngChunk("IEND", {})})
    {
        png.insert(png.end(), part.begin(), part.end());
    }
    return png;
}

bool isPattern(const CollectingSink& p)
{
    for (uint32_t y = 0; y < p.height; ++y)
    {
        for (uint32_t x = 0; x < p.width; ++x)
        {
            const uint8_t* px = &p.rgb[(size_t(y) * p.width + x) * 3];
            if (px[0] != uint8_t(x) || px[1] != uint8_t(y) || px[2] != uint8_t(x ^ y))
            {
                return false;
            }
        }
    }
    return p.width > 0;
}

// An ICC profile libpng accepts: an RGB display profile header of `size` bytes, no tags, zeros after.
std::vector<uint8_t> iccProfile(uint32_t size)
{
    std::vector<uint8_t> p(size, 0);
    auto put32 = [&](size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
        {
            p[at + i] = uint8_t(v >> (24 - 8 * i));
        }
    };
    put32(0, size);
    put32(8, 0x02100000);
    std::memcpy(&p[12], "mntrRGB XYZ ", 12);
    std::memcpy(&p[36], "acsp", 4);
    put32(68, 0x0000F6D6);  // D50
    put32(72, 0x00010000);
    put32(76, 0x0000D32D);
    return p;
}

std::vector<uint8_t> iccpChunk(const std::vector<uint8_t>& profile)
{
    std::vector<uint8_t> data = {'i', 'c', 'c', 0, 0};
    const std::vector<uint8_t> packed = deflated(profile);
    data.insert(data.end(), packed.begin(), packed.end());
    return pngChunk("iCCP", data);
}

// A TIFF written by libtiff through a temporary file: `setUp` sets the fields, `write` the data.
template <typename SetUp, typename Write>
std::vector<uint8_t> tiffWritten(SetUp setUp, Write write)
{
    const testsupport::TemporaryFolder folder("pravix-bounds-tiff");
    const std::string file = folder / "written.tif";
    const char* path = file.c_str();
    TIFF* tif = TIFFOpen(path, "w");
    setUp(tif);
    write(tif);
    TIFFClose(tif);
    std::vector<uint8_t> bytes = readBytes(path);
    std::remove(path);
    return bytes;
}

void setFields(TIFF* tif, uint32_t w, uint32_t h, uint16_t samples, uint16_t bits, uint16_t photometric,
               uint16_t compression)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
}

// A little-endian TIFF built by hand: its directory (entries in ascending tag order), the values longer
// than four bytes, then `data`. Strip and tile offsets (273, 324) are given from the start of `data`.
struct TiffEntry
{
    uint16_t tag;
    uint16_t type;  // 3 SHORT, 4 LONG
    std::vector<uint32_t> values;
};

std::vector<uint8_t> tiffBuilt(std::vector<TiffEntry> entries, const std::vector<uint8_t>& data)
{
    auto put = [](std::vector<uint8_t>& to, uint32_t v, size_t bytes)
    {
        for (size_t i = 0; i < bytes; ++i)
        {
            to.push_back(uint8_t(v >> (8 * i)));
        }
    };
    size_t at = 8 + 2 + entries.size() * 12 + 4;  // where the long values go
    size_t dataAt = at;
    for (const TiffEntry& e : entries)
    {
        const size_t bytes = e.values.size() * (e.type == 3 ? 2 : 4);
        dataAt += bytes > 4 ? bytes : 0;
    }
    std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    std::vector<uint8_t> values;
    put(out, uint32_t(entries.size()), 2);
    for (TiffEntry& e : entries)
    {
        std::vector<uint8_t> field;
        for (uint32_t v : e.values)
        {
            put(field, v + (e.tag == 273 || e.tag == 324 ? uint32_t(dataAt) : 0), e.type == 3 ? 2 : 4);
        }
        put(out, e.tag, 2);
        put(out, e.type, 2);
        put(out, uint32_t(e.values.size()), 4);
        if (field.size() > 4)
        {
            put(out, uint32_t(at + values.size()), 4);
            values.insert(values.end(), field.begin(), field.end());
            continue;
        }
        field.resize(4, 0);
        out.insert(out.end(), field.begin(), field.end());
    }
    out.insert(out.end(), 4, 0);
    out.insert(out.end(), values.begin(), values.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<uint8_t> repeated(const std::vector<uint8_t>& one, size_t times)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < times; ++i)
    {
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
}

}  // namespace

// The blocks of each scan are those of its components: libjpeg's script for 4:2:0 colour covers 512
// blocks of a 64 x 64 picture in its ten scans, Huffman- or arithmetic-coded; one block less refuses it,
// as does the scan count past its backstop.
TEST(StreamDecodeBoundsTest, JpegScansAreBoundByTheBlocksTheyCover)
{
    for (const bool arithmetic : {false, true})
    {
        SCOPED_TRACE(arithmetic ? "arithmetic" : "Huffman");
        const std::vector<uint8_t> jpeg = jpegOf(64, 64, 3, true, arithmetic);
        {
            ScanBlockLimit limit(512);
            const Decoded d = decode(PictureFormat::Jpeg, jpeg);
            EXPECT_EQ(d.error, "");
            EXPECT_EQ(d.picture.rgb.size(), 64u * 64 * 3);
        }
        {
            ScanBlockLimit limit(511);
            EXPECT_TRUE(refusedFor(decode(PictureFormat::Jpeg, jpeg), "JPEG: its 10 scans cover more than 511 blocks"));
        }
        // Grey: six scans of its 64 blocks.
        const std::vector<uint8_t> grey = jpegOf(64, 64, 1, true, arithmetic);
        {
            ScanBlockLimit limit(6 * 64);
            EXPECT_EQ(decode(PictureFormat::Jpeg, grey).error, "");
        }
        {
            ScanBlockLimit limit(6 * 64 - 1);
            EXPECT_TRUE(refusedFor(decode(PictureFormat::Jpeg, grey), "its 6 scans cover more than"));
        }
        // The scan count stays a backstop whatever the blocks.
        EXPECT_EQ(decode(PictureFormat::Jpeg, jpegOf(16, 16, 1, false, arithmetic, greyScans(100))).error, "");
        EXPECT_TRUE(refusedFor(decode(PictureFormat::Jpeg, jpegOf(16, 16, 1, false, arithmetic, greyScans(101))),
                               "more than 100 scans"));
    }
    // A sequential file of one scan is counted once.
    ScanBlockLimit limit(96);
    EXPECT_EQ(decode(PictureFormat::Jpeg, jpegOf(64, 64, 3, false, false)).error, "");
    limitJpegScanBlocks(95);
    EXPECT_TRUE(refusedFor(decode(PictureFormat::Jpeg, jpegOf(64, 64, 3, false, false)), "its 1 scans cover"));
}

// A file of several scans holds every coefficient while they arrive: refused from its header when they
// would pass the limit, whatever size it will be shown at; a single-scan file needs no such buffer.
TEST(StreamDecodeBoundsTest, JpegCoefficientMemoryIsBoundFromTheHeader)
{
    const std::vector<uint8_t> progressive = jpegOf(16, 16, 1, true, true);  // arithmetic: no size floor
    const uint64_t blocks13000 = uint64_t(1625) * 1625;
    ASSERT_GT(blocks13000 * 128, kMaxJpegCoefficientBytes);
    EXPECT_TRUE(refusedFor(decode(PictureFormat::Jpeg, claiming(progressive, 0xCA, 13000, 13000), false),
                           "JPEG: the coefficients of its scans would take 322 MiB, more than 320 MiB"));
    ASSERT_LT(uint64_t(1500) * 1500 * 128, kMaxJpegCoefficientBytes);
    const Decoded fits = decode(PictureFormat::Jpeg, claiming(progressive, 0xCA, 12000, 12000), false);
    EXPECT_EQ(fits.error, "");
    EXPECT_EQ(fits.header.width, 12000u);
    // Colour 4:2:0 adds its chroma at a quarter each: at 11000 a side grey fits, colour does not.
    const std::vector<uint8_t> colour = jpegOf(16, 16, 3, true, true);
    EXPECT_EQ(decode(PictureFormat::Jpeg, claiming(progressive, 0xCA, 11000, 11000), false).error, "");
    EXPECT_EQ(decode(PictureFormat::Jpeg, claiming(colour, 0xCA, 10000, 10000), false).error, "");
    EXPECT_TRUE(refusedFor(decode(PictureFormat::Jpeg, claiming(colour, 0xCA, 11000, 11000), false),
                           "coefficients of its scans"));
    // Sequential arithmetic coding at the size limit: one scan, no coefficient buffer; with each
    // component in a scan of its own, the buffer again.
    EXPECT_EQ(decode(PictureFormat::Jpeg, claiming(jpegOf(16, 16, 3, false, true), 0xC9, 16384, 16384), false).error,
              "");
    const std::vector<jpeg_scan_info> apart = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
    const std::vector<uint8_t> sequential = jpegOf(16, 16, 3, false, true, apart);
    EXPECT_EQ(decode(PictureFormat::Jpeg, sequential).error, "");
    EXPECT_TRUE(refusedFor(decode(PictureFormat::Jpeg, claiming(sequential, 0xC9, 16384, 16384), false),
                           "coefficients of its scans would take 768 MiB"));
}

// Real-sized honest files still decode: a 24-megapixel progressive photo (8 in the sanitizer build) in
// Huffman and arithmetic coding, with the same pixels as its baseline twin within JPEG's error.
TEST(StreamDecodeBoundsTest, RealSizedProgressiveJpegsDecode)
{
    const uint32_t w = kUnderSanitizers ? 3264 : 6000;
    const uint32_t h = kUnderSanitizers ? 2448 : 4000;
    const Decoded baseline = decode(PictureFormat::Jpeg, jpegOf(w, h, 3, false, false));
    ASSERT_EQ(baseline.error, "");
    for (const bool arithmetic : {false, true})
    {
        SCOPED_TRACE(arithmetic ? "arithmetic" : "Huffman");
        const Decoded d = decode(PictureFormat::Jpeg, jpegOf(w, h, 3, true, arithmetic));
        ASSERT_EQ(d.error, "");
        ASSERT_EQ(d.picture.rgb.size(), baseline.picture.rgb.size());
        size_t far = 0;
        for (size_t i = 0; i < d.picture.rgb.size(); ++i)
        {
            far += std::abs(int(d.picture.rgb[i]) - int(baseline.picture.rgb[i])) > 8;
        }
        EXPECT_LT(far, d.picture.rgb.size() / 1000);
    }
}

// Text chunks, however many, however long and however much they would inflate to, leave the picture
// decoded; that they are passed over without being inflated shows only in the time, which the hostile
// inputs' benchmark measures.
TEST(StreamDecodeBoundsTest, PngTextChunksLeaveThePictureDecoded)
{
    const std::vector<uint8_t> packed = deflated(std::vector<uint8_t>(1 << 20, 'x'));
    std::vector<uint8_t> ztxt = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
    ztxt.insert(ztxt.end(), packed.begin(), packed.end());
    std::vector<uint8_t> itxt = {'X', 'M', 'L', 0, 1, 0, 0, 0};
    itxt.insert(itxt.end(), packed.begin(), packed.end());
    const std::vector<uint8_t> text(1000, 't');
    std::vector<uint8_t> tEXt = {'T', 'i', 't', 'l', 'e', 0};
    tEXt.insert(tEXt.end(), text.begin(), text.end());
    std::vector<uint8_t> chunks = repeated(pngChunk("zTXt", ztxt), 200);
    const std::vector<uint8_t> more = repeated(pngChunk("iTXt", itxt), 200);
    chunks.insert(chunks.end(), more.begin(), more.end());
    const std::vector<uint8_t> plain = repeated(pngChunk("tEXt", tEXt), 200);
    chunks.insert(chunks.end(), plain.begin(), plain.end());
    const Decoded d = decode(PictureFormat::Png, pngWith(40, 30, chunks));
    EXPECT_EQ(d.error, "");
    EXPECT_TRUE(isPattern(d.picture));
    // Passed over too: a text chunk longer than any chunk read whole.
    std::vector<uint8_t> huge = {'T', 0};
    huge.resize((9 << 20), 'x');
    const Decoded longText = decode(PictureFormat::Png, pngWith(40, 30, pngChunk("tEXt", huge)));
    EXPECT_EQ(longText.error, "");
    EXPECT_TRUE(isPattern(longText.picture));
}

// The colour profile is read up to the profile cap and kept; one byte beyond it and it is dropped, the
// picture still decoded.
TEST(StreamDecodeBoundsTest, PngColourProfileIsBounded)
{
    const Decoded kept = decode(PictureFormat::Png, pngWith(40, 30, iccpChunk(iccProfile(kMaxColourProfileBytes))));
    EXPECT_EQ(kept.error, "");
    EXPECT_EQ(kept.header.iccProfile, iccProfile(kMaxColourProfileBytes));
    EXPECT_TRUE(isPattern(kept.picture));
    const Decoded dropped =
        decode(PictureFormat::Png, pngWith(40, 30, iccpChunk(iccProfile(kMaxColourProfileBytes + 1))));
    EXPECT_EQ(dropped.error, "");
    EXPECT_TRUE(dropped.header.iccProfile.empty());
    EXPECT_TRUE(isPattern(dropped.picture));
}

// The rows as stored are read a band at a time, so only the time bounds their bytes: at the size limit
// every layout passes the header (the file padded past the inflate-ratio floor with a private chunk),
// while a header whose rows the file cannot hold even deflated is still refused.
TEST(StreamDecodeBoundsTest, PngLayoutsAtTheSizeLimitPassTheHeader)
{
    const std::vector<uint8_t> padding = pngChunk("prVx", std::vector<uint8_t>(8 << 20, 0));
    for (const auto& [depth, colourType] : {std::pair{8, 2}, {8, 6}, {16, 2}, {16, 6}})
    {
        SCOPED_TRACE(std::to_string(depth) + "-bit, colour type " + std::to_string(colourType));
        const Decoded d = decode(PictureFormat::Png, pngWith(16384, 16384, padding, depth, colourType), false);
        EXPECT_EQ(d.error, "");
        EXPECT_EQ(d.header.width, 16384u);
    }
    EXPECT_TRUE(refusedFor(decode(PictureFormat::Png, pngWith(16384, 16384, {}, 16, 6), false),
                           "pixels cannot be compressed into"));
}

// Samples, strips and tiles out of proportion to the picture are refused from the header.
TEST(StreamDecodeBoundsTest, TiffLayoutsOutOfProportionAreRefused)
{
    // One row of 64 RGB pixels of noise: deflate keeps it near its 192 bytes.
    std::vector<uint8_t> noise(64 * 3);
    uint32_t state = 1;
    for (uint8_t& v : noise)
    {
        state = state * 1103515245u + 12345u;
        v = uint8_t(state >> 24);
    }
    const std::vector<uint8_t> row = deflated(noise);
    // Every strip the one row's bytes: stored once when shared, else once a strip.
    auto stripped = [&](uint32_t w, uint32_t h, uint16_t samples, uint32_t rowsPerStrip, bool shared)
    {
        const uint32_t strips = (h + rowsPerStrip - 1) / rowsPerStrip;
        std::vector<uint32_t> offsets(strips, 0);
        for (uint32_t i = 0; i < strips && !shared; ++i)
        {
            offsets[i] = i * uint32_t(row.size());
        }
        std::vector<TiffEntry> entries = {{256, 4, {w}},
                                          {257, 4, {h}},
                                          {258, 3, std::vector<uint32_t>(samples, 8)},
                                          {259, 3, {8}},
                                          {262, 3, {samples >= 3 ? 2u : 1u}},
                                          {273, 4, offsets},
                                          {277, 3, {samples}},
                                          {278, 4, {rowsPerStrip}},
                                          {279, 4, std::vector<uint32_t>(strips, uint32_t(row.size()))}};
        if (samples > 3)
        {
            entries.push_back({338, 3, std::vector<uint32_t>(samples - 3u, 0)});
        }
        return tiffBuilt(entries, shared ? row : repeated(row, strips));
    };
    // 64 x 8 RGB in strips of one row: honest, and the same with every strip the same bytes.
    const Decoded honest = decode(PictureFormat::Tiff, stripped(64, 8, 3, 1, false));
    EXPECT_EQ(honest.error, "");
    EXPECT_EQ(honest.picture.rgb, repeated(noise, 8));
    EXPECT_TRUE(refusedFor(decode(PictureFormat::Tiff, stripped(64, 8, 3, 1, true), false),
                           "TIFF: its strips name " + std::to_string(8 * row.size()) + " bytes of a"));
    EXPECT_EQ(decode(PictureFormat::Tiff, stripped(16, 8, 8, 1, false), false).error, "");
    EXPECT_TRUE(refusedFor(decode(PictureFormat::Tiff, stripped(16, 8, 9, 1, false), false),
                           "TIFF: 9 samples a pixel, more than 8"));
    // Compressed strips at the size limit, of 8-bit RGB and of more samples: only their time bounds them.
    EXPECT_EQ(decode(PictureFormat::Tiff, stripped(16384, 16384, 3, 16384, false), false).error, "");
    const Decoded rgba = decode(PictureFormat::Tiff, stripped(16384, 16384, 4, 16384, false), false);
    EXPECT_EQ(rgba.error, "");
    EXPECT_EQ(rgba.header.width, 16384u);
    // Tiles of 16 x 16: 262144 over 8192 x 8192 pass, twice as many over 16384 x 8192 do not.
    auto tiled = [&](uint32_t w, uint32_t h)
    {
        const size_t tiles = size_t(w / 16) * (h / 16);
        return tiffBuilt({{256, 4, {w}},
                          {257, 4, {h}},
                          {258, 3, {8, 8, 8}},
                          {259, 3, {8}},
                          {262, 3, {2}},
                          {277, 3, {3}},
                          {322, 3, {16}},
                          {323, 3, {16}},
                          {324, 4, std::vector<uint32_t>(tiles, 0)},
                          {325, 3, std::vector<uint32_t>(tiles, uint32_t(row.size()))}},
                         row);
    };
    EXPECT_TRUE(refusedFor(decode(PictureFormat::Tiff, tiled(16384, 8192), false), "TIFF: 524288 tiles, more than"));
    EXPECT_FALSE(refusedFor(decode(PictureFormat::Tiff, tiled(8192, 8192), false), "tiles, more than"));
}

// CMYK and bilevel strips are read a row at a time, with the pixels libtiff's RGBA reader makes of the
// same samples in tiles; a strip whose RGBA band would be too large is read that way too.
TEST(StreamDecodeBoundsTest, TiffCmykAndBilevelStripsAreReadByRows)
{
    const uint32_t w = 48;
    const uint32_t h = 32;
    std::vector<uint8_t> cmyk(size_t(w) * h * 4);
    for (size_t i = 0; i < cmyk.size(); ++i)
    {
        cmyk[i] = uint8_t(i * 37 + (i >> 4));
    }
    auto cmykTiff = [&](bool tiles)
    {
        return tiffWritten(
            [&](TIFF* tif)
            {
                setFields(tif, w, h, 4, 8, PHOTOMETRIC_SEPARATED, COMPRESSION_ADOBE_DEFLATE);
                if (tiles)
                {
                    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
                    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
                }
                else
                {
                    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
                }
            },
            [&](TIFF* tif)
            {
                if (!tiles)
                {
                    TIFFWriteEncodedStrip(tif, 0, cmyk.data(), tmsize_t(cmyk.size()));
                    return;
                }
                std::vector<uint8_t> tile(16 * 16 * 4);
                for (uint32_t ty = 0; ty < h; ty += 16)
                {
                    for (uint32_t tx = 0; tx < w; tx += 16)
                    {
                        for (uint32_t y = 0; y < 16; ++y)
                        {
                            std::memcpy(&tile[y * 64], &cmyk[((ty + y) * w + tx) * 4], 64);
                        }
                        TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0);
                    }
                }
            });
    };
    const Decoded byRows = decode(PictureFormat::Tiff, cmykTiff(false));
    const Decoded byTiles = decode(PictureFormat::Tiff, cmykTiff(true));
    ASSERT_EQ(byRows.error, "");
    ASSERT_EQ(byTiles.error, "");
    EXPECT_EQ(byRows.picture.rgb, byTiles.picture.rgb);
    const uint8_t* first = cmyk.data();
    EXPECT_EQ(byRows.picture.rgb[0], (255 - first[3]) * (255 - first[0]) / 255);

    // Bilevel in one G4 strip, black on white both ways round.
    for (const uint16_t photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK})
    {
        SCOPED_TRACE(photometric);
        const uint32_t side = 256;
        auto ink = [](uint32_t x, uint32_t y) { return ((x / 3) + (y / 5)) % 2 == 0; };
        const std::vector<uint8_t> g4 = tiffWritten(
            [&](TIFF* tif)
            {
                setFields(tif, side, side, 1, 1, photometric, COMPRESSION_CCITTFAX4);
                TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, side);
            },
            [&](TIFF* tif)
            {
                std::vector<uint8_t> row(side / 8);
                for (uint32_t y = 0; y < side; ++y)
                {
                    std::fill(row.begin(), row.end(), 0);
                    for (uint32_t x = 0; x < side; ++x)
                    {
                        row[x / 8] |= uint8_t(ink(x, y) ? 0x80 >> (x % 8) : 0);
                    }
                    TIFFWriteScanline(tif, row.data(), y, 0);
                }
            });
        const Decoded d = decode(PictureFormat::Tiff, g4);
        ASSERT_EQ(d.error, "");
        size_t wrong = 0;
        for (uint32_t y = 0; y < side; ++y)
        {
            for (uint32_t x = 0; x < side; ++x)
            {
                const uint8_t expected = ink(x, y) == (photometric == PHOTOMETRIC_MINISBLACK) ? 255 : 0;
                const uint8_t* p = &d.picture.rgb[(size_t(y) * side + x) * 3];
                wrong += p[0] != expected || p[1] != expected || p[2] != expected;
            }
        }
        EXPECT_EQ(wrong, 0u);
    }
}

// A layout only the RGBA reader reads (16-bit samples) in strips whose band and strip buffer would pass
// the limit is refused before anything is decoded; in smaller strips the same picture decodes.
TEST(StreamDecodeBoundsTest, TiffRgbaBandsAreBounded)
{
    auto sixteenBit = [](uint32_t side, uint32_t rowsPerStrip)
    {
        return tiffWritten(
            [&](TIFF* tif)
            {
                setFields(tif, side, side, 3, 16, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE);
                TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
            },
            [&](TIFF* tif)
            {
                std::vector<uint16_t> row(size_t(side) * 3, 0x8080);
                for (uint32_t y = 0; y < side; ++y)
                {
                    TIFFWriteScanline(tif, row.data(), y, 0);
                }
            });
    };
    EXPECT_TRUE(refusedFor(decode(PictureFormat::Tiff, sixteenBit(5400, 5400)), "strips of 5400 rows are too large"));
    const Decoded small = decode(PictureFormat::Tiff, sixteenBit(512, 512));
    ASSERT_EQ(small.error, "");
    EXPECT_EQ(small.picture.rgb, std::vector<uint8_t>(512 * 512 * 3, 0x80));
}
