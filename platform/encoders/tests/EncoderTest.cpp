#include "TemporaryFolder.h"
#include "PictureStreamDecoder.h"
#include "ImageEncoders.h"
#include "PictureLoading.h"
#include "PlatformTestSupport.h"
#include "SmallIccProfile.h"

#include <gtest/gtest.h>

#include <fstream>

#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

using namespace pravix;
using namespace pravix::test;

namespace
{


struct EncoderCase
{
    ImageFileType type;
    const char* signature;
    size_t signatureLength;
    bool keepsAlpha;
    bool lossless;
};

const EncoderCase kEncoders[] = {
    {ImageFileType::Jpeg, "\xFF\xD8\xFF", 3, false, false},
    {ImageFileType::Png, "\x89PNG\r\n\x1A\n", 8, true, true},
    {ImageFileType::Tiff, "II*\0", 4, true, true},
    {ImageFileType::Jpeg2000, "\0\0\0\x0CjP  \r\n\x87\n", 12, true, true},
    {ImageFileType::Bmp, "BM", 2, false, true},
};

// The profile of a PNG's iCCP chunk, inflated with zlib.
std::vector<uint8_t> pngProfile(const std::vector<uint8_t>& png)
{
    size_t pos = 8;
    while (pos + 12 <= png.size())
    {
        const uint32_t length = (uint32_t(png[pos]) << 24) | (png[pos + 1] << 16) | (png[pos + 2] << 8) | png[pos + 3];
        if (std::memcmp(&png[pos + 4], "iCCP", 4) == 0)
        {
            const uint8_t* data = &png[pos + 8];
            const size_t name = std::strlen(reinterpret_cast<const char*>(data));
            std::vector<uint8_t> out(1 << 16);
            uLongf outLength = out.size();
            if (uncompress(out.data(), &outLength, data + name + 2, length - name - 2) != Z_OK)
            {
                return {};
            }
            out.resize(outLength);
            return out;
        }
        pos += 12 + length;
    }
    return {};
}

}  // namespace

TEST(CodecTest, EveryEncoderRoundTripsWithSizeSignatureAndProfile)
{
    for (uint32_t channels : {3u, 4u})
    {
        Bitmap source = patternBitmap(67, 41, channels);  // odd sizes exercise row padding
        source.iccProfile = ::testsupport::smallIccProfile();
        for (const EncoderCase& c : kEncoders)
        {
            SCOPED_TRACE(static_cast<int>(c.type));
            const std::vector<uint8_t> bytes = encodeImage(source, c.type);
            ASSERT_GT(bytes.size(), c.signatureLength);
            EXPECT_EQ(0, std::memcmp(bytes.data(), c.signature, c.signatureLength));
            EXPECT_EQ(identifyPictureFormat(bytes.data(), bytes.size()), pictureFormatOf(c.type));
            const std::optional<Bitmap> back = decodeImage(bytes.data(), bytes.size());
            ASSERT_TRUE(back);
            EXPECT_EQ(back->width, 67u);
            EXPECT_EQ(back->height, 41u);
            EXPECT_EQ(back->channels, channels == 4 && c.keepsAlpha ? 4u : 3u);
            if (c.lossless)
            {
                EXPECT_EQ(psnr(*back, source), 99.0);
            }
            else
            {
                EXPECT_GT(psnr(*back, source), 20.0);
            }
            if (c.type == ImageFileType::Png)
            {
                EXPECT_EQ(pngProfile(bytes), source.iccProfile);
            }
            else if (c.type != ImageFileType::Bmp)
            {
                EXPECT_EQ(back->iccProfile, source.iccProfile);
            }
        }
    }
}

TEST(CodecTest, JpegQualityAndDefaultFactor)
{
    const Bitmap source = patternBitmap(96, 64);
    const auto low = encodeImage(source, ImageFileType::Jpeg, EncodeProperties{0.1f});
    const auto high = encodeImage(source, ImageFileType::Jpeg, EncodeProperties{1.0f});
    const auto byDefault = encodeImage(source, ImageFileType::Jpeg);
    const auto ninety = encodeImage(source, ImageFileType::Jpeg, EncodeProperties{0.9f});
    EXPECT_LT(low.size(), byDefault.size());
    EXPECT_LT(byDefault.size(), high.size());
    EXPECT_EQ(byDefault, ninety);
}

