// Loading a whole picture for the image helpers and the preview goes through the conversion's bounded
// stream decoders: alpha kept when asked, reduced to the loading limit, hostile headers refused.
#include "TemporaryFolder.h"
#include "PictureStreamDecoder.h"
#include "PictureLoading.h"
#include "ImageEncoders.h"
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <tiffio.h>
#include <zlib.h>

namespace pravix
{
namespace
{

using test::dataPath;
using test::patternBitmap;
using test::readBytes;

// A picture of one colour and one alpha value.
Bitmap flat(uint32_t w, uint32_t h, const uint8_t rgba[4])
{
    Bitmap b;
    b.allocate(w, h, 4);
    for (size_t i = 0; i < b.pixels.size(); i += 4)
    {
        std::memcpy(&b.pixels[i], rgba, 4);
    }
    return b;
}

ThumbnailOptions conversionOptions()
{
    ThumbnailOptions options = defaultLoadOptions();
    options.keepAlpha = false;
    return options;
}

// An 8-bit RGBA TIFF whose colour is premultiplied by its alpha (associated alpha), written by libtiff.
std::vector<uint8_t> associatedAlphaTiff(uint32_t w, uint32_t h, const uint8_t premultiplied[4])
{
    const testsupport::TemporaryFolder folder("pravix-loading");
    const std::string path = folder / "associated_alpha.tif";
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (tif == nullptr)
    {
        return {};
    }
    const uint16_t extra[] = {EXTRASAMPLE_ASSOCALPHA};
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
    std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
    for (size_t i = 0; i < row.size(); i += 4)
    {
        std::memcpy(&row[i], premultiplied, 4);
    }
    for (uint32_t y = 0; y < h; ++y)
    {
        TIFFWriteScanline(tif, row.data(), y, 0);
    }
    TIFFClose(tif);
    std::vector<uint8_t> bytes = readBytes(path);
    std::remove(path.c_str());
    return bytes;
}

void expectEveryPixel(const Bitmap& image, uint32_t channels, const uint8_t* expected, int tolerance = 0)
{
    ASSERT_EQ(image.channels, channels);
    for (size_t i = 0; i < image.pixels.size(); i += channels)
    {
        for (uint32_t c = 0; c < channels; ++c)
        {
            ASSERT_NEAR(image.pixels[i + c], expected[c], tolerance) << "pixel " << i / channels << " sample " << c;
        }
    }
}

}  // namespace

// Straight alpha comes back as stored when kept, and is put over black for the conversion, in every
// format that holds it.
TEST(PictureLoadingTest, AlphaIsKeptOrPutOverBlack)
{
    const uint8_t pixel[4] = {200, 100, 50, 128};
    const uint8_t overBlack[3] = {100, 50, 25};
    const Bitmap source = flat(37, 19, pixel);
    for (ImageFileType type : {ImageFileType::Png, ImageFileType::Tiff, ImageFileType::Jpeg2000})
    {
        SCOPED_TRACE(static_cast<int>(type));
        const std::vector<uint8_t> bytes = encodeImage(source, type);
        const std::optional<Bitmap> kept = decodeImage(bytes.data(), bytes.size());
        ASSERT_TRUE(kept);
        expectEveryPixel(*kept, 4, pixel);
        const std::optional<Bitmap> flattened = decodeImage(bytes.data(), bytes.size(), conversionOptions());
        ASSERT_TRUE(flattened);
        expectEveryPixel(*flattened, 3, overBlack, 1);
    }
    // JPEG and BMP hold no alpha: RGB whatever is asked.
    for (ImageFileType type : {ImageFileType::Jpeg, ImageFileType::Bmp})
    {
        const std::vector<uint8_t> bytes = encodeImage(source, type);
        const std::optional<Bitmap> image = decodeImage(bytes.data(), bytes.size());
        ASSERT_TRUE(image);
        EXPECT_EQ(image->channels, 3u);
    }
}

// Premultiplied colour is made straight again when alpha is kept, and left as it is over black.
TEST(PictureLoadingTest, PremultipliedTiffAlphaIsMadeStraight)
{
    const uint8_t premultiplied[4] = {100, 50, 25, 128};
    const std::vector<uint8_t> tiff = associatedAlphaTiff(9, 5, premultiplied);
    ASSERT_FALSE(tiff.empty());
    const std::optional<Bitmap> kept = decodeImage(tiff.data(), tiff.size());
    ASSERT_TRUE(kept);
    const uint8_t straight[4] = {199, 100, 50, 128};
    expectEveryPixel(*kept, 4, straight, 1);
    const std::optional<Bitmap> flattened = decodeImage(tiff.data(), tiff.size(), conversionOptions());
    ASSERT_TRUE(flattened);
    expectEveryPixel(*flattened, 3, premultiplied);
}

// A picture longer than the loading limit comes out reduced to it with its alpha, never whole.
TEST(PictureLoadingTest, LongPicturesAreReducedToTheLimitWithAlpha)
{
    const uint8_t pixel[4] = {10, 220, 30, 77};
    const std::vector<uint8_t> png = encodeImage(flat(kMaxLoadedSide + 808, 30, pixel), ImageFileType::Png);
    const std::optional<Bitmap> image = decodeImage(png.data(), png.size());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, kMaxLoadedSide);
    EXPECT_EQ(image->height, 27u);
    expectEveryPixel(*image, 4, pixel, 1);

