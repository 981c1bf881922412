#include "TemporaryFolder.h"
#include "ImageSources.h"
#include "CodecImageSource.h"
#include "ExifOrientation.h"
#include "ImageEncoders.h"
#include "BitmapResize.h"
#include "ImageOps.h"
#include "ImageSource.h"
#include "LibjpegWriter.h"
#include "ParallelFor.h"
#include "PictureFormat.h"
#include "PlatformTestSupport.h"

#include "AddressSpaceLimit.h"
#include "PictureFiles.h"

#include <gtest/gtest.h>

#include <jpeglib.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

using namespace pravix;
using namespace pravix::test;
namespace fs = std::filesystem;

namespace
{

const uint8_t kRed[] = {255, 0, 0};
const uint8_t kGreen[] = {0, 255, 0};
const uint8_t kBlue[] = {0, 0, 255};
const uint8_t kWhite[] = {255, 255, 255};

// Four flat quadrants: red, green above; blue, white below.
Bitmap quadrants(uint32_t w, uint32_t h)
{
    Bitmap b;
    b.allocate(w, h, 3);
    for (uint32_t y = 0; y < h; ++y)
    {
        for (uint32_t x = 0; x < w; ++x)
        {
            const uint8_t* c = y < h / 2 ? (x < w / 2 ? kRed : kGreen) : (x < w / 2 ? kBlue : kWhite);
            std::memcpy(b.row(y) + x * 3, c, 3);
        }
    }
    return b;
}

// The colour near a corner (2 pixels in) is the expected one, within JPEG's error.
::testing::AssertionResult cornerIs(const Bitmap& b, bool right, bool bottom, const uint8_t* rgb)
{
    const uint32_t x = right ? b.width - 3 : 2;
    const uint32_t y = bottom ? b.height - 3 : 2;
    const uint8_t* p = b.row(y) + x * 3;
    for (int c = 0; c < 3; ++c)
    {
        if (std::abs(int(p[c]) - int(rgb[c])) > 24)
        {
            return ::testing::AssertionFailure()
                   << "corner (" << x << "," << y << ") is " << int(p[0]) << "," << int(p[1]) << "," << int(p[2]);
        }
    }
    return ::testing::AssertionSuccess();
}

std::vector<uint8_t> rgbOf(const Bitmap& b)
{
    return std::vector<uint8_t>(b.pixels.begin(), b.pixels.end());
}

void putBe16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

void putBe32(uint8_t* p, uint32_t v)
{
    putBe16(p, v >> 16);
    putBe16(p + 2, v & 0xFFFF);
}

size_t find(const std::vector<uint8_t>& bytes, std::initializer_list<uint8_t> pattern)
{
    const auto at = std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
    return at == bytes.end() ? std::string::npos : static_cast<size_t>(at - bytes.begin());
}

// The JPEG with the size in its frame header replaced.
std::vector<uint8_t> jpegClaiming(std::vector<uint8_t> jpeg, uint32_t width, uint32_t height)
{
    const size_t sof = find(jpeg, {0xFF, 0xC0});
    EXPECT_NE(sof, std::string::npos);
    putBe16(&jpeg[sof + 5], height);
    putBe16(&jpeg[sof + 7], width);
    return jpeg;
}

// The PNG with the size in its header replaced, its checksum made right again.
std::vector<uint8_t> pngClaiming(std::vector<uint8_t> png, uint32_t width, uint32_t height)
{
    putBe32(&png[16], width);
    putBe32(&png[20], height);
    putBe32(&png[29], static_cast<uint32_t>(crc32(0, &png[12], 17)));
    return png;
}

// A JPEG written by libjpeg in the given colour space (grey, RGB or CMYK with Adobe's inverted inks),
// progressive when asked; every pixel the given samples.
std::vector<uint8_t> jpegOf(uint32_t w, uint32_t h, J_COLOR_SPACE space, int components, const uint8_t* pixel,
                            bool progressive)
{
    LibjpegLayout layout;
    layout.space = space;
    layout.components = components;
    layout.quality = 95;
    layout.progressive = progressive;
    return libjpegBytes(w, h, layout,
                        [&](uint32_t, uint8_t* row)
                        {
                            for (uint32_t x = 0; x < w; ++x)
                            {
                                std::memcpy(&row[x * components], pixel, components);
                            }
                        });
}

// A little-endian TIFF header and directory claiming a width x height uncompressed RGB picture, with
// `data` bytes of pixels after it.
std::vector<uint8_t> tiffClaiming(uint32_t width, uint32_t height, size_t data)
{
    std::vector<uint8_t> t = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const uint16_t count = 9;
    auto put16 = [&](uint32_t v)
    {
        t.push_back(uint8_t(v));
        t.push_back(uint8_t(v >> 8));
    };
    auto put32 = [&](uint32_t v)
    {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const uint32_t pixels = 8 + 2 + count * 12 + 4 + 6;
    put16(count);
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t n, uint32_t value)
    {
        put16(tag);
        put16(type);
        put32(n);
        put32(value);
    };
    entry(256, 4, 1, width);
    entry(257, 4, 1, height);
    entry(258, 3, 3, pixels - 6);  // bits per sample: three 8s stored below
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 2);
    entry(273, 4, 1, pixels);
    entry(277, 3, 1, 3);
    entry(278, 4, 1, height);
    entry(279, 4, 1, width * 3 * height);
    put32(0);
    put16(8);
    put16(8);
    put16(8);
    t.resize(t.size() + data, 0x80);
    return t;
}