// The independent libraries read our files directly, not through our decoders.
TEST(CodecTest, LibrariesReadOurFilesDirectly)
{
    Bitmap source = patternBitmap(50, 30);
    source.iccProfile = ::testsupport::smallIccProfile();

    const auto jpeg = encodeImage(source, ImageFileType::Jpeg);
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
    ASSERT_EQ(jpeg_read_header(&cinfo, TRUE), JPEG_HEADER_OK);
    EXPECT_EQ(cinfo.image_width, 50u);
    EXPECT_EQ(cinfo.image_height, 30u);
    JOCTET* icc = nullptr;
    unsigned int iccLength = 0;
    EXPECT_TRUE(jpeg_read_icc_profile(&cinfo, &icc, &iccLength));
    EXPECT_EQ(iccLength, source.iccProfile.size());
    std::free(icc);
    jpeg_destroy_decompress(&cinfo);

    const auto png = encodeImage(source, ImageFileType::Png);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
    EXPECT_EQ(image.width, 50u);
    EXPECT_EQ(image.height, 30u);
    png_image_free(&image);

    const auto tiff = encodeImage(source, ImageFileType::Tiff);
    const testsupport::TemporaryFolder folder("pravix-tiff");
    const std::string path = folder / "encoded.tif";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(tiff.data()), tiff.size());
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    uint32_t w = 0;
    uint32_t h = 0;
    uint32_t count = 0;
    void* profile = nullptr;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_ICCPROFILE, &count, &profile));
    EXPECT_EQ(count, source.iccProfile.size());
    TIFFClose(tif);
    EXPECT_EQ(w, 50u);
    EXPECT_EQ(h, 30u);
}

TEST(CodecTest, DamagedInputFailsCleanly)
{
    const Bitmap source = patternBitmap(40, 24);
    for (const EncoderCase& c : kEncoders)
    {
        SCOPED_TRACE(static_cast<int>(c.type));
        const std::vector<uint8_t> bytes = encodeImage(source, c.type);
        for (size_t keep : {size_t(0), size_t(2), c.signatureLength, bytes.size() / 3, bytes.size() - 10})
        {
            std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep));
            const std::optional<Bitmap> back = decodeImage(cut.data(), cut.size());
            if (back)
            {
                // Some formats keep whole rows readable; then the size must still be the real one.
                EXPECT_EQ(back->width, 40u);
            }
        }
    }
    EXPECT_FALSE(decodeImage(nullptr, 10));
    EXPECT_FALSE(encodeImage(Bitmap{}, ImageFileType::Png).size());
}

// The frame header's size, without decoding; nothing when libjpeg cannot read a header.
TEST(CodecTest, JpegSizeFromTheHeaderAlone)
{
    const std::vector<uint8_t> jpeg = encodeImage(patternBitmap(40, 24), ImageFileType::Jpeg);
    EXPECT_EQ(readJpegSize(jpeg.data(), jpeg.size()), (std::pair<uint32_t, uint32_t>(40, 24)));
    // Cut right after the start of scan: the header is whole, the picture is not.
    size_t sos = 2;
    while (sos + 1 < jpeg.size() && !(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA))
    {
        ++sos;
    }
    ASSERT_LT(sos + 1, jpeg.size());
    EXPECT_TRUE(readJpegSize(jpeg.data(), sos + 20));
    EXPECT_FALSE(readJpegSize(jpeg.data(), sos));
    EXPECT_FALSE(readJpegSize(jpeg.data(), 2));
    const std::vector<uint8_t> png = encodeImage(patternBitmap(4, 4), ImageFileType::Png);
    EXPECT_FALSE(readJpegSize(png.data(), png.size()));
    EXPECT_FALSE(readJpegSize(nullptr, 10));
}

TEST(CodecTest, HugeClaimedSizesAreRefused)
{
    // A BMP header claiming 100000 x 100000 pixels over a few bytes of data.
    std::vector<uint8_t> bmp = encodeImage(patternBitmap(4, 4), ImageFileType::Bmp);
    bmp[18] = 0xA0;
    bmp[19] = 0x86;
    bmp[20] = 0x01;
    bmp[22] = 0xA0;
    bmp[23] = 0x86;
    bmp[24] = 0x01;
    EXPECT_FALSE(decodeImage(bmp.data(), bmp.size()));

    // A PNG whose header claims 40000 x 40000.
    std::vector<uint8_t> png = encodeImage(patternBitmap(4, 4), ImageFileType::Png);
    png[16] = 0;
    png[17] = 0;
    png[18] = 0x9C;
    png[19] = 0x40;
    png[20] = 0;
    png[21] = 0;
    png[22] = 0x9C;
    png[23] = 0x40;
    EXPECT_FALSE(decodeImage(png.data(), png.size()));
}