    ThumbnailOptions whole = defaultLoadOptions();
    whole.maxPixelSize = 0;
    const std::optional<Bitmap> full = decodeImage(png.data(), png.size(), whole);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->width, kMaxLoadedSide + 808);
}

// Any picture the conversion reads loads the same way, a HEIF file's included; its properties are told
// without its pixels.
TEST(PictureLoadingTest, HeifAndOtherPicturesLoadWithTheirProperties)
{
    const std::vector<uint8_t> heif = readBytes(dataPath("single.heic"));
    ASSERT_FALSE(heif.empty());
    const std::optional<Bitmap> picture = decodeImage(heif.data(), heif.size());
    ASSERT_TRUE(picture);
    const std::optional<ImageProperties> properties = readImageProperties(heif.data(), heif.size());
    ASSERT_TRUE(properties);
    EXPECT_EQ(properties->pixelWidth, picture->width);
    EXPECT_EQ(properties->pixelHeight, picture->height);

    const std::vector<uint8_t> tiff = encodeImage(patternBitmap(41, 23), ImageFileType::Tiff);
    const std::optional<ImageProperties> tiffProperties = readImageProperties(tiff.data(), tiff.size());
    ASSERT_TRUE(tiffProperties);
    EXPECT_EQ(tiffProperties->pixelWidth, 41u);
    EXPECT_EQ(tiffProperties->pixelHeight, 23u);
}

// Headers that claim more than their bytes can hold, no data, damaged data and files that are no picture
// are refused, with the reason told.
TEST(PictureLoadingTest, HostileAndMissingInputsAreRefusedWithAReason)
{
    std::string why;
    EXPECT_FALSE(decodeImage(nullptr, 10, defaultLoadOptions(), &why));
    EXPECT_FALSE(why.empty());

    // A PNG header of 16384 x 16384 over a few bytes of deflate.
    std::vector<uint8_t> png = encodeImage(patternBitmap(16, 16), ImageFileType::Png);
    const uint8_t side[4] = {0, 0, 0x40, 0};
    std::memcpy(&png[16], side, 4);
    std::memcpy(&png[20], side, 4);
    const uint32_t crc = static_cast<uint32_t>(crc32(0, &png[12], 17));
    const uint8_t crcBytes[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
    std::memcpy(&png[29], crcBytes, 4);
    why.clear();
    EXPECT_FALSE(decodeImage(png.data(), png.size(), defaultLoadOptions(), &why));
    EXPECT_NE(why.find("16384x16384"), std::string::npos) << why;
    EXPECT_FALSE(readImageProperties(png.data(), png.size()));

    // The same claim in a JPEG's frame header: told by the size reader, which sizes nothing from it, and
    // refused by the parallel decode and the loader alike.
    std::vector<uint8_t> jpeg = encodeImage(patternBitmap(64, 64), ImageFileType::Jpeg);
    ASSERT_TRUE(readJpegSize(jpeg.data(), jpeg.size()));
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
    {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0)
        {
            const uint8_t claim[4] = {0x40, 0, 0x40, 0};
            std::memcpy(&jpeg[i + 5], claim, 4);
            break;
        }
    }
    EXPECT_EQ(readJpegSize(jpeg.data(), jpeg.size()), std::make_pair(16384u, 16384u));
    EXPECT_FALSE(decodeJpegParallel(jpeg.data(), jpeg.size()));
    EXPECT_FALSE(decodeImage(jpeg.data(), jpeg.size()));

    const std::vector<uint8_t> noise(4096, 0x5A);
    why.clear();
    EXPECT_FALSE(decodeImage(noise.data(), noise.size(), defaultLoadOptions(), &why));
    EXPECT_FALSE(why.empty());

    why.clear();
    const testsupport::TemporaryFolder folder("pravix-loading");
    EXPECT_FALSE(decodeImageFile(folder / "no such picture.png", defaultLoadOptions(), &why));
    EXPECT_FALSE(why.empty());
    why.clear();
    EXPECT_FALSE(decodeImageFile(folder.path().string(), defaultLoadOptions(), &why));  // a folder
    EXPECT_FALSE(why.empty());
}

// Reading from a file gives the same picture as reading the same bytes in memory.
TEST(PictureLoadingTest, FileAndMemoryGiveTheSamePicture)
{
    const Bitmap source = patternBitmap(53, 31, 4);
    const std::vector<uint8_t> png = encodeImage(source, ImageFileType::Png);
    const testsupport::TemporaryFolder folder("pravix-loading");
    const std::string path = folder / "loaded.png";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(png.data(), 1, png.size(), f), png.size());
        std::fclose(f);
    }
    const std::optional<Bitmap> fromFile = decodeImageFile(path, defaultLoadOptions());
    const std::optional<Bitmap> fromMemory = decodeImage(png.data(), png.size());
    std::filesystem::remove(path);
    ASSERT_TRUE(fromFile);
    ASSERT_TRUE(fromMemory);
    EXPECT_EQ(fromFile->pixels, fromMemory->pixels);
    EXPECT_EQ(fromFile->pixels, source.pixels);
}

}  // namespace pravix