class CodecImageSourceTest : public ::testing::Test
{
protected:
    // The bytes as a file whose name says HEIC, opened as the conversion opens it.
    std::unique_ptr<ImageSource> open(const std::vector<uint8_t>& bytes, const std::string& name = "photo.heic")
    {
        const fs::path path = root / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return createImageSourceWithFile(path.string());
    }

    // Removed with everything the test wrote when the test ends.
    const testsupport::TemporaryFolder mFolder{"pravix-codec-source"};
    const fs::path root = mFolder.path();
};

struct FormatCase
{
    ImageFileType type;
    PictureFormat format;
    bool lossless;
};

const FormatCase kFormats[] = {
    {ImageFileType::Jpeg, PictureFormat::Jpeg, false},        {ImageFileType::Png, PictureFormat::Png, true},
    {ImageFileType::Tiff, PictureFormat::Tiff, true},         {ImageFileType::Bmp, PictureFormat::Bmp, true},
    {ImageFileType::Jpeg2000, PictureFormat::Jpeg2000, true},
};

}  // namespace

TEST(PictureFormatTest, TheFormatComesFromTheBytes)
{
    auto formatOf = [](const std::vector<uint8_t>& bytes) { return identifyPictureFormat(bytes.data(), bytes.size()); };
    for (const FormatCase& c : kFormats)
    {
        EXPECT_EQ(formatOf(encodeImage(patternBitmap(8, 8), c.type)), c.format) << static_cast<int>(c.type);
    }
    EXPECT_EQ(formatOf({0xFF, 0x4F, 0xFF, 0x51, 0, 0}), PictureFormat::Jpeg2000);  // a bare codestream
    EXPECT_EQ(formatOf({'I', 'I', '+', 0, 8, 0, 0, 0}), PictureFormat::Tiff);      // BigTIFF
    EXPECT_EQ(formatOf({'M', 'M', 0, 42, 0, 0, 0, 8}), PictureFormat::Tiff);
    EXPECT_EQ(formatOf(readBytes(dataPath("single.heic"))), PictureFormat::Heif);

    // HEIF by a brand of its file type box, major or compatible, and only inside that box.
    auto ftyp = [](uint32_t size, const std::string& brands)
    {
        std::vector<uint8_t> b = {
            uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size), 'f', 't', 'y', 'p'};
        b.insert(b.end(), brands.begin(), brands.end());
        b.resize(std::max<size_t>(b.size(), 64), 0);
        return b;
    };
    EXPECT_EQ(formatOf(ftyp(24, std::string("heic\0\0\0\0mif1", 12))), PictureFormat::Heif);
    EXPECT_EQ(formatOf(ftyp(20, std::string("    \0\0\0\0heic", 12))), PictureFormat::Heif);
    EXPECT_EQ(formatOf(ftyp(24, std::string("avif\0\0\0\0mif1", 12))), PictureFormat::Heif);
    EXPECT_EQ(formatOf(ftyp(24, std::string("isom\0\0\0\0mp42", 12))), PictureFormat::Unknown);
    EXPECT_EQ(formatOf(ftyp(16, std::string("isom\0\0\0\0heic", 12))),
              PictureFormat::Unknown);  // the brand lies past the box
    EXPECT_EQ(formatOf(ftyp(12, std::string("heic", 4))), PictureFormat::Unknown);
    std::vector<uint8_t> metaFirst = ftyp(24, std::string("heic\0\0\0\0mif1", 12));
    std::memcpy(&metaFirst[4], "meta", 4);
    EXPECT_EQ(formatOf(metaFirst), PictureFormat::Unknown);

    EXPECT_EQ(formatOf({'G', 'I', 'F', '8', '9', 'a'}), PictureFormat::Unknown);
    EXPECT_EQ(formatOf({0xFF, 0xD8}), PictureFormat::Unknown);
    EXPECT_EQ(formatOf({}), PictureFormat::Unknown);
    EXPECT_EQ(identifyPictureFormat(nullptr, 10), PictureFormat::Unknown);
}

