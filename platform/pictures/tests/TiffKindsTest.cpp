// TIFFs whose strips libtiff decodes with codecs of its own, which no bound here models (JPEG strips,
// SGI LogLuv) or converts from another colour space (CIELab): honest pictures of those kinds decode, in
// strips of several rows, to the pixels libtiff's own whole-picture RGBA reader makes of them.
#include "MemoryReadBuffer.h"
#include "PictureStreamDecoder.h"

#include <gtest/gtest.h>

#include <tiffio.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

using namespace pravix;

namespace
{

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kWidth = 96;
constexpr uint32_t kHeight = 72;
constexpr uint32_t kRowsPerStrip = 16;

struct TempFile
{
    TempFile()
    {
        const int fd = mkstemp(path);
        if (fd >= 0)
        {
            close(fd);
        }
    }
    ~TempFile() { std::remove(path); }
    char path[40] = "/tmp/pravix-tiff-kinds-XXXXXX";
};

Bytes readAll(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A TIFF written by libtiff: `setUp` sets the fields beyond the size and strips, `row(y, data)` writes
// each scanline.
Bytes written(const std::function<void(TIFF*)>& setUp, size_t rowBytes,
              const std::function<void(uint32_t, uint8_t*)>& row)
{
    TempFile file;
    TIFF* tif = TIFFOpen(file.path, "w");
    if (tif == nullptr)
    {
        ADD_FAILURE() << "no TIFF";
        return {};
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
    setUp(tif);
    Bytes data(rowBytes);
    for (uint32_t y = 0; y < kHeight; ++y)
    {
        row(y, data.data());
        if (TIFFWriteScanline(tif, data.data(), y, 0) < 0)
        {
            ADD_FAILURE() << "row " << y << " not written";
            break;
        }
    }
    TIFFClose(tif);
    return readAll(file.path);
}

// What libtiff's TIFFReadRGBAImageOriented makes of the file, as RGB rows from the top.
Bytes libtiffRgb(const Bytes& tiff)
{
    TempFile file;
    {
        std::ofstream out(file.path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(tiff.data()), static_cast<std::streamsize>(tiff.size()));
    }
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(file.path, "r");
    if (tif == nullptr)
    {
        ADD_FAILURE() << "libtiff cannot open it";
        return {};
    }
    std::vector<uint32_t> raster(size_t(kWidth) * kHeight);
    const int ok = TIFFReadRGBAImageOriented(tif, kWidth, kHeight, raster.data(), ORIENTATION_TOPLEFT, 0);
    TIFFClose(tif);
    EXPECT_EQ(ok, 1);
    Bytes rgb;
    for (uint32_t p : raster)
    {
        rgb.insert(rgb.end(), {uint8_t(TIFFGetR(p)), uint8_t(TIFFGetG(p)), uint8_t(TIFFGetB(p))});
    }
    return rgb;
}

class Rows : public PictureRowSink
{
public:
    void begin(uint32_t w, uint32_t, uint32_t channels) override
    {
        width = w;
        ASSERT_EQ(channels, 3u);
    }
    void rows(const uint8_t* pixels, size_t stride, uint32_t count) override
    {
        for (uint32_t r = 0; r < count; ++r)
        {
            rgb.insert(rgb.end(), pixels + r * stride, pixels + r * stride + size_t(width) * 3);
        }
    }

    uint32_t width = 0;
    Bytes rgb;
};

Bytes decoded(const Bytes& tiff, std::string& error)
{
    MemoryReadBuffer file(tiff.data(), tiff.size());
    Rows rows;
    try
    {
        auto decoder = PictureStreamDecoder::create(PictureFormat::Tiff, file);
        const PictureHeader header = decoder->readHeader();
        decoder->decodeRows(header.width, header.height, rows);
    }
    catch (const PictureDecodeError& e)
    {
        error = e.what();
    }
    return rows.rgb;
}

// A smooth colour pattern, which JPEG keeps close.
void rgbRow(uint32_t y, uint8_t* row)
{
    for (uint32_t x = 0; x < kWidth; ++x)
    {
        row[x * 3] = uint8_t(x * 2 + 20);
        row[x * 3 + 1] = uint8_t(y * 3 + 10);
        row[x * 3 + 2] = uint8_t(128 + (x + y) / 2);
    }
}

}  // namespace

// JPEG strips in YCbCr 4:2:0, written from RGB: the same pixels as libtiff's reader, near the source.
TEST(TiffKindsTest, JpegStripsDecodeAsLibtiffReadsThem)
{
    const Bytes tiff = written(
        [](TIFF* tif)
        {
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
            TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        },
        kWidth * 3, rgbRow);
    std::string error;
    const Bytes rgb = decoded(tiff, error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(rgb, libtiffRgb(tiff));
    Bytes source(size_t(kWidth) * 3);
    size_t far = 0;
    for (uint32_t y = 0; y < kHeight; ++y)
    {
        rgbRow(y, source.data());
        for (size_t i = 0; i < source.size(); ++i)
        {
            far += std::abs(int(rgb[y * source.size() + i]) - int(source[i])) > 12;
        }
    }
    EXPECT_EQ(far, 0u);
}

// SGI LogLuv of CIE XYZ: the same pixels as libtiff's reader; grey steps (of equal X, Y and Z, the
// white libtiff's conversion to RGB takes) of rising luminance come out grey and rising.
TEST(TiffKindsTest, LogLuvStripsDecodeAsLibtiffReadsThem)
{
    // Luminance in steps across the picture.
    auto xyzRow = [](uint32_t, uint8_t* data)
    {
        auto* xyz = reinterpret_cast<float*>(data);
        for (uint32_t x = 0; x < kWidth; ++x)
        {
            const float y = 0.02f + 0.98f * float(x / 8) / float(kWidth / 8 - 1);
            xyz[x * 3] = y;
            xyz[x * 3 + 1] = y;
            xyz[x * 3 + 2] = y;
        }
    };
    const Bytes tiff = written(
        [](TIFF* tif)
        {
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 32);
            TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_LOGLUV);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_SGILOG);
            TIFFSetField(tif, TIFFTAG_SGILOGDATAFMT, SGILOGDATAFMT_FLOAT);
        },
        kWidth * 3 * sizeof(float), xyzRow);
    std::string error;
    const Bytes rgb = decoded(tiff, error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(rgb.size(), size_t(kWidth) * kHeight * 3);
    EXPECT_EQ(rgb, libtiffRgb(tiff));
    int previous = -1;
    for (uint32_t x = 0; x < kWidth; x += 8)
    {
        const uint8_t* p = &rgb[x * 3];
        EXPECT_NEAR(p[0], p[1], 3);
        EXPECT_NEAR(p[2], p[1], 3);
        EXPECT_GT(int(p[1]), previous);
        previous = p[1];
    }
    EXPECT_GT(previous, 240);
}

// 8-bit CIELab: the same pixels as libtiff's reader; white, black, grey and a strong red where they
// should be, near enough.
TEST(TiffKindsTest, CieLabStripsDecodeAsLibtiffReadsThem)
{
    // Four bands of columns: L* 100, L* 0, L* 50, and L* 53 a* 80 b* 67 (about sRGB red).
    auto labRow = [](uint32_t, uint8_t* lab)
    {
        for (uint32_t x = 0; x < kWidth; ++x)
        {
            const uint32_t band = x * 4 / kWidth;
            const uint8_t l[] = {255, 0, 128, 136};
            const int8_t a[] = {0, 0, 0, 80};
            const int8_t b[] = {0, 0, 0, 67};
            lab[x * 3] = l[band];
            lab[x * 3 + 1] = uint8_t(a[band]);
            lab[x * 3 + 2] = uint8_t(b[band]);
        }
    };
    const Bytes tiff = written(
        [](TIFF* tif)
        {
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CIELAB);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        },
        kWidth * 3, labRow);
    std::string error;
    const Bytes rgb = decoded(tiff, error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(rgb.size(), size_t(kWidth) * kHeight * 3);
    EXPECT_EQ(rgb, libtiffRgb(tiff));
    auto at = [&](uint32_t band, int c) { return int(rgb[(band * kWidth / 4 + 2) * 3 + c]); };
    // libtiff takes the white as D50 and puts it on sRGB's primaries unadapted: a little yellow, blue at
    // 222 of 255.
    for (int c = 0; c < 3; ++c)
    {
        EXPECT_GT(at(0, c), 215);
        EXPECT_LT(at(1, c), 10);
        EXPECT_NEAR(at(2, c), 119, 20);
    }
    EXPECT_GT(at(3, 0), 200);
    EXPECT_LT(at(3, 1), 60);
    EXPECT_LT(at(3, 2), 60);
}