// Large pictures go through the banded encoder: one baseline JPEG with restart markers that the plain
// decoder reads, and that the banded decoder reads back to the same pixels.
TEST(CodecTest, BandedJpegIsOneValidJpeg)
{
    Bitmap source = patternBitmap(1500, 1003);
    source.iccProfile = ::testsupport::smallIccProfile();
    const std::vector<uint8_t> banded = encodeJpegParallel(source, 80);
    ASSERT_FALSE(banded.empty());
    const std::vector<uint8_t> single = encodeJpeg(source, 80);
    const auto plain = decodeImage(banded.data(), banded.size());
    const auto parallel = decodeJpegParallel(banded.data(), banded.size());
    const auto reference = decodeImage(single.data(), single.size());
    ASSERT_TRUE(plain && parallel && reference);
    EXPECT_EQ(parallel->width, 1500u);
    EXPECT_EQ(parallel->height, 1003u);
    EXPECT_EQ(parallel->iccProfile, source.iccProfile);
    EXPECT_EQ(plain->iccProfile, source.iccProfile);
    // Only the chroma smoothing of the rows at band edges differs (this pattern's sharp colour edges make
    // that the worst case; on photos the two agree above 70 dB).
    EXPECT_GT(psnr(*parallel, *plain), 38.0);
    EXPECT_GT(psnr(*plain, *reference), 45.0);

    // Damaged banded data: a missing tail or a lost restart marker fails or falls back, never crashes.
    for (size_t cut : {banded.size() / 2, banded.size() - 3})
    {
        std::vector<uint8_t> damaged(banded.begin(), banded.begin() + static_cast<std::ptrdiff_t>(cut));
        damaged.push_back(0xFF);
        damaged.push_back(0xD9);
        const auto back = decodeJpegParallel(damaged.data(), damaged.size());
        if (back)
        {
            EXPECT_EQ(back->width, 1500u);
        }
    }
    std::vector<uint8_t> noMarker = banded;
    for (size_t i = banded.size() / 2; i + 1 < noMarker.size(); ++i)
    {
        if (noMarker[i] == 0xFF && noMarker[i + 1] >= 0xD0 && noMarker[i + 1] <= 0xD7)
        {
            noMarker.erase(noMarker.begin() + static_cast<std::ptrdiff_t>(i),
                           noMarker.begin() + static_cast<std::ptrdiff_t>(i + 2));
            break;
        }
    }
    const auto fallback = decodeJpegParallel(noMarker.data(), noMarker.size());
    if (fallback)
    {
        EXPECT_EQ(fallback->height, 1003u);
    }
}

// PNGs compressed band by band on all cores are one valid PNG of the same pixels, about the size of the
// one-stream encoding; a JPEG goes to PNG band by band with the pixels its parallel decode gives.
TEST(CodecTest, PngBandsJoinIntoOnePng)
{
    for (uint32_t channels : {3u, 4u})
    {
        Bitmap source = patternBitmap(1500, 1003, channels);
        source.iccProfile = ::testsupport::smallIccProfile();
        const std::vector<uint8_t> banded = encodePngParallel(source);
        const std::vector<uint8_t> single = encodePng(source);
        ASSERT_FALSE(banded.empty());
        EXPECT_LT(banded.size(), single.size() * 11 / 10);
        const auto back = decodeImage(banded.data(), banded.size());
        ASSERT_TRUE(back);
        EXPECT_EQ(back->channels, channels);
        EXPECT_EQ(psnr(*back, source), 99.0);
        EXPECT_EQ(pngProfile(banded), source.iccProfile);
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_memory(&image, banded.data(), banded.size()));
        std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
        EXPECT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
        png_image_free(&image);
    }

    Bitmap photo = patternBitmap(1500, 1003);
    photo.iccProfile = ::testsupport::smallIccProfile();
    for (const bool bandedJpeg : {true, false})
    {
        SCOPED_TRACE(bandedJpeg);
        const std::vector<uint8_t> jpeg = bandedJpeg ? encodeJpegParallel(photo, 80) : encodeJpeg(photo, 80);
        const std::vector<uint8_t> png = transcodeJpeg(jpeg.data(), jpeg.size(), ImageFileType::Png);
        const auto fromPng = decodeImage(png.data(), png.size());
        const auto fromJpeg = decodeJpegParallel(jpeg.data(), jpeg.size());
        ASSERT_TRUE(fromPng && fromJpeg);
        EXPECT_EQ(fromPng->pixels, fromJpeg->pixels);
        EXPECT_EQ(pngProfile(png), photo.iccProfile);
        std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
        EXPECT_TRUE(encodePngFromJpeg(cut.data(), cut.size()).empty());
    }
    EXPECT_TRUE(encodePngFromJpeg(nullptr, 0).empty());
}

// libjpeg refusing a picture wider than it can code jumps back out of the encoder, which answers nothing
// and leaves nothing behind (the sanitizer build checks the latter).
TEST(CodecTest, JpegEncoderErrorsComeBackAsNothing)
{
    const std::vector<uint8_t> row(3 * 8, 0);
    EXPECT_TRUE(encodeJpegRows(row.data(), 0, 70000, 2, 3, {}, 90).empty());
    EXPECT_FALSE(encodeJpegRows(row.data(), 0, 8, 2, 3, {}, 90).empty());
}