// Whatever the name says, each format opens as what its bytes are and decodes whole; a HEIF file still
// opens through the HEIF reader.
TEST_F(CodecImageSourceTest, EveryFormatOpensByItsBytesWhateverItsName)
{
    const Bitmap source = patternBitmap(67, 41);
    for (const FormatCase& c : kFormats)
    {
        SCOPED_TRACE(pictureFormatName(c.format));
        const auto image = open(encodeImage(source, c.type));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->format(), c.format);
        ASSERT_EQ(image->count(), 1u) << image->lastError();
        EXPECT_EQ(image->reader(), nullptr);
        EXPECT_TRUE(image->exifBlock().empty());
        const auto properties = image->propertiesAtIndex(0);
        ASSERT_TRUE(properties);
        EXPECT_EQ(properties->pixelWidth, 67u);
        EXPECT_EQ(properties->pixelHeight, 41u);
        EXPECT_EQ(properties->orientation, 1u);
        const auto shown = image->thumbnailAtIndex(0, upright(8192));
        ASSERT_TRUE(shown) << image->lastError();
        ASSERT_EQ(shown->width, 67u);
        ASSERT_EQ(shown->height, 41u);
        EXPECT_EQ(shown->channels, 3u);
        if (c.lossless)
        {
            EXPECT_EQ(psnr(*shown, source), 99.0);
        }
        else
        {
            EXPECT_GT(psnr(*shown, source), 20.0);  // the pattern's sharp colour edges at quality 90
        }
        // A second decode reads the file again and gives the same picture.
        const auto stored = image->imageAtIndex(0);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->pixels, shown->pixels);
        EXPECT_EQ(image->decodeCount(), 2u);
        EXPECT_FALSE(image->propertiesAtIndex(1));
        EXPECT_FALSE(image->imageAtIndex(1));
    }

    const auto heif = createImageSourceWithFile(dataPath("single.heic"));
    ASSERT_TRUE(heif);
    EXPECT_EQ(heif->format(), PictureFormat::Heif);
    EXPECT_NE(heif->reader(), nullptr);
    ASSERT_TRUE(heif->thumbnailAtIndex(0, upright()));

    EXPECT_FALSE(createImageSourceWithFile((root / "missing.heic").string()));
    const auto text = open({'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'});
    ASSERT_TRUE(text);
    EXPECT_EQ(text->format(), PictureFormat::Unknown);
    EXPECT_EQ(text->count(), 0u);
    EXPECT_FALSE(text->lastError().empty());
    EXPECT_FALSE(text->thumbnailAtIndex(0, upright()));
    EXPECT_FALSE(text->propertiesAtIndex(0));
}

// A JPEG's Exif orientation turns the picture when it is asked for upright, and only then.
TEST_F(CodecImageSourceTest, JpegExifOrientationIsAppliedUpright)
{
    const std::vector<uint8_t> jpeg = encodeImage(quadrants(64, 48), ImageFileType::Jpeg, EncodeProperties{1.0f});
    const std::vector<uint8_t> block = testsupport::exifBlock(6, "Canon", "2023:06:15 10:00:00");
    const auto image = open(testsupport::withApp1(jpeg, block));
    ASSERT_TRUE(image && image->count() == 1) << image->lastError();
    EXPECT_EQ(image->exifBlock(), block);
    const auto properties = image->propertiesAtIndex(0);
    EXPECT_EQ(properties->orientation, 6u);
    EXPECT_EQ(properties->pixelWidth, 48u);
    EXPECT_EQ(properties->pixelHeight, 64u);

    // Turned a quarter clockwise: the left column (red over blue) becomes the top row (blue, red).
    const auto upright = image->thumbnailAtIndex(0, pravix::test::upright());
    ASSERT_TRUE(upright);
    ASSERT_EQ(upright->width, 48u);
    ASSERT_EQ(upright->height, 64u);
    EXPECT_TRUE(cornerIs(*upright, false, false, kBlue));
    EXPECT_TRUE(cornerIs(*upright, true, false, kRed));
    EXPECT_TRUE(cornerIs(*upright, false, true, kWhite));
    EXPECT_TRUE(cornerIs(*upright, true, true, kGreen));
    const auto stored = image->imageAtIndex(0);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->width, 64u);
    EXPECT_TRUE(cornerIs(*stored, false, false, kRed));

    // Every value turns the picture as the image layer's own redrawing does.
    for (uint16_t orientation = 1; orientation <= 8; ++orientation)
    {
        SCOPED_TRACE(orientation);
        const auto turned = open(testsupport::withApp1(jpeg, testsupport::exifBlock(orientation)));
        const auto got = turned->thumbnailAtIndex(0, pravix::test::upright());
        ASSERT_TRUE(got);
        EXPECT_EQ(rgbOf(*got), rgbOf(applyOrientation(*stored, orientation)));
    }

    // Intel byte order, and damaged or missing orientations, which leave the picture as it is.
    const std::vector<uint8_t> intel = {'E',  'x',  'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                                        0x12, 0x01, 3,   0,   1, 0, 0,   0,   8,  0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(exifOrientation(intel.data(), intel.size()), 8u);
    EXPECT_EQ(exifOrientation(intel.data(), intel.size() - 6), 1u);  // the entry cut short
    std::vector<uint8_t> nine = intel;
    nine[24] = 9;
    EXPECT_EQ(exifOrientation(nine.data(), nine.size()), 1u);
    std::vector<uint8_t> farOffset = intel;
    farOffset[10] = 0xF0;
    EXPECT_EQ(exifOrientation(farOffset.data(), farOffset.size()), 1u);
    EXPECT_EQ(exifOrientation(block.data(), 6), 1u);
    const std::vector<uint8_t> noOrientation = testsupport::exifBlock(0, "Canon");
    EXPECT_EQ(exifOrientation(noOrientation.data(), noOrientation.size()), 1u);
}

// The TIFF orientation tag turns the picture in both of the TIFF reader's paths (rows as stored, and
// libtiff's RGBA reader, which must not turn them itself).
TEST_F(CodecImageSourceTest, TiffOrientationIsAppliedInBothReadingPaths)
{
    const Bitmap source = quadrants(64, 48);
    const std::vector<uint8_t> rgb = rgbOf(source);
    for (const bool sixteenBit : {false, true})
    {
        for (const uint16_t orientation : {1, 3, 6, 8})
        {
            SCOPED_TRACE(std::to_string(orientation) + (sixteenBit ? " 16-bit" : " 8-bit"));
            const auto image = open(testsupport::tiffBytes(rgb, 64, 48, orientation, sixteenBit));
            ASSERT_TRUE(image && image->count() == 1) << image->lastError();
            EXPECT_EQ(image->propertiesAtIndex(0)->orientation, orientation);
            const auto stored = image->imageAtIndex(0);
            ASSERT_TRUE(stored) << image->lastError();
            EXPECT_EQ(rgbOf(*stored), rgb);
            const auto upright = image->thumbnailAtIndex(0, pravix::test::upright());
            ASSERT_TRUE(upright);
            EXPECT_EQ(rgbOf(*upright), rgbOf(applyOrientation(source, orientation)));
        }
    }
    // One compressed strip of the whole picture, read row by row.
    const auto lzw = open(testsupport::tiffBytes(rgb, 64, 48, 1, false, 48, true));
    const auto whole = lzw->thumbnailAtIndex(0, upright());
    ASSERT_TRUE(whole) << lzw->lastError();
    EXPECT_EQ(rgbOf(*whole), rgb);
}

// A BMP's rows come out top first whether they are stored bottom up (the usual way) or top down.
TEST_F(CodecImageSourceTest, BmpRowsComeOutTheRightWayUp)
{
    const Bitmap source = patternBitmap(30, 20);
    std::vector<uint8_t> bottomUp = encodeImage(source, ImageFileType::Bmp);
    std::vector<uint8_t> topDown = bottomUp;
    putBe32(&topDown[22], 0);
    topDown[22] = uint8_t(-20 & 0xFF);
    topDown[23] = topDown[24] = topDown[25] = 0xFF;
    const size_t rowBytes = (30 * 3 + 3) & ~size_t(3);
    for (uint32_t y = 0; y < 20; ++y)
    {
        std::memcpy(&topDown[54 + y * rowBytes], &bottomUp[54 + (19 - y) * rowBytes], rowBytes);
    }
    for (const auto& bytes : {bottomUp, topDown})
    {
        const auto image = open(bytes);
        for (const bool uprightAsked : {false, true})
        {
            const auto got = uprightAsked ? image->thumbnailAtIndex(0, upright()) : image->imageAtIndex(0);
            ASSERT_TRUE(got) << image->lastError();
            EXPECT_EQ(rgbOf(*got), rgbOf(source));
        }
    }
}

// Grey, palette, 16-bit and interlaced PNGs come out as 8-bit RGB; transparent parts lie over black.
TEST_F(CodecImageSourceTest, PngLayoutsComeOutAsRgb)
{
    auto decode = [&](const std::vector<uint8_t>& png)
    {
        const auto image = open(png);
        auto got = image->thumbnailAtIndex(0, upright());
        EXPECT_TRUE(got) << image->lastError();
        return got;
    };
    const auto grey = decode(testsupport::pngBytes(9, 5, PNG_COLOR_TYPE_GRAY, 8, false,
                                                   [](uint32_t y, uint8_t* row) { std::memset(row, 40 * y, 9); }));
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->row(4)[8 * 3], 160);
    EXPECT_EQ(grey->row(4)[8 * 3 + 2], 160);

    const std::vector<png_color> palette = {{10, 20, 30}, {200, 100, 50}};
    const auto indexed = decode(testsupport::pngBytes(
        9, 5, PNG_COLOR_TYPE_PALETTE, 4, false, [](uint32_t, uint8_t* row) { std::memset(row, 0x01, 5); }, palette));
    ASSERT_TRUE(indexed);
    EXPECT_EQ(indexed->row(2)[0], 10);   // index 0 in the high nibble
    EXPECT_EQ(indexed->row(2)[3], 200);  // index 1 in the low nibble

    const auto deep = decode(testsupport::pngBytes(4, 3, PNG_COLOR_TYPE_RGB, 16, false,
                                                   [](uint32_t, uint8_t* row)
                                                   {
                                                       for (int i = 0; i < 24; i += 2)
                                                       {
                                                           row[i] = 0xAB;
                                                           row[i + 1] = 0xFF;
                                                       }
                                                   }));
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->row(1)[5], 171);  // 0xABFF of 0xFFFF

    // Half-transparent white over black is mid grey; fully transparent red is black.
    const auto alpha = decode(testsupport::pngBytes(2, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, false,
                                                    [](uint32_t, uint8_t* row)
                                                    {
                                                        const uint8_t px[] = {255, 255, 255, 128, 255, 0, 0, 0};
                                                        std::memcpy(row, px, 8);
                                                    }));
    ASSERT_TRUE(alpha);
    EXPECT_EQ(alpha->row(0)[0], 128);
    EXPECT_EQ(alpha->row(0)[3], 0);

    const Bitmap source = patternBitmap(37, 29);
    const auto interlaced = decode(testsupport::pngBytes(37, 29, PNG_COLOR_TYPE_RGB, 8, true,
                                                         [&](uint32_t y, uint8_t* row)
                                                         { std::memcpy(row, source.row(y), source.stride()); }));
    ASSERT_TRUE(interlaced);
    EXPECT_EQ(rgbOf(*interlaced), rgbOf(source));
}

// libjpeg's other decodes: grey, progressive, and CMYK with Adobe's inverted inks.
TEST_F(CodecImageSourceTest, GreyProgressiveAndCmykJpegsDecode)
{
    const uint8_t grey[] = {90};
    const uint8_t cyanFree[] = {255, 0, 0, 255};  // inverted: no cyan, full magenta and yellow, no black
    const uint8_t rgb[] = {30, 160, 220};
    struct Case
    {
        J_COLOR_SPACE space;
        int components;
        const uint8_t* pixel;
        bool progressive;
        uint8_t expected[3];
    };
    const Case cases[] = {
        {JCS_GRAYSCALE, 1, grey, false, {90, 90, 90}},
        {JCS_RGB, 3, rgb, true, {30, 160, 220}},
        {JCS_CMYK, 4, cyanFree, false, {255, 0, 0}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.components);
        const auto image = open(jpegOf(40, 24, c.space, c.components, c.pixel, c.progressive));
        const auto got = image->thumbnailAtIndex(0, upright());
        ASSERT_TRUE(got) << image->lastError();
        EXPECT_TRUE(cornerIs(*got, true, true, c.expected));
    }
}

// Pictures longer than the limit come out reduced to it, reduced while decoding where the codec can.
TEST_F(CodecImageSourceTest, LargePicturesAreReducedWhileDecoded)
{
    // A JPEG of 16384 columns through the half-size transform, a PNG and a JPEG 2000 of 9000.
    const Bitmap wide = patternBitmap(16384, 48);
    const auto jpeg = open(encodeImage(wide, ImageFileType::Jpeg, EncodeProperties{1.0f}));
    const auto halved = jpeg->thumbnailAtIndex(0, upright(8192));
    ASSERT_TRUE(halved) << jpeg->lastError();
    EXPECT_EQ(halved->width, 8192u);
    EXPECT_EQ(halved->height, 24u);
    EXPECT_GT(psnr(*halved, *resizeBitmap(wide, 8192, 24)), 30.0);

    const Bitmap long9000 = patternBitmap(9000, 40);
    const std::pair<uint32_t, uint32_t> expected = reducedToLongerSide(9000, 40, 8192);
    for (ImageFileType type : {ImageFileType::Png, ImageFileType::Jpeg2000})
    {
        SCOPED_TRACE(static_cast<int>(type));
        const auto image = open(encodeImage(long9000, type));
        const auto reduced = image->thumbnailAtIndex(0, upright(8192));
        ASSERT_TRUE(reduced) << image->lastError();
        EXPECT_EQ(reduced->width, expected.first);
        EXPECT_EQ(reduced->height, expected.second);
        EXPECT_EQ(rgbOf(*reduced), rgbOf(*resizeBitmap(long9000, expected.first, expected.second)));
    }

    // Turned and reduced: a column of 9000 rows long.
    const auto turned = open(
        testsupport::withApp1(encodeImage(patternBitmap(9000, 60), ImageFileType::Jpeg), testsupport::exifBlock(6)));
    const auto upright8192 = turned->thumbnailAtIndex(0, upright(8192));
    ASSERT_TRUE(upright8192);
    EXPECT_EQ(upright8192->width, 55u);
    EXPECT_EQ(upright8192->height, 8192u);
}

// Headers claiming sizes beyond the limits, or more pixels than their file can hold, are refused before
// the picture is sized from them.
TEST_F(CodecImageSourceTest, HostileHeadersAreRefusedBeforeAnythingIsSized)
{
    const Bitmap small = patternBitmap(64, 48);
    const std::vector<uint8_t> jpeg = encodeImage(small, ImageFileType::Jpeg);
    const std::vector<uint8_t> png = encodeImage(small, ImageFileType::Png);
    std::vector<uint8_t> bmp = encodeImage(small, ImageFileType::Bmp);
    std::vector<uint8_t> jp2 = encodeImage(small, ImageFileType::Jpeg2000);
    struct Case
    {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    std::vector<Case> cases = {
        {"JPEG beyond the side limit", jpegClaiming(jpeg, 20000, 100), "outside the limits"},
        {"JPEG of 2^28 pixels in a small file", jpegClaiming(jpeg, 16384, 16384), "cannot be coded"},
        {"PNG beyond the side limit", pngClaiming(png, 16385, 16), "PNG"},
        {"PNG of 2^28 pixels in a small file", pngClaiming(png, 16384, 16384), "cannot be compressed"},
        {"uncompressed TIFF of 2^28 pixels", tiffClaiming(16384, 16384, 4096), "do not fit"},
        {"TIFF beyond the pixel limit", tiffClaiming(16384, 16385, 4096), "outside the limits"},
    };
    bmp[18] = 0x00, bmp[19] = 0x40, bmp[22] = 0x00, bmp[23] = 0x40;  // 16384 x 16384
    cases.push_back({"BMP of 2^28 pixels in a small file", bmp, "do not fit"});
    const size_t siz = find(jp2, {0xFF, 0x4F, 0xFF, 0x51});
    ASSERT_NE(siz, std::string::npos);
    std::vector<uint8_t> tiled = jp2;
    putBe32(&tiled[siz + 24], 1);  // tiles of one pixel: 3072 of them... and more below
    putBe32(&tiled[siz + 28], 1);
    putBe32(&tiled[siz + 8], 128);
    putBe32(&tiled[siz + 12], 128);
    cases.push_back({"JPEG 2000 of 16384 tiles", tiled, "tiles"});
    std::vector<uint8_t> hugeJp2 = jp2;
    putBe32(&hugeJp2[siz + 8], 16385);
    putBe32(&hugeJp2[siz + 24], 16385);
    cases.push_back({"JPEG 2000 beyond the side limit", hugeJp2, "outside the limits"});
    cases.push_back({"unknown bytes", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, "neither"});

    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const fs::path path = root / "hostile.heic";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(c.bytes.data()), static_cast<std::streamsize>(c.bytes.size()));
        const auto image = createImageSourceWithFile(path.string());
        ASSERT_TRUE(image);
        EXPECT_EQ(image->count(), 0u);
        EXPECT_NE(image->lastError().find(c.reason), std::string::npos) << image->lastError();
        EXPECT_FALSE(image->thumbnailAtIndex(0, upright()));
        // Opening and trying to decode stay far below the claimed size.
        testsupport::expectWithinAddressSpaceGrowth(uint64_t(64) << 20,
                                                    [&]
                                                    {
                                                        limitWorkers(1);
                                                        const auto again = createImageSourceWithFile(path.string());
                                                        return again && again->count() == 0 &&
                                                               !again->thumbnailAtIndex(0, upright());
                                                    });
    }
}

// A valid file that inflates to a picture within the limits but far larger than its bytes decodes
// reduced, without the full picture ever being held.
TEST_F(CodecImageSourceTest, APngBombIsReducedWithoutBeingHeldWhole)
{
    const std::vector<uint8_t> bomb = testsupport::pngBytes(
        16384, 8192, PNG_COLOR_TYPE_GRAY, 8, false, [](uint32_t, uint8_t* row) { std::memset(row, 0, 16384); }, {}, 9);
    ASSERT_LT(bomb.size(), size_t(1) << 20);
    ASSERT_EQ(open(bomb)->count(), 1u) << open(bomb)->lastError();
    // In full it would be 16384 x 8192 x 3 = 384 MiB; reduced it is a quarter of that. The source is
    // opened where it is measured: its helper is a child of the process that opens it.
    testsupport::expectWithinAddressSpaceGrowth(uint64_t(200) << 20,
                                                [&]
                                                {
                                                    limitWorkers(1);
                                                    const auto image = open(bomb);
                                                    const auto got = image->thumbnailAtIndex(0, upright(8192));
                                                    return got && got->width == 8192 && got->height == 4096 &&
                                                           got->row(4095)[8191 * 3] == 0;
                                                });
}

// Cut-short and damaged files of every format fail or decode, never crash, and nothing the codecs say
// reaches the standard error stream.
TEST_F(CodecImageSourceTest, CutAndDamagedFilesFailQuietly)
{
    const Bitmap source = patternBitmap(200, 150);
    testing::internal::CaptureStderr();
    for (const FormatCase& c : kFormats)
    {
        SCOPED_TRACE(pictureFormatName(c.format));
        const std::vector<uint8_t> whole = encodeImage(source, c.type);
        for (size_t keep : {size_t(30), whole.size() / 2})
        {
            const auto image = open(std::vector<uint8_t>(whole.begin(), whole.begin() + keep));
            EXPECT_FALSE(image->thumbnailAtIndex(0, upright())) << keep;
            EXPECT_FALSE(image->lastError().empty());
        }
        std::mt19937 random(static_cast<uint32_t>(c.type) + 7);
        for (int run = 0; run < 40; ++run)
        {
            std::vector<uint8_t> damaged = whole;
            for (int flips = 1 + random() % 6; flips > 0; --flips)
            {
                damaged[random() % damaged.size()] ^= uint8_t(1 + random() % 255);
            }
            const auto image = open(damaged);
            if (const auto got = image->thumbnailAtIndex(0, upright()))
            {
                EXPECT_LE(uint64_t(got->width) * got->height, uint64_t(kMaxDecodeSide) * kMaxDecodeSide);
            }
            else
            {
                EXPECT_FALSE(image->lastError().empty());
            }
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
